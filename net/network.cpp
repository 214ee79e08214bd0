// PLACEHOLDER (being written): empty bodies so the tree links.
#include "net/network.h"
const char* Network::Fetch() { return nullptr; }
const char* Network::sendSimpleGet() { return nullptr; }
const char* Network::sendRefresh() { return nullptr; }
const char* Network::sendToProxy() { return nullptr; }
