#pragma once
// Memory for one parse with gumbo, released all at once.
//
// gumbo frees a parse tree with a recursive walk, so a page of a few hundred
// thousand nested tags would overflow the stack there. Every block gumbo
// takes is kept in a list here instead, and the destructor frees what is
// left without looking at the tree: never call gumbo_destroy_output on a
// tree parsed with these options.
//
//     GumboMemory memory;
//     GumboOptions options = memory.options();
//     GumboOutput* output = gumbo_parse_with_options(&options, text, size);
//     ... // output lives as long as memory (and the text)

#include <gumbo.h>

#include <cstdlib>

#include "common/check.h"

namespace wexaproxy {

class GumboMemory {
public:
    GumboMemory() { head_.prev = head_.next = &head_; }
    ~GumboMemory() {
        Header* block = head_.next;
        while (block != &head_) {
            Header* next = block->next;
            std::free(block);
            block = next;
        }
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
    // Two pointers: blocks stay aligned as malloc aligns them.
    struct Header {
        Header* prev;
        Header* next;
    };

    static void* allocate(void* self, std::size_t size) {
        auto* memory = static_cast<GumboMemory*>(self);
        auto* block = static_cast<Header*>(std::malloc(sizeof(Header) + size));
        // gumbo cannot go on without the memory it asks for.
        WEXA_CHECK(block != nullptr, "block != __null");
        block->prev = &memory->head_;
        block->next = memory->head_.next;
        memory->head_.next->prev = block;
        memory->head_.next = block;
        return block + 1;
    }

    static void release(void*, void* pointer) {
        if (pointer == nullptr) return;
        Header* block = static_cast<Header*>(pointer) - 1;
        block->prev->next = block->next;
        block->next->prev = block->prev;
        std::free(block);
    }

    Header head_;
};

}  // namespace wexaproxy
