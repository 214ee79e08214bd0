#pragma once
// The request log on standard error: one line per request, written whole
// by one call so that lines of different workers never interleave.

#include <string>
#include <string_view>

namespace wexaproxy {

enum class LogLevel { Quiet, Normal, Debug };

class Log {
public:
    explicit Log(LogLevel level) : level_(level) {}
    LogLevel level() const { return level_; }

    // time, command, URL, outcome, bytes sent, milliseconds taken, and
    // with a page cache how the page was served (hit, miss, revalidated,
    // uncacheable).
    void request(std::string_view command, std::string_view url, std::string_view outcome, std::size_t bytes,
                 long long milliseconds, std::string_view cache = {}) const;
    // Start-up and other notices: shown at Normal and Debug.
    void notice(std::string_view text) const;
    // Detail for tracing: shown at Debug only.
    void debug(std::string_view text) const;

private:
    void write(std::string line) const;
    LogLevel level_;
};

// Text from a client made fit for one log line: control characters become
// "?" and it is cut at limit bytes.
std::string printable(std::string_view text, std::size_t limit = 300);

}  // namespace wexaproxy
