// wexapserver: the proxy server of the wexa text browser.

#include <malloc.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "common/version.h"
#include "proxy/core/log.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/tokens.h"
#include "proxy/server/options.h"
#include "proxy/server/peers.h"
#include "proxy/server/server.h"

namespace {

wexaproxy::Server* runningServer = nullptr;

extern "C" void onStopSignal(int) {
    if (runningServer != nullptr) runningServer->stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("wexapserver %s\n", WEXA_VERSION);
        return 0;
    }
    wexaproxy::ParsedOptions options = wexaproxy::parseOptions(args);
    if (!options.ok) {
        std::fprintf(stderr, "wexapserver: %s\nTry 'wexapserver --help'.\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(wexaproxy::usageText().c_str(), stdout);
        return 0;
    }
    if (!wexaproxy::initCurlGlobally()) {
        std::fprintf(stderr, "wexapserver: libcurl could not be initialised\n");
        return 1;
    }

    // Every browser connection and every kept-alive origin connection is a
    // descriptor; take all the system allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    // Page bodies and replies of megabytes go straight to the system and back
    // when freed: the allocator would otherwise raise this threshold to the
    // largest block freed and keep such blocks in its arenas, where the
    // replies held for slow readers leave the process's memory at its peak
    // long after they are gone.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    std::signal(SIGPIPE, SIG_IGN);
    wexaproxy::Log log(options.config.logLevel);
    // Pages are rewritten for the browser; the tokens of their links and
    // forms live in one store shared by every worker. Long links are sealed
    // with the secret, which instances behind one balancer share.
    wexaproxy::TokenStoreSettings tokenSettings;
    tokenSettings.secret = options.config.secret;
    wexaproxy::TokenStore tokens(tokenSettings);
    wexaproxy::NormaliserSettings settings;
    settings.readerByDefault = options.config.readerByDefault;
    wexaproxy::Normaliser filter(tokens, settings);
    // Stored tokens this instance does not hold are asked of its peers;
    // its own are given to them on the peer port.
    wexaproxy::PeerClient peerClient(options.config.peers, tokens, log);
    if (!options.config.peers.empty()) {
        tokens.setFallback([&peerClient](wexaproxy::TokenStore::EntryKind kind, const std::string& owner,
                                         std::uint64_t id, wexaproxy::TokenStore::Entry& found) {
            return peerClient.lookUp(kind, owner, id, found);
        });
    }
    wexaproxy::PeerListener peerListener(tokens, log);
    int status = 0;
    {
        wexaproxy::Server server(options.config, filter, log);
        std::string error;
        if (options.config.peerPort != 0 &&
            !peerListener.open(options.config.listenAddress, options.config.peerPort, error)) {
            std::fprintf(stderr, "wexapserver: %s\n", error.c_str());
            status = 1;
        } else if (!server.open(error)) {
            std::fprintf(stderr, "wexapserver: %s\n", error.c_str());
            status = 1;
        } else {
            runningServer = &server;
            struct sigaction action {};
            action.sa_handler = onStopSignal;
            sigemptyset(&action.sa_mask);
            sigaction(SIGINT, &action, nullptr);
            sigaction(SIGTERM, &action, nullptr);
            log.notice("wexapserver listening on " + options.config.listenAddress + ":" +
                       std::to_string(server.port()) +
                       (options.config.proxyProtocol ? "; clients named by a PROXY protocol header" : "") +
                       (options.config.secret.empty() ? "" : "; token secret from --secret-file"));
            if (options.config.peerPort != 0) {
                peerListener.start();
                log.notice("peer lookups answered on " + options.config.listenAddress + ":" +
                           std::to_string(peerListener.port()));
            }
            server.run();
            runningServer = nullptr;
            peerListener.stop();
            log.notice("wexapserver stopped");
        }
    }
    curl_global_cleanup();
    return status;
}
