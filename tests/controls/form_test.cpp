// Forms: the bytes of a submission as the proxy server receives them, reset
// of every member, copies of forms and the form list.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/checkbox.h"
#include "controls/combo.h"
#include "controls/formlist.h"
#include "controls/password.h"
#include "controls/radio.h"
#include "controls/textbox.h"
#include "peer.h"
#include "screen.h"
#include "shell/global.h"

using controlstest::FakePeer;
using controlstest::freshPage;
using controlstest::pushKeys;

class FormSubmission : public ::testing::Test {
protected:
    void SetUp() override {
        freshPage();
        GlobalNamespace.url.setReqType(ABSOLUTE);
    }
    void TearDown() override {
        GlobalNamespace.network.io.close();
        GlobalNamespace.network.io.setPort(ServerIO::PORT);
        GlobalNamespace.ast.resetAST();
    }
    // Registers the control as the next active element and as a member.
    static void join(Form& form, ActiveTypes kind, Component& control) {
        const short serial = GlobalNamespace.ast.addComponent(kind, &control);
        ASSERT_GT(serial, 0);
        form.updateMemberList(static_cast<short>(serial - 1));
    }
    // Submits the form to a fake proxy server and returns what it received.
    static std::string send(Form& form) {
        FakePeer peer;
        GlobalNamespace.network.io.setPort(peer.port());
        EXPECT_NE(form.submit(), 0);
        GlobalNamespace.network.io.close();
        return peer.received();
    }
};

TEST_F(FormSubmission, SendsCountedMembersLastFirstAndSkipsNullNamesAndValues) {
    Form form("FORM NAME=f ACTION=search.cgi METHOD=post");
    textBox query("INPUT TYPE=TEXTBOX NAME=q VALUE=abc");
    Checkbox agree("INPUT TYPE=CHECKBOX NAME=agree CHECKED");
    textBox emptyBox("INPUT TYPE=TEXTBOX NAME=empty");      // no value
    Radio unchecked("INPUT TYPE=RADIO NAME=size VALUE=s");  // no value
    Radio nameless("INPUT TYPE=RADIO VALUE=v CHECKED");     // no name
    Combo colour("SELECT NAME=colour");
    colour.addOption("OPTION VALUE=g", "Green");
    colour.adjustOptions();
    join(form, TEXTBOX, query);
    join(form, CHECKBOX, agree);
    join(form, TEXTBOX, emptyBox);
    join(form, RADIO, unchecked);
    join(form, RADIO, nameless);
    join(form, COMBO, colour);
    form.updateMemberList(40);  // leads past the table: skipped

    EXPECT_EQ(send(form), "FORM-POST\nhttp://search.cgi\n3\ncolour\ng\nagree\non\nq\nabc\n\n~~~\n");
    EXPECT_EQ(GlobalNamespace.url.requestType, FORM_REPLY);
}

TEST_F(FormSubmission, MethodPostInAnyCaseElseGetAndThePrefixIsAddedOnce) {
    Form post("FORM ACTION=a.cgi METHOD=PoSt");
    EXPECT_EQ(send(post), "FORM-POST\nhttp://a.cgi\n0\n\n~~~\n");
    EXPECT_EQ(send(post), "FORM-POST\nhttp://a.cgi\n0\n\n~~~\n");
    EXPECT_STREQ(post.getAction(), "http://a.cgi");

    Form get("FORM ACTION=http://host/b METHOD=put");
    EXPECT_EQ(send(get), "FORM-GET\nhttp://host/b\n0\n\n~~~\n");
    Form none("FORM");
    EXPECT_EQ(send(none), "FORM-GET\nhttp://\n0\n\n~~~\n");

    // 85 characters and the prefix would pass the 91 the action holds.
    const std::string longAction(85, 'x');
    Form tooLong(("FORM ACTION=" + longAction).c_str());
    EXPECT_EQ(send(tooLong), "FORM-GET\n" + longAction + "\n0\n\n~~~\n");
}

TEST_F(FormSubmission, CountsAreSentInFullDecimal) {
    std::vector<Checkbox> boxes;
    boxes.reserve(120);
    for (int i = 0; i < 120; ++i) boxes.emplace_back(("INPUT NAME=c" + std::to_string(i)).c_str());
    Form twelve("FORM ACTION=t");
    Form many("FORM ACTION=m");
    for (int i = 0; i < 120; ++i) join(i < 12 ? twelve : many, CHECKBOX, boxes[static_cast<std::size_t>(i)]);
    for (int i = 12; i < 120; ++i) many.updateMemberList(static_cast<short>(i - 12));  // same controls again

    const std::string small = send(twelve);
    const std::string head = "FORM-GET\nhttp://t\n12\nc11\n\nc10\n\n";
    const std::string tail = "c1\n\nc0\n\n\n~~~\n";
    EXPECT_EQ(small.substr(0, head.size()), head);
    ASSERT_GE(small.size(), tail.size());
    EXPECT_EQ(small.substr(small.size() - tail.size()), tail);

    const std::string large = send(many);
    EXPECT_EQ(large.substr(0, 22), "FORM-GET\nhttp://m\n216\n");
}

TEST_F(FormSubmission, ResetRestoresEveryMember) {
    Form form("FORM");
    textBox box("INPUT TYPE=TEXTBOX NAME=t VALUE=start");
    Checkbox check("INPUT TYPE=CHECKBOX NAME=c");
    Combo combo("SELECT NAME=s");
    combo.addOption("OPTION", "one");
    combo.addOption("OPTION SELECTED", "two");
    combo.adjustOptions();
    password secret("INPUT TYPE=PASSWORD NAME=p");
    join(form, TEXTBOX, box);
    join(form, CHECKBOX, check);
    join(form, COMBO, combo);
    join(form, PASSWORD, secret);

    pushKeys({'!', 9});
    box.select();
    check.getKey(10);
    pushKeys({KEY_DOWN, 10});
    combo.getKey(10);
    pushKeys({'x', 9});
    secret.select();
    ASSERT_STREQ(box.valueOf(), "start!");
    ASSERT_STREQ(combo.valueOf(), "one");

    form.reset();
    EXPECT_STREQ(box.valueOf(), "start");
    EXPECT_FALSE(check.isChecked());
    EXPECT_STREQ(combo.valueOf(), "two");
    EXPECT_EQ(secret.valueOf(), nullptr);
}

TEST(Form, CopiesOwnTheirMemberLists) {
    Form original("FORM NAME=f");
    original.updateMemberList(1);
    original.updateMemberList(2);
    Form copy(original);
    original.updateMemberList(3);
    Form assigned;
    assigned = copy;
    copy.updateMemberList(9);

    EXPECT_EQ(original.getMemberCount(), 3);
    EXPECT_EQ(assigned.getMemberCount(), 2);
    EXPECT_EQ(assigned.getMembers()->index, 2);  // newest first
    EXPECT_EQ(assigned.getMembers()->next->index, 1);
    EXPECT_STREQ(assigned.getName(), "f");
}

TEST(FormList, LinksItsNodesInARingAndEmptiesCompletely) {
    FormList list;
    FormListNode* a = list.addElement(Form("FORM NAME=a"));
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(a->prev, nullptr);
    FormListNode* b = list.addElement(Form("FORM NAME=b"));
    FormListNode* c = list.addElement(Form("FORM NAME=c"));
    EXPECT_EQ(list.getCount(), 3);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(c->next, a);
    EXPECT_EQ(a->prev, c);
    EXPECT_STREQ(b->form.getName(), "b");
    list.resetList();
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getFirst(), nullptr);
    list.resetList();
}
