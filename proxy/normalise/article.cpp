#include "proxy/normalise/article.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "proxy/normalise/articlemeta.h"
#include "proxy/normalise/articletext.h"
#include "proxy/normalise/ascii.h"

namespace wexaproxy {

namespace {

using namespace articletext;
using namespace articlemeta;

// --- Tuning ---------------------------------------------------------------------

// A run of text shorter than this (in characters as countText counts them)
// is a label, not a paragraph.
constexpr int MIN_PARAGRAPH_CHARS = 25;
// A paragraph's length adds one point per this many characters, up to
// MAX_LENGTH_POINTS.
constexpr int CHARS_PER_POINT = 100;
constexpr double MAX_LENGTH_POINTS = 3.0;
// Weight of one class or id that names content ("article-body") or
// boilerplate ("comments").
constexpr int HINT_WEIGHT = 25;
// Less running text than this in the article found, and the page has none.
constexpr int MIN_ARTICLE_CHARS = 250;
// A paragraph whose share of link text is above this is not running text.
constexpr double MAX_PARAGRAPH_LINK_DENSITY = 0.3;
// A block inside the article whose share of link text is above this is a
// list of links (related articles, tags, a table of contents of the site);
// paragraphs, lists and tables may hold more links (a list of items that
// each link to their source).
constexpr double MAX_BLOCK_LINK_DENSITY = 0.33;
constexpr double MAX_TEXT_LINK_DENSITY = 0.5;
// A block that holds at least this share of the article's running text is
// kept whatever its class says.
constexpr double BULK_SHARE = 0.5;
// Siblings of the best element join it when their score reaches this share
// of its score (and SIBLING_MIN_SCORE).
constexpr double SIBLING_SHARE = 0.2;
constexpr double SIBLING_SHARE_BEFORE = 0.5;
// A sibling paragraph joins when it has this many characters and a share
// of link text below MAX_SIBLING_LINK_DENSITY, or is a shorter sentence
// without links.
constexpr int SIBLING_PARAGRAPH_CHARS = 80;
constexpr double MAX_SIBLING_LINK_DENSITY = 0.25;
constexpr double SIBLING_MIN_SCORE = 10.0;
// The best element stands for the element around it when it holds at least
// this share of its text.
constexpr double CLIMB_SHARE = 0.8;
constexpr int MAX_CLIMB = 5;
// Score left to an element for each element above it (up to
// MAX_BOILERPLATE_LEVELS) whose class or id names boilerplate.
constexpr double BOILERPLATE_FACTOR = 0.5;
constexpr int MAX_BOILERPLATE_LEVELS = 3;
// Bonus for the page's own article markup.
constexpr int ARTICLE_BODY_BONUS = 50;
constexpr int ARTICLE_TYPE_BONUS = 50;
constexpr int ARTICLE_ELEMENT_BONUS = 15;
constexpr int MAIN_ELEMENT_BONUS = 10;
// A page of teasers: at least this many headings that are links, and at
// least TEASER_SHARE of the headings.
constexpr int MIN_TEASER_HEADINGS = 3;
constexpr double TEASER_SHARE = 0.5;
// ... and less running text than this per such heading.
constexpr int MAX_TEASER_CHARS = 600;
// What one form field weighs against the article's text when deciding
// whether a form is the page's main content.
constexpr int FIELD_CHARS = 150;
// Byline and date lines longer than this are not just a byline.
constexpr int MAX_BYLINE_CHARS = 400;
// A block around a byline or a date with no more text than this besides
// them ("By ... on ...", "Updated") is the byline's frame.
constexpr int MAX_BYLINE_GLUE_CHARS = 30;
// A byline marker inside a paragraph of at least this much running text is
// part of a sentence ("..., the author said"), not a byline.
constexpr int MIN_PROSE_CHARS = 80;
// A paragraph with at least this much text outside its links, ending as a
// sentence does, is running text however many links it holds ("<name> has
// been eliminated from <show>.").
constexpr int MIN_UNLINKED_SENTENCE_CHARS = 20;
// ... and holds no more links than this (more is a block of links to
// other pages inside the paragraph).
constexpr int MAX_SENTENCE_LINKS = 4;
// An article shorter than this beside a password field is the text of a
// log-in or sign-up page.
constexpr int MIN_LOGIN_ARTICLE_CHARS = 2000;
// An alt text of this many characters without a blank, with a dash or an
// underscore, is a file name.
constexpr std::size_t FILE_NAME_CHARS = 16;

// --- Small helpers on gumbo nodes: articletext.h
// --- Class and id hints, character counting: articletext.h

// --- What the page says about itself: articlemeta.h

// --- The walk over the tree --------------------------------------------------------

// One shown element, in document order. Counts are over the element and
// everything shown inside it, unless they say "own".
struct Element {
    const GumboNode* node = nullptr;
    int parent = -1;  // index of the nearest shown element above, -1 for the top
    int end = 0;      // one past the index of the last element inside this one
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    Hints hints;
    int chars = 0;
    int linkChars = 0;
    int commas = 0;
    // Running text: the text not inside a block element below this one,
    // cut into paragraphs by the block elements in it and by line breaks
    // (once the paragraph before is long enough).
    int runChars = 0;  // of the paragraph being read
    int runLinkChars = 0;
    int runCommas = 0;
    double ownPoints = 0;  // the paragraphs' scores
    // Characters of running text in good paragraphs (long enough, few
    // links) inside this element.
    int paragraphChars = 0;
    int headings = 0;
    int linkedHeadings = 0;
    int passwords = 0;     // password fields
    int searchFields = 0;  // fields for a search, an e-mail address (log-in, newsletter)
    int fields = 0;        // form fields a user fills in
    // Characters inside elements that mark a byline or a date (class or
    // id, the time element).
    int metaChars = 0;
    int bylines = 0;  // elements whose class or id marks a byline
    int links = 0;
    bool inForm = false;
    bool blockChildren = false;
    int boilerplate = 0;  // elements above whose class or id names boilerplate
    double score = 0;
    bool candidate = false;

