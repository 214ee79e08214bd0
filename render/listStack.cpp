#include "render/listStack.h"

#include <climits>

listStack::~listStack() {
    // Iterative, so that a page with very deep (unclosed) nesting cannot
    // exhaust the call stack when the stack is released.
    while (head != nullptr) pop();
}

void listStack::push(short value, bool isOL) {
    head = new Node{value, isOL, head};
    ++size;
}

void listStack::pop() {
    if (head == nullptr) return;
    Node* top = head;
    head = top->next;
    delete top;
    --size;
}

short listStack::getValue() {
    if (head == nullptr) return ' ';
    // An ordered list counts its items; the count stops at the largest
    // value a short holds instead of overflowing on absurdly long lists.
    if (head->ordered && head->value < SHRT_MAX) ++head->value;
    return head->value;
}

bool listStack::isOL() const {
    return head != nullptr && head->ordered;
}

std::vector<listStack::Entry> listStack::entries() const {
    std::vector<Entry> out;
    out.reserve(size);
    for (const Node* n = head; n != nullptr; n = n->next) out.push_back({n->value, n->ordered});
    return out;
}

void listStack::assign(const std::vector<Entry>& innermostFirst) {
    while (head != nullptr) pop();
    for (auto it = innermostFirst.rbegin(); it != innermostFirst.rend(); ++it) push(it->value, it->ordered);
}
