#pragma once
// The program's long-lived objects, held by value in one aggregate that lives
// for the whole run: the composition root of the browser. Only the shell
// names it. The parts below the shell reach their collaborators through
// references and narrow interfaces that global.cpp connects right after
// GlobalNamespace is built (see the wiring there). Constructing it has no
// side effects on the terminal or the file system: the start-up work
// (starting curses and creating the page pad, reading the proxy
// configuration) is done explicitly by main, so that tests and tools can
// link the browser's code without a terminal.

#include "controls/checkbox.h"
#include "controls/combo.h"
#include "controls/formlist.h"
#include "controls/hyperlink.h"
#include "controls/llist.h"
#include "controls/password.h"
#include "controls/radiolist.h"
#include "controls/reset.h"
#include "controls/submit.h"
#include "controls/textbox.h"
#include "net/cache.h"
#include "net/network.h"
#include "net/proxyset.h"
#include "net/url.h"
#include "passone/passone.h"
#include "render/Rendering_Engine.h"
#include "render/ast.h"
#include "shell/error.h"
#include "shell/eventHandler.h"
#include "shell/helpWindow.h"
#include "shell/loading.h"

class table_engine;

struct GlobalVariables {
    componentList<Checkbox> checkboxes;
    componentList<Combo> combos;
    componentList<Hyperlink> hyperlinks;
    componentList<textBox> textBoxes;
    RadioList radios;
    componentList<password> passwords;
    componentList<Submit> submits;
    FormList forms;
    componentList<Reset> resets;
    ActiveSerialTable ast;
    Rendering_Engine renderer;
    UniformResourceLocator url;
    PassOne passOne;
    table_engine* tableEngine = nullptr;  // set only while the table pass runs
    Network network;
    cache pageCache;
    PageProperties page;  // title of the current page
    eventHandler events;
    ErrorMessage message;
    helpWindow help;
    Proxy proxy;
    LoadingLine loading;  // the status line while a page is fetched
};

extern GlobalVariables GlobalNamespace;
