// Robustness: on random, broken and truncated HTML the normaliser never
// crashes, writes only what the browser reads safely, and its output goes
// through the reply writer into lines the browser's reader takes whole.
// The random pages come from a fixed seed, so every run sees the same ones.

#include <gtest/gtest.h>
#include <gumbo.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dialect.h"
#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/walkstate.h"
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

// A field of /proc/<pid>/status in KiB (VmRSS, VmHWM); 0 when unknown.
long statusKib(const std::string& pid, const std::string& field) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return 0;
}

// What normalising one page cost a child process.
struct Cost {
    bool finished = false;  // false: killed by the watch, or crashed
    long growthMib = 0;     // peak resident memory over that at the start
    long cpuMs = 0;         // processor time of the normalising thread
    long stored = 0;        // entries the page left in the token store
    std::string page;       // the end of the page written
    std::string why;        // why it did not finish
};

// Normalises html in a child process and measures it. The parent watches
// the child and kills it when its resident memory passes killMib or it runs
// longer than killSeconds, so that a normaliser without bounds fails the
// test instead of taking the machine's memory or the suite's time.
Cost normaliseInChild(const std::string& html, const wexaproxy::NormaliserSettings& settings,
                      long killMib = 1024, int killSeconds = 30) {
    int pipeFds[2];
    Cost cost;
    if (pipe(pipeFds) != 0) return cost;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const long before = statusKib("self", "VmRSS");
        const std::int64_t cpu0 = wexaproxy::threadCpuMs();
        wexaproxy::TokenStore store;
        const std::string out =
            wexaproxy::normaliseHtml(html, "text/html", "http://bomb.example/", store, settings);
        const std::int64_t cpu = wexaproxy::threadCpuMs() - cpu0;
        const long growth = (statusKib("self", "VmHWM") - before) / 1024;
        const std::string report = std::to_string(growth) + " " + std::to_string(cpu) + " " +
                                   std::to_string(store.entries()) + " " +
                                   out.substr(out.size() - std::min<std::size_t>(out.size(), 4000));
        ssize_t ignored = write(pipeFds[1], report.data(), report.size());
        (void)ignored;
        _exit(0);  // no leak check or other exit work in the child
    }
    close(pipeFds[1]);
    const auto started = std::chrono::steady_clock::now();
    const std::string pid = std::to_string(child);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        const long rssMib = statusKib(pid, "VmRSS") / 1024;
        const auto seconds = std::chrono::steady_clock::now() - started;
        if (rssMib > killMib || seconds > std::chrono::seconds(killSeconds)) {
            cost.why = rssMib > killMib ? "killed at " + std::to_string(rssMib) + " MiB"
                                        : "killed after " + std::to_string(killSeconds) + " s";
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            close(pipeFds[0]);
            return cost;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    close(pipeFds[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        cost.why = "the child failed";
        return cost;
    }
    std::istringstream fields(report);
    fields >> cost.growthMib >> cost.cpuMs >> cost.stored;
    fields.get();
    cost.page.assign(std::istreambuf_iterator<char>(fields), std::istreambuf_iterator<char>());
    cost.finished = true;
    return cost;
}

std::string repeat(const std::string& piece, int times) {
    std::string out;
    out.reserve(piece.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) out += piece;
    return out;
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

// Small pages built to make the normaliser allocate or work without end.
// The bounds leave room for the sanitizer build, in which the unit tests
// run (it takes several times the memory and time of a plain build); a
// normaliser without bounds takes gigabytes or minutes on each.
TEST(NormaliserRobustness, SizeBombsStayWithinMemoryAndTimeBounds) {
    struct Bomb {
        const char* name;
        std::string html;
        long maxMib;
        long maxCpuMs;
        const char* note;  // the page must end with this note, when given
        long maxStored;    // entries it may leave in the token store
    };
    std::string attributes;
    for (int i = 0; i < 50000; ++i) attributes += "a" + std::to_string(i) + " ";
    const std::vector<Bomb> bombs = {
        // 67 KB: one row of 2,000 cells spanning 50 columns and 1,000 rows,
        // then 1,000 rows: a grid of 100 million covered cells.
        {"span page",
         "<table><tr>" + repeat("<td colspan=50 rowspan=1000>x", 2000) + repeat("<tr><td>r", 1000) +
             "</table>",
         100, 2000, nullptr, 0},
        // 380 KB: one tag of 50,000 attributes, each compared with all before it.
        {"attributes", "<p " + attributes + ">text", 100, 2000, "it has too much markup", 0},
        // 1.2 MB: 100,000 forms, each a record kept in the token store for hours.
        {"forms", repeat("<form></form>", 100000), 150, 4000, "it has too many forms or form fields", 2000},
        // 5 MB: 1.3 million line breaks, a few hundred bytes of tree each
        // (here with a tree bound of 32 MB), and the article finder's scores
        // for every node of the tree that is kept.
        {"elements", repeat("<br>", 1300000), 200, 4000, "it has too much markup", 0},
    };
    for (const Bomb& bomb : bombs) {
        wexaproxy::NormaliserSettings settings;
        if (std::string(bomb.name) == "elements") settings.maxTreeBytes = 32 * 1024 * 1024;
        const Cost cost = normaliseInChild(bomb.html, settings);
        if (!cost.finished) {
            ADD_FAILURE() << bomb.name << ": " << cost.why;
            continue;
        }
        std::printf("%s (%zu KB): %ld MiB, %ld ms, %ld stored\n", bomb.name, bomb.html.size() / 1024,
                    cost.growthMib, cost.cpuMs, cost.stored);
        EXPECT_LT(cost.growthMib, bomb.maxMib) << bomb.name;
        EXPECT_LT(cost.cpuMs, bomb.maxCpuMs) << bomb.name;
        EXPECT_LE(cost.stored, bomb.maxStored) << bomb.name;
        if (bomb.note != nullptr) {
            EXPECT_NE(cost.page.find(bomb.note), std::string::npos) << bomb.name;
        }
    }
}

TEST(NormaliserRobustness, PagesOverTheirBudgetEndWithANote) {
    std::string page;
    for (int i = 0; i < 5000; ++i) page += "<p>Paragraph " + std::to_string(i) + " of a long page.</p>";
    wexaproxy::TokenStore store;
    wexaproxy::NormaliserSettings settings;
    settings.maxBuiltBytes = 40 * 1024;
    const std::string big = wexaproxy::normaliseHtml(page, "text/html", "http://x.example/", store, settings);
    EXPECT_NE(big.find("[The rest of this page is not shown: it needs too much memory.]"), std::string::npos);
    EXPECT_LT(big.size(), 50u * 1024u);
    EXPECT_NE(big.find("Paragraph 0 "), std::string::npos);

    settings = {};
    settings.maxCpuMs = 0;
    const std::string slow =
        wexaproxy::normaliseHtml(page, "text/html", "http://x.example/", store, settings);
    EXPECT_NE(slow.find("[The rest of this page is not shown: preparing it takes too long.]"),
              std::string::npos);
    EXPECT_EQ(slow.find("Paragraph 4999 "), std::string::npos);

    // Within the budget the whole page is written.
    const std::string whole = wexaproxy::normaliseHtml(page, "text/html", "http://x.example/", store);
    EXPECT_NE(whole.find("Paragraph 4999 "), std::string::npos);
    EXPECT_EQ(whole.find("[The rest"), std::string::npos);
}

TEST(GumboMemory, TreeStaysIntactAcrossChunksAndBigBlocks) {
    // Blocks of every kind the parse memory hands out: tens of thousands of
    // small ones over many chunks (the values and names of 20,000
    // attributes), buffers gumbo grows by doubling and gives back (a 200 KB
    // text and the children of an element with 6,000 of them, past the size
    // from which blocks are allocated one by one), and blocks given back as
    // soon as they were cut (end tags, whitespace). A block handed out
    // twice or freed while in use shows as wrong text here, or as an error
    // of the sanitizers.
    std::string html = "<html><body><div id=big>";
    for (int i = 0; i < 6000; ++i) html += "<span title=v" + std::to_string(i) + ">s</span> ";
    html += "</div><p>";
    const std::string text(200000, 'x');
    html += text + "</p><ul>";
    for (int i = 0; i < 4000; ++i)
        html +=
            "<li class=c" + std::to_string(i) + " data-a=1 data-b=2>item " + std::to_string(i) + "</li>\n";
    html += "</ul></body></html>";

    wexaproxy::GumboMemory memory;
    const GumboOptions options = memory.options();
    const GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    ASSERT_NE(output, nullptr);
    const GumboNode* body = static_cast<const GumboNode*>(output->root->v.element.children.data[1]);
    ASSERT_EQ(body->v.element.tag, GUMBO_TAG_BODY);
    const GumboVector& parts = body->v.element.children;
    ASSERT_EQ(parts.length, 3u);
    const auto* div = static_cast<const GumboNode*>(parts.data[0]);
    ASSERT_EQ(div->v.element.children.length, 12000u);  // each span and the blank after it
    for (unsigned i = 0; i < 6000; ++i) {
        const auto* span = static_cast<const GumboNode*>(div->v.element.children.data[2 * i]);
        const GumboAttribute* title = gumbo_get_attribute(&span->v.element.attributes, "title");
        ASSERT_NE(title, nullptr);
        ASSERT_EQ(std::string(title->value), "v" + std::to_string(i));
    }
    const auto* p = static_cast<const GumboNode*>(parts.data[1]);
    ASSERT_EQ(p->v.element.children.length, 1u);
    EXPECT_EQ(std::string(static_cast<const GumboNode*>(p->v.element.children.data[0])->v.text.text), text);
    const auto* ul = static_cast<const GumboNode*>(parts.data[2]);
    unsigned items = 0;
    for (unsigned i = 0; i < ul->v.element.children.length; ++i) {
        const auto* li = static_cast<const GumboNode*>(ul->v.element.children.data[i]);
        if (li->type != GUMBO_NODE_ELEMENT) continue;
        const GumboAttribute* cls = gumbo_get_attribute(&li->v.element.attributes, "class");
        ASSERT_NE(cls, nullptr);
        EXPECT_EQ(std::string(cls->value), "c" + std::to_string(items));
        const auto* label = static_cast<const GumboNode*>(li->v.element.children.data[0]);
        EXPECT_EQ(std::string(label->v.text.text), "item " + std::to_string(items));
        ++items;
    }
    EXPECT_EQ(items, 4000u);
}
