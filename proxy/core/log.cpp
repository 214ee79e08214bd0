#include "proxy/core/log.h"

#include <cstdio>
#include <ctime>

namespace wexaproxy {

std::string printable(std::string_view text, std::size_t limit) {
    std::string out;
    for (char c : text.substr(0, limit)) {
        auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x20 || byte == 0x7f ? '?' : c);
    }
    if (text.size() > limit) out += "...";
    return out;
}

void Log::write(std::string line) const {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &parts);
    line.insert(0, stamp);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void Log::request(std::string_view command, std::string_view url, std::string_view outcome, std::size_t bytes,
                  long long milliseconds, std::string_view cache) const {
    if (level_ == LogLevel::Quiet) return;
    std::string line(command);
    line += ' ';
    line += url.empty() ? std::string("-") : printable(url);
    line += ' ';
    line += printable(outcome);
    line += ' ' + std::to_string(bytes) + " bytes " + std::to_string(milliseconds) + " ms";
    if (!cache.empty()) {
        line += " cache ";
        line += printable(cache);
    }
    write(std::move(line));
}

void Log::notice(std::string_view text) const {
    if (level_ != LogLevel::Quiet) write(std::string(text));
}

void Log::debug(std::string_view text) const {
    if (level_ == LogLevel::Debug) write(std::string(text));
}

}  // namespace wexaproxy