    double linkDensity() const { return chars > 0 ? static_cast<double>(linkChars) / chars : 0.0; }
    // Ends the paragraph being read: its score, and its characters when it
    // is running text.
    void endParagraph() {
        if (runChars >= MIN_PARAGRAPH_CHARS) {
            const double density = static_cast<double>(runLinkChars) / runChars;
            ownPoints += (1.0 + runCommas +
                          std::min(static_cast<double>(runChars) / CHARS_PER_POINT, MAX_LENGTH_POINTS)) *
                         (1.0 - density);
            if (density <= MAX_PARAGRAPH_LINK_DENSITY) paragraphChars += runChars;
        }
        runChars = runLinkChars = runCommas = 0;
    }
};

// The records of one page's elements, by index, in blocks of a fixed size.
//
// A page of a megabyte has tens of thousands of elements. In one vector
// their records would be reallocated as it grows, each time in memory fresh
// from the system (the C library maps large blocks one by one), and every
// new page of memory costs a fault that takes a few microseconds on these
// machines: the faults took half of the finder's time on such a page.
// Blocks smaller than the size the C library maps come from its heap,
// mostly memory the last page gave back, and are never copied.
// A block is not cleared when it is made: each record is written once, when
// it is added.
class ElementRecords {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Element& operator[](std::size_t index) { return *slot(index); }
    const Element& operator[](std::size_t index) const { return *slot(index); }
    void push_back(const Element& record) {
        if (size_ == blocks_.size() * BLOCK_RECORDS)
            blocks_.push_back(std::unique_ptr<Block>(new Block));  // not cleared
        new (blocks_[size_ / BLOCK_RECORDS]->bytes + size_ % BLOCK_RECORDS * sizeof(Element)) Element(record);
        ++size_;
    }
    // No records; the blocks of at most keptRecords stay for the next page.
    void clear(std::size_t keptRecords) {
        size_ = 0;
        const std::size_t keptBlocks = (keptRecords + BLOCK_RECORDS - 1) / BLOCK_RECORDS;
        if (blocks_.size() > keptBlocks) blocks_.resize(keptBlocks);
    }

private:
    // Blocks of about 50 KB.
    static constexpr std::size_t BLOCK_RECORDS = 512;
    // Records are copied in and never destroyed one by one.
    static_assert(std::is_trivially_copyable_v<Element> && std::is_trivially_destructible_v<Element>);
    struct Block {
        alignas(Element) unsigned char bytes[sizeof(Element) * BLOCK_RECORDS];
    };

    Element* slot(std::size_t index) const {
        return std::launder(reinterpret_cast<Element*>(blocks_[index / BLOCK_RECORDS]->bytes +
                                                       index % BLOCK_RECORDS * sizeof(Element)));
    }

    std::vector<std::unique_ptr<Block>> blocks_;
    std::size_t size_ = 0;
};

class Finder {
public:
    explicit Finder(const std::string& pageUrl) : pageUrl_(pageUrl), elements_(scratchElements()) {
        elements_.clear(MAX_KEPT_ELEMENTS);
    }
    ~Finder() { elements_.clear(MAX_KEPT_ELEMENTS); }
    Finder(const Finder&) = delete;
    Finder& operator=(const Finder&) = delete;

    std::optional<Article> run(const GumboNode* document);

private:
    void walk(const GumboNode* document);
    void total();
    void score();
    int best() const;
    std::vector<int> partsFor(int top) const;
    std::vector<int> partsAround(int top, double score) const;
    bool isLead(const Element& e) const;
    struct Kept {
        int chars = 0;  // running text
        int headings = 0;
        int linkedHeadings = 0;
        std::unordered_set<std::string> altTexts;  // comparable forms of the alt texts kept
        bool bodyStarted = false;                  // a paragraph of the article's text is kept
        std::string titleText;                     // a block before the text that repeats the title
        std::string frameByline;                   // the author named in a byline frame left out
    };
    bool isBylineFrame(const Element& e) const;
    bool isLinkedSentence(const Element& e) const;
    bool insideProse(int index) const;
    bool isIdleAltText(const char* alt, Kept& kept) const;
    bool isTeaserPage(const Kept& kept) const;
    bool isFormPage(int top, const std::vector<int>& parts, int keptChars) const;
    void clean(int part, Article& article, int articleChars, Kept& kept) const;
    bool repeatsTitle(const std::string& text) const;
    ArticleMeta meta(const std::string& heading) const;
    bool isSiteRoot() const;

