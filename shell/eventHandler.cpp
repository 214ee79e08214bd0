// PLACEHOLDER (being written): empty bodies so the tree links.
#include "shell/eventHandler.h"
bool eventHandler::handleEvents() { return true; }
bool eventHandler::urlWindow() { return false; }
void eventHandler::shellEscape() {}
void eventHandler::drawModeWord() const {}
