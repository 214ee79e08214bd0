#pragma once
// Memory for one parse with gumbo, released all at once.
//
// gumbo frees a parse tree with a recursive walk, so a page of a few hundred
// thousand nested tags would overflow the stack there. The memory of a
// parse is kept here instead, and the destructor frees it without looking
// at the tree: never call gumbo_destroy_output on a tree parsed with these
// options.
//
// gumbo asks for hundreds of thousands of small blocks on a large page
// (most of them the few bytes of a tag name or an attribute value) and gives
// back only about a sixth of the bytes before the tree is done. So blocks
// are cut one after the other from large chunks and a block given back is
// not used again, except the newest one (a buffer dropped as soon as it was
// filled): the tree takes less memory than with a heap allocation per
// block, lies in memory in about the order of the page, which is the order
// the normaliser's walks read it in, and is freed a chunk at a time. Blocks
// larger than BIG_BLOCK_BYTES (the text of a long script, the children of
// an element with thousands of them) are allocated one by one and freed as
// soon as gumbo gives them back.
//
//     GumboMemory memory;
//     GumboOptions options = memory.options();
//     GumboOutput* output = gumbo_parse_with_options(&options, text, size);
//     ... // output lives as long as memory (and the text)

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "common/check.h"

namespace wexaproxy {

class GumboMemory {
public:
    GumboMemory() = default;
    ~GumboMemory() { clear(); }

    // Frees every tree parsed with this memory; it serves the next parse.
    void clear() {
        for (void* chunk : chunks_) std::free(chunk);
        for (void* block : bigBlocks_) std::free(block);
        chunks_.clear();
        bigBlocks_.clear();
        chunkStart_ = top_ = end_ = newest_ = nullptr;
    }
    GumboMemory(const GumboMemory&) = delete;
    GumboMemory& operator=(const GumboMemory&) = delete;

    // Default options with this memory, and parse errors not recorded
    // (nothing reads them, and recording them costs a third of the time).
    GumboOptions options() {
        GumboOptions options = kGumboDefaultOptions;
        options.allocator = &GumboMemory::allocate;
        options.deallocator = &GumboMemory::release;
        options.userdata = this;
        options.max_errors = 0;
        return options;
    }

private:
    // gumbo's structures hold pointers, sizes and ints: eight bytes align
    // them all.
    static constexpr std::size_t ALIGNMENT = 8;
    // Chunks stay below the size from which the C library maps memory
    // from the system for each allocation and gives it back when freed
    // (128 KiB by default): a fresh mapping costs a page fault on every
    // page of it, a chunk from the heap is memory freed by the last page.
    static constexpr std::size_t CHUNK_BYTES = 64 * 1024;
    static constexpr std::size_t BIG_BLOCK_BYTES = 16 * 1024;

    static std::uintptr_t address(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

    static void* allocate(void* self, std::size_t size) {
        auto* memory = static_cast<GumboMemory*>(self);
        if (size > BIG_BLOCK_BYTES) return memory->allocateBig(size);
        size = size == 0 ? ALIGNMENT : (size + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
        if (memory->top_ == nullptr || size > static_cast<std::size_t>(memory->end_ - memory->top_))
            memory->newChunk();
        char* block = memory->top_;
        memory->top_ += size;
        memory->newest_ = block;
        return block;
    }

    static void release(void* self, void* pointer) {
        if (pointer == nullptr) return;
        auto* memory = static_cast<GumboMemory*>(self);
        if (pointer == memory->newest_) {
            // The newest block: its room is used for the next ones.
            memory->top_ = memory->newest_;
            memory->newest_ = nullptr;
            return;
        }
        if (memory->bigBlocks_.empty()) return;
        // A block of a chunk stays where it is until the chunk is freed.
        if (address(pointer) >= address(memory->chunkStart_) && address(pointer) < address(memory->end_))
            return;
        const auto big = memory->bigBlocks_.find(pointer);
        if (big != memory->bigBlocks_.end()) {
            memory->bigBlocks_.erase(big);
            std::free(pointer);
        }
    }

    void newChunk() {
        auto* chunk = static_cast<char*>(std::malloc(CHUNK_BYTES));
        // gumbo cannot go on without the memory it asks for.
        WEXA_CHECK(chunk != nullptr, "chunk != nullptr");
        chunks_.push_back(chunk);
        chunkStart_ = chunk;
        top_ = chunk;
        end_ = chunk + CHUNK_BYTES;
        newest_ = nullptr;
    }

    void* allocateBig(std::size_t size) {
        void* block = std::malloc(size);
        WEXA_CHECK(block != nullptr, "block != nullptr");
        bigBlocks_.insert(block);
        return block;
    }

    std::vector<void*> chunks_;
    char* chunkStart_ = nullptr;  // the chunk blocks are cut from
    char* top_ = nullptr;         // its first free byte
    char* end_ = nullptr;
    char* newest_ = nullptr;  // the block cut last, while it is the last in its chunk
    std::unordered_set<void*> bigBlocks_;
};

}  // namespace wexaproxy