    std::string pageUrl_;
    // The records of one page's elements, in blocks each thread keeps for
    // the next page.
    static ElementRecords& scratchElements() {
        thread_local ElementRecords elements;
        return elements;
    }
    // The most records kept between pages (about 1 MB, the records of a page
    // of about 300 KB).
    static constexpr std::size_t MAX_KEPT_ELEMENTS = 8192;
    ElementRecords& elements_;
    Declared declared_;
    std::vector<std::string> titles_;  // comparable forms of the page's titles
    HintCache hintCache_;
    int articleElements_ = 0;
    int firstH1_ = -1;
    int titleChars_ = 0;  // of the article's title, as countText counts
};

void Finder::walk(const GumboNode* document) {
    struct Pending {
        const GumboNode* node;
        int parent;  // shown element above
        int block;   // nearest block element above (running text goes there)
        bool link;   // inside a link
        bool form;   // inside a form
    };
    std::vector<Pending> pending{{document, -1, -1, false, false}};
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        const GumboNode* node = at.node;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA) {
            if (at.parent < 0) continue;
            int chars = 0;
            int commas = 0;
            countText(node->v.text.text, chars, commas);
            Element& holder = elements_[static_cast<std::size_t>(at.parent)];
            holder.chars += chars;
            holder.commas += commas;
            if (at.link) holder.linkChars += chars;
            if (at.block >= 0) {
                Element& block = elements_[static_cast<std::size_t>(at.block)];
                block.runChars += chars;
                block.runCommas += commas;
                if (at.link) block.runLinkChars += chars;
            }
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) continue;
        if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& element = node->v.element;
            // What the page says about itself is read before the skipping.
            if (element.tag == GUMBO_TAG_META) {
                readMeta(node, declared_);
                continue;
            }
            if (element.tag == GUMBO_TAG_SCRIPT) {
                const char* type = attribute(node, "type");
                if (type != nullptr && lowerTrimmed(type) == "application/ld+json" &&
                    element.children.length > 0) {
                    const auto* text = static_cast<const GumboNode*>(element.children.data[0]);
                    if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_CDATA)
                        readJsonLd(text->v.text.text, declared_);
                }
                continue;
            }
            if (element.tag == GUMBO_TAG_TITLE) {
                if (declared_.documentTitle.empty()) {
                    // (textOf leaves out the title element itself.)
                    for (unsigned i = 0; i < element.children.length; ++i) {
                        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                        if (child->type == GUMBO_NODE_TEXT)
                            appendCollapsed(declared_.documentTitle, child->v.text.text);
                    }
                    declared_.documentTitle = collapsed(declared_.documentTitle);
                }
                continue;
            }
            if (isNeverShown(node)) {
                if (element.tag == GUMBO_TAG_HEAD) {
                    // Only its meta, scripts and title are of interest.
                    for (unsigned i = element.children.length; i > 0; --i)
                        pending.push_back({static_cast<const GumboNode*>(element.children.data[i - 1]), -1,
                                           -1, false, false});
                }
                continue;
            }
        }
        const int index = static_cast<int>(elements_.size());
        Element record;
        record.node = node;
        record.parent = at.parent;
        record.end = index + 1;
        record.tag = node->type == GUMBO_NODE_ELEMENT ? node->v.element.tag : GUMBO_TAG_HTML;
        record.inForm = at.form;
        if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& element = node->v.element;
            if (element.tag != GUMBO_TAG_HTML && element.tag != GUMBO_TAG_BODY)
                record.hints = hintCache_.of(element);
            if (at.parent >= 0) {
                const Element& up = elements_[static_cast<std::size_t>(at.parent)];
                record.boilerplate = up.boilerplate + (up.hints.weight < 0 ? 1 : 0);
            }
            if (element.tag == GUMBO_TAG_SELECT || element.tag == GUMBO_TAG_TEXTAREA) record.fields = 1;
            if (element.tag == GUMBO_TAG_INPUT) {
                const std::string type = lowerTrimmed(attribute(node, "type") ? attribute(node, "type") : "");
                if (type == "password") record.passwords = 1;
                if (type == "search" || type == "email") record.searchFields = 1;
                if (type != "hidden" && type != "submit" && type != "button" && type != "reset" &&
                    type != "image")
                    record.fields = 1;
            }
            if (element.tag == GUMBO_TAG_ARTICLE) ++articleElements_;
            if (element.tag == GUMBO_TAG_H1 && firstH1_ < 0) firstH1_ = index;
            if (isHeading(element.tag)) record.headings = 1;
            if (at.parent >= 0 && !isInline(element.tag))
                elements_[static_cast<std::size_t>(at.parent)].blockChildren = true;
            if (at.block >= 0) {
                Element& block = elements_[static_cast<std::size_t>(at.block)];
                if (!isInline(element.tag) ||
                    (element.tag == GUMBO_TAG_BR && block.runChars >= MIN_PARAGRAPH_CHARS))
                    block.endParagraph();
            }
            const char* itemprop = attribute(node, "itemprop");
            if (itemprop != nullptr) {
                const std::string prop = lowerTrimmed(itemprop);
                if (prop == "author" && declared_.markupByline.empty())
                    declared_.markupByline = bylineOf(node);
                if (prop == "datepublished" && declared_.markupDate.empty()) {
                    const char* when = attribute(node, "datetime");
                    declared_.markupDate = shortDate(when != nullptr ? when : textOf(node));
                }
            }
            if (element.tag == GUMBO_TAG_A && declared_.markupByline.empty()) {
                const char* rel = attribute(node, "rel");
                if (rel != nullptr && lowerTrimmed(rel) == "author") declared_.markupByline = bylineOf(node);
            }
            if (element.tag == GUMBO_TAG_TIME && declared_.markupDate.empty()) {
                if (const char* when = attribute(node, "datetime")) declared_.markupDate = shortDate(when);
            }
        }
        elements_.push_back(record);
        const bool block = node->type == GUMBO_NODE_ELEMENT && !isInline(node->v.element.tag);
        const bool link =
            at.link || (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_A &&
                        attribute(node, "href") != nullptr);
        const bool form =
            at.form || (node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == GUMBO_TAG_FORM);
        const GumboVector* children = childrenOf(node);
        for (unsigned i = children->length; i > 0; --i)
            pending.push_back({static_cast<const GumboNode*>(children->data[i - 1]), index,
                               block ? index : at.block, link, form});
    }
}

