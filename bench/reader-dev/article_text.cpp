// Developer driver of the article finder: the text of the article it finds
// on saved pages, and how long finding takes next to parsing and to
// normalising the whole page.
//
//     article_text LIST OUTDIR [RUNS]
//         LIST has one page a line: "ID<TAB>FILE<TAB>URL". The file's bytes
//         are decoded as the proxy decodes a page without a Content-Type
//         header (byte order mark, meta declaration, otherwise UTF-8 when
//         valid and windows-1252 when not). Writes OUTDIR/ID.article.*
//         (title, byline and date lines, then the article's text; empty
//         when no article is found), OUTDIR/ID.body.* (the article's text
//         only) and OUTDIR/ID.page.* (all shown text of the body), each as
//         .txt in the browser's ASCII and as .utf8. Prints one line per page: "ID found charset
//         parse_ms find_ms normalise_ms" (processor time, median of RUNS
//         runs, default 3).
//     article_text fold
//         Copies standard input to standard output in the browser's ASCII.
//
// The text is taken as the page writer takes it: blocks on lines of their
// own, image alt texts in the text, what is never shown left out.

#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "proxy/normalise/article.h"
#include "proxy/normalise/charset.h"
#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/tokens.h"

namespace {

double cpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool isInlineTag(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_ABBR:
        case GUMBO_TAG_B:
        case GUMBO_TAG_BIG:
        case GUMBO_TAG_CITE:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_FONT:
        case GUMBO_TAG_I:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_LABEL:
        case GUMBO_TAG_MARK:
        case GUMBO_TAG_Q:
        case GUMBO_TAG_S:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_SPAN:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_SUB:
        case GUMBO_TAG_SUP:
        case GUMBO_TAG_TIME:
        case GUMBO_TAG_U:
        case GUMBO_TAG_WBR:
            return true;
        default:
            return false;
    }
}

// The shown text of root in UTF-8, leaving out the dropped nodes.
void appendText(std::string& out, const GumboNode* root, const wexaproxy::Article* article) {
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at == nullptr) {  // the end of a block
            out += '\n';
            continue;
        }
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA ||
            at->type == GUMBO_NODE_WHITESPACE) {
            out += at->v.text.text;
            continue;
        }
        if (at->type != GUMBO_NODE_ELEMENT || wexaproxy::isNeverShown(at)) continue;
        if (article != nullptr && article->dropped.count(at) > 0) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_IMG) {
            const GumboAttribute* alt = gumbo_get_attribute(&element.attributes, "alt");
            if (alt != nullptr) {
                out += ' ';
                out += alt->value;
                out += ' ';
            }
            continue;
        }
        const bool block = !isInlineTag(element.tag);
        if (block) {
            out += '\n';
            pending.push_back(nullptr);
        }
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    return buffer.str();
}

// The text as it is (NAME.utf8) and in the browser's ASCII (NAME.txt).
void writeFile(const std::string& name, const std::string& utf8) {
    std::ofstream(name + ".utf8", std::ios::binary) << utf8;
    std::ofstream(name + ".txt", std::ios::binary) << wexaproxy::toAscii(utf8);
}

const GumboNode* bodyOf(const GumboNode* document) {
    std::vector<const GumboNode*> pending{document};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type == GUMBO_NODE_ELEMENT && at->v.element.tag == GUMBO_TAG_BODY) return at;
        const GumboVector* children = at->type == GUMBO_NODE_DOCUMENT  ? &at->v.document.children
                                      : at->type == GUMBO_NODE_ELEMENT ? &at->v.element.children
                                                                       : nullptr;
        if (children == nullptr) continue;
        for (unsigned i = 0; i < children->length; ++i)
            pending.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
    return document;
}

int runPages(const std::string& listPath, const std::string& outDir, int runs) {
    std::ifstream list(listPath);
    if (!list) {
        std::fprintf(stderr, "article_text: cannot read %s\n", listPath.c_str());
        return 1;
    }
    wexaproxy::NormaliserSettings settings;
    settings.maxLines = 1L << 40;
    settings.maxElements = 1 << 30;
    settings.maxStoredLinks = 1 << 30;
    std::string line;
    while (std::getline(list, line)) {
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        const std::string id = line.substr(0, tab1);
        const std::string path = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string url = line.substr(tab2 + 1);
        const std::string bytes = readFile(path);
        settings.maxInputBytes = bytes.size() + 1;
        const wexaproxy::CharsetChoice charset = wexaproxy::detectCharset("text/html", bytes);
        const std::string utf8 =
            wexaproxy::decodeToUtf8(std::string_view(bytes).substr(charset.bomLength), charset.name);

        std::vector<double> parseMs, findMs, normaliseMs;
        std::string article, body, page;
        bool found = false;
        for (int run = 0; run < runs; ++run) {
            wexaproxy::GumboMemory memory;
            const GumboOptions options = memory.options();
            double start = cpuNow();
            const GumboOutput* output = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
            parseMs.push_back(cpuNow() - start);
            start = cpuNow();
            const std::optional<wexaproxy::Article> result = wexaproxy::findArticle(output->document, url);
            findMs.push_back(cpuNow() - start);
            if (run > 0) continue;
            found = result.has_value();
            if (result) {
                const wexaproxy::ArticleMeta& meta = result->meta;
                for (const std::string* field : {&meta.title, &meta.byline, &meta.date}) {
                    if (!field->empty()) article += *field + "\n";
                }
                for (const GumboNode* part : result->parts) appendText(body, part, &*result);
                article += "\n" + body;
            }
            appendText(page, bodyOf(output->document), nullptr);
        }
        for (int run = 0; run < runs; ++run) {
            wexaproxy::TokenStore store;
            const double start = cpuNow();
            const std::string written = wexaproxy::normaliseHtml(bytes, "text/html", url, store, settings);
            normaliseMs.push_back(cpuNow() - start);
        }
        writeFile(outDir + "/" + id + ".article", article);
        writeFile(outDir + "/" + id + ".body", body);
        writeFile(outDir + "/" + id + ".page", page);
        std::printf("%s %d %s %.3f %.3f %.3f\n", id.c_str(), found ? 1 : 0, charset.name.c_str(),
                    median(parseMs), median(findMs), median(normaliseMs));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "fold") {
        std::stringstream in;
        in << std::cin.rdbuf();
        std::cout << wexaproxy::toAscii(in.str());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: article_text LIST OUTDIR [RUNS] | article_text fold\n");
        return 2;
    }
    return runPages(argv[1], argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
}
