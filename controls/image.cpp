#include "controls/image.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"

Image::Image() = default;

// inLink is kept for callers that pass it; nothing here depends on it.
Image::Image(const char* tagText, bool inLink) : inLink(inLink) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("ALT") && scan.copyValue(text)) length = static_cast<int>(std::strlen(text));
}

int Image::getKey(int key) {
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Image::select() {
    hostPage().showFocusedRow();
    hostPage().writeCell(x, y, text, PAIR_FOCUS);
}

void Image::unselect() const {
    hostPage().writeCell(x, y, text, PAIR_MESSAGE);
}
