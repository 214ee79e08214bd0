// Submit and reset buttons, links and images: labels, colours, keys and
// what Enter does.

#include <gtest/gtest.h>

#include "controls/checkbox.h"
#include "controls/form.h"
#include "controls/hyperlink.h"
#include "controls/image.h"
#include "controls/reset.h"
#include "controls/submit.h"
#include "peer.h"
#include "screen.h"
#include "shell/global.h"

using controlstest::freshPage;
using controlstest::pagePair;
using controlstest::pageText;
using controlstest::pushKeys;

TEST(Buttons, DefaultLabelsAndColoursOfSubmitAndReset) {
    freshPage();
    Submit submit("INPUT TYPE=SUBMIT", nullptr);
    Reset reset("INPUT TYPE=RESET", nullptr);
    EXPECT_STREQ(submit.getRepresentation(), "SUBMIT QUERY");
    EXPECT_EQ(submit.getLength(), 12);
    EXPECT_STREQ(reset.getRepresentation(), "RESET");
    EXPECT_EQ(reset.getLength(), 5);

    submit.setXY(0, 0);
    reset.setXY(20, 0);
    submit.select();
    reset.select();
    EXPECT_EQ(pageText(0, 0, 12), "SUBMIT QUERY");
    EXPECT_EQ(pagePair(0, 0), 11);
    EXPECT_EQ(pagePair(20, 0), 11);
    EXPECT_EQ(submit.getKey(9), 9);
    EXPECT_EQ(reset.getKey(9), 9);
    EXPECT_EQ(pagePair(0, 0), 4);
    EXPECT_EQ(pagePair(20, 0), 4);
    EXPECT_EQ(submit.getKey('a'), 'a');
}

TEST(Buttons, SubmitWithoutAFormSaysSoAndStillEndsTheKeys) {
    freshPage();
    Submit submit("INPUT TYPE=SUBMIT VALUE=Go", nullptr);
    pushKeys({10});  // closes the message window
    EXPECT_EQ(submit.getKey(10), -20);
    EXPECT_EQ(GlobalNamespace.message.getText(), "This button belongs to no form");
}

TEST(Buttons, AFailedSubmissionShowsTheConnectionErrorAndEndsTheKeys) {
    freshPage();
    GlobalNamespace.network.io.setPort(controlstest::closedPort());
    GlobalNamespace.url.setReqType(CACHED);
    Form form("FORM ACTION=x");
    Submit submit("INPUT TYPE=SUBMIT", &form);
    pushKeys({10});  // closes the message window
    EXPECT_EQ(submit.getKey(10), -20);
    EXPECT_EQ(GlobalNamespace.message.getText(), "Connection failed with WexaPServer");
    EXPECT_EQ(GlobalNamespace.url.requestType, CACHED);  // nothing was sent
    EXPECT_STREQ(form.getAction(), "x");
    GlobalNamespace.network.io.setPort(ServerIO::PORT);
}

TEST(Buttons, ResetKeepsTheFocusAndResetsItsFormIfItHasOne) {
    freshPage();
    Reset orphan("INPUT TYPE=RESET", nullptr);
    EXPECT_EQ(orphan.getKey(10), 10);

    Form form("FORM");
    Checkbox box("INPUT NAME=b CHECKED");
    form.updateMemberList(static_cast<short>(GlobalNamespace.ast.addComponent(CHECKBOX, &box) - 1));
    box.unCheck();
    Reset reset("INPUT TYPE=RESET VALUE=Clear", &form);
    EXPECT_EQ(reset.getKey(10), 10);
    EXPECT_TRUE(box.isChecked());
    GlobalNamespace.ast.resetAST();
}

TEST(Hyperlink, EnterSetsTheTargetAsARelativeUrlAndChangesThePage) {
    freshPage();
    Hyperlink link("A HREF=\"next.html\"");
    link.setText("Next page");
    EXPECT_EQ(link.getLength(), 9);
    EXPECT_STREQ(link.getRepresentation(), "Next page");
    link.setXY(3, 2);
    link.select();
    EXPECT_EQ(pagePair(3, 2), 1);
    EXPECT_EQ(link.getKey(9), 9);
    EXPECT_EQ(pageText(3, 2, 9), "Next page");
    EXPECT_EQ(pagePair(3, 2), 9);

    GlobalNamespace.url.setReqType(CACHED);
    EXPECT_EQ(link.getKey(10), -1);
    EXPECT_EQ(GlobalNamespace.url.requestType, RELATIVE);
}

TEST(Image, ShowsTheAltWordOrImageAndOnlyTabDoesSomething) {
    freshPage();
    Image plain("IMG SRC=a.png", false);
    EXPECT_STREQ(plain.getRepresentation(), "IMAGE");
    EXPECT_EQ(plain.getLength(), 5);
    Image logo("IMG ALT=Logo SRC=a.png", false);
    EXPECT_STREQ(logo.getRepresentation(), "Logo");
    EXPECT_EQ(logo.getLength(), 4);
    logo.setXY(0, 0);
    logo.select();
    EXPECT_EQ(pagePair(0, 0), 1);
    EXPECT_EQ(logo.getKey(10), 10);
    EXPECT_EQ(logo.getKey(9), 9);
    EXPECT_EQ(pagePair(0, 0), 5);
}