// Sums the counts of every element into the elements above it (children
// come after their parents, so one backward pass does it).
void Finder::total() {
    for (std::size_t i = elements_.size(); i > 0; --i) {
        Element& e = elements_[i - 1];
        e.endParagraph();
        if (e.headings > 0 && e.tag != GUMBO_TAG_HTML && isHeading(e.tag) && e.chars > 0 &&
            e.linkChars * 2 >= e.chars) {
            // A heading that is a link to another page: a teaser's head.
            e.linkedHeadings = 1;
        }
        if (e.hints.byline || e.tag == GUMBO_TAG_TIME) e.metaChars = e.chars;
        if (e.hints.byline) ++e.bylines;
        if (e.tag == GUMBO_TAG_A && attribute(e.node, "href") != nullptr) ++e.links;
        if (e.parent < 0) continue;
        Element& up = elements_[static_cast<std::size_t>(e.parent)];
        up.end = std::max(up.end, e.end);
        up.metaChars += e.metaChars;
        up.bylines += e.bylines;
        up.links += e.links;
        up.chars += e.chars;
        up.linkChars += e.linkChars;
        up.commas += e.commas;
        up.fields += e.fields;
        up.paragraphChars += e.paragraphChars;
        up.headings += e.headings;
        up.linkedHeadings += e.linkedHeadings;
        up.passwords += e.passwords;
        up.searchFields += e.searchFields;
    }
}

// Scores the paragraphs and passes each score to the block elements that
// hold the paragraph: all of it to the first, half to the next, a third to
// the one above that.
void Finder::score() {
    const auto holderAbove = [&](int index) {
        int up = elements_[static_cast<std::size_t>(index)].parent;
        while (up >= 0 && isInline(elements_[static_cast<std::size_t>(up)].tag))
            up = elements_[static_cast<std::size_t>(up)].parent;
        return up;
    };
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        const Element& e = elements_[i];
        if (e.ownPoints <= 0 || isHeading(e.tag)) continue;
        const double points = e.ownPoints;
        // A paragraph element counts for its holder; loose text in a
        // container counts for the container itself.
        const bool paragraph = isParagraph(e.tag) || !e.blockChildren;
        int holder = paragraph ? holderAbove(static_cast<int>(i)) : static_cast<int>(i);
        for (int level = 1; level <= 3 && holder >= 0; ++level) {
            Element& h = elements_[static_cast<std::size_t>(holder)];
            if (h.tag == GUMBO_TAG_HTML) break;
            h.candidate = true;
            h.score += points / level;
            // An article element is a whole of its own (a teaser, a
            // comment, a related story): its text does not count for what
            // holds it.
            if (h.tag == GUMBO_TAG_ARTICLE) break;
            holder = holderAbove(holder);
        }
    }
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        Element& e = elements_[i];
        if (!e.candidate) continue;
        double base = 0;
        switch (e.tag) {
            case GUMBO_TAG_DIV:
            case GUMBO_TAG_ARTICLE:
                base = 5;
                break;
            case GUMBO_TAG_PRE:
            case GUMBO_TAG_TD:
            case GUMBO_TAG_BLOCKQUOTE:
                base = 3;
                break;
            case GUMBO_TAG_FORM:
            case GUMBO_TAG_UL:
            case GUMBO_TAG_OL:
            case GUMBO_TAG_DL:
            case GUMBO_TAG_LI:
            case GUMBO_TAG_ADDRESS:
                base = -3;
                break;
            case GUMBO_TAG_TH:
                base = -5;
                break;
            default:
                break;
        }
        base += e.hints.weight * HINT_WEIGHT;
        const char* itemprop = attribute(e.node, "itemprop");
        if (itemprop != nullptr && lowerTrimmed(itemprop) == "articlebody") base += ARTICLE_BODY_BONUS;
        const char* itemtype = attribute(e.node, "itemtype");
        if (itemtype != nullptr && isArticleTypeName(itemtype)) base += ARTICLE_TYPE_BONUS;
        if (e.tag == GUMBO_TAG_ARTICLE && articleElements_ <= 2) base += ARTICLE_ELEMENT_BONUS;
        const char* role = attribute(e.node, "role");
        if (e.tag == GUMBO_TAG_MAIN || (role != nullptr && lowerTrimmed(role) == "main"))
            base += MAIN_ELEMENT_BONUS;
        e.score = (e.score + base) * (1.0 - e.linkDensity());
        // Text inside comments, a sidebar or a footer is seldom the article.
        for (int n = 0; n < std::min(e.boilerplate, MAX_BOILERPLATE_LEVELS); ++n)
            e.score *= BOILERPLATE_FACTOR;
    }
}

