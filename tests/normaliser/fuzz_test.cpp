// Robustness: on random, broken and truncated HTML the normaliser never
// crashes, writes only what the browser reads safely, and its output goes
// through the reply writer into lines the browser's reader takes whole.
// The random pages come from a fixed seed, so every run sees the same ones.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dialect.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/server/reply.h"
#include "support/testsupport.h"

namespace {

const char* const TAGS[] = {"a",        "b",       "i",      "p",        "div",    "span",       "table",
                            "tr",       "td",      "th",     "ul",       "ol",     "li",         "form",
                            "input",    "select",  "option", "textarea", "button", "br",         "hr",
                            "img",      "h1",      "h3",     "pre",      "center", "blockquote", "script",
                            "style",    "title",   "dl",     "dd",       "font",   "svg",        "template",
                            "noscript", "caption", "thead",  "frameset", "frame",  "label",      "fieldset",
                            "iframe",   "base",    "meta",   "q",        "em",     "u"};

const char* const ATTRIBUTES[] = {"href",   "src",         "alt",      "name",       "value",   "type",
                                  "action", "method",      "style",    "hidden",     "colspan", "rowspan",
                                  "align",  "checked",     "selected", "multiple",   "form",    "id",
                                  "start",  "aria-hidden", "content",  "http-equiv", "charset", "disabled"};

const char* const VALUES[] = {"x",
                              "a b c",
                              "javascript:alert(1)",
                              "http://example.org/a?b=c&d=e#f",
                              "../../up.html",
                              "\"quoted\" = > <",
                              "display:none",
                              "text-align: center",
                              "submit",
                              "checkbox",
                              "radio",
                              "hidden",
                              "password",
                              "99999",
                              "-3",
                              "true",
                              "refresh",
                              "0; url=/next",
                              "~~Lh~~F~~~~~~",
                              "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80",
                              "\xFF\xFE\x80",
                              ""};

const char* const TEXTS[] = {"Hello world ",
                             " a < b > c ",
                             "&nbsp;&NBSP&nbsp",
                             "&amp;nbsp; &lt;script&gt;",
                             "~~~~~~ ~~~~~~~~",
                             "\nTRUE\nFALSE\n",
                             "\t\r\n  ",
                             "\x01\x02\x7F\x1B[31m",
                             "\xC3\xA9\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\xA6",
                             "\xE6\x97\xA5\xE6\x9C\xAC",
                             "\xFF\xC0\x80",
                             "<!-- comment --> <!doctype html> <?xml?>",
                             "< ",
                             "<",
                             "&#0; &#x110000; &#55296;",
                             "word;word;&nbsp;;",
                             "<a href=x>unclosed"};

std::string randomPage(std::mt19937& random) {
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    std::string page;
    if (pick(2) == 0) page += "<!DOCTYPE html><html><head><title>T\xC3\xA9st</title></head><body>";
    const int pieces = 20 + static_cast<int>(pick(200));
    for (int i = 0; i < pieces; ++i) {
        switch (pick(5)) {
            case 0:
            case 1: {
                page += "<";
                page += TAGS[pick(std::size(TAGS))];
                const int attributes = static_cast<int>(pick(4));
                for (int a = 0; a < attributes; ++a) {
                    page += " ";
                    page += ATTRIBUTES[pick(std::size(ATTRIBUTES))];
                    if (pick(4) != 0) {
                        page += "=\"";
                        page += VALUES[pick(std::size(VALUES))];
                        page += "\"";
                    }
                }
                page += ">";
                break;
            }
            case 2:
                page += "</";
                page += TAGS[pick(std::size(TAGS))];
                page += ">";
                break;
            default:
                page += TEXTS[pick(std::size(TEXTS))];
                break;
        }
    }
    return page;
}

// The reply writer's promises, checked on the normalised page.
void expectSafeLines(const std::string& page) {
    const std::string text = wexaproxy::sanitizePageText(page);
    std::string joined;
    for (std::string_view line : wexaproxy::cutLines(text)) {
        ASSERT_FALSE(line.empty());
        ASSERT_LE(line.size(), wexaproxy::PAGE_LINE_LENGTH);
        ASSERT_EQ(line.find("~~~~~~"), std::string_view::npos);
        ASSERT_NE(line.substr(0, 4), "TRUE");
        ASSERT_NE(line.substr(0, 5), "FALSE");
        joined.append(line);
    }
    ASSERT_EQ(joined, text);
}

// The full page and, where an article is found, the reader page.
void checkPage(const std::string& html, bool runPassOne, const std::string& label) {
    for (wexaproxy::PageView view : {wexaproxy::PageView::Full, wexaproxy::PageView::Reader}) {
        wexaproxy::TokenStore store;
        wexaproxy::PageOptions options;
        options.view = view;
        const std::string out = wexaproxy::normaliseHtml(
            html, "text/html", "http://fuzz.example/dir/page.html", store, {}, options);
        const auto problems = normalisertest::dialectProblems(out);
        ASSERT_TRUE(problems.empty()) << label << ": " << problems.front() << "\n" << out;
        expectSafeLines(out);
        if (runPassOne) {
            const auto result = normalisertest::runPassOne(out);
            ASSERT_TRUE(result.delimitersPaired) << label;
            ASSERT_EQ(result.delimiterPairs, result.elements) << label << "\n" << out;
        }
    }
}

}  // namespace

