// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/formlist.h"
FormListNode* FormList::addElement(const Form&) { return nullptr; }
void FormList::resetList() {}
