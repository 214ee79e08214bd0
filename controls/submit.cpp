#include "controls/submit.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/form.h"
#include "controls/host.h"
#include "render/pageview.h"
#include "screen/colours.h"
#include "screen/keys.h"
#include "screen/messages.h"

Submit::Submit(const char* tagText, Form* form) : form(form) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("VALUE")) scan.copyValue(label);
    if (label[0] == '\0') wexa::boundedCopy(label, "SUBMIT QUERY");
    length = static_cast<int>(std::strlen(label));
}

int Submit::getKey(int key) {
    if (key == ENTER_KEY) {
        // A failed submission has already told the user why (the form shows
        // the connection error); a button before any form says so here.
        if (form == nullptr)
            hostMessages().showErrorMessage("This button belongs to no form", false);
        else
            form->submit();
        return KEY_RESULT_SUBMITTED;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Submit::select() {
    PageView& page = hostPage();
    page.showFocusedRow();
    page.writeCell(x, y, label, PAIR_BUTTON_FOCUS);
    page.helpLine("Keys: SUBMIT-<Enter>; UNSELECT-<Tab>");
}

void Submit::unselect() const {
    hostPage().writeCell(x, y, label, PAIR_BUTTON);
}
