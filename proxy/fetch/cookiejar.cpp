#include "proxy/fetch/cookiejar.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_set>

namespace wexaproxy {

namespace {

// Field n (0-based) of a tab-separated cookie line.
std::string_view field(std::string_view line, int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) return {};
        start = tab + 1;
    }
    std::size_t end = line.find('\t', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// The site of a cookie: its domain without curl's "#HttpOnly_" mark and
// without a leading dot.
std::string_view siteOf(std::string_view line) {
    std::string_view domain = field(line, 0);
    constexpr std::string_view HTTP_ONLY = "#HttpOnly_";
    if (domain.substr(0, HTTP_ONLY.size()) == HTTP_ONLY) domain.remove_prefix(HTTP_ONLY.size());
    if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
    return domain;
}

// What makes a cookie the same cookie: site, path and name.
std::string keyOf(std::string_view line) {
    std::string key(siteOf(line));
    key += '\t';
    key += field(line, 2);
    key += '\t';
    key += field(line, 5);
    return key;
}

}  // namespace

bool CookieJars::mayHaveCookieFor(const std::string& identity, std::string_view host) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = jars_.find(identity);
    if (found == jars_.end()) return false;
    if (host.empty()) return !found->second.lines.empty();  // cannot tell: say yes
    for (const std::string& line : found->second.lines) {
        const std::string_view site = siteOf(line);
        if (site.empty()) return true;
        if (site.size() > host.size()) continue;
        const std::string_view tail = host.substr(host.size() - site.size());
        bool same = true;
        for (std::size_t i = 0; i < site.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(site[i])) ==
                   std::tolower(static_cast<unsigned char>(tail[i]));
        if (same && (site.size() == host.size() || host[host.size() - site.size() - 1] == '.')) return true;
    }
    return false;
}

std::vector<std::string> CookieJars::load(const std::string& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = jars_.find(identity);
    if (found == jars_.end()) return {};
    identities_.splice(identities_.end(), identities_, found->second.recent);
    return {found->second.lines.begin(), found->second.lines.end()};
}

void CookieJars::removeLocked(Jar& jar, std::list<std::string>::iterator line) {
    jar.bytes -= line->size();
    bytes_ -= line->size();
    jar.lines.erase(line);
}

void CookieJars::store(const std::string& identity, const std::vector<std::string>& before,
                       const std::vector<std::string>& after) {
    std::unordered_set<std::string> kept(after.begin(), after.end());
    std::unordered_set<std::string> afterKeys;
    for (const std::string& line : after) afterKeys.insert(keyOf(line));
    std::unordered_set<std::string> old(before.begin(), before.end());

    std::lock_guard<std::mutex> lock(mutex_);
    auto found = jars_.find(identity);
    if (found == jars_.end()) {
        if (after.empty()) return;
        found = jars_.emplace(identity, Jar{}).first;
        found->second.recent = identities_.insert(identities_.end(), identity);
    } else {
        identities_.splice(identities_.end(), identities_, found->second.recent);
    }
    Jar& jar = found->second;

    // Cookies the transfer removed (a site deleted or replaced them, or they
    // expired), and the old versions of cookies it set again.
    std::unordered_set<std::string> removedKeys;
    for (const std::string& line : before) {
        if (kept.count(line) == 0) removedKeys.insert(keyOf(line));
    }
    std::unordered_set<std::string> changedKeys;
    for (const std::string& line : after) {
        if (old.count(line) == 0) changedKeys.insert(keyOf(line));
    }
    for (auto it = jar.lines.begin(); it != jar.lines.end();) {
        const std::string key = keyOf(*it);
        const bool removed = removedKeys.count(key) != 0 && afterKeys.count(key) == 0;
        if (removed || changedKeys.count(key) != 0) {
            auto next = std::next(it);
            removeLocked(jar, it);
            it = next;
        } else {
            ++it;
        }
    }
    // New and changed cookies count as the most recent.
    for (const std::string& line : after) {
        if (old.count(line) != 0 || line.size() > MAX_COOKIE_BYTES) continue;
        jar.lines.push_back(line);
        jar.bytes += line.size();
        bytes_ += line.size();
    }
    enforceLocked(identity, jar);
    if (jar.lines.empty()) {
        dropJarLocked(identity);
    }
    // All jars together: the identities seen longest ago give way first.
    while (bytes_ > limits_.totalBytes && !identities_.empty()) {
        const std::string oldest = identities_.front();
        dropJarLocked(oldest);
    }
}

void CookieJars::enforceLocked(const std::string&, Jar& jar) {
    // Per site, oldest first.
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> perSite;  // count, bytes
    for (const std::string& line : jar.lines) {
        auto& site = perSite[std::string(siteOf(line))];
        ++site.first;
        site.second += line.size();
    }
    for (auto it = jar.lines.begin(); it != jar.lines.end();) {
        auto& site = perSite[std::string(siteOf(*it))];
        if (site.first > limits_.perSiteCount || site.second > limits_.perSiteBytes) {
            --site.first;
            site.second -= it->size();
            auto next = std::next(it);
            removeLocked(jar, it);
            it = next;
        } else {
            ++it;
        }
    }
    while (!jar.lines.empty() &&
           (jar.lines.size() > limits_.perIdentityCount || jar.bytes > limits_.perIdentityBytes)) {
        removeLocked(jar, jar.lines.begin());
    }
}

void CookieJars::dropJarLocked(const std::string& identity) {
    auto found = jars_.find(identity);
    if (found == jars_.end()) return;
    bytes_ -= found->second.bytes;
    identities_.erase(found->second.recent);
    jars_.erase(found);
}

std::size_t CookieJars::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

std::size_t CookieJars::cookies(const std::string& identity) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = jars_.find(identity);
    return found == jars_.end() ? 0 : found->second.lines.size();
}

}  // namespace wexaproxy