int Finder::best() const {
    int top = -1;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        const Element& e = elements_[i];
        if (!e.candidate) continue;
        if (top < 0 || e.score > elements_[static_cast<std::size_t>(top)].score) top = static_cast<int>(i);
    }
    return top;
}

// The best element and those of its siblings that carry the article on.
// The best element with the siblings that carry the article on. When it
// has none, the article may go on beside a box around it (a page that
// puts each part of the article in a box of its own, with an ad beside
// it): the boxes around it that add little text are tried in turn.
std::vector<int> Finder::partsFor(int top) const {
    const double score = elements_[static_cast<std::size_t>(top)].score;
    std::vector<int> parts = partsAround(top, score);
    int at = top;
    for (int step = 0; step < MAX_CLIMB && parts.size() == 1; ++step) {
        const Element& t = elements_[static_cast<std::size_t>(at)];
        if (t.parent < 0) break;
        const Element& up = elements_[static_cast<std::size_t>(t.parent)];
        if (up.tag == GUMBO_TAG_BODY || up.tag == GUMBO_TAG_HTML || t.chars < CLIMB_SHARE * up.chars) break;
        at = t.parent;
        std::vector<int> wider = partsAround(at, score);
        if (wider.size() > 1) parts = std::move(wider);
    }
    return parts;
}

// The best element (after climbing) and those of its siblings that carry
// the article on; score is the best element's.
std::vector<int> Finder::partsAround(int top, double score) const {
    const Element& t = elements_[static_cast<std::size_t>(top)];
    if (t.parent < 0 || t.tag == GUMBO_TAG_BODY) return {top};
    const Element& parent = elements_[static_cast<std::size_t>(t.parent)];
    // What comes before the article's main block is more often its page's
    // header material than its first part.
    const double before = std::max(SIBLING_MIN_SCORE, score * SIBLING_SHARE_BEFORE);
    const double after = std::max(SIBLING_MIN_SCORE, score * SIBLING_SHARE);
    const char* topClass = attribute(t.node, "class");
    const double mass = t.paragraphChars;
    std::vector<int> siblings;
    std::vector<bool> joins;
    for (int i = t.parent + 1; i < parent.end; i = elements_[static_cast<std::size_t>(i)].end) {
        siblings.push_back(i);
        if (i == top) {
            joins.push_back(true);
            continue;
        }
        const Element& s = elements_[static_cast<std::size_t>(i)];
        // A box of the same kind as the best element's.
        const char* cls = attribute(s.node, "class");
        const bool alike = topClass != nullptr && cls != nullptr && topClass[0] != '\0' &&
                           std::strcmp(topClass, cls) == 0 && s.tag == t.tag;
        const double bonus = alike ? score * SIBLING_SHARE : 0.0;
        bool join = false;
        if (s.hints.weight < 0) {
            join = false;
        } else if (s.candidate && s.score + bonus >= (i < top ? before : after)) {
            join = true;
        } else if (s.boilerplate == 0 && s.tag != GUMBO_TAG_ARTICLE &&
                   s.linkDensity() < MAX_SIBLING_LINK_DENSITY &&
                   static_cast<long long>(s.linkedHeadings) * MAX_TEASER_CHARS <= s.paragraphChars &&
                   s.paragraphChars >= MIN_ARTICLE_CHARS && (i > top || alike) &&
                   s.paragraphChars >= mass * SIBLING_SHARE) {
            // Running text after the best element, or in a box of the same
            // kind, too far from its paragraphs for their scores to reach.
            join = true;
        } else if (i < top && isLead(s)) {
            join = true;
        } else if ((isParagraph(s.tag) && !isHeading(s.tag)) ||
                   (s.tag == GUMBO_TAG_DIV && !s.blockChildren)) {
            // A paragraph of its own: running text, or a short sentence.
            const double density = s.linkDensity();
            if (s.chars >= SIBLING_PARAGRAPH_CHARS && density < MAX_SIBLING_LINK_DENSITY) join = true;
            if (s.chars > 0 && s.chars < SIBLING_PARAGRAPH_CHARS && density == 0.0 &&
                endsSentence(textOf(s.node)))
                join = true;
        }
        joins.push_back(join);
    }
    // A heading between two joined siblings heads the part after it.
    for (std::size_t k = 1; k + 1 < siblings.size(); ++k) {
        const Element& s = elements_[static_cast<std::size_t>(siblings[k])];
        if (joins[k] || !isHeading(s.tag) || s.linkedHeadings > 0) continue;
        bool before = false;
        for (std::size_t j = 0; j < k; ++j) before = before || joins[j];
        if (before && joins[k + 1]) joins[k] = true;
    }
    std::vector<int> parts;
    for (std::size_t k = 0; k < siblings.size(); ++k) {
        if (joins[k]) parts.push_back(siblings[k]);
    }
    return parts;
}

