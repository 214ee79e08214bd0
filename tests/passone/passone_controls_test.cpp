// Pass one's links, forms and form controls: the bytes each writes, what is
// stored in the lists of GlobalNamespace, and how each is registered in the
// active element table and joins its form.

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "passone/pagestream.h"
#include "passone/passone.h"
#include "shell/global.h"
#include "support/testsupport.h"

namespace {

constexpr char TAB = static_cast<char>(PS_TAB);
const std::string PLACEHOLDER = "[__________________]";
const std::string EMPTY_FIELD = "[                  ]";

std::string seg(const std::string& text) {
    return TAB + text + TAB;
}

// Empties the page's lists and table. resetAST does nothing while the table
// is empty, so lists filled without registrations are emptied directly.
void clearPage() {
    GlobalNamespace.ast.resetAST();
    GlobalNamespace.checkboxes.resetList();
    GlobalNamespace.combos.resetList();
    GlobalNamespace.hyperlinks.resetList();
    GlobalNamespace.textBoxes.resetList();
    GlobalNamespace.passwords.resetList();
    GlobalNamespace.submits.resetList();
    GlobalNamespace.resets.resetList();
    GlobalNamespace.radios.resetList();
    GlobalNamespace.forms.resetList();
}

struct Entry {
    ActiveTypes type;
    Component* info;
};

// The active element table in order.
std::vector<Entry> table() {
    std::vector<Entry> entries;
    ASTNode* node = GlobalNamespace.ast.getPointerToAST();
    for (short i = 0; i < GlobalNamespace.ast.getCount() && node != nullptr; ++i, node = node->next)
        entries.push_back({node->type, node->info});
    return entries;
}

std::vector<ActiveTypes> kinds() {
    std::vector<ActiveTypes> out;
    for (const Entry& e : table()) out.push_back(e.type);
    return out;
}

// The texts between delimiter pairs, in order. Fails the test on a stream
// whose delimiters do not pair up.
std::vector<std::string> segments(const std::string& stream) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while ((at = stream.find(TAB, at)) != std::string::npos) {
        const std::size_t close = stream.find(TAB, at + 1);
        EXPECT_NE(close, std::string::npos) << "unpaired delimiter at " << at;
        if (close == std::string::npos) break;
        out.push_back(stream.substr(at + 1, close - at - 1));
        at = close + 1;
    }
    return out;
}

// A form's member indexes in list order (newest first).
std::vector<short> members(const Form& form) {
    std::vector<short> out;
    for (const Form::Member* m = form.getMembers(); m != nullptr; m = m->next) out.push_back(m->index);
    return out;
}

Form* firstForm() {
    FormListNode* node = GlobalNamespace.forms.getFirst();
    return node != nullptr ? &node->form : nullptr;
}

class PassOneControlsTest : public ::testing::Test {
protected:
    // Text fields make curses pads when they are built.
    static void SetUpTestSuite() { wexatest::useDummyTerminal(); }
    void SetUp() override { clearPage(); }
    void TearDown() override { clearPage(); }

    // The bytes of pass1.tmp for html, on a page with no earlier elements.
    std::string streamOf(const std::string& html) {
        clearPage();
        wexatest::writeFile("page.html", html);
        PassOne().passOne("page.html");
        return wexatest::readFile("pass1.tmp");
    }

    wexatest::TempDir dir;
};

// --- links ------------------------------------------------------------------

TEST_F(PassOneControlsTest, LinkEnclosesTheTextAfterItsTagAndIsRegistered) {
    EXPECT_EQ(streamOf("<A HREF=home.html>Home page</A> after"), seg("Home page") + "after");
    ASSERT_EQ(GlobalNamespace.hyperlinks.getCount(), 1);
    Hyperlink* link = GlobalNamespace.hyperlinks.getReferenceOf(0);
    EXPECT_STREQ(link->getHref(), "home.html");
    EXPECT_STREQ(link->getRepresentation(), "Home page");
    EXPECT_EQ(link->getLength(), 9);
    const std::vector<Entry> entries = table();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, HYPERLINK);
    EXPECT_EQ(entries[0].info, link) << "the table points at the stored copy";

    // Only the token after the tag is the link text; the bold code and the
    // rest follow outside the delimiters.
    EXPECT_EQ(streamOf("<A HREF=x>one <B>two</B></A>"), seg("one ") + "\x16two\x17");
    EXPECT_EQ(GlobalNamespace.hyperlinks.getCount(), 1);
}

