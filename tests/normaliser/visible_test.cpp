// Nothing a desktop browser shows is lost: long link texts, white space
// inside preformatted text and between inline elements, emphasis that
// covers exactly its text, word breaks, marks that only name a place on the
// page, tables of labels and values, and the language that picks how text
// is romanised. Each rule on a small page, checked byte for byte, and the
// browser's own pass one reading the result where the layout matters.

#include <gtest/gtest.h>
#include <gumbo.h>

#include <string>
#include <vector>

#include "dialect.h"
#include "passone/pagestream.h"
#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/normaliser.h"
#include "support/testsupport.h"

using normalisertest::runPassOne;
using normalisertest::shownWords;

namespace {

const char* const PAGE_URL = "http://site.example/dir/page.html";

std::string normalised(const std::string& html, const wexaproxy::PageOptions& options = {}) {
    wexaproxy::TokenStore store;
    wexaproxy::PageOptions shown = options;
    shown.offerViews = false;  // these pages are about the full page's text
    return wexaproxy::normaliseHtml(html, "text/html", PAGE_URL, store, {}, shown);
}

// The words a desktop browser shows on a page, found independently of the
// normaliser: the text of the body (images as their alt text) with blocks,
// line breaks and images parting words and inline elements not, leaving
// out scripts, styles and what has the hidden attribute.
void collectText(const GumboNode* node, std::string& text) {
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
        text += node->v.text.text;
        return;
    }
    if (node->type != GUMBO_NODE_ELEMENT) return;
    const GumboElement& element = node->v.element;
    if (element.tag == GUMBO_TAG_HEAD || element.tag == GUMBO_TAG_SCRIPT || element.tag == GUMBO_TAG_STYLE ||
        gumbo_get_attribute(&element.attributes, "hidden") != nullptr)
        return;
    if (element.tag == GUMBO_TAG_IMG) {
        const GumboAttribute* alt = gumbo_get_attribute(&element.attributes, "alt");
        text += std::string(" ") + (alt != nullptr ? alt->value : "") + " ";
        return;
    }
    static const GumboTag INLINE[] = {GUMBO_TAG_A,    GUMBO_TAG_B,   GUMBO_TAG_I,
                                      GUMBO_TAG_U,    GUMBO_TAG_EM,  GUMBO_TAG_CODE,
                                      GUMBO_TAG_SPAN, GUMBO_TAG_WBR, GUMBO_TAG_Q};
    bool inlineElement = false;
    for (GumboTag tag : INLINE) inlineElement = inlineElement || element.tag == tag;
    if (!inlineElement) text += " ";
    if (element.tag == GUMBO_TAG_Q) text += "\"";
    for (unsigned i = 0; i < element.children.length; ++i)
        collectText(static_cast<const GumboNode*>(element.children.data[i]), text);
    if (element.tag == GUMBO_TAG_Q) text += "\"";
    if (!inlineElement) text += " ";
}

std::vector<std::string> pageWords(const std::string& html) {
    wexaproxy::GumboMemory memory;
    const GumboOptions options = memory.options();
    const GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    std::string text;
    collectText(output->root, text);
    std::vector<std::string> words(1);
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') {
            if (!words.back().empty()) words.emplace_back();
        } else {
            words.back().push_back(c);
        }
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

}  // namespace

TEST(WordsKept, EveryWordOfTheBodyReachesTheBrowserInOrder) {
    // Long link texts (teasers, a URL, a link in running text), a code
    // listing of many spans, mixed inline elements, a wbr, an image.
    const std::string html = wexatest::readFile(std::string(WEXA_CORPUS_DIR) + "/wordskept.html");
    const auto result = runPassOne(normalised(html));
    EXPECT_TRUE(normalisertest::dialectProblems(normalised(html)).empty());
    const std::vector<std::string> shown = shownWords(result.stream);
    const std::vector<std::string> page = pageWords(html);
    std::size_t same = 0;
    while (same < shown.size() && same < page.size() && shown[same] == page[same]) ++same;
    EXPECT_EQ(same, page.size()) << "differ at word " << same << ": shown \""
                                 << (same < shown.size() ? shown[same] : "") << "\", page \""
                                 << (same < page.size() ? page[same] : "") << "\"";
    EXPECT_EQ(shown.size(), page.size());
    EXPECT_EQ(result.delimiterPairs, result.elements);
}

