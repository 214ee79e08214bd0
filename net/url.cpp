// PLACEHOLDER (being written): empty bodies so the tree links.
#include "net/url.h"
void UniformResourceLocator::setURL(const char*, ReqType type) { requestType = type; }
void UniformResourceLocator::repairURL() {}