// The article's lead before its main block: a block whose class or id
// names it ("lead", "intro", "standfirst", "summary"), of running text.
bool Finder::isLead(const Element& e) const {
    if (e.paragraphChars < MIN_PARAGRAPH_CHARS || e.linkDensity() >= MAX_SIBLING_LINK_DENSITY ||
        e.node->type != GUMBO_NODE_ELEMENT)
        return false;
    for (const char* name : {"class", "id"}) {
        const char* value = attribute(e.node, name);
        if (value == nullptr) continue;
        const std::string lower = lowerAscii(value);
        for (const char* word : {"lead", "intro", "standfirst", "summary", "dek", "subhead"}) {
            if (lower.find(word) != std::string::npos) return true;
        }
    }
    return false;
}

// The share of link text above which a block inside the article is left
// out; 1 for elements that are judged with the list or table they are in
// (or are not judged at all).
double maxLinkDensity(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
            return 1.0;
        case GUMBO_TAG_P:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_BLOCKQUOTE:
            return MAX_TEXT_LINK_DENSITY;
        default:
            return isInline(tag) ? 1.0 : MAX_BLOCK_LINK_DENSITY;
    }
}

bool Finder::repeatsTitle(const std::string& text) const {
    if (text.empty()) return false;
    for (const std::string& title : titles_) {
        if (title.empty()) continue;
        if (text == title) return true;
        // The document title adds the site's name to the headline.
        if (text.size() * 2 >= title.size() && title.find(text) != std::string::npos) return true;
    }
    return false;
}

// An image's alt text that tells the reader nothing new: a file name
// ("IMG_2041.jpg", "design-week-2018-flos-01"), the title again, or the
// same words as an image before it.
bool Finder::isIdleAltText(const char* alt, Kept& kept) const {
    std::string_view text(alt);
    while (!text.empty() && isHtmlSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isHtmlSpace(text.back())) text.remove_suffix(1);
    if (text.empty()) return false;  // nothing shown anyway
    const bool blank = text.find(' ') != std::string_view::npos;
    const std::string lower = lowerAscii(text);
    for (const char* extension : {".jpg", ".jpeg", ".png", ".gif", ".webp", ".svg"}) {
        const std::size_t length = std::strlen(extension);
        if (lower.size() > length && lower.compare(lower.size() - length, length, extension) == 0)
            return true;
    }
    if (!blank && text.size() >= FILE_NAME_CHARS &&
        (text.find('-') != std::string_view::npos || text.find('_') != std::string_view::npos))
        return true;
    const std::string words = comparable(text);
    if (words.empty()) return false;
    for (const std::string& title : titles_) {
        if (!title.empty() && (words.find(title) != std::string::npos || repeatsTitle(words))) return true;
    }
    return !kept.altTexts.insert(words).second;
}

// A block that holds a byline and a date and little else ("By <name> on
// <date>"): the reader page shows them on its own lines, so the block is
// left out whole rather than leave its words without the name.
bool Finder::isBylineFrame(const Element& e) const {
    return e.bylines > 0 && !isInline(e.tag) && !isHeading(e.tag) && e.chars <= MAX_BYLINE_CHARS &&
           e.chars - e.metaChars <= MAX_BYLINE_GLUE_CHARS;
}

// A paragraph of running text with many links in it: it ends as a
// sentence does and has text of its own besides the links.
bool Finder::isLinkedSentence(const Element& e) const {
    return (e.tag == GUMBO_TAG_P || (e.tag == GUMBO_TAG_DIV && !e.blockChildren)) &&
           e.links <= MAX_SENTENCE_LINKS && e.chars - e.linkChars >= MIN_UNLINKED_SENTENCE_CHARS &&
           endsSentence(textOf(e.node));
}

// Whether the element at index is inside a paragraph of running text.
bool Finder::insideProse(int index) const {
    int up = elements_[static_cast<std::size_t>(index)].parent;
    while (up >= 0 && isInline(elements_[static_cast<std::size_t>(up)].tag))
        up = elements_[static_cast<std::size_t>(up)].parent;
    if (up < 0) return false;
    const Element& block = elements_[static_cast<std::size_t>(up)];
    return (isParagraph(block.tag) || !block.blockChildren) &&
           block.chars - block.metaChars >= MIN_PROSE_CHARS;
}

