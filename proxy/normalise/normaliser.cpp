#include "proxy/normalise/normaliser.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "proxy/normalise/article.h"
#include "proxy/normalise/charset.h"
#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/parse.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

PageView takeViewMark(std::string& url) {
    // The browser may leave a blank at the end of the URL line.
    std::size_t end = url.size();
    while (end > 0 && url[end - 1] == ' ') --end;
    const std::string_view kept(url.data(), end);
    for (const auto& [mark, view] : {std::make_pair(READER_VIEW_MARK, PageView::Reader),
                                     std::make_pair(FULL_PAGE_MARK, PageView::Full)}) {
        if (endsWith(kept, mark)) {
            url.resize(end - mark.size());
            return view;
        }
    }
    return PageView::Default;
}

namespace {

// The walk of the page as the options and settings ask.
std::string walkPage(Walker& walker, const ParsedPage& page, std::string_view pageUrl,
                     const NormaliserSettings& settings, const PageOptions& options) {
    if (!options.offerViews) return walker.run(page.root(), page.cut());
    const std::optional<Article> article = findArticle(page.root(), std::string(pageUrl));
    if (!article) return walker.run(page.root(), page.cut());
    // The links to the other view go to the page's own URL with the view's mark.
    const std::string url(pageUrl.substr(0, pageUrl.find('#')));
    const bool reader =
        options.view == PageView::Reader || (options.view == PageView::Default && settings.readerByDefault);
    if (reader) {
        const ViewLink full{url + std::string(FULL_PAGE_MARK), "Full page"};
        return walker.runArticle(page.root(), *article, page.cut(), full);
    }
    const ViewLink readerLink{url + std::string(READER_VIEW_MARK), "Reader view"};
    return walker.run(page.root(), page.cut(), &readerLink);
}

}  // namespace

PreparedPage prepareHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                         const NormaliserSettings& settings, const PageOptions& options) {
    const std::int64_t cpuStart = threadCpuMs();
    // Romanising Chinese characters is slow: one budget for the whole page.
    const TransliterationBudget budget;
    const ParsedPage page(body, contentType, settings.maxInputBytes, settings.maxTreeBytes);
    Walker walker(settings, pageUrl, page.formCharset(), options.contentLanguage, cpuStart);
    // A page is rarely longer written for the browser than fetched (the
    // title goes in front of it at the end). Only what is written takes
    // memory: the rest of a large block is never touched.
    walker.reserveOutput(std::min(body.size(), settings.maxBuiltBytes) + 512);
    PreparedPage prepared;
    prepared.text = walkPage(walker, page, pageUrl, settings, options);
    std::vector<TokenStore::Entry> entries = walker.takeEntries();
    if (!entries.empty()) prepared.slots = std::make_shared<const PageEntries>(std::move(entries));
    return prepared;
}

std::string issuePage(const PreparedPage& page, TokenStore& store, const std::string& owner) {
    const auto* entries = dynamic_cast<const PageEntries*>(page.slots.get());
    if (entries == nullptr) return page.text;
    return issueTokens(page.text, entries->entries(), store, owner);
}

std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings, const PageOptions& options) {
    return issuePage(prepareHtml(body, contentType, pageUrl, settings, options), store, options.owner);
}

std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings, const std::string& owner) {
    PageOptions options;
    options.owner = owner;
    return normaliseHtml(body, contentType, pageUrl, store, settings, options);
}

std::string normaliseText(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          const NormaliserSettings& settings, std::string_view contentLanguage) {
    const TransliterationBudget budget;
    const bool truncated = body.size() > settings.maxInputBytes;
    if (truncated) body = body.substr(0, settings.maxInputBytes);
    const CharsetChoice charset = detectCharset(contentType, body, false);
    const std::string text = toAscii(
        decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name), contentLanguage);
    PageWriter page;
    std::size_t at = 0;
    bool stopped = false;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        page.preformatted(std::string_view(text).substr(at, end - at));
        if (end < text.size()) page.preformatted("\n");
        at = end + 1;
        if (page.lines() > settings.maxLines) {
            stopped = true;
            break;
        }
    }
    if (stopped || truncated) {
        page.paragraphBreak();
        page.text("[The rest of this file is not shown: it is too long for this browser.]");
    }
    // The file's name is its title.
    std::string_view path = pageUrl.substr(0, pageUrl.find_first_of("?#"));
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    std::string title =
        singleToken(toAscii(slash == std::string_view::npos ? path : path.substr(slash + 1)), 80);
    std::string out;
    if (!title.empty()) out += "<TITLE>" + title + "</TITLE>";
    out += page.finishPage();
    return out;
}

