#include "proxy/normalise/normaliser.h"

#include <algorithm>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/parse.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings, const std::string& owner) {
    const std::int64_t cpuStart = threadCpuMs();
    const ParsedPage page(body, contentType, settings.maxInputBytes, settings.maxTreeBytes);
    Walker walker(settings, store, pageUrl, page.formCharset(), owner, cpuStart);
    return walker.run(page.root(), page.cut());
}

std::string normaliseText(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          const NormaliserSettings& settings) {
    const bool truncated = body.size() > settings.maxInputBytes;
    if (truncated) body = body.substr(0, settings.maxInputBytes);
    const CharsetChoice charset = detectCharset(contentType, body, false);
    const std::string text =
        toAscii(decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name));
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
    if (input.bodyOmitted) return describeOtherContent(input);
    switch (classifyContentType(input.contentType)) {
        case ContentKind::Html: {
            // Without a declared type, a body holding NUL bytes is a binary
            // file, not a page.
            if (input.contentType.empty() && input.body.substr(0, 1024).find('\0') != std::string_view::npos)
                return describeOtherContent(input);
            const bool big = input.body.size() > settings_.bigPageBytes;
            if (big) bigPages_.enter();
            struct Leave {
                Gate* gate;
                ~Leave() {
                    if (gate != nullptr) gate->leave();
                }
            } leave{big ? &bigPages_ : nullptr};
            return normaliseHtml(input.body, input.contentType, input.finalUrl, store_, settings_,
                                 input.owner);
        }
        case ContentKind::Text:
            return normaliseText(input.body, input.contentType, input.finalUrl, settings_);
        case ContentKind::Other:
            return describeOtherContent(input);
    }
    return describeOtherContent(input);
}

bool Normaliser::adaptRequest(Request& request, std::string& error) const {
    switch (request.command) {
        case Command::Get:
        case Command::Refresh: {
            const TokenLookup link = lookUpLink(request.url, request.identity, store_);
            switch (link.kind) {
                case TokenLookup::Kind::None:
                    return true;
                case TokenLookup::Kind::Found:
                    request.url = link.url;
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
