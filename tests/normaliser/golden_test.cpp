// The normaliser on a corpus of realistic pages: the output is compared
// with a stored expected file, and the browser's own pass one is run on it
// to check what the browser makes of it (title, elements, text, no stray
// markup). Forms are submitted as the browser would and read back by the
// proxy side.
//
// To accept a changed output after checking it by eye, run the test with
// WEXA_UPDATE_GOLDEN=1: the expected files are rewritten in the source tree.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialect.h"
#include "passone/pagestream.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/tokens.h"
#include "support/testsupport.h"

using normalisertest::runPassOne;
using normalisertest::streamText;
using wexaproxy::FormField;

namespace {

struct CorpusPage {
    const char* name;
    const char* url;          // where the page was fetched from
    const char* contentType;  // as its server sent it
    const char* title;        // the title the browser shows
};

const CorpusPage CORPUS[] = {
    {"article", "http://www.herald.example/news/2024/lighthouse.html", "text/html; charset=utf-8",
     "Harbour town votes to keep its lighthouse lit | The Coastal Herald"},
    {"datatable", "http://tides.example.org/march.html", "text/html", "Tide table - March"},
    {"search", "http://www.herald.example/archive/", "text/html; charset=UTF-8", "Search the archive"},
    {"login", "http://club.example.org/members/index.html", "text/html", "Members: sign in"},
    {"latin1", "http://cafe.example.fr/carte.html", "text/html", "Cafe du Port - carte"},
    {"utf8", "http://style.example.com/guide", "text/html",
     "Style guide - \"quotes\", dashes & other marks..."},
    {"links", "http://docs.example.net/guide/chapter/one.html", "text/html", "Every kind of link"},
};

std::string corpusFile(const std::string& name) {
    return std::string(WEXA_CORPUS_DIR) + "/" + name;
}

// One store per test, with fixed ids so that stored tokens are the same on
// every run.
wexaproxy::TokenStoreSettings fixedIds() {
    wexaproxy::TokenStoreSettings settings;
    settings.firstId = 1000;
    // Sealed link tokens the same on every run too: a fixed key and time.
    settings.secret = std::string(32, 'g');
    settings.wallClock = [] { return std::int64_t{1700000000}; };
    return settings;
}

std::string normalised(const CorpusPage& page, wexaproxy::TokenStore& store) {
    return wexaproxy::normaliseHtml(wexatest::readFile(corpusFile(std::string(page.name) + ".html")),
                                    page.contentType, page.url, store);
}

const CorpusPage& corpusPage(const std::string& name) {
    for (const CorpusPage& page : CORPUS) {
        if (name == page.name) return page;
    }
    return CORPUS[0];
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CorpusTest : public ::testing::TestWithParam<CorpusPage> {};

}  // namespace

TEST_P(CorpusTest, OutputMatchesTheExpectedFile) {
    const CorpusPage& page = GetParam();
    wexaproxy::TokenStore store(fixedIds());
    const std::string out = normalised(page, store);
    const std::string expectedFile = corpusFile(std::string(page.name) + ".expected");
    if (std::getenv("WEXA_UPDATE_GOLDEN") != nullptr) wexatest::writeFile(expectedFile, out);
    const std::string expected = wexatest::readFile(expectedFile);
    EXPECT_EQ(out, expected) << "normalised " << page.name << ":\n" << out;
}

TEST_P(CorpusTest, KeepsToTheBrowsersDialect) {
    const CorpusPage& page = GetParam();
    wexaproxy::TokenStore store(fixedIds());
    const auto problems = normalisertest::dialectProblems(normalised(page, store));
    EXPECT_TRUE(problems.empty()) << page.name << ": " << (problems.empty() ? "" : problems.front());
}

TEST_P(CorpusTest, PassOneSetsTheTitleAndPairsEveryElement) {
    const CorpusPage& page = GetParam();
    wexaproxy::TokenStore store(fixedIds());
    const auto result = runPassOne(normalised(page, store));
    EXPECT_EQ(result.title, page.title);
    EXPECT_TRUE(result.delimitersPaired);
    EXPECT_EQ(result.delimiterPairs, result.elements);
    for (char c : result.stream) {
        const auto byte = static_cast<unsigned char>(c);
        ASSERT_LT(byte, 128u);
        ASSERT_NE(byte, 13u);
    }
    // No markup reached the page as text.
    const std::string text = streamText(result.stream);
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '<') {
            EXPECT_FALSE(std::isalpha(static_cast<unsigned char>(text[i + 1]))) << text.substr(i, 20);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, CorpusTest, ::testing::ValuesIn(CORPUS),
                         [](const ::testing::TestParamInfo<CorpusPage>& info) {
                             return std::string(info.param.name);
                         });

TEST(CorpusContent, ArticleShowsTheStoryNotTheMachinery) {
    wexaproxy::TokenStore store(fixedIds());
    const std::string text = streamText(runPassOne(normalised(corpusPage("article"), store)).stream);
    EXPECT_TRUE(contains(text, "Harbour town votes to keep its lighthouse lit"));
    EXPECT_TRUE(contains(text, "\"It's part of who we are,\" said the harbour master."));
    EXPECT_TRUE(contains(text, "save GBP12,000 a year"));
    EXPECT_TRUE(contains(text, "The lighthouse at dusk"));
    EXPECT_TRUE(contains(text, "Some parts of this site work better with scripts."));  // noscript is shown
    for (const char* absent : {"dataLayer", "font-family", "NewsArticle", "BUY NOW", "Skip to content",
                               "related stories", "<b>"}) {
        EXPECT_FALSE(contains(text, absent)) << absent;
    }
}

TEST(CorpusContent, LatinOnePageReadsAsAscii) {
    wexaproxy::TokenStore store(fixedIds());
    const std::string text = streamText(runPassOne(normalised(corpusPage("latin1"), store)).stream);
    EXPECT_TRUE(contains(text, "Specialites: creme brulee, gruner Tee, \"pain\" du jour."));
    EXPECT_TRUE(contains(text, "Cafe creme ... 2,50 EUR"));
    EXPECT_TRUE(contains(text, "The a la menthe - 3 EUR"));
    EXPECT_TRUE(contains(text, "Senor \"Garcia\" vous attend."));
}

TEST(CorpusContent, DataTableKeepsItsColumnsAndNestedTableIsFlattened) {
    wexaproxy::TokenStore store(fixedIds());
    const auto result = runPassOne(normalised(corpusPage("datatable"), store));
    // Two tables reach the table pass; the layout table around the notes
    // and the nested table inside a cell do not.
    int tables = 0;
    for (char c : result.stream) tables += c == static_cast<char>(PS_TABLE) ? 1 : 0;
    EXPECT_EQ(tables, 2);
    const std::string text = streamText(result.stream);
    EXPECT_TRUE(contains(text, "Rise 06:40 Set 18:02"));
    EXPECT_TRUE(contains(text, "Weather can change water levels by half a metre."));
}

TEST(CorpusForms, SearchFormSendsWhatADesktopBrowserSends) {
    wexaproxy::TokenStore store(fixedIds());
    wexaproxy::Normaliser normaliser(store);
    const auto result = runPassOne(normalised(corpusPage("search"), store));
    ASSERT_EQ(result.forms.size(), 1u);
    const auto& sent = result.forms[0];
    EXPECT_EQ(sent.method, "GET");

    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormGet;
    request.url = sent.action;
    request.fields = sent.fields;
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(request, error)) << error;
    EXPECT_EQ(request.url, "http://www.herald.example/archive/search");
    EXPECT_EQ(request.command, wexaproxy::Command::FormGet);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"lang", "en"},  {"session", "a1 b2=c3"}, {"q", "old harbour"},
        {"when", "any"}, {"section", "sport"},    {"go", "1"}};
    std::vector<std::pair<std::string, std::string>> got;
    for (const FormField& field : request.fields) got.emplace_back(field.name, field.value);
    EXPECT_EQ(got, expected);
}

