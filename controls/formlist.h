#pragma once
// The forms of the current page, in page order.

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
    // page's controls join).
    FormListNode* addElement(const Form& form);
    void resetList();
    short getCount() const { return count; }

private:
    short count = 0;
    FormListNode* first = nullptr;
    FormListNode* last = nullptr;
};
