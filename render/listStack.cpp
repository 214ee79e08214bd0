// PLACEHOLDER (being written): empty bodies so the tree links.
#include "render/listStack.h"
listStack::~listStack() {}
void listStack::push(short, bool) {}
void listStack::pop() {}
short listStack::getValue() { return ' '; }
bool listStack::isOL() const { return false; }
