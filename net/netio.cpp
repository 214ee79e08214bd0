// PLACEHOLDER (being written): empty bodies so the tree links.
#include "net/netio.h"
ServerIO::ServerIO() {}
ServerIO::ServerIO(const char*) {}
ServerIO::~ServerIO() {}
void ServerIO::Connect() { connected = false; }
void ServerIO::Connect(const char*) { connected = false; }
bool ServerIO::println(const char*) { return false; }
int ServerIO::read() { return END; }
char* ServerIO::readLine() { return nullptr; }
void ServerIO::close() {}
void ServerIO::setAddress(const char*) {}