TEST_F(PassOneControlsTest, ImageInsideLinkLendsItsTextAndIsNoElement) {
    EXPECT_EQ(streamOf("<A HREF=x><IMG SRC=l.png ALT=Logo></A>"), seg("Logo"));
    EXPECT_EQ(kinds(), std::vector<ActiveTypes>{HYPERLINK});
    EXPECT_STREQ(GlobalNamespace.hyperlinks.getReferenceOf(0)->getRepresentation(), "Logo");

    EXPECT_EQ(streamOf("<A HREF=x><IMG SRC=l.png>text"), seg("IMAGE") + "text");
    EXPECT_EQ(kinds(), std::vector<ActiveTypes>{HYPERLINK});
}

TEST_F(PassOneControlsTest, LinkWithoutTextShowsItsTargetAndLeavesTheNextTagToAct) {
    // At the end of the page: no link, and no unpaired delimiter.
    EXPECT_EQ(streamOf("end<A HREF=x>"), "end");
    EXPECT_EQ(GlobalNamespace.hyperlinks.getCount(), 0);
    EXPECT_EQ(GlobalNamespace.ast.getCount(), 0);

    // A tag in place of the text: the target word is the text, never the
    // tag's own text, and the tag still acts.
    EXPECT_EQ(streamOf("<A HREF=next.html><B>bold</B>"), seg("next.html") +
                                                             "\x16"
                                                             "bold\x17");
    EXPECT_STREQ(GlobalNamespace.hyperlinks.getReferenceOf(0)->getRepresentation(), "next.html");
    EXPECT_EQ(streamOf("<A NAME=top><BR>x"), seg("LINK") + "\nx");
    EXPECT_EQ(streamOf("<A HREF=><TITLE>T</TITLE>"), seg("LINK"));
    EXPECT_STREQ(GlobalNamespace.page.getTitle(), "T");

    // The following tag may itself be a link.
    EXPECT_EQ(streamOf("<A HREF=a><A HREF=b>second"), seg("a") + seg("second"));
    ASSERT_EQ(GlobalNamespace.hyperlinks.getCount(), 2);
    EXPECT_STREQ(GlobalNamespace.hyperlinks.getReferenceOf(1)->getHref(), "b");
    EXPECT_EQ(kinds(), (std::vector<ActiveTypes>{HYPERLINK, HYPERLINK}));
}

TEST_F(PassOneControlsTest, LongLinkTextIsCutAlikeInTheLinkAndTheStream) {
    const std::string text(150, 'w');
    EXPECT_EQ(streamOf("<A HREF=x>" + text + "</A>"), seg(text.substr(0, 99)));
    EXPECT_EQ(GlobalNamespace.hyperlinks.getReferenceOf(0)->getLength(), 99);

    const std::string alt(200, 'a');
    EXPECT_EQ(streamOf("<A HREF=x><IMG ALT=" + alt + ">"), seg(alt.substr(0, 99)));
}

TEST_F(PassOneControlsTest, ControlBytesInALinkTextReachNeitherTheStreamNorTheLink) {
    EXPECT_EQ(streamOf("<A HREF=x>a\x01"
                       "b\x03</A>"),
              seg("ab"));
    EXPECT_STREQ(GlobalNamespace.hyperlinks.getReferenceOf(0)->getRepresentation(), "ab");
    // Nothing visible is left: the target word stands in.
    EXPECT_EQ(streamOf("<A HREF=t.html>\x01</A>"), seg("t.html"));
}

TEST_F(PassOneControlsTest, ImageOutsideLinkIsPlainText) {
    EXPECT_EQ(streamOf("a<IMG SRC=l.png ALT=Logo>b"), "aLogob");
    EXPECT_EQ(streamOf("<IMG SRC=l.png>"), "IMAGE");
    EXPECT_EQ(GlobalNamespace.ast.getCount(), 0);
}

// --- inputs -----------------------------------------------------------------

