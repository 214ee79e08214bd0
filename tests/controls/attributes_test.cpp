// Reading attributes from tag text: single-word values, quotes, a keyword
// with nothing after it, and values cut at their buffer sizes.

#include "controls/attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "controls/checkbox.h"
#include "controls/form.h"
#include "controls/hyperlink.h"
#include "controls/submit.h"
#include "controls/textbox.h"

TEST(AttributeScan, WalksWordsAndTakesTheWordAfterAKeywordAsItsValue) {
    AttributeScan scan("INPUT TYPE=\"checkbox\" name=agree CHECKED");
    std::string seen;
    while (scan.next()) {
        if (scan.is("NAME"))
            seen += std::string("name:") + scan.value() + ";";
        else if (scan.is("checked"))
            seen += "checked;";
    }
    EXPECT_EQ(seen, "name:agree;checked;");
    EXPECT_FALSE(scan.next());
}

TEST(AttributeScan, AQuotedValueOfTwoWordsKeepsOnlyTheFirst) {
    Submit button("INPUT TYPE=SUBMIT VALUE=\"Send now\"", nullptr);
    EXPECT_STREQ(button.getRepresentation(), "Send");
    EXPECT_EQ(button.getLength(), 4);
}

TEST(AttributeScan, AKeywordAtTheEndSetsNothing) {
    AttributeScan scan("INPUT NAME");
    char name[8] = "keep";
    while (scan.next()) {
        if (scan.is("NAME")) {
            EXPECT_FALSE(scan.copyValue(name));
        }
    }
    EXPECT_STREQ(name, "keep");

    Hyperlink link("A HREF");
    EXPECT_STREQ(link.getHref(), "");
    Form form("FORM ACTION=go.cgi METHOD");
    EXPECT_STREQ(form.getAction(), "go.cgi");
    EXPECT_STREQ(form.getMethod(), "");
}

TEST(AttributeScan, ValuesAreCutToTheirBufferSizeMinusOne) {
    const std::string longWord(200, 'n');
    Checkbox box(("INPUT TYPE=checkbox NAME=" + longWord).c_str());
    EXPECT_EQ(std::string(box.nameOf()), longWord.substr(0, 39));
    Form form(("FORM ACTION=" + longWord).c_str());
    EXPECT_EQ(std::string(form.getAction()), longWord.substr(0, 91));
    Hyperlink link(("A HREF=" + longWord).c_str());
    EXPECT_EQ(std::string(link.getHref()), longWord.substr(0, 149));
}

TEST(AttributeScan, EqualsSignsAndBlanksEndAValue) {
    Hyperlink link("A HREF=\"find.cgi?q=1\"");
    EXPECT_STREQ(link.getHref(), "find.cgi?q");
    Form form("FORM name=a NAME=b action=x Action=y");
    EXPECT_STREQ(form.getName(), "b");  // a later occurrence wins
    EXPECT_STREQ(form.getAction(), "y");
}
