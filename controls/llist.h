#pragma once
// componentList: the list that owns the controls of one kind for the current
// page. Controls are stored by value in nodes of a circular doubly linked
// list and reached by 0-based position. A pointer handed out by
// getReferenceOf stays valid until resetList (nodes never move). An index
// of the nodes is kept beside the ring so that lookups by position take
// constant time on pages with many links.

#include <climits>
#include <vector>

#include "common/check.h"

template <class componentType>
struct componentListNode {
    componentType element;
    componentListNode* next = nullptr;
    componentListNode* prev = nullptr;
};

template <class componentType>
class componentList {
public:
    componentList() = default;
    ~componentList() { resetList(); }
    componentList(const componentList&) = delete;
    componentList& operator=(const componentList&) = delete;

    // Appends a copy of element; returns the new count, so the element's
    // position is the result minus one. A full list (SHRT_MAX elements) adds
    // nothing and returns 0.
    short addElement(const componentType& element) {
        if (count == SHRT_MAX) return 0;
        auto* node = new componentListNode<componentType>();
        node->element = element;
        if (first == nullptr) {
            first = last = node;
            node->next = node->prev = node;
        } else {
            last->next = node;
            node->prev = last;
            node->next = first;
            first->prev = node;
            last = node;
        }
        index_.push_back(node);
        return ++count;
    }

    // The element at a 0-based position; a position past the end or below
    // zero gives the first element. The list must not be empty.
    componentType* getReferenceOf(short position) {
        WEXA_CHECK(first != nullptr, "first != __null");
        if (position < 0 || position >= count) return &first->element;
        return &index_[static_cast<std::size_t>(position)]->element;
    }

    // Releases every node (and with it the stored controls).
    void resetList() {
        if (first != nullptr) {
            componentListNode<componentType>* node = first;
            while (node != last) {
                componentListNode<componentType>* passed = node;
                node = node->next;
                delete passed;
            }
            delete last;
        }
        first = last = nullptr;
        count = 0;
        index_.clear();
    }

    short getCount() const { return count; }
    componentListNode<componentType>* getFirst() const { return first; }

private:
    short count = 0;
    componentListNode<componentType>* first = nullptr;
    componentListNode<componentType>* last = nullptr;
    std::vector<componentListNode<componentType>*> index_;
};