TEST_F(PassOneControlsTest, EachInputKindWritesItsRepresentationAndIsRegistered) {
    struct Case {
        std::string html;
        std::string text;
        ActiveTypes kind;
    };
    const std::vector<Case> cases = {
        {"<INPUT TYPE=checkbox NAME=c>", "[ ]", CHECKBOX},
        {"<INPUT TYPE=\"checkbox\" CHECKED>", "[X]", CHECKBOX},
        {"<INPUT TYPE=text NAME=t>", "[ ]", CHECKBOX},
        {"<INPUT NAME=n>", "[ ]", CHECKBOX},
        {"<INPUT TYPE=range>", "[ ]", CHECKBOX},
        {"<INPUT TYPE=radio NAME=r>", "( )", RADIO},
        {"<input type=Radio name=r checked>", "(*)", RADIO},
        {"<INPUT TYPE=TEXTBOX NAME=q>", EMPTY_FIELD, TEXTBOX},
        {"<INPUT TYPE=TEXTBOX VALUE=abc>", "[abc               ]", TEXTBOX},
        {"<INPUT TYPE=TEXTBOX VALUE=" + std::string(30, 'v') + ">", "[" + std::string(18, 'v') + "]",
         TEXTBOX},
        {"<INPUT TYPE=PASSWORD NAME=p VALUE=secret>", EMPTY_FIELD, PASSWORD},
        {"<INPUT TYPE=SUBMIT>", "SUBMIT QUERY", SUBMIT},
        {"<INPUT TYPE=SUBMIT VALUE=\"Send now\">", "Send", SUBMIT},
        {"<INPUT TYPE=RESET>", "RESET", RESET},
        {"<INPUT TYPE=RESET VALUE=Clear>", "Clear", RESET},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(streamOf(c.html), seg(c.text)) << c.html;
        const std::vector<Entry> entries = table();
        ASSERT_EQ(entries.size(), 1u) << c.html;
        EXPECT_EQ(entries[0].type, c.kind) << c.html;
        EXPECT_STREQ(entries[0].info->getRepresentation(), c.text.c_str()) << c.html;
    }
}

TEST_F(PassOneControlsTest, InputsAreStoredInTheListOfTheirKind) {
    streamOf(
        "<INPUT TYPE=checkbox NAME=c1><INPUT TYPE=radio NAME=r><INPUT TYPE=checkbox NAME=c2>"
        "<INPUT TYPE=TEXTBOX NAME=t><INPUT TYPE=PASSWORD NAME=p><INPUT TYPE=SUBMIT><INPUT TYPE=RESET>");
    EXPECT_EQ(GlobalNamespace.checkboxes.getCount(), 2);
    EXPECT_EQ(GlobalNamespace.radios.getCount(), 1);
    EXPECT_EQ(GlobalNamespace.textBoxes.getCount(), 1);
    EXPECT_EQ(GlobalNamespace.passwords.getCount(), 1);
    EXPECT_EQ(GlobalNamespace.submits.getCount(), 1);
    EXPECT_EQ(GlobalNamespace.resets.getCount(), 1);
    const std::vector<Entry> entries = table();
    ASSERT_EQ(entries.size(), 7u);
    // Each entry is the stored copy at its position in its own list.
    EXPECT_EQ(entries[0].info, GlobalNamespace.checkboxes.getReferenceOf(0));
    EXPECT_EQ(entries[1].info, GlobalNamespace.radios.getReferenceOf(0));
    EXPECT_EQ(entries[2].info, GlobalNamespace.checkboxes.getReferenceOf(1));
    EXPECT_STREQ(entries[2].info->nameOf(), "c2");
    EXPECT_EQ(entries[3].info, GlobalNamespace.textBoxes.getReferenceOf(0));
    EXPECT_EQ(entries[4].info, GlobalNamespace.passwords.getReferenceOf(0));
    EXPECT_EQ(entries[5].info, GlobalNamespace.submits.getReferenceOf(0));
    EXPECT_EQ(entries[6].info, GlobalNamespace.resets.getReferenceOf(0));
}

// --- drop-down lists --------------------------------------------------------

TEST_F(PassOneControlsTest, DropDownListShowsItsSelectedOptionAtTheClosingTag) {
    EXPECT_EQ(streamOf("<SELECT NAME=colour><OPTION>Red<OPTION>Green</SELECT>!"), seg("Red__") + "!");
    ASSERT_EQ(GlobalNamespace.combos.getCount(), 1);
    Combo* combo = GlobalNamespace.combos.getReferenceOf(0);
    EXPECT_EQ(combo->getOptionCount(), 2);
    EXPECT_STREQ(combo->nameOf(), "colour");
    EXPECT_STREQ(combo->valueOf(), "Red__");
    EXPECT_EQ(kinds(), std::vector<ActiveTypes>{COMBO});
    EXPECT_EQ(table()[0].info, combo);

    EXPECT_EQ(streamOf("<SELECT><OPTION VALUE=r>Red<OPTION VALUE=g SELECTED>Green</SELECT>"), seg("Green"));
    EXPECT_STREQ(GlobalNamespace.combos.getReferenceOf(0)->valueOf(), "g");
    EXPECT_EQ(streamOf("<SELECT><OPTION>Only</SELECT>"), seg("Only"));
}

