#include "proxy/server/options.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "proxy/normalise/tokens.h"

namespace wexaproxy {

namespace {

bool parseInteger(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

// Seconds, fractions allowed ("0.5"), to milliseconds.
bool parseSeconds(const std::string& text, double low, double high, long& milliseconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds < low || seconds > high) return false;
    milliseconds = static_cast<long>(std::lround(seconds * 1000.0));
    return true;
}

}  // namespace

bool readSecretFile(const std::string& path, std::string& secret, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "--secret-file: cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // The file opened, not the name looked at again: nothing can swap it
    // between the check and the read.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "--secret-file: " + path + " is not a regular file";
        return false;
    }
    if ((info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
        error = "--secret-file: " + path +
                " may be read or written by group or others; make it private (chmod 600)";
        return false;
    }
    std::string bytes;
    char buffer[1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "--secret-file: cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > MAX_SECRET_BYTES) {
            error =
                "--secret-file: " + path + " holds more than " + std::to_string(MAX_SECRET_BYTES) + " bytes";
            return false;
        }
    }
    if (bytes.size() < MIN_SECRET_BYTES) {
        error = "--secret-file: " + path + " holds " + std::to_string(bytes.size()) + " bytes; at least " +
                std::to_string(MIN_SECRET_BYTES) + " are needed (e.g. head -c 32 /dev/urandom)";
        return false;
    }
    secret = std::move(bytes);
    return true;
}