TEST(NormaliserRobustness, RandomMarkupYieldsSafeOutput) {
    std::mt19937 random(20240302);
    for (int i = 0; i < 300; ++i) {
        const std::string page = randomPage(random);
        checkPage(page, i % 10 == 0, "random page " + std::to_string(i));
        if (HasFatalFailure()) return;
    }
}

TEST(NormaliserRobustness, TruncatedCorpusPagesYieldSafeOutput) {
    std::mt19937 random(77);
    for (const char* name :
         {"article", "datatable", "search", "login", "latin1", "utf8", "links", "reader", "wordskept"}) {
        const std::string page = wexatest::readFile(std::string(WEXA_CORPUS_DIR) + "/" + name + ".html");
        for (int cut = 0; cut < 12; ++cut) {
            const std::size_t at = random() % (page.size() + 1);
            checkPage(page.substr(0, at), cut % 4 == 0, std::string(name) + " cut at " + std::to_string(at));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(NormaliserRobustness, DeepNestingAndHugeCountsStayWithinBounds) {
    // Nesting far beyond any real page: no stack overflow, and the page is
    // cut where parsing it would take the tree builder too long.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<div><b>";
    deep += "bottom";
    checkPage(deep, false, "deep nesting");
    wexaproxy::TokenStore deepStore;
    const std::string deepOut = wexaproxy::normaliseHtml(deep, "text/html", "http://x.example/", deepStore);
    EXPECT_NE(deepOut.find("nested too deeply"), std::string::npos);
    // Many elements that the parser closes by itself are no deep nesting.
    std::string flat;
    for (int i = 0; i < 5000; ++i) flat += "<li><p>item <br><img alt=x>";
    const std::string flatOut =
        wexaproxy::normaliseHtml(flat + "last", "text/html", "http://x.example/", deepStore);
    EXPECT_EQ(flatOut.find("nested too deeply"), std::string::npos);
    EXPECT_NE(flatOut.find("last"), std::string::npos);

    // More links than the browser can hold: the page ends with a note and
    // no more elements than the cap.
    wexaproxy::NormaliserSettings settings;
    settings.maxElements = 500;
    std::string links;
    for (int i = 0; i < 2000; ++i)
        links += "<a href=\"/p" + std::to_string(i) + "\">link " + std::to_string(i) + "</a> ";
    wexaproxy::TokenStore store;
    const std::string out =
        wexaproxy::normaliseHtml(links, "text/html", "http://x.example/", store, settings);
    std::size_t anchors = 0;
    for (std::size_t at = 0; (at = out.find("<A HREF=", at)) != std::string::npos; ++at) ++anchors;
    EXPECT_EQ(anchors, 500u);
    EXPECT_NE(out.find("link 1999"), std::string::npos);  // the rest is text

    // More lines than the browser's page holds.
    settings = {};
    settings.maxLines = 100;
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "<p>line " + std::to_string(i) + "</p>";
    const std::string cut =
        wexaproxy::normaliseHtml(lines, "text/html", "http://x.example/", store, settings);
    EXPECT_NE(cut.find("[The rest of this page is not shown"), std::string::npos);
    EXPECT_EQ(cut.find("line 999"), std::string::npos);
    std::string rows = "<table>";
    for (int i = 0; i < 1000; ++i) rows += "<tr><td>row</td><td>" + std::to_string(i) + "</td></tr>";
    const std::string table =
        wexaproxy::normaliseHtml(rows + "</table>", "text/html", "http://x.example/", store, settings);
    std::size_t tableRows = 0;
    for (std::size_t at = 0; (at = table.find("<TR>", at)) != std::string::npos; ++at) ++tableRows;
    EXPECT_LE(tableRows, 100u);
    EXPECT_NE(table.find("[The rest of this page is not shown"), std::string::npos);

    // A body larger than the input limit is cut, with a note.
    settings = {};
    settings.maxInputBytes = 1024 * 1024;
    std::string big(2 * 1024 * 1024, 'x');
    const std::string shortened =
        wexaproxy::normaliseHtml(big, "text/html", "http://x.example/", store, settings);
    EXPECT_NE(shortened.find("[This page is cut short: only its first 1 MB are shown.]"), std::string::npos);
    EXPECT_LT(shortened.size(), 1100u * 1024u);
}
