#include "dialect.h"

#include <cctype>
#include <cstring>
#include <set>

#include "passone/pagestream.h"
#include "passone/passone.h"
#include "shell/global.h"
#include "support/testsupport.h"

namespace normalisertest {

namespace {

// The tags the normaliser may write: those of the browser's tag table that
// it writes for pages (/IMG, which the browser has no action for, parts
// text; /LI evens out table cells).
const std::set<std::string> TAGS = {
    "A",     "/A",     "B",  "/B",  "BR",     "CENTER", "/CENTER", "FORM",  "/FORM",  "HR", "INPUT",
    "LI",    "/LI",    "OL", "/OL", "OPTION", "SELECT", "/SELECT", "TABLE", "/TABLE", "TD", "/TD",
    "TITLE", "/TITLE", "TR", "/TR", "U",      "/U",     "UL",      "/UL",   "/IMG"};

// The browser splits attribute words at blank, "=" and '"', and a ">" ends
// the tag ("<" inside a tag is read as it is).
bool isWordCharacter(char c) {
    return c != ' ' && c != '=' && c != '"' && c != '>';
}

void checkTag(const std::string& tag, std::size_t at, std::vector<std::string>& problems) {
    const std::size_t nameEnd = std::min(tag.find(' '), tag.size());
    const std::string name = tag.substr(0, nameEnd);
    if (TAGS.count(name) == 0) {
        problems.push_back("unknown tag <" + tag + "> at " + std::to_string(at));
        return;
    }
    // Attributes: NAME=word pairs and lone keywords, one blank apart.
    std::size_t i = nameEnd;
    while (i < tag.size()) {
        if (tag[i] != ' ') {
            problems.push_back("badly spaced attributes in <" + tag + ">");
            return;
        }
        ++i;
        std::size_t end = i;
        while (end < tag.size() && std::isupper(static_cast<unsigned char>(tag[end]))) ++end;
        if (end == i) {
            problems.push_back("attribute without a name in <" + tag + ">");
            return;
        }
        i = end;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            std::size_t valueEnd = i;
            while (valueEnd < tag.size() && isWordCharacter(tag[valueEnd])) ++valueEnd;
            if (valueEnd == i) {
                problems.push_back("empty value in <" + tag + ">");
                return;
            }
            i = valueEnd;
        }
    }
}

}  // namespace

std::vector<std::string> dialectProblems(const std::string& html) {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < html.size(); ++i) {
        const auto byte = static_cast<unsigned char>(html[i]);
        if (byte < 0x20 || byte > 0x7E) {
            problems.push_back("byte " + std::to_string(byte) + " at " + std::to_string(i));
            if (problems.size() > 20) return problems;
        }
    }
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {
            const char next = i + 1 < html.size() ? html[i + 1] : '\0';
            // The browser reads "<" and a letter or "/" as a tag, and joins
            // "<" and any next byte into text, so a "<" at the very end or
            // before another "<" would swallow what follows.
            if (next == '\0' || next == '<') {
                problems.push_back("bare '<' at " + std::to_string(i));
                continue;
            }
            if (!std::isalpha(static_cast<unsigned char>(next)) && next != '/') continue;
            const std::size_t close = html.find('>', i);
            if (close == std::string::npos) {
                problems.push_back("unclosed tag at " + std::to_string(i));
                continue;
            }
            checkTag(html.substr(i + 1, close - i - 1), i, problems);
            i = close;
            continue;
        }
        if (html.compare(i, 5, "&nbsp") == 0 || html.compare(i, 5, "&NBSP") == 0) {
            // Meant as a blank: written right after a tag or in a run of them.
            const bool afterTag = i > 0 && html[i - 1] == '>';
            const bool inRun = (i >= 1 && html[i - 1] == ';') ||
                               (i >= 5 && html.compare(i - 5, 5, "&nbsp") == 0) ||
                               (i > 0 && html[i - 1] == ' ') || (i >= 1 && html[i - 1] == '\n');
            const bool startsRun = html.compare(i + 5, 1, "&") == 0 || html.compare(i + 5, 1, ";") == 0;
            if (!afterTag && !inRun && !startsRun) problems.push_back("stray &nbsp at " + std::to_string(i));
        }
        if (problems.size() > 20) break;
    }
    return problems;
}

namespace {

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

std::vector<ASTNode*> tableNodes() {
    std::vector<ASTNode*> nodes;
    ASTNode* node = GlobalNamespace.ast.getPointerToAST();
    for (short i = 0; i < GlobalNamespace.ast.getCount() && node != nullptr; ++i, node = node->next)
        nodes.push_back(node);
    return nodes;
}

}  // namespace

PassOneResult runPassOne(const std::string& html, const std::vector<int>& checkBoxes) {
    wexatest::useDummyTerminal();
    PassOneResult result;
    wexatest::TempDir dir;
    clearPage();
    wexatest::writeFile("page.html", html);
    PassOne().passOne("page.html");
    result.stream = wexatest::readFile("pass1.tmp");
    result.title = GlobalNamespace.page.getTitle();
    result.elements = GlobalNamespace.ast.getCount();
    bool open = false;
    for (char c : result.stream) {
        if (c != static_cast<char>(PS_TAB)) continue;
        if (open) ++result.delimiterPairs;
        open = !open;
    }
    result.delimitersPaired = !open;

    for (int position : checkBoxes) {
        if (position < GlobalNamespace.checkboxes.getCount())
            GlobalNamespace.checkboxes.getReferenceOf(static_cast<short>(position))->check();
    }
    const std::vector<ASTNode*> nodes = tableNodes();
    const FormListNode* node = GlobalNamespace.forms.getFirst();
    for (short k = 0; node != nullptr && k < GlobalNamespace.forms.getCount(); ++k, node = node->next) {
        PassOneResult::FormSent sent;
        const Form& form = node->form;
        sent.action = form.getAction();
        if (sent.action.compare(0, 7, "http://") != 0 && sent.action.size() + 7 <= 91)
            sent.action = "http://" + sent.action;
        sent.method = form.getMethod();
        for (const Form::Member* m = form.getMembers(); m != nullptr; m = m->next) {
            if (m->index < 0 || static_cast<std::size_t>(m->index) >= nodes.size()) continue;
            const Component* control = nodes[static_cast<std::size_t>(m->index)]->info;
            if (control == nullptr || control->nameOf() == nullptr || control->valueOf() == nullptr) continue;
            sent.fields.push_back({control->nameOf(), control->valueOf()});
        }
        result.forms.push_back(std::move(sent));
    }
    clearPage();
    return result;
}

std::string streamText(const std::string& stream) {
    std::string text;
    for (char c : stream) {
        if (static_cast<unsigned char>(c) >= 32) text.push_back(c);
    }
    return text;
}

std::vector<std::string> shownWords(const std::string& stream) {
    std::vector<std::string> words(1);
    for (char c : stream) {
        const auto byte = static_cast<unsigned char>(c);
        const bool inline_code = byte == PS_TAB || (byte >= PS_BOLD && byte <= PS_UNDERLINE_END);
        if (inline_code) continue;
        if (byte <= ' ') {
            if (!words.back().empty()) words.emplace_back();
            continue;
        }
        words.back().push_back(c);
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

}  // namespace normalisertest
