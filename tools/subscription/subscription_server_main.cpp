// The subscription server as a program, for trying the reader by hand and
// for benchmarks. See usage() for the options; it logs each request to
// stderr and runs until interrupted.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "subscription_server.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<bool> g_quit{false};

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD) {
    g_quit = true;
    return TRUE;
}
#else
void onSignal(int) { g_quit = true; }
#endif

// Quits once stdin reaches its end, so that a parent that goes away ends us too.
void quitWhenStdinCloses() {
    std::thread([] {
        char buffer[256];
#ifdef _WIN32
        while (_read(0, buffer, sizeof buffer) > 0) {
        }
#else
        while (read(0, buffer, sizeof buffer) > 0) {
        }
#endif
        g_quit = true;
    }).detach();
}

// Asked for (--help), the usage goes to stdout and is no error.
int usage(bool asked = false) {
    fprintf(asked ? stdout : stderr,
            "usage: subscription_server --editions DIR --port N [--extension .eif]\n"
            "         [--user LOGIN[:KEY]]... [--script PATH] [--datapath PATH]\n"
            "         [--update FILE] [--proxy-auth USER:PASSWORD] [--trickle BYTES:MS]\n"
            "         [--stall BYTES] [--query-status N] [--data-status N] [--size-delta N]\n"
            "         [--body-delta N] [--garbage] [--until-stdin-closes]\n"
            "Serves the editions of DIR to the users on 127.0.0.1:N (0: any free port).\n");
    return asked ? 0 : 2;
}

bool toNumber(const char *text, long long &out) {
    char *end = nullptr;
    out = strtoll(text, &end, 10);
    return *text && !*end;
}

void logNewRequests(const SubscriptionServer &server, size_t &logged) {
    std::vector<ReceivedRequest> all = server.requests();
    for (; logged < all.size(); ++logged)
        fprintf(stderr, "%s %s %d\n", all[logged].method.c_str(), all[logged].target.c_str(),
                all[logged].status);
    fflush(stderr);
}

}  // namespace

int main(int argc, char **argv) {
    ServerOptions options;
    ServerFaults faults;
    long long port = -1;
    bool untilStdinCloses = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long number = 0;
        if (a == "--help" || a == "-h") return usage(true);
        if (a == "--garbage") {
            faults.garbageReply = true;
            continue;
        }
        if (a == "--until-stdin-closes") {
            untilStdinCloses = true;
            continue;
        }
        if (!value) return usage();
        ++i;
        const char *colon = strchr(value, ':');
        bool isNumber = toNumber(value, number);
        if (a == "--editions") {
            options.editionsDir = value;
        } else if (a == "--port" && isNumber && number >= 0 && number <= 65535) {
            port = number;
        } else if (a == "--extension") {
            options.extension = value;
        } else if (a == "--user" && *value && value[0] != ':') {
            options.accounts.push_back(colon
                                           ? SubscriberAccount{std::string(value, colon), colon + 1}
                                           : SubscriberAccount{value, ""});
        } else if (a == "--script") {
            options.script = value;
        } else if (a == "--datapath") {
            options.dataPath = value;
        } else if (a == "--update") {
            options.updateProgram = value;
        } else if (a == "--proxy-auth" && colon) {
            options.proxyCredentials = value;
        } else if (a == "--trickle" && colon) {
            long long bytes = 0, ms = 0;
            if (!toNumber(std::string(value, colon).c_str(), bytes) || !toNumber(colon + 1, ms) ||
                bytes <= 0 || ms < 0)
                return usage();
            faults.trickleBytes = static_cast<size_t>(bytes);
            faults.trickleDelayMs = static_cast<unsigned>(ms);
        } else if (a == "--stall" && isNumber && number >= 0) {
            faults.stallAfter = number;
        } else if (a == "--query-status" && isNumber && number >= 100 && number <= 999) {
            faults.queryStatus = static_cast<int>(number);
        } else if (a == "--data-status" && isNumber && number >= 100 && number <= 999) {
            faults.dataStatus = static_cast<int>(number);
        } else if (a == "--size-delta" && isNumber) {
            faults.announcedSizeDelta = number;
        } else if (a == "--body-delta" && isNumber) {
            faults.bodySizeDelta = number;
        } else {
            return usage();
        }
    }
    if (options.editionsDir.empty() || port < 0) return usage();
    std::error_code error;
    if (!std::filesystem::is_directory(options.editionsDir, error)) {
        fprintf(stderr, "subscription_server: %s is not a folder\n", options.editionsDir.c_str());
        return 2;
    }
    if (!options.updateProgram.empty() &&
        !std::filesystem::is_regular_file(options.updateProgram, error)) {
        fprintf(stderr, "subscription_server: no update program %s\n",
                options.updateProgram.c_str());
        return 2;
    }

    SubscriptionServer server(options);
    server.setFaults(faults);
    if (!server.start(static_cast<uint16_t>(port))) {
        fprintf(stderr, "subscription_server: %s\n", server.error().c_str());
        return 1;
    }
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
#endif
    if (untilStdinCloses) quitWhenStdinCloses();
    printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
    fflush(stdout);

    size_t logged = 0;
    while (!g_quit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        logNewRequests(server, logged);
    }
    server.stop();
    logNewRequests(server, logged);
    return 0;
}