TEST(CorpusForms, LoginFormInATableSendsItsHiddenFieldAndTickedBox) {
    wexaproxy::TokenStore store(fixedIds());
    wexaproxy::Normaliser normaliser(store);
    // The form is opened between table rows: its controls are still its own.
    const auto result = runPassOne(normalised(corpusPage("login"), store), {0});
    ASSERT_EQ(result.forms.size(), 1u);
    EXPECT_EQ(result.forms[0].method, "POST");

    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormGet;  // whatever the browser says, the form says POST
    request.url = result.forms[0].action;
    request.fields = result.forms[0].fields;
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(request, error)) << error;
    EXPECT_EQ(request.url, "http://club.example.org/members/login.cgi");
    EXPECT_EQ(request.command, wexaproxy::Command::FormPost);
    std::vector<std::pair<std::string, std::string>> got;
    for (const FormField& field : request.fields) got.emplace_back(field.name, field.value);
    // The hidden honeypot field outside the form is not the form's.
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                       {"csrf", "9f8e7d6c"}, {"user", ""}, {"pass", ""}, {"remember", "1"}}));
}

TEST(CorpusForms, AFormTokenThatIsNoLongerKnownIsAClearError) {
    wexaproxy::TokenStore store(fixedIds());
    wexaproxy::Normaliser normaliser(store);
    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormPost;
    request.url = "http://" + wexaproxy::formToken(999);
    std::string error;
    EXPECT_FALSE(normaliser.adaptRequest(request, error));
    EXPECT_EQ(error, "This form has expired; reload the page");
    request.command = wexaproxy::Command::Get;
    request.url = "http://127.0.0.1/dir/" + wexaproxy::storedLinkToken(999);
    EXPECT_FALSE(normaliser.adaptRequest(request, error));
    EXPECT_EQ(error, "This link has expired; reload the page");
}
