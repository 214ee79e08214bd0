// PLACEHOLDER (being written): empty bodies so the tree links.
#include "shell/error.h"
ErrorMessage::ErrorMessage(const char* t) : text(t ? t : "") {}
void ErrorMessage::showErrorMessage(const char* t, bool) { text = t ? t : ""; }
void ErrorMessage::show(bool) const {}
bool ErrorMessage::optionWindow() { return false; }
