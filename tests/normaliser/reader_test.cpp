// The reader view through the whole round trip: the full page of an article
// offers its reader page as its first link, the browser follows the link
// token, the proxy reads the view back from it, and the reader page holds
// the article alone (title, byline, date, then the text with its headings,
// listing, table, list, image text, links and form, nothing of the page
// around it), with a link back to the full page. Pages that have no article,
// or whose main content is a form, are served in full without such links.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialect.h"
#include "passone/pagestream.h"
#include "proxy/normalise/normaliser.h"
#include "support/testsupport.h"

using normalisertest::runPassOne;
using normalisertest::shownWords;
using normalisertest::streamText;
using wexaproxy::PageView;

namespace {

const char* const ARTICLE_URL = "http://harbour.example/2023/11/tides.html";

std::string articlePage() {
    return wexatest::readFile(std::string(WEXA_CORPUS_DIR) + "/reader.html");
}

std::string rendered(const wexaproxy::Normaliser& normaliser, const std::string& body, PageView view,
                     const std::string& url = ARTICLE_URL, bool posted = false) {
    wexaproxy::PageInput input;
    input.body = body;
    input.contentType = "text/html; charset=utf-8";
    input.finalUrl = url;
    input.view = view;
    input.posted = posted;
    return normaliser.render(input);
}

// The HREF of the link whose text is text, or empty.
std::string hrefOf(const std::string& page, const std::string& text) {
    const std::size_t end = page.find(">" + text + "</A>");
    if (end == std::string::npos) return {};
    const std::size_t start = page.rfind("<A HREF=", end);
    return start == std::string::npos ? std::string() : page.substr(start + 8, end - start - 8);
}

// What the proxy makes of the browser following that link from the page at
// folder: the URL fetched and the view asked for.
std::pair<std::string, PageView> follow(const wexaproxy::Normaliser& normaliser, const std::string& folder,
                                        const std::string& href) {
    wexaproxy::Request request;
    request.url = folder + href;
    std::string error;
    EXPECT_TRUE(normaliser.adaptRequest(request, error)) << error;
    return {request.url, request.view};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(ReaderView, TheFullPageOffersTheReaderPageAndTheReaderPageOffersItBack) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    const std::string full = rendered(normaliser, articlePage(), PageView::Default);
    // The first line, before the site's own links.
    const std::string title = "<TITLE>Reading tide tables with a few lines of SQL - Harbour Notes</TITLE>";
    ASSERT_EQ(full.compare(0, title.size() + 8, title + "<A HREF="), 0) << full.substr(0, 200);
    EXPECT_EQ(full.find("Reader view</A><BR><BR><A HREF=~~Lhharbour.example!>Harbour Notes</A>"),
              title.size() + 8 + hrefOf(full, "Reader view").size() + 1);
    EXPECT_TRUE(contains(full, "Related posts"));
    EXPECT_EQ(runPassOne(full).title, "Reading tide tables with a few lines of SQL - Harbour Notes");

    // The browser glues the token to the folder of the page it is on.
    const auto reader = follow(normaliser, "harbour.example/2023/11/", hrefOf(full, "Reader view"));
    EXPECT_EQ(reader, std::make_pair(std::string(ARTICLE_URL), PageView::Reader));
    const std::string page = rendered(normaliser, articlePage(), reader.second);
    const auto back = follow(normaliser, "harbour.example/2023/11/", hrefOf(page, "Full page"));
    EXPECT_EQ(back, std::make_pair(std::string(ARTICLE_URL), PageView::Full));
    const std::string again = rendered(normaliser, articlePage(), back.second);
    EXPECT_TRUE(contains(again, "Reader view</A>"));
    EXPECT_TRUE(contains(again, "Related posts"));
}

TEST(ReaderView, TheReaderPageHoldsTheArticleAloneAndItsLinksAndFormWork) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    const std::string page = rendered(normaliser, articlePage(), PageView::Reader);
    EXPECT_TRUE(normalisertest::dialectProblems(page).empty());
    // "Full page" first, then the title, byline and date, one a line.
    const std::string title = "<TITLE>Reading tide tables with a few lines of SQL - Harbour Notes</TITLE>";
    EXPECT_EQ(page.compare(0, title.size() + 8, title + "<A HREF="), 0);
    EXPECT_TRUE(contains(page,
                         "Full page</A><BR><BR><B>Reading tide tables with a few lines of SQL</B><BR>"
                         "Jonas Berg<BR>2023-11-19<BR><BR>"))
        << page.substr(0, 400);

