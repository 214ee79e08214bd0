// PLACEHOLDER (being written): empty bodies so the tree links.
#include "shell/helpWindow.h"
helpWindow::~helpWindow() {}
void helpWindow::showHelpScreen() {}
void splashScreen() {}
