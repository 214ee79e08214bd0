// PLACEHOLDER (being written): empty bodies so the tree links.
#include "controls/hyperlink.h"
Hyperlink::Hyperlink(const char*) {}
void Hyperlink::setText(const char*) {}
void Hyperlink::gotoNextURL() {}
int Hyperlink::getKey(int key) { return key; }
void Hyperlink::select() {}
void Hyperlink::unselect() const {}