    const auto result = runPassOne(page);
    EXPECT_EQ(result.delimiterPairs, result.elements);
    std::string text;
    for (const std::string& word : shownWords(result.stream)) text += word + " ";
    for (const char* kept :
         {"Every harbour office prints a tide table", "so I loaded a year of it into a small database.",
          "What the numbers say", "Spring tides come a day or two after full and new moon.",
          "Chart of the daily tidal range over the year", "I read every answer.", "What did you find?"})
        EXPECT_TRUE(contains(text, kept)) << kept;
    // The code listing keeps its indentation (a pair of blanks is "&nbsp;").
    EXPECT_TRUE(contains(page, "first_high<BR>&nbsp;FROM tides<BR>&nbspWHERE kind"));
    // The data table goes through the table pass as on the full page.
    int tables = 0;
    for (char c : result.stream) tables += c == static_cast<char>(PS_TABLE) ? 1 : 0;
    EXPECT_EQ(tables, 1);
    // Nothing of the page around the article, nor the blocks inside it
    // that are not its text (a share box, the items of a list of comments,
    // the heading repeating the title).
    for (const char* left :
         {"Harbour Notes</A>", "Archive", "Related posts", "Great post", "Post comment",
          "Notes from a small harbour", "Privacy", "Share", "Tools", "Lovely work", "neap tides"})
        EXPECT_FALSE(contains(page, left)) << left;
    EXPECT_EQ(page.find("few lines of SQL</B>"), page.rfind("few lines of SQL</B>"));

    // A link inside the article is followed as on the full page.
    EXPECT_EQ(
        follow(normaliser, "harbour.example/2023/11/", hrefOf(page, "the moon's phase")),
        std::make_pair(std::string("http://harbour.example/2023/10/moon-and-tides.html"), PageView::Default));
    // The article's form sends what the page's form sends.
    ASSERT_EQ(result.forms.size(), 1u);
    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormPost;
    request.url = result.forms[0].action;
    request.fields = result.forms[0].fields;
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(request, error)) << error;
    EXPECT_EQ(request.url, "http://harbour.example/feedback");
    ASSERT_EQ(request.fields.size(), 1u);
    EXPECT_EQ(request.fields[0].name, "finding");
}

TEST(ReaderView, TheServersDefaultServesTheReaderPageAndTheFullPageOnRequest) {
    wexaproxy::TokenStore store;
    wexaproxy::NormaliserSettings settings;
    settings.readerByDefault = true;
    const wexaproxy::Normaliser normaliser(store, settings);
    const std::string page = rendered(normaliser, articlePage(), PageView::Default);
    EXPECT_TRUE(contains(page, "Full page</A>"));
    EXPECT_FALSE(contains(page, "Related posts"));
    const std::string full = rendered(normaliser, articlePage(), PageView::Full);
    EXPECT_TRUE(contains(full, "Reader view</A>"));
    EXPECT_TRUE(contains(full, "Related posts"));
    // A typed URL may carry the mark too.
    wexaproxy::Request typed;
    typed.url = std::string(ARTICLE_URL) + "#wexa-full-page ";
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(typed, error));
    EXPECT_EQ(typed.url, ARTICLE_URL);
    EXPECT_EQ(typed.view, PageView::Full);
}

TEST(ReaderView, PagesWithoutAnArticleAreServedInFullWithoutViewLinks) {
    wexaproxy::TokenStore store;
    wexaproxy::NormaliserSettings settings;
    settings.readerByDefault = true;
    const wexaproxy::Normaliser normaliser(store, settings);
    std::string help;
    for (int i = 0; i < 3; ++i)
        help +=
            "<p>Search every story the Herald has printed since 1998: news, sport, letters and the notices "
            "of births, marriages and deaths. Words in quotes are found as a phrase.</p>";
    const std::string search =
        "<html><head><title>Search the archive</title></head><body><nav><a href=/>Home</a></nav><main>"
        "<h1>Search the archive</h1>" +
        help +
        "<form action=/archive/search><label>Words <input name=q></label><label>Section <select name=s>"
        "<option>All</option><option>Sport</option></select></label><label>From <input name=from type=date>"
        "</label><label>To <input name=to type=date></label><input type=submit value=Search></form>"
        "</main></body></html>";
    std::string teasers = "<html><body><h1>Harbour Notes</h1>";
    for (int i = 0; i < 8; ++i) {
        const std::string n = std::to_string(i);
        teasers += "<div class=teaser><h2><a href=/post" + n + ".html>Post number " + n +
                   " about boats and tides</a></h2><p>A few words about what the post says.</p></div>";
    }
    teasers += "</body></html>";
    for (const auto& [body, url] :
         {std::make_pair(search, std::string("http://herald.example/archive/")),
          std::make_pair(teasers, std::string("http://harbour.example/2023/index.html"))}) {
        for (PageView view : {PageView::Default, PageView::Reader}) {
            const std::string page = rendered(normaliser, body, view, url);
            EXPECT_FALSE(contains(page, "Full page</A>")) << url;
            EXPECT_FALSE(contains(page, "Reader view</A>")) << url;
            EXPECT_TRUE(
                contains(page, url == "http://herald.example/archive/" ? "NAME=f0" : "Post number 7"));
        }
    }
    // The reply to a form sent by POST: its URL would fetch another page.
    const std::string reply = rendered(normaliser, articlePage(), PageView::Default, ARTICLE_URL, true);
    EXPECT_FALSE(contains(reply, "Full page</A>"));
    EXPECT_FALSE(contains(reply, "Reader view</A>"));
    EXPECT_TRUE(contains(reply, "Related posts"));
}

