#include "controls/hyperlink.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "net/url.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"

Hyperlink::Hyperlink(const char* tagText) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("HREF")) scan.copyValue(href);
}

void Hyperlink::setText(const char* s) {
    length = static_cast<short>(wexa::boundedCopy(text, s));
}

void Hyperlink::gotoNextURL() {
    hostUrl().setURL(href, RELATIVE);
}

int Hyperlink::getKey(int key) {
    if (key == ENTER_KEY) {
        gotoNextURL();
        return KEY_RESULT_PAGE_CHANGE;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Hyperlink::select() {
    PageView& page = hostPage();
    page.showFocusedRow();
    page.writeCell(x, y, text, PAIR_FOCUS);
    page.helpLine("Keys: FOLLOW LINK-<Enter>; UNSELECT-<Tab>");
}

void Hyperlink::unselect() const {
    hostPage().writeCell(x, y, text, PAIR_LINK);
}
