// PLACEHOLDER (being written): empty bodies so the tree links.
#include "net/cache.h"
cache::cache() : entries{} {}
bool cache::hit(const char*) const { return false; }
int cache::fetchFileName(const char*) const { return -1; }
void cache::update(const char*) {}
const char* cache::showNextPage() { return nullptr; }
const char* cache::showPrevPage() { return nullptr; }
const char* cache::lURLRendered() const { return ""; }
bool cache::search(int) const { return false; }
void cache::display() const {}
int cache::freeDigit() const { return -1; }
