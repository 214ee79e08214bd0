// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/combo.h"
Combo::Combo(const char*) {}
void Combo::addOption(const char*, const char*) {}
bool Combo::storeValue(const char*, char*, int) { return false; }
void Combo::adjustOptions() {}
int Combo::selectS() { return 10; }
void Combo::repaint(WINDOW*, int) {}
const char* Combo::getRepresentation() { return ""; }
void Combo::display() const {}
int Combo::getKey(int key) { return key; }
void Combo::reset() {}
const char* Combo::valueOf() const { return nullptr; }
void Combo::drawSelected(short) const {}
