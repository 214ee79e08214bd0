// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/submit.h"
Submit::Submit(const char*, Form* f) : form(f) {}
int Submit::getKey(int key) { return key; }
void Submit::select() {}
void Submit::unselect() const {}
