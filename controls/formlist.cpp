#include "controls/formlist.h"

#include <climits>

FormListNode* FormList::addElement(const Form& form) {
    auto* node = new FormListNode{form};
    if (first == nullptr) {
        first = last = node;
    } else {
        last->next = node;
        node->prev = last;
        node->next = first;
        first->prev = node;
        last = node;
    }
    if (count < SHRT_MAX) ++count;
    return node;
}

void FormList::resetList() {
    FormListNode* node = first;
    while (node != nullptr) {
        FormListNode* following = node == last ? nullptr : node->next;
        delete node;
        node = following;
    }
    first = last = nullptr;
    count = 0;
}
