#pragma once
// The open lists of the page being laid out, innermost on top. Ordered lists
// count their items; unordered lists keep their bullet character.

#include <cstddef>
#include <vector>

class listStack {
public:
    listStack() = default;
    ~listStack();
    listStack(const listStack&) = delete;
    listStack& operator=(const listStack&) = delete;

    void push(short value, bool isOL);
    // Removes the top node; does nothing on an empty stack.
    void pop();
    // For an ordered top list, counts one item up first; returns the mark.
    // An empty stack gives a blank.
    short getValue();
    bool isOL() const;
    bool empty() const { return head == nullptr; }

    // One open list as a copy of the stack holds it.
    struct Entry {
        short value;
        bool ordered;
    };
    // The open lists, innermost first (the rendering engine keeps copies to
    // lay a part of the page out again from where it left off).
    std::vector<Entry> entries() const;
    // Replaces the stack with a copy made by entries().
    void assign(const std::vector<Entry>& innermostFirst);
    std::size_t depth() const { return size; }

private:
    struct Node {
        short value;
        bool ordered;
        Node* next;
    };
    Node* head = nullptr;
    std::size_t size = 0;
};