TEST_F(PassOneControlsTest, InsideADropDownListOnlyOptionTextsCount) {
    // Text between options is dropped; codes of other tags land inside the
    // list's delimiters.
    EXPECT_EQ(streamOf("<SELECT><OPTION>Red</OPTION> junk <BR><OPTION>Green</OPTION> more</SELECT>"),
              TAB + std::string("\nRed__") + TAB);
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 2);
    // An image is text too.
    EXPECT_EQ(streamOf("<SELECT><IMG ALT=pic><OPTION>a</SELECT>"), seg("a"));
}

TEST_F(PassOneControlsTest, OptionOutsideAListAndSelectInsideAListDoNothing) {
    EXPECT_EQ(streamOf("<OPTION>Red"), "Red");
    EXPECT_EQ(GlobalNamespace.combos.getCount(), 0);

    EXPECT_EQ(streamOf("<SELECT NAME=a><OPTION>x<SELECT NAME=b><OPTION>yy</SELECT>"), seg("x_"));
    ASSERT_EQ(GlobalNamespace.combos.getCount(), 1);
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 2);
    EXPECT_EQ(GlobalNamespace.ast.getCount(), 1);

    EXPECT_EQ(streamOf("x</SELECT>y"), "xy");
}

TEST_F(PassOneControlsTest, ListWithoutOptionsIsShownAsADashAndNotSubmitted) {
    EXPECT_EQ(streamOf("<SELECT NAME=s></SELECT>after"), seg("-") + "after");
    EXPECT_EQ(kinds(), std::vector<ActiveTypes>{COMBO});
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->valueOf(), nullptr);

    // An OPTION at the end of the page adds nothing; the list is closed.
    EXPECT_EQ(streamOf("<SELECT><OPTION>"), seg("-"));
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 0);
}

TEST_F(PassOneControlsTest, ListStillOpenAtTheEndOfThePageIsClosedThere) {
    EXPECT_EQ(streamOf("<SELECT><OPTION>Red<OPTION>Green"), seg("Red__"));
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 2);
}

TEST_F(PassOneControlsTest, TagInPlaceOfAnOptionTextAddsNoOptionButStillActs) {
    EXPECT_EQ(streamOf("<SELECT><OPTION></SELECT>after"), seg("-") + "after");
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 0);
    EXPECT_EQ(streamOf("<SELECT><OPTION><OPTION>b</SELECT>"), seg("b"));
    EXPECT_EQ(GlobalNamespace.combos.getReferenceOf(0)->getOptionCount(), 1);
}

TEST_F(PassOneControlsTest, ElementInsideAnOpenListClosesItFirst) {
    EXPECT_EQ(streamOf("<SELECT><OPTION>a<INPUT CHECKED><OPTION>b</SELECT>"), seg("a") + seg("[X]") + "b");
    EXPECT_EQ(kinds(), (std::vector<ActiveTypes>{COMBO, CHECKBOX}));
    EXPECT_EQ(streamOf("<SELECT><OPTION>a<A HREF=x>go</A>"), seg("a") + seg("go"));
    EXPECT_EQ(kinds(), (std::vector<ActiveTypes>{COMBO, HYPERLINK}));
    EXPECT_EQ(streamOf("<SELECT><OPTION>a<TEXTAREA>t"), seg("a") + PLACEHOLDER + "t");
}

// --- text areas -------------------------------------------------------------

TEST_F(PassOneControlsTest, TextAreaIsAPlaceholderWithoutDelimitersOrElement) {
    EXPECT_EQ(streamOf("<TEXTAREA NAME=t>Hello</TEXTAREA>"), PLACEHOLDER + "Hello");
    EXPECT_EQ(GlobalNamespace.ast.getCount(), 0);
    // Inside a form it joins nothing, and the next control keeps index 0.
    streamOf("<FORM><TEXTAREA>x</TEXTAREA><INPUT></FORM>");
    EXPECT_EQ(members(*firstForm()), std::vector<short>{0});
}

// --- forms ------------------------------------------------------------------

