// PLACEHOLDER (being written): empty bodies so the tree links.
#include "shell/initcolours.h"
void initColours() {}
