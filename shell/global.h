#pragma once
// The program's long-lived objects, held by value in one aggregate that lives
// for the whole run. Every part reaches its collaborators through
// GlobalNamespace. Constructing it has no side effects on the terminal or the
// file system: start-up work (curses, reading the proxy configuration) is done
// explicitly by main, so that tests can link the whole browser without a
// terminal.

#include "passone/passone.h"

struct GlobalVariables {
    PageProperties page;  // title of the current page
};

extern GlobalVariables GlobalNamespace;
