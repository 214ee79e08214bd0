// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/checkbox.h"
Checkbox::Checkbox(const char*) {}
int Checkbox::getKey(int key) { return key; }
void Checkbox::setXY(short, short) {}
void Checkbox::select() {}
void Checkbox::unselect() const {}
const char* Checkbox::getRepresentation() { return "[ ]"; }
void Checkbox::display() const {}
void Checkbox::reset() {}
const char* Checkbox::valueOf() const { return ""; }
void Checkbox::draw(short) const {}
