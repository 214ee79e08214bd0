#include "controls/submit.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/form.h"
#include "shell/global.h"

Submit::Submit(const char* tagText, Form* form) : form(form) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("VALUE")) scan.copyValue(label);
    if (label[0] == '\0') wexa::boundedCopy(label, "SUBMIT QUERY");
    length = static_cast<int>(std::strlen(label));
}

int Submit::getKey(int key) {
    if (key == 10) {
        // A failed submission has already told the user why (the form shows
        // the connection error); a button before any form says so here.
        if (form == nullptr)
            GlobalNamespace.message.showErrorMessage("This button belongs to no form", false);
        else
            form->submit();
        return KEY_RESULT_SUBMITTED;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Submit::select() {
    GlobalNamespace.renderer.scrollNext_aE();
    GlobalNamespace.renderer.writeToDB(x, y, label, 11);
    GlobalNamespace.renderer.write_helpString("Keys: SUBMIT-<Enter>; UNSELECT-<Tab>");
}

void Submit::unselect() const {
    GlobalNamespace.renderer.writeToDB(x, y, label, 4);
}