TEST(LongLinks, KeepTheirFirstWordsAsTheLinkAndTheRestAsText) {
    // Cut at a word end; the first part fills the line the link starts on.
    EXPECT_EQ(normalised("<p>Read: <a href=\"/story\">Harbour town votes to keep its lighthouse lit after a "
                         "packed meeting in the school hall on Tuesday night</a> today.</p>"),
              "Read: <A HREF=~~Lhsite.example!story>Harbour town votes to keep its lighthouse lit after a "
              "packed meeting</A>&nbspin<BR>the school hall on Tuesday night today.");
    // On a line of its own, 70 characters; a word longer than that is cut
    // inside and goes on with no blank.
    EXPECT_EQ(
        normalised("<p><a href=\"/u\">https://example.com/a-very-long-path/with-many-parts/and-more-parts/"
                   "and-even-more-parts/index.html</a></p>"),
        "<A HREF=~~Lhsite.example!u>https://example.com/a-very-long-path/with-many-parts/and-more-parts/an"
        "</A>d-even-more-parts/index.html");
    // The link part is still one link the browser follows.
    const auto result = runPassOne(normalised(
        "<ul><li><a href=\"/n/1\">Ferry timetable: changes from April, the early boat leaves twenty minutes "
        "later on weekdays</a></li></ul>"));
    EXPECT_EQ(result.elements, 1);
    std::string words;
    for (const std::string& word : shownWords(result.stream)) words += word + " ";
    EXPECT_EQ(words,
              "Ferry timetable: changes from April, the early boat leaves twenty minutes later on weekdays ");
}

TEST(WhiteSpace, PreformattedTextKeepsBlanksBetweenInlineElements) {
    EXPECT_EQ(normalised("<pre><span>SELECT</span> <span>x</span>  <b>FROM</b>\t<i>t</i>\n"
                         "<span>  </span>WHERE</pre>"),
              "SELECT x &nbsp<B>FROM</B>&nbsp;<U>t</U><BR>&nbsp;WHERE");
    // A link to a place on the page is its text, with the blanks around it.
    EXPECT_EQ(normalised("<pre>as set out in <a href=\"#s4\">Section 4.e</a> of the licence</pre>"),
              "as set out in Section 4.e of the licence");
    // Blanks at the end of a preformatted line and before a following
    // paragraph show nothing.
    EXPECT_EQ(normalised("<p>x </p><pre><span>a </span>\n b  </pre><p>y</p>"),
              "x<BR><BR>a<BR>&nbspb<BR><BR>y");
}

TEST(Emphasis, RunsCoverTheTextOfTheirElementsOnly) {
    EXPECT_EQ(normalised("<p><b>bold</b> <i>ital</i> plain <b>one</b><b>two</b> <u>under</u>.</p>"),
              "<B>bold</B>&nbsp<U>ital</U>&nbspplain <B>onetwo</B>&nbsp<U>under</U>.");
    // Neither across a change of kind nor across a line break.
    EXPECT_EQ(normalised("<p><b>a</b><i>b</i> <b>x</b><br><b>y</b></p>"),
              "<B>a</B><U>b</U>&nbsp<B>x</B><BR><B>y</B>");
}

TEST(WordBreaks, WbrAndInlineElementsJoinAndBlocksPart) {
    EXPECT_EQ(
        normalised("<p>see <a href=\"/m\">mozilla<wbr>.org/<wbr>en-US</a>, <a href=\"/n\">mo<b>zil</b>la</a>"
                   " and long<wbr>word</p><ul><li><a href=\"/c\"><h3>Card</h3><p>teaser</p></a></li></ul>"),
        "see <A HREF=~~Lhsite.example!m>mozilla.org/en-US</A>, <A HREF=~~Lhsite.example!n>mozilla</A>"
        "&nbspand longword<BR><UL><LI><A HREF=~~Lhsite.example!c>Card teaser</A></UL>");
    // An image is a word of its own.
    EXPECT_EQ(normalised("<p>a<img alt=\"boat\" src=b.png>b</p>"), "a boat b");
}

