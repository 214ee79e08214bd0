#include "shell/global.h"

GlobalVariables GlobalNamespace;
