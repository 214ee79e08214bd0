// The article finder of the reader view on small pages: which text is the
// article, what around and inside it is left out, which pages have no
// article, and the title, byline and date a page declares.

#include "proxy/normalise/article.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "proxy/normalise/gumbomemory.h"

namespace {

// A parsed page; the tree lives as long as the object.
class Page {
public:
    explicit Page(std::string html) : html_(std::move(html)) {
        GumboOptions options = memory_.options();
        output_ = gumbo_parse_with_options(&options, html_.data(), html_.size());
    }
    const GumboNode* document() const { return output_->document; }

private:
    std::string html_;
    wexaproxy::GumboMemory memory_;
    GumboOutput* output_ = nullptr;
};

// The text the reader page would show of the article's body: its parts
// without the dropped nodes and what is never shown, blanks collapsed.
std::string bodyText(const wexaproxy::Article& article) {
    std::string out;
    for (const GumboNode* part : article.parts) {
        std::vector<const GumboNode*> pending{part};
        while (!pending.empty()) {
            const GumboNode* at = pending.back();
            pending.pop_back();
            if (at->type == GUMBO_NODE_TEXT) {
                out += at->v.text.text;
                out += ' ';
                continue;
            }
            if (at->type != GUMBO_NODE_ELEMENT || wexaproxy::isNeverShown(at) ||
                article.dropped.count(at) > 0)
                continue;
            if (at->v.element.tag == GUMBO_TAG_IMG) {
                const GumboAttribute* alt = gumbo_get_attribute(&at->v.element.attributes, "alt");
                if (alt != nullptr) out += std::string(alt->value) + ' ';
            }
            const GumboVector& children = at->v.element.children;
            for (unsigned i = children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
        }
    }
    return out;
}

std::optional<wexaproxy::Article> find(const Page& page,
                                       const std::string& url = "http://news.example/2024/05/story") {
    return wexaproxy::findArticle(page.document(), url);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A paragraph of running text, different for each n.
std::string paragraph(int n) {
    return "<p>Paragraph " + std::to_string(n) +
           " of the story, in which the council met again on Tuesday, heard the engineers, the "
           "residents and the mayor, and agreed, after a long debate, to repair the old bridge "
           "before the winter floods arrive.</p>";
}

std::string paragraphs(int from, int to) {
    std::string out;
    for (int n = from; n <= to; ++n) out += paragraph(n);
    return out;
}

std::string page(const std::string& head, const std::string& body) {
    return "<!DOCTYPE html><html><head><title>Bridge repair | Town News</title>" + head + "</head><body>" +
           body + "</body></html>";
}

const std::string NAVIGATION =
    "<nav class=\"site-nav\"><ul><li><a href=\"/\">Home</a></li><li><a href=\"/politics\">Politics and "
    "elections</a></li><li><a href=\"/sport\">Sport results</a></li><li><a href=\"/weather\">Weather "
    "forecast</a></li></ul></nav>";

}  // namespace

TEST(ArticleFinder, FindsTheArticleAndLeavesOutWhatSurroundsIt) {
    const Page html(page(
        "",
        NAVIGATION +
            "<div class=\"layout\"><div class=\"story-body\">"
            "<h1>Bridge repair</h1>"
            "<div class=\"byline\">By Ann Smith, 5 May 2024</div>"
            "<div class=\"share-tools\"><a href=\"/s?fb\">Share on Facebook</a> <a href=\"/s?tw\">Share "
            "on Twitter</a></div>" +
            paragraphs(1, 3) +
            "<figure><img src=\"a.jpg\" alt=\"The old bridge at dawn\"><figcaption>The bridge in 1950. "
            "Photo: Jo Doe</figcaption></figure>"
            "<p><img src=\"b.jpg\" alt=\"bridge-repair-2024-05-photo-02\"></p>"
            "<div class=\"photo-caption\">Repairs start in June. Photo: Al Roe</div>"
            "<ul class=\"more\"><li><a href=\"/a\">Flood warning issued for the river valley</a></li>"
            "<li><a href=\"/b\">New school opens in the north district</a></li>"
            "<li><a href=\"/c\">Market square to close for a week</a></li></ul>" +
            paragraphs(4, 5) +
            "<span class=\"sr-only\">End of story</span>"
            "<div class=\"newsletter-box\"><p>Sign up for the morning briefing: the day's headlines in "
            "your inbox before breakfast.</p></div>"
            "</div>"
            "<div class=\"sidebar\"><h3>Most read</h3><p>Mayor announces the summer festival programme, "
            "with concerts, a parade and fireworks over the lake, on the last weekend of June.</p></div>"
            "</div>"
            "<section id=\"comments\"><h2>Comments</h2><p>I have crossed that bridge every day for forty "
            "years, and I think the council, as usual, waited far too long, spent too much, and will "
            "now close it, of course, in the middle of the tourist season.</p><p>Agreed, completely, "
            "and the detour, through the old town, is a disgrace for everyone, residents and visitors "
            "alike.</p></section>"
            "<footer><p>Copyright Town News. All rights reserved. Contact, imprint, privacy.</p></footer>"));
    const auto article = find(html);
    ASSERT_TRUE(article);
    const std::string text = bodyText(*article);
    for (int n = 1; n <= 5; ++n) EXPECT_TRUE(has(text, "Paragraph " + std::to_string(n) + " of")) << n;
    EXPECT_TRUE(has(text, "The old bridge at dawn"));
    // Around the article.
    EXPECT_FALSE(has(text, "Sport results"));
    EXPECT_FALSE(has(text, "summer festival"));
    EXPECT_FALSE(has(text, "forty years"));
    EXPECT_FALSE(has(text, "Copyright"));
    // Inside it.
    EXPECT_FALSE(has(text, "Bridge repair")) << "the heading repeats the title";
    EXPECT_FALSE(has(text, "Ann Smith")) << "the byline is shown on its own";
    EXPECT_FALSE(has(text, "Share on"));
    EXPECT_FALSE(has(text, "Flood warning")) << "a list of links";
    EXPECT_FALSE(has(text, "photo-02")) << "an alt text that is a file name";
    EXPECT_FALSE(has(text, "Jo Doe")) << "a caption: the alt text stands for the image";
    EXPECT_FALSE(has(text, "Al Roe")) << "a caption: the alt text stands for the image";
    EXPECT_FALSE(has(text, "End of story")) << "text for screen readers only";
    EXPECT_FALSE(has(text, "morning briefing")) << "a block named as boilerplate";
}

TEST(ArticleFinder, HiddenTextAndLongCommentsAreNotTheArticle) {
    // The comment and the hidden copy score higher than the article.
    std::string comments =
        "<div class=\"comment-list\"><div class=\"comment-body\"><div class=\"entry-content\">";
    for (int n = 0; n < 3; ++n) {
        comments += "<p>Reader " + std::to_string(n) +
                    " wrote: well, honestly, I disagree, because the bridge, the road, the tunnel, the "
                    "ferry, the port, the canal, the airport, and the railway were all built, paid for, "
                    "and then neglected, by the same people, again and again, year after year, and, "
                    "frankly, nobody, not even the mayor, cares.</p>";
    }
    comments += "</div></div></div>";
    const Page html(page("", "<div style=\"display: none\"><div>" + paragraphs(20, 29) + "</div></div>" +
                                 "<div class=\"post\">" + paragraphs(1, 3) + "</div>" + comments));
    const auto article = find(html);
    ASSERT_TRUE(article);
    const std::string text = bodyText(*article);
    EXPECT_TRUE(has(text, "Paragraph 1 of"));
    EXPECT_FALSE(has(text, "Paragraph 20 of"));
    EXPECT_FALSE(has(text, "Reader 0 wrote"));
}

TEST(ArticleFinder, ArticleSplitOverSiblingBlocksIsFoundWhole) {
    // Parts side by side, with an advertisement between them.
    const Page siblings(page("", NAVIGATION + "<div class=\"wrap\"><div class=\"chunk\">" + paragraphs(1, 4) +
                                     "</div><div class=\"ad-slot\">Advertisement</div><div class=\"chunk\">" +
                                     paragraphs(5, 6) + "</div><h2>What comes next</h2><div>" +
                                     paragraphs(7, 7) + "</div></div>"));
    auto article = find(siblings);
    ASSERT_TRUE(article);
    std::string text = bodyText(*article);
    for (int n = 1; n <= 7; ++n) EXPECT_TRUE(has(text, "Paragraph " + std::to_string(n) + " of")) << n;
    EXPECT_TRUE(has(text, "What comes next"));
    EXPECT_FALSE(has(text, "Advertisement"));

    // Each part in a box of its own, with an empty ad column beside it.
    std::string boxes;
    for (int box = 0; box < 3; ++box) {
        boxes += "<div class=\"row\"><div class=\"col\">" + paragraphs(box * 4 + 1, box * 4 + 4) +
                 "</div><div class=\"col-right\"></div></div>";
    }
    const Page boxed(page("", NAVIGATION + "<div class=\"rows\">" + boxes + "</div>"));
    article = find(boxed);
    ASSERT_TRUE(article);
    text = bodyText(*article);
    for (int n = 1; n <= 12; ++n) EXPECT_TRUE(has(text, "Paragraph " + std::to_string(n) + " of")) << n;
}

TEST(ArticleFinder, PagesOwnArticleMarkupDecides) {
    // An unmarked block with a little more text in one column, and in the
    // other the article the page marks: an article element, or an element
    // marked as the article body.
    const auto columns = [](const std::string& marked) {
        return page("", NAVIGATION + "<div class=\"columns\"><div class=\"left\"><div><div>" +
                            paragraphs(10, 13) + "</div></div></div><div class=\"right\">" + marked +
                            "</div></div>");
    };
    const Page element(columns("<article>" + paragraphs(1, 3) + "</article>"));
    auto article = find(element);
    ASSERT_TRUE(article);
    EXPECT_TRUE(has(bodyText(*article), "Paragraph 1 of"));
    EXPECT_FALSE(has(bodyText(*article), "Paragraph 10 of"));

    const Page body(columns("<section><div itemprop=\"articleBody\">" + paragraphs(1, 2) + "</div><div>" +
                            paragraphs(3, 3) + "</div></section>"));
    article = find(body);
    ASSERT_TRUE(article);
    EXPECT_TRUE(has(bodyText(*article), "Paragraph 1 of"));
    EXPECT_FALSE(has(bodyText(*article), "Paragraph 10 of"));

    const Page main(columns("<div role=\"main\">" + paragraphs(1, 3) + "</div>"));
    article = find(main);
    ASSERT_TRUE(article);
    EXPECT_TRUE(has(bodyText(*article), "Paragraph 1 of"));
    EXPECT_FALSE(has(bodyText(*article), "Paragraph 10 of"));
}

TEST(ArticleFinder, PagesOfTeasersHaveNoArticle) {
    // A front page: cards of a linked headline and a summary.
    std::string cards;
    for (int n = 0; n < 8; ++n) {
        cards += "<div class=\"card\"><h2><a href=\"/story" + std::to_string(n) + "\">Headline number " +
                 std::to_string(n) +
                 " about the town</a></h2><p>A short summary of the story, with a few words about what "
                 "happened, where, and who was there.</p></div>";
    }
    EXPECT_FALSE(find(Page(page("", NAVIGATION + "<div class=\"cards\">" + cards + "</div>"))));

    // Search results under a search form.
    std::string results =
        "<form action=\"/search\"><input type=\"search\" name=\"q\" value=\"bridge\">"
        "<input type=\"submit\" value=\"Search\"></form><ol>";
    for (int n = 0; n < 8; ++n) {
        results += "<li><h3><a href=\"/r" + std::to_string(n) + "\">Result " + std::to_string(n) +
                   ": bridge works</a></h3><p>Matching text from the page, with the words found, and a "
                   "little of what was around them.</p></li>";
    }
    EXPECT_FALSE(find(Page(page("", "<main>" + results + "</ol></main>"))));

    // A site's front page showing its latest post in full is still the
    // front page, unless the page says it is an article.
    const std::string latest = NAVIGATION + "<div class=\"post\">" + paragraphs(1, 4) + "</div>";
    EXPECT_FALSE(find(Page(page("", latest)), "http://blog.example/"));
    EXPECT_TRUE(find(Page(page("", latest)), "http://blog.example/2024/05/latest.html"));
    EXPECT_TRUE(
        find(Page(page("<meta property=\"og:type\" content=\"article\">", latest)), "http://blog.example"));
}

TEST(ArticleFinder, FormsAreKeptInAnArticleButAFormPageHasNoArticle) {
    const Page login(
        page("", NAVIGATION + "<main><h1>Sign in</h1><p>Welcome back. Sign in to read every story, to "
                              "comment, and to manage your newsletters. Your account works on the web "
                              "site, in the apps and on the e-paper, on as many devices as you like, "
                              "and you can change your settings at any time. If you have forgotten "
                              "your password, we send you a link to set a new one; if you have no "
                              "account yet, registering takes a minute and costs nothing.</p>"
                              "<form method=\"post\" action=\"/login\"><label>E-mail <input type=\"text\" "
                              "name=\"user\"></label><label>Password <input type=\"password\" "
                              "name=\"pw\"></label><input type=\"submit\" value=\"Sign in\"></form></main>"));
    EXPECT_FALSE(find(login));

    const Page poll(page("", "<div class=\"story\">" + paragraphs(1, 4) +
                                 "<form action=\"/vote\"><p>Should the bridge close in summer?</p>"
                                 "<label><input type=\"radio\" name=\"v\" value=\"y\"> Yes</label>"
                                 "<label><input type=\"radio\" name=\"v\" value=\"n\"> No</label>"
                                 "<input type=\"submit\" value=\"Vote\"></form>" +
                                 paragraphs(5, 5) + "</div>"));
    const auto article = find(poll);
    ASSERT_TRUE(article);
    EXPECT_TRUE(has(bodyText(*article), "Should the bridge close in summer?"));
}

TEST(ArticleFinder, TitleBylineAndDateFromJsonLdThenOpenGraph) {
    const std::string body = "<article>" + paragraphs(1, 4) + "</article>";
    const Page jsonLd(
        page("<meta property=\"og:title\" content=\"Other title\">"
             "<script type=\"application/ld+json\">{\"@context\": \"https://schema.org\", \"@graph\": ["
             "{\"@type\": \"WebSite\", \"name\": \"Town News\"},"
             "{\"@type\": [\"NewsArticle\"], \"headline\": \"Council agrees to repair the \\u201cold\\u201d "
             "bridge &#8211; at last\", \"datePublished\": \"2024-05-05T08:30:00+02:00\","
             "\"author\": [{\"@type\": \"Person\", \"name\": \"Ann Smith\"}, {\"name\": \"Bo Lee\"}, "
             "\"https://news.example/staff/ann\"]}]}</script>",
             body));
    auto article = find(jsonLd);
    ASSERT_TRUE(article);
    EXPECT_EQ(article->meta.title,
              "Council agrees to repair the \xE2\x80\x9C"
              "old\xE2\x80\x9D bridge \xE2\x80\x93 at last");
    EXPECT_EQ(article->meta.byline, "Ann Smith, Bo Lee");
    EXPECT_EQ(article->meta.date, "2024-05-05");

    // Data that is not JSON is passed over; OpenGraph and meta tags follow.
    const Page openGraph(
        page("<script type=\"application/ld+json\">{\"@type\": \"NewsArticle\", \"headline\": </script>"
             "<meta property=\"og:site_name\" content=\"Town News\">"
             "<meta property=\"og:title\" content=\"Bridge repair agreed | Town News\">"
             "<meta property=\"article:author\" content=\"https://news.example/staff/ann\">"
             "<meta name=\"author\" content=\"Ann Smith\">"
             "<meta property=\"article:published_time\" content=\"0001-01-01T00:00:00Z\">"
             "<meta name=\"date\" content=\"5 May 2024\">",
             body));
    article = find(openGraph);
    ASSERT_TRUE(article);
    EXPECT_EQ(article->meta.title, "Bridge repair agreed");
    EXPECT_EQ(article->meta.byline, "Ann Smith");
    EXPECT_EQ(article->meta.date, "5 May 2024");
}

TEST(ArticleFinder, DeepAndBrokenPagesAreSafe) {
    // Far deeper than any call stack would allow for one frame per element.
    std::string deep = "<!DOCTYPE html><body>";
    for (int i = 0; i < 20000; ++i) deep += "<div>";
    deep += paragraphs(1, 3);
    const Page nested(deep);
    const auto article = find(nested);
    ASSERT_TRUE(article);
    EXPECT_TRUE(has(bodyText(*article), "Paragraph 3 of"));

    EXPECT_FALSE(find(Page("")));
    EXPECT_FALSE(
        find(Page("<script type=\"application/ld+json\">[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["
                  "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"\\ud800</script><p>x</p>")));
}
