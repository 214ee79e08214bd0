#pragma once
// A browser's request, as every layer of the server sees it: the command,
// the URL line and, for forms, the fields. The request reader
// (server/requestreader.h) makes one from the bytes on the wire; the page
// filter may turn it into what its links and forms stand for; the handler
// fetches what it asks for.

#include <string>
#include <vector>

namespace wexaproxy {

enum class Command { Get, Refresh, Ping, FormGet, FormPost };

// The protocol keyword of a command, as it appears on the wire and in logs.
const char* commandName(Command command);

struct FormField {
    std::string name;
    std::string value;
};

// Which view of a page is asked for: the server's default, the reader page
// (the page's article alone) or the full page. Links to the other view
// carry it (see the normaliser).
enum class PageView { Default, Reader, Full };

struct Request {
    Command command = Command::Get;
    std::string url;                // the URL line (form action for forms), unchecked
    std::vector<FormField> fields;  // forms only, in the order received
    // Forms: sent as multipart/form-data, as the page's form asks (the
    // browser never asks for it; the normaliser's form records do).
    bool multipart = false;
    PageView view = PageView::Default;
    // Who asks: the client identity the server found for the connection
    // (server/identity.h). Cookies, link and form tokens belong to it.
    std::string identity{};
};

}  // namespace wexaproxy