TEST(ReaderView, TheArticleKeepsTheLanguageOfTheElementsAroundIt) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    std::string paragraphs;
    for (int i = 0; i < 4; ++i)
        paragraphs +=
            "<p>Die Gr\xC3\xBC\xC3\x9F"
            "e aus M\xC3\xBC"
            "nchen kamen am Dienstag, und der Hafenmeister las sie vor, w\xC3\xA4hrend drau\xC3\x9F"
            "en der Wind \xC3\xBC"
            "ber die Mole ging.</p>";
    const std::string body = "<html lang=en><body><nav><a href=/>Home</a></nav><div lang=de><article>" +
                             paragraphs + "</article></div></body></html>";
    const std::string page = rendered(normaliser, body, PageView::Reader, "http://hafen.example/gruss.html");
    EXPECT_TRUE(contains(page, "Full page</A>"));
    EXPECT_TRUE(contains(page, "Die Gruesse aus Muenchen kamen am Dienstag")) << page;
    EXPECT_TRUE(contains(page, "waehrend draussen der Wind ueber die Mole ging."));
}

namespace {

// Running text for the small pages below, n paragraphs of it.
std::string storyText(int n) {
    std::string out;
    for (int i = 1; i <= n; ++i)
        out += "<p>Part " + std::to_string(i) +
               " of the story: the ferry ran late again on Tuesday, the harbour master said, because the "
               "new pier is still closed and the boats have to wait for the tide at the old one.</p>";
    return out;
}

std::string shownText(const std::string& page) {
    std::string text;
    for (const std::string& word : shownWords(runPassOne(page).stream)) text += word + " ";
    return text;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

}  // namespace

TEST(ReaderView, ALogInOrSignUpPageIsServedInFullWithItsForm) {
    wexaproxy::TokenStore store;
    wexaproxy::NormaliserSettings settings;
    settings.readerByDefault = true;
    const wexaproxy::Normaliser normaliser(store, settings);
    const std::string welcome =
        "<div class=intro><h1>Welcome back</h1><p>Sign in to read every story of the Herald, to comment on "
        "them and to manage your newsletters. Your account works on the web site, in the apps and on the "
        "e-paper, on as many devices as you like.</p><p>If you have forgotten your password, we send you "
        "a link to set a new one. If you have no account yet, registering takes a minute and costs "
        "nothing; you can close it again at any time from your settings.</p></div>";
    // The text beside the log-in form, not around it.
    const std::string login = "<html><body><nav><a href=/>Home</a></nav><main>" + welcome +
                              "<div class=box><form method=post action=/login><label>E-mail <input "
                              "name=user></label><label>Password <input type=password name=pw></label>"
                              "<input type=submit value=Sign_in></form></div></main></body></html>";
    // A sign-up form of several fields after its text, no password.
    const std::string signup =
        "<html><body><nav><a href=/>Home</a></nav><div id=page>" + welcome +
        "<form action=/newsletter><p><label>Name <input name=n></label></p><p><label>E-mail <input "
        "name=e></label></p><p><label>Town <input name=t></label></p><p><label>Topics <select name=s><option>"
        "News</option><option>Sport</option></select></label></p><input type=submit value=Subscribe></form>"
        "</div></body></html>";
    for (const std::string* body : {&login, &signup}) {
        for (PageView view : {PageView::Default, PageView::Reader}) {
            const std::string page = rendered(normaliser, *body, view, "http://herald.example/account/");
            EXPECT_FALSE(contains(page, "Full page</A>")) << page;
            EXPECT_FALSE(contains(page, "Reader view</A>"));
            EXPECT_TRUE(contains(page, "NAME=f0")) << page;
        }
    }
}

TEST(ReaderView, ControlsOfAFormAroundTheWholePageWorkOnTheReaderPage) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    // One form around everything, as some page frameworks write pages.
    const std::string body =
        "<html><head><title>Ferry times</title></head><body><form method=post action=/Ferry.aspx>"
        "<input type=hidden name=STATE value=abc><nav><a href=/>Home</a> <input name=q> <input type=submit "
        "name=go value=Search></nav><div class=article>" +
        storyText(4) +
        "<p>Ask the harbour master <input name=question> <input type=submit name=ask value=Ask></p></div>"
        "<div class=footer><input type=hidden name=LATE value=1></div></form></body></html>";
    const std::string page = rendered(normaliser, body, PageView::Reader, "http://ferry.example/Ferry.aspx");
    ASSERT_TRUE(contains(page, "Full page</A>"));
    EXPECT_TRUE(normalisertest::dialectProblems(page).empty()) << page;
    EXPECT_TRUE(contains(shownText(page), "Ask the harbour master"));
    const auto result = runPassOne(page);
    ASSERT_EQ(result.forms.size(), 1u) << page;
    wexaproxy::Request request;
    request.command = wexaproxy::Command::FormPost;
    request.url = result.forms[0].action;
    request.fields = result.forms[0].fields;
    std::string error;
    ASSERT_TRUE(normaliser.adaptRequest(request, error)) << error;
    EXPECT_EQ(request.url, "http://ferry.example/Ferry.aspx");
    // The shown field, its button and what the page sends with them, in
    // the page's order; the search field outside the article goes with its
    // default, its button is not pressed.
    std::vector<std::string> names;
    for (const auto& field : request.fields) names.push_back(field.name);
    EXPECT_EQ(names, (std::vector<std::string>{"STATE", "q", "question", "ask", "LATE"}));
}

