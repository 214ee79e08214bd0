#pragma once
// The forms of the current page, in page order. With two or more forms the
// nodes form a ring both ways; a single node has null links.

#include "controls/form.h"

struct FormListNode {
    Form form;
    FormListNode* next = nullptr;
    FormListNode* prev = nullptr;
};

class FormList {
public:
    FormList() = default;
    ~FormList() { resetList(); }
    FormList(const FormList&) = delete;
    FormList& operator=(const FormList&) = delete;

    // Appends a copy of form and returns its node (whose form is the one the
    // page's controls join). Never null; the node lives until resetList.
    FormListNode* addElement(const Form& form);
    // Frees every node; the list is empty.
    void resetList();
    // The number of forms added (it stops counting at the largest short).
    short getCount() const { return count; }
    FormListNode* getFirst() const { return first; }

private:
    short count = 0;
    FormListNode* first = nullptr;
    FormListNode* last = nullptr;
};