// Marks what inside one part is not the article's text, and counts what
// is left.
void Finder::clean(int part, Article& article, int articleChars, Kept& kept) const {
    const Element& root = elements_[static_cast<std::size_t>(part)];
    kept.chars += root.paragraphChars;
    const double bulk = BULK_SHARE * articleChars;
    int i = part + 1;
    while (i < root.end) {
        const Element& e = elements_[static_cast<std::size_t>(i)];
        const int next = e.end;
        bool drop = false;
        if (e.paragraphChars < bulk || e.paragraphChars == 0) {
            switch (e.tag) {
                case GUMBO_TAG_NAV:
                case GUMBO_TAG_ASIDE:
                case GUMBO_TAG_FOOTER:
                case GUMBO_TAG_MENU:
                // An image's caption: the reader page shows the image's alt
                // text in its place.
                case GUMBO_TAG_FIGCAPTION:
                    drop = true;
                    break;
                case GUMBO_TAG_BUTTON:
                case GUMBO_TAG_INPUT:
                case GUMBO_TAG_SELECT:
                case GUMBO_TAG_TEXTAREA:
                    drop = !e.inForm;  // controls of no form do nothing here
                    break;
                case GUMBO_TAG_FORM: {
                    const char* role = attribute(e.node, "role");
                    drop = e.passwords > 0 || e.searchFields > 0 || (role && lowerTrimmed(role) == "search");
                    break;
                }
                default:
                    break;
            }
            if (e.hints.weight < 0 || e.hints.screenReader || e.hints.caption) drop = true;
            if (e.hints.byline && e.chars <= MAX_BYLINE_CHARS && e.paragraphChars * 2 < e.chars + 1 &&
                !(isInline(e.tag) && insideProse(i)))
                drop = true;
            if (isBylineFrame(e)) {
                drop = true;
                for (int j = i + 1; j < e.end && kept.frameByline.empty(); ++j) {
                    const Element& inner = elements_[static_cast<std::size_t>(j)];
                    if (inner.hints.byline && inner.tag != GUMBO_TAG_TIME && inner.bylines == 1)
                        kept.frameByline = bylineOf(inner.node);
                }
            }
            // The headline in a box that is not a heading.
            if (!drop && !kept.bodyStarted && !isHeading(e.tag) && titleChars_ > 0 &&
                e.chars * 2 >= titleChars_ && e.chars <= 2 * titleChars_) {
                const std::string text = textOf(e.node);
                if (repeatsTitle(comparable(text))) {
                    drop = true;
                    if (kept.titleText.empty()) kept.titleText = text;
                }
            }
            if (isHeading(e.tag) && !drop) {
                ++kept.headings;
                kept.linkedHeadings += e.linkedHeadings;
                if (e.linkedHeadings > 0 || repeatsTitle(comparable(textOf(e.node)))) drop = true;
            }
            if (e.tag == GUMBO_TAG_IMG && !drop) {
                const char* alt = attribute(e.node, "alt");
                if (alt != nullptr && isIdleAltText(alt, kept)) drop = true;
            }
            if (!drop && e.chars > 0 && e.commas < 10 && e.linkDensity() > maxLinkDensity(e.tag) &&
                !isLinkedSentence(e))
                drop = true;
        }
        if (!drop && e.paragraphChars > 0 && !isHeading(e.tag) && (isParagraph(e.tag) || !e.blockChildren))
            kept.bodyStarted = true;
        if (drop) {
            article.dropped.insert(e.node);
            kept.chars -= e.paragraphChars;
            i = next;
        } else {
            ++i;
        }
    }
}

// Headings that are links to other pages, with little text under each:
// a front page or a list of search results.
bool Finder::isTeaserPage(const Kept& kept) const {
    return kept.linkedHeadings >= MIN_TEASER_HEADINGS &&
           kept.linkedHeadings >= TEASER_SHARE * kept.headings &&
           kept.chars < static_cast<long long>(MAX_TEASER_CHARS) * kept.linkedHeadings;
}

// The article's text weighs less than the forms in it and beside it: a
// form is the page's main content (a log-in page, a search page, a sign-up
// page). A form weighs its text and FIELD_CHARS per field; a form around
// the whole article (some sites put the whole page in one) weighs only its
// fields. A short text beside a password field is a log-in page's. Forms
// in navigation, headers, footers, asides and blocks whose class names
// boilerplate are not the main content.
bool Finder::isFormPage(int top, const std::vector<int>& parts, int keptChars) const {
    long long weight = 0;
    int passwords = 0;
    const int region = elements_[static_cast<std::size_t>(parts.front())].parent;
    if (region >= 0) {
        const Element& r = elements_[static_cast<std::size_t>(region)];
        std::size_t next = 0;
        for (int i = region + 1; i < r.end;) {
            const Element& e = elements_[static_cast<std::size_t>(i)];
            const bool part = next < parts.size() && parts[next] == i;
            if (part) ++next;
            if (part || e.hints.weight < 0 || e.tag == GUMBO_TAG_NAV || e.tag == GUMBO_TAG_HEADER ||
                e.tag == GUMBO_TAG_FOOTER || e.tag == GUMBO_TAG_ASIDE) {
                if (part) passwords += e.passwords;
                i = e.end;
                continue;
            }
            if (e.tag == GUMBO_TAG_FORM) {
                weight += e.chars + static_cast<long long>(e.fields) * FIELD_CHARS;
                passwords += e.passwords;
                i = e.end;
                continue;
            }
            ++i;
        }
    }
    if (passwords > 0 && keptChars < MIN_LOGIN_ARTICLE_CHARS) return true;
    for (int up = elements_[static_cast<std::size_t>(top)].parent; up >= 0;
         up = elements_[static_cast<std::size_t>(up)].parent) {
        const Element& e = elements_[static_cast<std::size_t>(up)];
        if (e.tag == GUMBO_TAG_FORM) weight += static_cast<long long>(e.fields) * FIELD_CHARS;
    }
    for (int p : parts) {
        const Element& part = elements_[static_cast<std::size_t>(p)];
        for (int i = p; i < part.end; ++i) {
            const Element& e = elements_[static_cast<std::size_t>(i)];
            if (e.tag == GUMBO_TAG_FORM && e.hints.weight >= 0) {
                weight += e.chars + static_cast<long long>(e.fields) * FIELD_CHARS;
                i = e.end - 1;
            }
        }
    }
    return weight > keptChars;
}

