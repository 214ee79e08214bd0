// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/textbox.h"
SharedPad makeSharedPad(int, int) { return nullptr; }
textBox::textBox(const char*) {}
const char* textBox::getRepresentation() { return "[                  ]"; }
void textBox::select() {}
void textBox::reset() {}
const char* textBox::valueOf() const { return nullptr; }
const char* textBox::nameOf() const { return nullptr; }
void textBox::retrieveString() {}
void textBox::storeString() {}
const char* textBox::writeToDb() { return ""; }
void textBox::drawUnfocused() {}
void textBox::applyKey(int) {}
void textBox::draw() {}