TEST_F(PassOneControlsTest, FormMembersAreActiveTableIndexesWithoutButtons) {
    EXPECT_EQ(streamOf("<FORM NAME=f ACTION=/cgi METHOD=POST><INPUT TYPE=TEXTBOX NAME=q>"
                       "<INPUT TYPE=checkbox NAME=c><INPUT TYPE=SUBMIT></FORM>"),
              seg(EMPTY_FIELD) + seg("[ ]") + seg("SUBMIT QUERY"));
    ASSERT_EQ(GlobalNamespace.forms.getCount(), 1);
    Form* form = firstForm();
    EXPECT_STREQ(form->getName(), "f");
    EXPECT_STREQ(form->getAction(), "/cgi");
    EXPECT_STREQ(form->getMethod(), "POST");
    // Newest first: the checkbox (1), then the text box (0).
    EXPECT_EQ(members(*form), (std::vector<short>{1, 0}));
    EXPECT_EQ(GlobalNamespace.submits.getReferenceOf(0)->getForm(), form);

    // Indexes count every earlier element of the page, links included,
    // while links never join; radios and lists join.
    streamOf(
        "<A HREF=x>l</A><FORM><A HREF=y>m</A><INPUT TYPE=radio NAME=r><SELECT NAME=s><OPTION>o</SELECT>"
        "<INPUT TYPE=PASSWORD NAME=p><INPUT TYPE=RESET></FORM>");
    EXPECT_EQ(members(*firstForm()), (std::vector<short>{4, 3, 2}));
    EXPECT_EQ(GlobalNamespace.resets.getReferenceOf(0)->getForm(), firstForm());
}

TEST_F(PassOneControlsTest, NestedFormTagsStartNoFormAndClosedFormsTakeNoMembers) {
    streamOf("<FORM NAME=a><INPUT NAME=x><FORM NAME=b><INPUT NAME=y></FORM><INPUT NAME=z>");
    ASSERT_EQ(GlobalNamespace.forms.getCount(), 1);
    EXPECT_STREQ(firstForm()->getName(), "a");
    EXPECT_EQ(members(*firstForm()), (std::vector<short>{1, 0}));

    streamOf("<FORM NAME=a><INPUT NAME=x></FORM><FORM NAME=b><INPUT NAME=y></FORM>");
    ASSERT_EQ(GlobalNamespace.forms.getCount(), 2);
    Form* second = &GlobalNamespace.forms.getFirst()->next->form;
    EXPECT_STREQ(second->getName(), "b");
    EXPECT_EQ(members(*firstForm()), std::vector<short>{0});
    EXPECT_EQ(members(*second), std::vector<short>{1});
}

TEST_F(PassOneControlsTest, ButtonsGetTheFormOpenedLast) {
    streamOf("<INPUT TYPE=SUBMIT><FORM NAME=f></FORM><INPUT TYPE=RESET><INPUT TYPE=SUBMIT VALUE=Go>");
    EXPECT_EQ(GlobalNamespace.submits.getReferenceOf(0)->getForm(), nullptr);
    EXPECT_EQ(GlobalNamespace.resets.getReferenceOf(0)->getForm(), firstForm());
    EXPECT_EQ(GlobalNamespace.submits.getReferenceOf(1)->getForm(), firstForm());
    EXPECT_TRUE(members(*firstForm()).empty());
}

// --- pairing of delimiters and elements -------------------------------------

TEST_F(PassOneControlsTest, RegistrationOrderIsDelimiterOrderOnAMixedPage) {
    const std::string stream = streamOf(
        "<TITLE>Mixed</TITLE><A HREF=a.html>first</A> text <FORM ACTION=x>"
        "<TABLE><TR><TD><INPUT TYPE=TEXTBOX NAME=q VALUE=hi></TD><TD><INPUT TYPE=radio NAME=r CHECKED>"
        "<INPUT TYPE=radio NAME=r></TD></TR></TABLE><TEXTAREA>t</TEXTAREA>"
        "<SELECT NAME=s><OPTION>one<BR><OPTION SELECTED>three</SELECT><IMG ALT=pic>"
        "<INPUT TYPE=PASSWORD NAME=p><INPUT TYPE=SUBMIT VALUE=Go><INPUT TYPE=RESET></FORM>"
        "<A HREF=b.html><IMG ALT=Logo></A><INPUT TYPE=checkbox CHECKED>");
    const std::vector<std::string> texts = segments(stream);
    const std::vector<Entry> entries = table();
    ASSERT_EQ(texts.size(), entries.size());
    EXPECT_EQ(kinds(), (std::vector<ActiveTypes>{HYPERLINK, TEXTBOX, RADIO, RADIO, COMBO, PASSWORD, SUBMIT,
                                                 RESET, HYPERLINK, CHECKBOX}));
    // The k-th pair holds the k-th element's text (the list's pair also
    // holds the line break that stood between its options).
    for (std::size_t k = 0; k < entries.size(); ++k) {
        std::string expected = entries[k].info->getRepresentation();
        if (entries[k].type == COMBO) expected = "\n" + expected;
        EXPECT_EQ(texts[k], expected) << "pair " << k;
    }
    EXPECT_EQ(texts[4], "\nthree");
    EXPECT_NE(stream.find(PLACEHOLDER + "t"), std::string::npos);
    EXPECT_NE(stream.find("pic"), std::string::npos);
}

