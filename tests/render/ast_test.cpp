// The active element table: the ring, the focus and the Tab rule, driven
// with fake elements that record what is done to them.

#include <climits>

#include "render_fixture.h"

namespace rendertest {
namespace {

using ActiveTable = RenderTest;
using Keys = std::vector<int>;

TEST_F(ActiveTable, EntriesFormARingInOrderOfAdding) {
    FakeComponent link, box, text;
    EXPECT_EQ(table().addComponent(HYPERLINK, &link), 1);
    EXPECT_EQ(table().addComponent(CHECKBOX, &box), 2);
    EXPECT_EQ(table().addComponent(TEXTBOX, &text), 3);
    const ASTNode* head = table().getPointerToAST();
    EXPECT_EQ(head->info, &link);
    EXPECT_EQ(head->next->info, &box);
    EXPECT_EQ(head->next->next->info, &text);
    EXPECT_EQ(head->next->next->next, head);
    EXPECT_EQ(table().getSelected(), head);
}

TEST_F(ActiveTable, SilentMovesGoAroundAndOnlyTellTheComboItIsLeft) {
    FakeComponent link, combo, box;
    table().addComponent(HYPERLINK, &link);
    table().addComponent(COMBO, &combo);
    table().addComponent(CHECKBOX, &box);
    table().moveNext(false);
    EXPECT_TRUE(combo.keys.empty());
    table().moveNext(false);
    EXPECT_EQ(combo.keys, Keys{258});
    table().moveNext(false);
    EXPECT_EQ(table().getSelected(), table().getPointerToAST());
    EXPECT_EQ(link.selects + combo.selects + box.selects, 0);
}

TEST_F(ActiveTable, ActivatingMovesSelectOrGiveTheComboItsFocusKey) {
    FakeComponent link, combo;
    table().addComponent(HYPERLINK, &link);
    table().moveNext(true);  // a ring of one selects the same entry again
    EXPECT_EQ(link.selects, 1);
    table().addComponent(COMBO, &combo);
    table().moveNext(true);
    EXPECT_EQ(combo.keys, Keys{259});
    table().moveNext(true);
    EXPECT_EQ(combo.keys, (Keys{259, 258}));
    EXPECT_EQ(combo.selects, 0);
    EXPECT_EQ(link.selects, 2);
}

TEST_F(ActiveTable, EmptyTableIgnoresEverything) {
    EXPECT_EQ(table().getKey(65), 65);
    EXPECT_EQ(table().getKey(9), 9);
    table().moveNext(true);
    table().startSelect();
    table().storeXY(1, 2);
    EXPECT_EQ(table().getLength(), 0);
    EXPECT_EQ(table().getRow(), 0);
    EXPECT_FALSE(GlobalNamespace.events.pendingTab);
}

TEST_F(ActiveTable, KeysGoToTheSelectedElement) {
    FakeComponent link(7), box;
    table().addComponent(HYPERLINK, &link);
    table().addComponent(CHECKBOX, &box);
    EXPECT_EQ(table().getKey(10), 10);
    // Tab before an element of another kind: the element receives the
    // result of its own Tab handling as a second key.
    link.tabResult = 42;
    EXPECT_EQ(table().getKey(9), 42);
    EXPECT_EQ(link.keys, (Keys{10, 9, 42}));
    EXPECT_TRUE(box.keys.empty());
    EXPECT_EQ(table().getSelected()->info, &link);
}

TEST_F(ActiveTable, TabRunsThroughConsecutiveTextFields) {
    FakeComponent link, text, secret, box;
    table().addComponent(HYPERLINK, &link);
    table().addComponent(TEXTBOX, &text);
    table().addComponent(PASSWORD, &secret);
    table().addComponent(CHECKBOX, &box);
    EXPECT_EQ(table().getKey(9), 9);
    EXPECT_EQ(link.keys, Keys{9});
    EXPECT_EQ(text.selects, 1);
    EXPECT_EQ(secret.selects, 1);
    EXPECT_EQ(table().getSelected()->info, &secret);
    table().moveNext(true);  // what the key handler does next
    EXPECT_EQ(box.selects, 1);
}

TEST_F(ActiveTable, TabRunStopsInGlobalMode) {
    FakeComponent link, first, second;
    table().addComponent(HYPERLINK, &link);
    table().addComponent(TEXTBOX, &first);
    table().addComponent(TEXTBOX, &second);
    first.selectSetsGlobalMode = true;  // the user left it with ESC
    table().getKey(9);
    EXPECT_EQ(first.selects, 1);
    EXPECT_EQ(second.selects, 0);
    EXPECT_EQ(table().getSelected()->info, &first);
    table().setSelect();
    table().getKey(9);  // already in Global mode: no field is entered
    EXPECT_EQ(first.selects, 1);
}

TEST_F(ActiveTable, StartSelectSetsPendingTabOnlyForATextBox) {
    struct Case {
        ActiveTypes type;
        int selects;
        Keys keys;
        bool pendingTab;
    };
    for (const Case& c :
         {Case{TEXTBOX, 1, {}, true}, Case{PASSWORD, 1, {}, false}, Case{COMBO, 0, {259}, false}}) {
        table().resetAST();
        GlobalNamespace.events.pendingTab = false;
        FakeComponent first;
        table().addComponent(c.type, &first);
        table().startSelect();
        EXPECT_EQ(first.selects, c.selects) << c.type;
        EXPECT_EQ(first.keys, c.keys) << c.type;
        EXPECT_EQ(GlobalNamespace.events.pendingTab, c.pendingTab) << c.type;
        table().resetAST();
    }
}

TEST_F(ActiveTable, AddElementTakesTheElementFromItsList) {
    EXPECT_EQ(table().addElement(IMAGE, 0), -1);
    EXPECT_EQ(table().addElement(static_cast<ActiveTypes>(9), 0), -1);
    EXPECT_EQ(table().addElement(CHECKBOX, 0), -1);  // empty list
    EXPECT_EQ(table().addElement(RADIO, 0), -1);
    EXPECT_EQ(table().getCount(), 0);
    GlobalNamespace.checkboxes.addElement(Checkbox());
    GlobalNamespace.checkboxes.addElement(Checkbox());
    EXPECT_EQ(table().addElement(CHECKBOX, 1), 1);
    EXPECT_EQ(table().getPointerToAST()->info, GlobalNamespace.checkboxes.getReferenceOf(1));
}

TEST_F(ActiveTable, ResetEmptiesTheListsOnlyWhenThereAreEntries) {
    GlobalNamespace.checkboxes.addElement(Checkbox());
    table().resetAST();
    EXPECT_EQ(GlobalNamespace.checkboxes.getCount(), 1);
    ASSERT_EQ(table().addElement(CHECKBOX, 0), 1);
    table().resetAST();
    EXPECT_EQ(table().getCount(), 0);
    EXPECT_EQ(table().getPointerToAST(), nullptr);
    EXPECT_EQ(GlobalNamespace.checkboxes.getCount(), 0);
}

TEST_F(ActiveTable, CountStopsAtTheLargestSerialNumber) {
    FakeComponent shared;
    for (int i = 1; i <= SHRT_MAX; ++i) ASSERT_EQ(table().addComponent(HYPERLINK, &shared), i);
    EXPECT_EQ(table().addComponent(HYPERLINK, &shared), -1);
}

TEST_F(ActiveTable, EntryWithoutAComponentIsAProgrammingError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(table().addComponent(HYPERLINK, nullptr), "fresh->info != __null");
}

}  // namespace
}  // namespace rendertest
