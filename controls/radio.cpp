// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/radio.h"
Radio::Radio(const char*) {}
Radio::Radio(const Radio& other) : Component(other) {}
Radio& Radio::operator=(const Radio&) { return *this; }
int Radio::getKey(int key) { return key; }
void Radio::setXY(short, short) {}
void Radio::select() {}
void Radio::unselect() const {}
const char* Radio::getRepresentation() { return "( )"; }
void Radio::display() const {}
void Radio::reset() {}
const char* Radio::valueOf() const { return nullptr; }
const char* Radio::nameOf() const { return nullptr; }
void Radio::check() {}
bool Radio::isOfSameGroup(const Radio&) const { return false; }
void Radio::uncheckOthers() {}
