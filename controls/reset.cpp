#include "controls/reset.h"

#include <cstring>

#include "common/bounded.h"
#include "controls/attributes.h"
#include "controls/form.h"
#include "shell/global.h"

Reset::Reset(const char* tagText, Form* form) : form(form) {
    AttributeScan scan(tagText);
    while (scan.next())
        if (scan.is("VALUE")) scan.copyValue(label);
    if (label[0] == '\0') wexa::boundedCopy(label, "RESET");
    length = static_cast<int>(std::strlen(label));
}

int Reset::getKey(int key) {
    if (key == 10) {
        if (form != nullptr) form->reset();
        return 10;
    }
    if (key == KEY_RESULT_LEAVE) unselect();
    return key;
}

void Reset::select() {
    GlobalNamespace.renderer.scrollNext_aE();
    GlobalNamespace.renderer.writeToDB(x, y, label, 11);
    GlobalNamespace.renderer.write_helpString("Keys: RESET-<Enter>; UNSELECT-<Tab>");
}

void Reset::unselect() const {
    GlobalNamespace.renderer.writeToDB(x, y, label, 4);
}
