#pragma once
// The radio buttons of the page, in page order, each linked into the ring of
// its group (same NAME, compared without regard to case) as it is added.
// Group rings run in page order.

#include <string>
#include <unordered_map>
#include <vector>

#include "controls/radio.h"

struct RadioListNode {
    Radio element;
    RadioListNode* next = nullptr;
    RadioListNode* prev = nullptr;
};

class RadioList {
public:
    RadioList() = default;
    ~RadioList() { resetList(); }
    RadioList(const RadioList&) = delete;
    RadioList& operator=(const RadioList&) = delete;

    // Appends a copy, links it into its group; returns the new count (0 when
    // the list is full and nothing was added).
    short addElement(const Radio& radio);
    // The element `index` steps along the ring from the first (so an index
    // past the end wraps around); a negative index gives the first. The list
    // must not be empty. The pointer stays valid until resetList.
    Radio* getReferenceOf(short index);
    void resetList();
    short getCount() const { return count; }

private:
    void attachInGroup();

    RadioListNode* first = nullptr;
    RadioListNode* last = nullptr;
    short count = 0;
    std::vector<RadioListNode*> index_;
    // The most recently added button of each group, by lower-cased name: a
    // new member goes into the ring right after it.
    std::unordered_map<std::string, Radio*> newestOfGroup_;
};