TEST(PlaceMarks, LinksToAPlaceOnThePageWithoutWordsAreNotShown) {
    EXPECT_EQ(normalised("<h2 id=h>History<a href=\"#h\">\xC2\xB6</a></h2><p>Text<a href=\"#fn1\">[1]</a>, "
                         "<a href=\"page.html#x\">\xC2\xA7</a> <a href=\"#top\">\xE2\x86\x91</a> "
                         "<a href=\"other.html#x\" title=\"Elsewhere\">\xC2\xB6</a>.</p>"),
              // A footnote mark has a digit; a mark on another page is a link.
              "<B>History</B><BR><BR>Text[1], <A HREF=~~Lhsite.example!dir!other.html>Elsewhere</A>.");
}

TEST(KeyValueTables, KeepEachLabelAndItsValueOnOneLine) {
    const std::string out = normalised(
        "<p>Intro.</p><table class=infobox><tr><th colspan=2>Ada Lovelace</th></tr>"
        "<tr><td colspan=2><img alt=\"Portrait\" src=p.jpg><div>Portrait by M. Carpenter</div></td></tr>"
        "<tr><th scope=row>Born</th><td>10 December 1815<br><div>London, England</div></td></tr>"
        "<tr><th scope=row>Known for</th><td><ul><li>Mathematics</li><li>Computing</li></ul></td></tr>"
        "<tr><th scope=row>Spouse</th><td><a href=\"/King\">William King</a> (m. 1835)</td></tr>"
        "<tr><td>Resting place</td><td>Hucknall</td></tr></table><p>After.</p>");
    EXPECT_EQ(out,
              "Intro.<BR><BR><B>Ada Lovelace</B><BR>Portrait<BR>Portrait by M. Carpenter<BR>"
              "<B>Born</B>&nbsp10 December 1815<BR>London, England<BR><B>Known for</B><BR>"
              "<UL><LI>Mathematics<LI>Computing</UL><BR><B>Spouse</B>&nbsp<A HREF=~~Lhsite.example!King>"
              "William King</A>&nbsp(m. 1835)<BR><B>Resting place</B>&nbspHucknall<BR><BR>After.");
    // A layout table whose first cells are not labels keeps its blocks.
    EXPECT_EQ(normalised("<table><tr><td><p>One long cell of text.</p><p>Two.</p></td><td>x</td></tr>"
                         "<tr><td><ul><li>a</li></ul></td><td>y</td></tr></table>"),
              "One long cell of text.<BR><BR>Two.<BR><BR>x<BR><UL><LI>a</UL><BR>y");
}

TEST(Language, TheNearestLangThenTheHeaderPicksTheRomanisation) {
    const std::string gruss =
        "Gr\xC3\xBC\xC3\x9F"
        "e aus M\xC3\xBC"
        "nchen";
    EXPECT_EQ(normalised("<html lang=en><p lang=de>" + gruss + "</p><p>" + gruss + "</p></html>"),
              "Gruesse aus Muenchen<BR><BR>Grusse aus Munchen");
    // Link texts, alt texts and the title follow the language too;
    // xml:lang counts as lang.
    EXPECT_EQ(
        normalised("<title>" + gruss + "</title><div xml:lang=de-AT><a href=/x>" + gruss +
                   "</a><img alt=\"Stra\xC3\x9F"
                   "e\"></div>"),
        "<TITLE>Grusse aus Munchen</TITLE><A HREF=~~Lhsite.example!x>Gruesse aus Muenchen</A>&nbspStrasse");
    // Content-Language covers what no lang attribute does; the html
    // element's lang is nearer.
    wexaproxy::PageOptions german;
    german.contentLanguage = "de, en";
    EXPECT_EQ(normalised("<title>" + gruss + "</title><p>" + gruss + "</p>", german),
              "<TITLE>Gruesse aus Muenchen</TITLE>Gruesse aus Muenchen");
    EXPECT_EQ(normalised("<html lang=fr><p>" + gruss + "</p></html>", german), "Grusse aus Munchen");
}