TEST(ReaderView, TheTitleIsShownOnce) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    const std::string headline = "Night ferry to the islands returns in May";
    // The headline in a box that is not a heading; a page without a title
    // whose headline is its heading.
    const std::string boxed = "<html><head><title>" + headline +
                              " | Island News</title></head><body><nav><a href=/>Home</a></nav><div "
                              "class=story><div class=headline>" +
                              headline + "</div>" + storyText(4) + "</div></body></html>";
    const std::string untitled = "<html><body><nav><a href=/>Home</a></nav><article><h1>" + headline +
                                 "</h1>" + storyText(4) + "</article></body></html>";
    for (const std::string* body : {&boxed, &untitled}) {
        const std::string page = rendered(normaliser, *body, PageView::Reader, "http://isles.example/ferry");
        ASSERT_TRUE(contains(page, "Full page</A>"));
        EXPECT_TRUE(contains(page, "<B>" + headline + "</B>")) << page;
        EXPECT_EQ(count(shownText(page), "Night ferry"), 1u) << page;
    }
}

TEST(ReaderView, TheBylineIsOneWholeLineAndLeavesNoFrameInTheText) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    const std::string body =
        "<html><head><title>Pier works</title></head><body><nav><a href=/>Home</a></nav><article><h1>Pier "
        "works</h1><div class=post-info>By <span class=author-name><a href=/staff/jane>Jane Doe</a></span> "
        "on <time datetime=2023-11-19>19 November 2023</time></div>" +
        storyText(4) +
        "<p>Asked about the delay, <span class=author>the contractor</span> said the piles had arrived "
        "late from the works and would all be in place by the spring.</p></article></body></html>";
    const std::string page = rendered(normaliser, body, PageView::Reader, "http://isles.example/pier");
    ASSERT_TRUE(contains(page, "Full page</A>"));
    const std::string text = shownText(page);
    EXPECT_FALSE(contains(text, "By on")) << text;
    EXPECT_FALSE(contains(text, "By Jane Doe on")) << text;
    EXPECT_TRUE(contains(text, "2023-11-19")) << text;
    EXPECT_TRUE(contains(text, "Asked about the delay, the contractor said")) << text;
}

TEST(ReaderView, TheLeadParagraphIsKept) {
    wexaproxy::TokenStore store;
    const wexaproxy::Normaliser normaliser(store);
    // A lead in a box of its own before the article's text, and a first
    // sentence that is mostly links.
    const std::string body =
        "<html><head><title>Ferry news</title></head><body><nav><a href=/>Home</a></nav><div "
        "class=standfirst><div>The night ferry returns in May, a year after the old boat was "
        "sold.</div></div>"
        "<div class=story><p><a href=/people/ann>Ann Berg</a> has taken the helm of the <a "
        "href=/ferry>Island Ferry Company</a>.</p>" +
        storyText(4) +
        "</div><div class=related><a href=/a>More ferry news from the islands</a></div></body></html>";
    const std::string text =
        shownText(rendered(normaliser, body, PageView::Reader, "http://isles.example/ferry"));
    EXPECT_TRUE(contains(text, "The night ferry returns in May")) << text;
    EXPECT_TRUE(contains(text, "Ann Berg has taken the helm of the Island Ferry Company.")) << text;
    EXPECT_FALSE(contains(text, "More ferry news")) << text;
}
