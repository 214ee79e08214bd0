#pragma once
// The URL of the page to fetch next, the URL that was current before it,
// and how the page is to be obtained. Setting a URL normalises it by its
// request type (repairURL).

#include <string>

enum ReqType {
    ABSOLUTE = 0,    // typed in the URL window
    RELATIVE = 1,    // a followed link: resolved against the previous URL's folder
    REFRESH = 2,     // always asked of the proxy server again
    CACHED = 3,      // from the page cache only (start page, back, forward)
    FORM_REPLY = 4,  // a form was sent; only the reply is to be read
};

class UniformResourceLocator {
public:
    void setURL(const char* url, ReqType type);
    void setReqType(ReqType type) { requestType = type; }
    void repairURL();

    char currentURL[200] = {};  // at most 199 characters
    char previousURL[200] = {};
    ReqType requestType = ABSOLUTE;
};

// A URL as a reader would write it. The proxy server hands links over as
// tokens of one word that the browser glues to the folder of the page
// (see proxy/README.md): from the last "~~Lh" (http) or "~~Ls" (https) on,
// "!" stands for "/", "^" for "=" and "~XX" for the byte of hexadecimal XX;
// such a URL is spelled out. Anything else (a stored link "~~Lt", any other
// URL) is returned as it is.
std::string readableURL(const char* url);
