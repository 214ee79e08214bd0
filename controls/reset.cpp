// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/reset.h"
Reset::Reset(const char*, Form* f) : form(f) {}
int Reset::getKey(int key) { return key; }
void Reset::select() {}
void Reset::unselect() const {}