void Normaliser::Gate::enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return free_ > 0; });
    --free_;
}

void Normaliser::Gate::leave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++free_;
    }
    freed_.notify_one();
}

Normaliser::Normaliser(TokenStore& store, NormaliserSettings settings)
    : store_(store), settings_(settings), bigPages_(std::max(settings.bigPageSlots, 1)) {}

std::string Normaliser::render(const PageInput& input) const {
    return issue(prepare(input), input.owner);
}

std::string Normaliser::issue(const PreparedPage& page, const std::string& owner) const {
    return issuePage(page, store_, owner);
}

std::string Normaliser::settingsKey() const {
    // Every setting that changes what a page becomes.
    const NormaliserSettings& s = settings_;
    std::string key;
    for (const std::uint64_t value :
         {static_cast<std::uint64_t>(s.maxInputBytes), static_cast<std::uint64_t>(s.maxTreeBytes),
          static_cast<std::uint64_t>(s.maxLines), static_cast<std::uint64_t>(s.maxElements),
          static_cast<std::uint64_t>(s.maxStoredLinks), static_cast<std::uint64_t>(s.maxForms),
          static_cast<std::uint64_t>(s.maxFormParts), static_cast<std::uint64_t>(s.maxCpuMs),
          static_cast<std::uint64_t>(s.maxBuiltBytes), static_cast<std::uint64_t>(s.readerByDefault)}) {
        key += std::to_string(value);
        key.push_back(',');
    }
    return key;
}

PreparedPage Normaliser::prepare(const PageInput& input) const {
    PreparedPage page;
    if (input.bodyOmitted) {
        page.text = describeOtherContent(input);
        return page;
    }
    switch (classifyContentType(input.contentType)) {
        case ContentKind::Html: {
            // Without a declared type, a body holding NUL bytes is a binary
            // file, not a page.
            if (input.contentType.empty() &&
                input.body.substr(0, 1024).find('\0') != std::string_view::npos) {
                page.text = describeOtherContent(input);
                return page;
            }
            const bool big = input.body.size() > settings_.bigPageBytes;
            if (big) bigPages_.enter();
            struct Leave {
                Gate* gate;
                ~Leave() {
                    if (gate != nullptr) gate->leave();
                }
            } leave{big ? &bigPages_ : nullptr};
            PageOptions options;
            options.view = input.view;
            options.contentLanguage = input.contentLanguage;
            options.offerViews = !input.posted;
            return prepareHtml(input.body, input.contentType, input.finalUrl, settings_, options);
        }
        case ContentKind::Text:
            page.text = normaliseText(input.body, input.contentType, input.finalUrl, settings_,
                                      input.contentLanguage);
            return page;
        case ContentKind::Other:
            break;
    }
    page.text = describeOtherContent(input);
    return page;
}

bool Normaliser::adaptRequest(Request& request, std::string& error) const {
    switch (request.command) {
        case Command::Get:
        case Command::Refresh: {
            const TokenLookup link = lookUpLink(request.url, request.identity, store_);
            switch (link.kind) {
                case TokenLookup::Kind::None:
                    request.view = takeViewMark(request.url);
                    return true;
                case TokenLookup::Kind::Found:
                    request.url = link.url;
                    request.view = takeViewMark(request.url);
                    return true;
                case TokenLookup::Kind::Expired:
                    error = "This link has expired; reload the page";
                    return false;
                case TokenLookup::Kind::Damaged:
                    error = "This link is damaged; reload the page";
                    return false;
            }
            return true;
        }
        case Command::FormGet:
        case Command::FormPost: {
            const TokenLookup form = lookUpForm(request.url, request.identity, store_);
            switch (form.kind) {
                case TokenLookup::Kind::None:
                    return true;
                case TokenLookup::Kind::Expired:
                    error = "This form has expired; reload the page";
                    return false;
                case TokenLookup::Kind::Damaged:
                    error = "This form is damaged; reload the page";
                    return false;
                case TokenLookup::Kind::Found:
                    break;
            }
            if (form.form->action.empty()) {
                error = "This form can only be sent by a script";
                return false;
            }
            request.url = form.form->action;
            request.command = form.form->post ? Command::FormPost : Command::FormGet;
            request.multipart = form.form->post && form.form->multipart;
            request.fields = restoreFields(*form.form, request.fields);
            return true;
        }
        case Command::Ping:
            return true;
    }
    return true;
}

}  // namespace wexaproxy