bool isLoopbackAddress(const std::string& address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

std::string usageText() {
    return "Usage: wexapserver [OPTIONS]\n"
           "The proxy server of the wexa text browser: it answers the browser's line\n"
           "protocol and fetches the pages it asks for over HTTP and HTTPS.\n"
           "\n"
           "  --listen ADDR          IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N               port to listen on (default 30000; 0 picks a free one)\n"
           "  --allow-remote         allow --listen on an address other than loopback\n"
           "                         (anyone who reaches it can fetch through this server)\n"
           "  --allow-private-targets\n"
           "                         fetch loopback and private-network addresses even when\n"
           "                         listening beyond loopback (refused there by default)\n"
           "  --refuse-private-targets\n"
           "                         refuse them even when listening on loopback\n"
           "  --workers N            pages fetched at the same time (default 32)\n"
           "  --max-connections N    browser connections open at once; more wait their turn\n"
           "                         (default 512)\n"
           "  --max-queue N          requests waiting for a worker; more are told the server\n"
           "                         is busy (default 256; one client holds at most a quarter)\n"
           "  --client-fetches N     pages fetched at the same time for one client: a Unix\n"
           "                         user on this host, or one remote address (default 8)\n"
           "  --max-held BYTES       reply bytes held for clients still reading; past it the\n"
           "                         slowest readers are dropped (default 268435456)\n"
           "  --cache-bytes BYTES    memory for pages kept for all clients, as HTTP caching\n"
           "                         allows; 0 keeps none (default 67108864)\n"
           "  --read-timeout SECS    time a client has to send its request (default 10)\n"
           "  --max-request BYTES    largest request accepted (default 65536)\n"
           "  --max-fields N         most form fields in one request (default 1000)\n"
           "  --max-page BYTES       largest page fetched (default 8388608)\n"
           "  --max-redirects N      redirects followed per page (default 10)\n"
           "  --connect-timeout SECS time to connect to a web server (default 10)\n"
           "  --timeout SECS         time for a whole fetch (default 30)\n"
           "  --user-agent TEXT      User-Agent sent to web servers\n"
           "                         (default \"wexapserver/1.0 (text browser proxy)\")\n"
           "  --reader               serve the reader view of a page (its article alone,\n"
           "                         with a link \"Full page\" first) wherever an article is\n"
           "                         found; without it, such pages start with a link\n"
           "                         \"Reader view\"\n"
           "  --secret-file PATH     the key that seals long link tokens: the file's bytes\n"
           "                         (at least 32; readable by its owner only). Instances\n"
           "                         behind one load balancer share it, so that a link\n"
           "                         token from one works on all (default: a random key\n"
           "                         of this process)\n"
           "  --peer-port PORT       also listen on PORT (same address as --listen) for\n"
           "                         other instances asking for this one's stored link\n"
           "                         and form tokens; needs --secret-file. Only the\n"
           "                         instances may reach it: the lookups carry URLs and\n"
           "                         form records in clear\n"
           "  --peer ADDR:PORT       the peer port of another instance (IPv4 address;\n"
           "                         repeatable): a stored link or form token this\n"
           "                         instance does not hold is asked of each in turn;\n"
           "                         needs --secret-file\n"
           "  --proxy-protocol       every connection begins with a PROXY protocol header\n"
           "                         (v1 or v2) from a load balancer; the client it names\n"
           "                         is the client. Only the balancer may reach the port\n"
           "  --log-level LEVEL      what goes to standard error: quiet (nothing but start-up\n"
           "                         failures), normal (one line per request: time, command,\n"
           "                         URL, outcome, bytes, milliseconds; the default) or\n"
           "                         debug (also each connection opened and closed)\n"
           "  --help                 show this text\n"
           "  --version              show the version\n"
           "\n"
           "The http_proxy, https_proxy and no_proxy variables are honoured.\n";
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Config& config = parsed.config;
    auto fail = [&parsed](const std::string& message) {
        parsed.ok = false;
        parsed.error = message;
        return parsed;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool hasValue = false;
        std::size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasValue = true;
        }
        auto needValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        long long number = 0;

        if (option == "--help" || option == "-h") {
            parsed.help = true;
            parsed.ok = true;
            return parsed;
        } else if (option == "--allow-remote") {
            config.allowRemote = true;
        } else if (option == "--reader") {
            config.readerByDefault = true;
        } else if (option == "--allow-private-targets" || option == "--refuse-private-targets") {
            Config::PrivateTargets wanted = option == "--allow-private-targets"
                                                ? Config::PrivateTargets::Allow
                                                : Config::PrivateTargets::Refuse;
            if (config.privateTargets != Config::PrivateTargets::Auto && config.privateTargets != wanted)
                return fail("--allow-private-targets and --refuse-private-targets contradict each other");
            config.privateTargets = wanted;
        } else if (option == "--proxy-protocol") {
            config.proxyProtocol = true;
        } else if (option == "--secret-file") {
            if (!needValue() || value.empty()) return fail("--secret-file needs a file name");
            std::string error;
            if (!readSecretFile(value, config.secret, error)) return fail(error);
        } else if (option == "--peer-port") {
            if (!needValue() || !parseInteger(value, 1, 65535, number))
                return fail("--peer-port needs a number 1 to 65535");
            config.peerPort = static_cast<int>(number);
        } else if (option == "--peer") {
            const std::size_t colon = needValue() ? value.rfind(':') : std::string::npos;
            in_addr check{};
            PeerAddress peer;
            if (colon == std::string::npos ||
                inet_pton(AF_INET, value.substr(0, colon).c_str(), &check) != 1 ||
                !parseInteger(value.substr(colon + 1), 1, 65535, number))
                return fail("--peer needs an IPv4 address and a port, as 127.0.0.1:30100");
            peer.host = value.substr(0, colon);
            peer.port = static_cast<int>(number);
            config.peers.push_back(peer);
        } else if (option == "--listen") {
            if (!needValue()) return fail("--listen needs an address");
            in_addr check{};
            if (inet_pton(AF_INET, value.c_str(), &check) != 1)
                return fail("--listen: not an IPv4 address: " + value);
            config.listenAddress = value;
        } else if (option == "--port") {
            if (!needValue() || !parseInteger(value, 0, 65535, number))
                return fail("--port needs a number 0 to 65535");
            config.port = static_cast<int>(number);
        } else if (option == "--workers") {
            if (!needValue() || !parseInteger(value, 1, 1024, number))
                return fail("--workers needs a number 1 to 1024");
            config.workers = static_cast<int>(number);
        } else if (option == "--max-connections") {
            if (!needValue() || !parseInteger(value, 1, 100000, number)) {
                return fail("--max-connections needs a number 1 to 100000");
            }
            config.maxConnections = static_cast<int>(number);
        } else if (option == "--max-queue") {
            if (!needValue() || !parseInteger(value, 1, 100000, number))
                return fail("--max-queue needs a number 1 to 100000");
            config.maxQueue = static_cast<int>(number);
        } else if (option == "--client-fetches") {
            if (!needValue() || !parseInteger(value, 1, 1024, number))
                return fail("--client-fetches needs a number 1 to 1024");
            config.clientFetches = static_cast<int>(number);
        } else if (option == "--max-held") {
            if (!needValue() || !parseInteger(value, 65536, 64LL * 1024 * 1024 * 1024, number))
                return fail("--max-held needs a number of bytes (65536 to 68719476736)");
            config.maxHeldBytes = static_cast<std::size_t>(number);
        } else if (option == "--cache-bytes") {
            if (!needValue() || !parseInteger(value, 0, 64LL * 1024 * 1024 * 1024, number))
                return fail("--cache-bytes needs a number of bytes (0 to 68719476736)");
            config.cacheBytes = static_cast<std::size_t>(number);
        } else if (option == "--read-timeout") {
            if (!needValue() || !parseSeconds(value, 0.05, 3600, config.readTimeoutMs)) {
                return fail("--read-timeout needs seconds (0.05 to 3600)");
            }
        } else if (option == "--max-request") {
            if (!needValue() || !parseInteger(value, 64, 64LL * 1024 * 1024, number)) {
                return fail("--max-request needs a number of bytes (64 to 67108864)");
            }
            config.requestLimits.maxBytes = static_cast<std::size_t>(number);
        } else if (option == "--max-fields") {
            if (!needValue() || !parseInteger(value, 0, 100000, number)) {
                return fail("--max-fields needs a number 0 to 100000");
            }
            config.requestLimits.maxFields = static_cast<std::size_t>(number);
        } else if (option == "--max-page") {
            if (!needValue() || !parseInteger(value, 1024, 1024LL * 1024 * 1024, number)) {
                return fail("--max-page needs a number of bytes (1024 to 1073741824)");
            }
            config.fetch.maxPageBytes = static_cast<std::size_t>(number);
        } else if (option == "--max-redirects") {
            if (!needValue() || !parseInteger(value, 0, 50, number))
                return fail("--max-redirects needs a number 0 to 50");
            config.fetch.maxRedirects = static_cast<long>(number);
        } else if (option == "--connect-timeout") {
            if (!needValue() || !parseSeconds(value, 0.05, 600, config.fetch.connectTimeoutMs)) {
                return fail("--connect-timeout needs seconds (0.05 to 600)");
            }
        } else if (option == "--timeout") {
            if (!needValue() || !parseSeconds(value, 0.05, 3600, config.fetch.totalTimeoutMs)) {
                return fail("--timeout needs seconds (0.05 to 3600)");
            }
        } else if (option == "--user-agent") {
            if (!needValue() || value.empty()) return fail("--user-agent needs a text");
            for (char c : value) {
                // It goes into a request header: no line breaks or other controls.
                auto byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte == 0x7f) return fail("--user-agent may not hold control characters");
            }
            config.fetch.userAgent = value;
        } else if (option == "--log-level") {
            if (!needValue()) return fail("--log-level needs quiet, normal or debug");
            if (value == "quiet") {
                config.logLevel = LogLevel::Quiet;
            } else if (value == "normal") {
                config.logLevel = LogLevel::Normal;
            } else if (value == "debug") {
                config.logLevel = LogLevel::Debug;
            } else {
                return fail("--log-level needs quiet, normal or debug");
            }
        } else {
            return fail("unknown option: " + args[i]);
        }
    }
    if (!config.allowRemote && !isLoopbackAddress(config.listenAddress)) {
        return fail("refusing to listen on " + config.listenAddress +
                    ", which is not a loopback address (see --allow-remote)");
    }
    // A random secret of this process alone could not authenticate the
    // other instances' requests, nor they this one's.
    if ((config.peerPort != 0 || !config.peers.empty()) && config.secret.empty())
        return fail(
            "--peer-port and --peer need --secret-file: the instances authenticate each other with it");
    if (config.peerPort != 0 && config.peerPort == config.port)
        return fail("--peer-port must differ from --port");
    switch (config.privateTargets) {
        case Config::PrivateTargets::Auto:
            config.fetch.refusePrivateTargets = !isLoopbackAddress(config.listenAddress);
            break;
        case Config::PrivateTargets::Allow:
            config.fetch.refusePrivateTargets = false;
            break;
        case Config::PrivateTargets::Refuse:
            config.fetch.refusePrivateTargets = true;
            break;
    }
    parsed.ok = true;
    return parsed;
}

}  // namespace wexaproxy