// When a list or the table is full, the element's text is plain page text:
// every pair still belongs to a registered element.
TEST_F(PassOneControlsTest, ElementsBeyondAFullListOrTableAreWrittenAsPlainText) {
    for (int i = 0; i < SHRT_MAX; ++i) GlobalNamespace.hyperlinks.addElement(Hyperlink("A HREF=x"));
    wexatest::writeFile("page.html", "<A HREF=y>more</A><INPUT CHECKED>");
    PassOne().passOne("page.html");
    EXPECT_EQ(wexatest::readFile("pass1.tmp"), "more" + seg("[X]"));
    EXPECT_EQ(kinds(), std::vector<ActiveTypes>{CHECKBOX});
    clearPage();

    for (int i = 0; i < SHRT_MAX; ++i) GlobalNamespace.combos.addElement(Combo("SELECT"));
    wexatest::writeFile("page.html", "<SELECT><OPTION>Red<OPTION>Green</SELECT>");
    PassOne().passOne("page.html");
    EXPECT_EQ(wexatest::readFile("pass1.tmp"), "Red__");
    EXPECT_EQ(GlobalNamespace.ast.getCount(), 0);
    clearPage();

    Checkbox filler;
    for (int i = 0; i < SHRT_MAX; ++i) GlobalNamespace.ast.addComponent(CHECKBOX, &filler);
    wexatest::writeFile("page.html", "<FORM><INPUT CHECKED><SELECT><OPTION>x</SELECT><A HREF=z>go</A>");
    PassOne().passOne("page.html");
    EXPECT_EQ(wexatest::readFile("pass1.tmp"), "[X]xgo");
    EXPECT_EQ(GlobalNamespace.ast.getCount(), SHRT_MAX);
    EXPECT_TRUE(members(*firstForm()).empty()) << "an element the table refused joins no form";
    clearPage();  // before the filler the table points at goes
}

// Random tag soup with links and controls: delimiters always pair up, one
// pair per registered element, and the control bytes of the page never
// reach the stream as text.
TEST_F(PassOneControlsTest, ArbitraryInputKeepsDelimitersPairedWithElements) {
    const std::vector<std::string> pieces = {
        "<A HREF=x>",
        "<A>",
        "</A>",
        "<IMG ALT=i>",
        "<IMG>",
        "<FORM>",
        "</FORM>",
        "<INPUT TYPE=TEXTBOX VALUE=v>",
        "<INPUT TYPE=radio NAME=r>",
        "<INPUT TYPE=SUBMIT VALUE=\x01\x03>",
        "<INPUT CHECKED>",
        "<SELECT>",
        "<OPTION>",
        "<OPTION SELECTED VALUE=\x09>",
        "</SELECT>",
        "<TEXTAREA>",
        "<TD>",
        "<BR>",
        "<TITLE>",
        "<",
        ">",
        "x",
        " ",
        "\x01",
        "\x03",
        "\n",
        std::string(300, 'w'),
    };
    std::mt19937 random(4321);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::string html;
        for (int i = 0; i < 40; ++i) html += pieces[pick(random)];
        const std::string stream = streamOf(html);
        std::size_t tabs = 0;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            const auto byte = static_cast<unsigned char>(stream[i]);
            if (byte == PS_TAB) ++tabs;
            const bool code = byte == 3 || byte == 9 || byte == 10;
            ASSERT_TRUE(byte >= 32 || code) << "stray byte " << int(byte) << " at " << i << " of " << html;
            if (byte == 3) {
                ASSERT_LT(i + 1, stream.size());
                ASSERT_EQ(stream[i + 1], 4);
                ++i;
            }
        }
        ASSERT_EQ(tabs, 2u * static_cast<std::size_t>(GlobalNamespace.ast.getCount())) << html;
        ASSERT_EQ(segments(stream).size(), table().size()) << html;
    }
}

}  // namespace
