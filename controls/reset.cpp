#include "controls/reset.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/form.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"

Reset::Reset(const char* tagText, Form* form) : form(form) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("VALUE")) scan.copyValue(label);
    if (label[0] == '\0') wexa::boundedCopy(label, "RESET");
    length = static_cast<int>(std::strlen(label));
}

int Reset::getKey(int key) {
    if (key == ENTER_KEY) {
        if (form != nullptr) form->reset();
        return ENTER_KEY;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Reset::select() {
    PageView& page = hostPage();
    page.showFocusedRow();
    page.writeCell(x, y, label, PAIR_BUTTON_FOCUS);
    page.helpLine("Keys: RESET-<Enter>; UNSELECT-<Tab>");
}

void Reset::unselect() const {
    hostPage().writeCell(x, y, label, PAIR_BUTTON);
}
