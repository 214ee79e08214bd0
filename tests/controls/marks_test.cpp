// Checkboxes, radio buttons and radio groups: marks, keys, submitted values,
// the colours they draw with, and the rings of the radio list.

#include <gtest/gtest.h>

#include "controls/checkbox.h"
#include "controls/radiolist.h"
#include "screen.h"
#include "shell/global.h"

using controlstest::freshPage;
using controlstest::pagePair;
using controlstest::pageText;

TEST(Checkbox, EnterTogglesAndResetRestoresTheCheckedState) {
    freshPage();
    Checkbox box("INPUT TYPE=checkbox NAME=agree CHECKED");
    box.setXY(10, 2);
    EXPECT_STREQ(box.getRepresentation(), "[X]");
    EXPECT_STREQ(box.valueOf(), "on");  // checked without VALUE

    EXPECT_EQ(box.getKey(10), 10);
    EXPECT_STREQ(box.getRepresentation(), "[ ]");
    EXPECT_STREQ(box.valueOf(), "");  // unchecked is still sent, empty
    EXPECT_EQ(pageText(10, 2, 3), "[ ]");
    EXPECT_EQ(pagePair(10, 2), 1);

    box.reset();
    EXPECT_EQ(pageText(10, 2, 3), "[X]");
    EXPECT_EQ(pagePair(11, 2), 6);
}

TEST(Checkbox, TabDrawsItUnfocusedAndOtherKeysComeBack) {
    freshPage();
    Checkbox box("INPUT TYPE=checkbox VALUE=yes");
    box.setXY(0, 0);
    box.select();
    EXPECT_EQ(pagePair(0, 0), 1);
    EXPECT_EQ(box.getKey(9), 9);
    EXPECT_EQ(pagePair(0, 0), 6);
    EXPECT_EQ(box.getKey('x'), 'x');
    EXPECT_FALSE(box.isChecked());
    EXPECT_STREQ(box.nameOf(), "");  // never null
    box.check();
    EXPECT_STREQ(box.valueOf(), "yes");
}

TEST(Radio, OnlyACheckedButtonWithANameIsSent) {
    Radio plain("INPUT TYPE=radio");
    EXPECT_EQ(plain.nameOf(), nullptr);
    EXPECT_EQ(plain.valueOf(), nullptr);
    Radio checked("INPUT TYPE=radio NAME=size CHECKED");
    EXPECT_STREQ(checked.getRepresentation(), "(*)");
    EXPECT_STREQ(checked.valueOf(), "on");
    Radio valued("INPUT TYPE=radio NAME=size VALUE=xl CHECKED");
    EXPECT_STREQ(valued.valueOf(), "xl");
}

class RadioGroups : public ::testing::Test {
protected:
    void SetUp() override { freshPage(); }
    // Adds a radio button drawn at page row `row`, returns the stored one.
    Radio* add(const char* tag, short row) {
        const short n = GlobalNamespace.radios.addElement(Radio(tag));
        Radio* r = GlobalNamespace.radios.getReferenceOf(static_cast<short>(n - 1));
        r->setXY(0, row);
        return r;
    }
};

TEST_F(RadioGroups, NamesDifferingInCaseFormOneGroupAndEnterUnchecksTheRest) {
    Radio* a = add("INPUT TYPE=radio NAME=colour CHECKED", 0);
    Radio* other = add("INPUT TYPE=radio NAME=size CHECKED", 1);
    Radio* b = add("INPUT TYPE=radio NAME=Colour CHECKED", 2);
    Radio* c = add("INPUT TYPE=radio NAME=COLOUR", 3);
    EXPECT_EQ(a->nextInGroup, b);  // the ring runs in page order
    EXPECT_EQ(b->nextInGroup, c);
    EXPECT_EQ(c->nextInGroup, a);
    EXPECT_EQ(a->prevInGroup, c);
    EXPECT_EQ(other->nextInGroup, other);

    EXPECT_EQ(c->getKey(10), 10);
    EXPECT_TRUE(c->isChecked());
    EXPECT_FALSE(a->isChecked());
    EXPECT_FALSE(b->isChecked());
    EXPECT_TRUE(other->isChecked());
    EXPECT_EQ(pageText(0, 0, 3), "( )");
    EXPECT_EQ(pagePair(0, 0), 6);
    EXPECT_EQ(pageText(0, 3, 3), "(*)");
    EXPECT_EQ(pagePair(0, 3), 1);

    // Enter on the checked one changes nothing; a button whose tag was
    // CHECKED is checked again by reset and unchecks the rest of its group.
    EXPECT_EQ(c->getKey(10), 10);
    EXPECT_TRUE(c->isChecked());
    b->reset();
    EXPECT_TRUE(b->isChecked());
    EXPECT_FALSE(c->isChecked());
    EXPECT_EQ(pageText(0, 3, 3), "( )");
}

TEST_F(RadioGroups, ButtonsWithoutANameFormOneGroup) {
    Radio* a = add("INPUT TYPE=radio CHECKED", 0);
    Radio* b = add("INPUT TYPE=radio", 1);
    add("INPUT TYPE=radio NAME=x", 2);
    EXPECT_EQ(a->nextInGroup, b);
    b->getKey(10);
    EXPECT_FALSE(a->isChecked());
}

TEST_F(RadioGroups, RadioListIndexesWrapAroundButComponentListsGiveTheFirst) {
    Radio* a = add("INPUT TYPE=radio NAME=a", 0);
    add("INPUT TYPE=radio NAME=b", 1);
    Radio* c = add("INPUT TYPE=radio NAME=c", 2);
    EXPECT_EQ(GlobalNamespace.radios.getReferenceOf(5), c);
    EXPECT_EQ(GlobalNamespace.radios.getReferenceOf(3), a);
    EXPECT_EQ(GlobalNamespace.radios.getReferenceOf(-1), a);

    for (int i = 0; i < 3; ++i) GlobalNamespace.checkboxes.addElement(Checkbox("INPUT"));
    Checkbox* first = GlobalNamespace.checkboxes.getReferenceOf(0);
    EXPECT_EQ(GlobalNamespace.checkboxes.getReferenceOf(5), first);
    EXPECT_EQ(GlobalNamespace.checkboxes.getReferenceOf(3), first);
}
