// PLACEHOLDER (being written): empty bodies so the tree links.
#include "net/proxyset.h"
bool Proxy::load() { return false; }
bool Proxy::setNew() { return false; }
