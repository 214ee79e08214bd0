// What copies of a control share (the text fields' pads, a drop-down list's
// options) lives until the last copy goes and is released once, page after
// page. The sanitizer build checks the "once" and the absence of leaks; the
// weak handles check "until the last copy".

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/combo.h"
#include "controls/password.h"
#include "controls/textbox.h"
#include "screen.h"
#include "shell/global.h"

TEST(SharedHandles, LiveWhileAStoredCopyLivesAndAreReleasedWithTheList) {
    controlstest::freshPage();
    for (int page = 0; page < 300; ++page) {
        std::vector<std::weak_ptr<WINDOW>> pads;
        std::vector<std::weak_ptr<OptionStore>> stores;
        for (int i = 0; i < 4; ++i) {
            {
                // As pass one does: a temporary, a stored copy, then edits
                // on the stored copy only.
                textBox temporary("INPUT TYPE=TEXTBOX VALUE=x");
                const short n = GlobalNamespace.textBoxes.addElement(temporary);
                pads.push_back(temporary.getPad());
                GlobalNamespace.textBoxes.getReferenceOf(static_cast<short>(n - 1))->applyKey('y');

                password secret("INPUT TYPE=PASSWORD");
                GlobalNamespace.passwords.addElement(secret);
                pads.push_back(secret.getPlainPad());
                pads.push_back(secret.getMaskPad());

                Combo combo("SELECT NAME=c");
                const short m = GlobalNamespace.combos.addElement(combo);
                Combo* stored = GlobalNamespace.combos.getReferenceOf(static_cast<short>(m - 1));
                stored->addOption("OPTION", "one");
                stored->addOption(("OPTION SELECTED VALUE=" + std::to_string(page)).c_str(), "two");
                stored->adjustOptions();
                stores.push_back(stored->getStore());
            }
            for (const auto& p : pads) ASSERT_FALSE(p.expired());
            for (const auto& s : stores) ASSERT_FALSE(s.expired());
        }
        EXPECT_STREQ(GlobalNamespace.combos.getReferenceOf(3)->valueOf(), std::to_string(page).c_str());

        GlobalNamespace.textBoxes.resetList();
        GlobalNamespace.passwords.resetList();
        GlobalNamespace.combos.resetList();
        for (const auto& p : pads) ASSERT_TRUE(p.expired());
        for (const auto& s : stores) ASSERT_TRUE(s.expired());
    }
}
