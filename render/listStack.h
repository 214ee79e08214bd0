#pragma once
// The open lists of the page being laid out, innermost on top. Ordered lists
// count their items; unordered lists keep their bullet character.

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

private:
    struct Node {
        short value;
        bool ordered;
        Node* next;
    };
    Node* head = nullptr;
};