bool Finder::isSiteRoot() const {
    std::string_view url(pageUrl_);
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return false;
    url.remove_prefix(scheme + 3);
    const std::size_t slash = url.find_first_of("/?#");
    if (slash == std::string_view::npos) return true;
    const std::string_view path = url.substr(slash);
    return path == "/" || path == "/index.html" || path == "/index.php" || path == "/index.htm";
}

// The title without the site's name that pages add to it ("Storm hits the
// coast | Daily News"): cut at the last separator when what follows is the
// site's name, or what comes before is the page's main heading.
std::string withoutSiteName(const std::string& title, const std::string& siteName,
                            const std::string& heading) {
    std::size_t cut = std::string::npos;
    std::size_t width = 0;
    for (const char* separator : {" | ", " - ", " \xE2\x80\x93 ", " \xE2\x80\x94 ", " :: ", " \xC2\xB7 "}) {
        const std::size_t at = title.rfind(separator);
        if (at != std::string::npos && (cut == std::string::npos || at > cut)) {
            cut = at;
            width = std::strlen(separator);
        }
    }
    if (cut == std::string::npos || cut == 0) return title;
    const std::string before = comparable(title.substr(0, cut));
    const std::string after = comparable(title.substr(cut + width));
    if ((!after.empty() && after == comparable(siteName)) ||
        (!before.empty() && before == comparable(heading)))
        return title.substr(0, cut);
    return title;
}

ArticleMeta Finder::meta(const std::string& heading) const {
    ArticleMeta meta;
    const Declared& d = declared_;
    meta.title = !d.jsonTitle.empty() ? d.jsonTitle : !d.ogTitle.empty() ? d.ogTitle : heading;
    if (meta.title.empty()) meta.title = d.documentTitle;
    meta.title = withoutSiteName(meta.title, d.siteName, heading);
    meta.byline = !d.jsonByline.empty()   ? d.jsonByline
                  : !d.metaAuthor.empty() ? d.metaAuthor
                                          : d.markupByline;
    meta.date = !d.jsonDate.empty() ? d.jsonDate : !d.metaDate.empty() ? d.metaDate : d.markupDate;
    return meta;
}

std::optional<Article> Finder::run(const GumboNode* document) {
    if (document == nullptr) return std::nullopt;
    walk(document);
    if (elements_.empty()) return std::nullopt;
    total();
    score();
    const int top = best();
    if (top < 0) return std::nullopt;
    if (isSiteRoot() && !declared_.jsonArticle && declared_.ogType != "article") return std::nullopt;

    const std::string heading =
        firstH1_ >= 0 ? textOf(elements_[static_cast<std::size_t>(firstH1_)].node) : std::string();
    ArticleMeta meta = this->meta(heading);
    for (const std::string* title :
         {&declared_.jsonTitle, &declared_.ogTitle, &declared_.documentTitle, &meta.title})
        titles_.push_back(comparable(*title));
    int commas = 0;
    countText(meta.title, titleChars_, commas);

    const std::vector<int> parts = partsFor(top);
    Article article;
    int articleChars = 0;
    for (int p : parts) articleChars += elements_[static_cast<std::size_t>(p)].paragraphChars;
    Kept kept;
    for (int p : parts) {
        clean(p, article, articleChars, kept);
        article.parts.push_back(elements_[static_cast<std::size_t>(p)].node);
    }
    if (kept.chars < MIN_ARTICLE_CHARS || isTeaserPage(kept) || isFormPage(top, parts, kept.chars))
        return std::nullopt;
    // A headline in a box of its own tells where the site's name starts
    // in the page's title.
    if (!kept.titleText.empty()) meta.title = withoutSiteName(meta.title, declared_.siteName, kept.titleText);
    if (meta.byline.empty()) meta.byline = kept.frameByline;
    article.meta = std::move(meta);
    return article;
}

}  // namespace

bool isNeverShown(const GumboNode* node) {
    if (node == nullptr) return true;
    if (node->type == GUMBO_NODE_COMMENT) return true;
    if (node->type == GUMBO_NODE_TEMPLATE) return true;
    if (node->type != GUMBO_NODE_ELEMENT) return false;
    const GumboElement& element = node->v.element;
    // Drawings (SVG, MathML) are not text either.
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return true;
    return isSkippedOrHidden(element);
}

std::optional<Article> findArticle(const GumboNode* document, const std::string& pageUrl) {
    Finder finder(pageUrl);
    return finder.run(document);
}

}  // namespace wexaproxy
