// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/password.h"
password::password(const char*) {}
void password::select() {}
void password::reset() {}
const char* password::valueOf() const { return nullptr; }
void password::storeString() {}
const char* password::dBuffString() { return ""; }
void password::drawUnfocused() {}
void password::applyKey(int) {}
void password::draw() {}
