#include "controls/hyperlink.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "shell/global.h"

Hyperlink::Hyperlink(const char* tagText) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("HREF")) scan.copyValue(href);
}

void Hyperlink::setText(const char* s) {
    length = static_cast<short>(wexa::boundedCopy(text, s));
}

void Hyperlink::gotoNextURL() {
    GlobalNamespace.url.setURL(href, RELATIVE);
}

int Hyperlink::getKey(int key) {
    if (key == 10) {
        gotoNextURL();
        return KEY_RESULT_PAGE_CHANGE;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Hyperlink::select() {
    GlobalNamespace.renderer.scrollNext_aE();
    GlobalNamespace.renderer.writeToDB(x, y, text, 1);
    GlobalNamespace.renderer.write_helpString("Keys: FOLLOW LINK-<Enter>; UNSELECT-<Tab>");
}

void Hyperlink::unselect() const {
    GlobalNamespace.renderer.writeToDB(x, y, text, 9);
}
