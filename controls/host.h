#pragma once
// What the controls need of the browser around them: the page view they draw
// into, the key handler's mode (a text field left with ESC switches to Global
// mode), the active element table (a form finds its members there), the URL
// (a link sets the next one), the proxy client (a form is sent through it)
// and the message window. The shell installs the host once at start-up,
// before any control is made.

class ActiveSerialTable;
class KeyMode;
class MessageWindow;
class Network;
class PageView;
class UniformResourceLocator;

struct ControlHost {
    PageView* page = nullptr;
    KeyMode* mode = nullptr;
    ActiveSerialTable* table = nullptr;
    UniformResourceLocator* url = nullptr;
    Network* network = nullptr;
    MessageWindow* messages = nullptr;
};

void installControlHost(const ControlHost& host);

// The parts of the installed host. Using one that was not installed is a
// programming error and stops the program with its name.
PageView& hostPage();
KeyMode& hostMode();
ActiveSerialTable& hostTable();
UniformResourceLocator& hostUrl();
Network& hostNetwork();
MessageWindow& hostMessages();
