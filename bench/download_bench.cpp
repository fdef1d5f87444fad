// Downloading a 100 MB container of four editions from the subscription
// server on loopback: through the library (query, download, reading each
// edition and unpacking it into the newspaper folder) and with curl (the data file into a file), in
// the same run against the same server process. Prints both throughputs, their ratio, and the
// memory the library's fetch adds at its peak.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench_util.h"
#include "config/client_key.h"
#include "core/library_state.h"
#include "download/fetch_state.h"
#include "download/knobs.h"
#include "edition_generator.h"
#include "qlapi.h"

namespace fs = std::filesystem;

extern char **environ;

namespace {

constexpr size_t kEditionBytes = 25u << 20;
constexpr int kEditions = 4;

// A real edition of about this size: the library reads each entry as an
// edition before it takes it, and that reading is part of what is timed.
std::string paper(size_t size, int number) {
    EditionPlan plan;
    plan.bytes = size;
    plan.seed = static_cast<unsigned>(number + 1);
    plan.title = "Paper " + std::to_string(number);
    plan.day = number + 1;
    return generateEdition(plan);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Server {
    pid_t pid = 0;
    int port = 0;
};

Server startServer(const fs::path &editions, const std::string &account) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string dir = editions.string();
    const char *argv[] = {QL_SERVER_PROGRAM, "--editions",    dir.c_str(), "--port", "0",
                          "--user",          account.c_str(), nullptr};
    Server server;
    if (posix_spawn(&server.pid, QL_SERVER_PROGRAM, &actions, nullptr,
                    const_cast<char *const *>(argv), environ) != 0)
        return {};
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string line;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    close(fds[0]);
    size_t colon = line.rfind(':');
    if (line.rfind("listening on", 0) == 0 && colon != std::string::npos)
        server.port = atoi(line.c_str() + colon + 1);
    return server;
}

intptr_t ignoreNotification(QL_HostWindowRec *, unsigned, uintptr_t, intptr_t) { return 0; }
QL_HostWindowRec g_host{ignoreNotification, nullptr};

void prepareLibrary(const fs::path &home, const fs::path &news, int port) {
    fs::create_directories(home);
    fs::create_directories(news);
    setenv("QLAPI_HOME", home.c_str(), 1);
    std::ofstream(home / "qlapi.ini")
        << "[FILES]\nPATH=" << news.string() << "/\n[CONNECTIONS]\nServer=B\n[B]\n"
        << "appl=internal\ncommand=internal\nunpacker=internal\nclass=HttpPostmasterClass\n"
        << "url=127.0.0.1:" << port << "/cgi-bin/query\nlogin=bench\npassword=p\n"
        << "needsmodem=0\ndays=0,1,2,3,4,5,6\n";
    FetchWaits none;
    none.beforeTransfer = none.afterFirstReceipt = none.afterUnpacker = none.atEnd = 0;
    knobs::setFetchWaits(none);
    knobs::setSharedBlockName("qlapi_download_bench");
    QL_Initialize(1);
    QL_RegisterCallback(&g_host, 1034);
}

void fetchOnce() {
    if (QL_GetNewspaper(1) != QL_OK) {
        fprintf(stderr, "the fetch did not start\n");
        exit(1);
    }
    while (g_fetchRunning.load() || !g_globalThreadReleasedSignal.load()) usleep(200);
}

}  // namespace

int main() {
    fs::path base =
        fs::temp_directory_path() / ("qlapi-download-bench-" + std::to_string(getpid()));
    fs::create_directories(base / "editions");
    size_t total = 0;
    for (int i = 0; i < kEditions; ++i) {
        std::string bytes = paper(kEditionBytes, i);
        total += bytes.size();
        std::ofstream(base / "editions" / ("paper" + std::to_string(i) + ".eif"), std::ios::binary)
            << bytes;
    }
    computeClientKey();
    std::string key = g_library.clientKey ? g_library.clientKey : "";
    Server server = startServer(base / "editions", "bench:" + key);
    if (!server.port) {
        fprintf(stderr, "the subscription server did not start\n");
        return 1;
    }
    std::string host = "http://127.0.0.1:" + std::to_string(server.port);
    std::string queryCurl = "curl -s -o /dev/null '" + host + "/cgi-bin/query?key=" + key +
                            "&user=bench&ver=1.41&force=1&wantupdate=0'";
    std::string dataCurl = "curl -s -o '" + (base / "curl.enp").string() + "' '" + host +
                           "/data/bench_" + key + ".enp'";

    // The server packs the container when it is asked what there is; that
    // time is the same for both and is taken off the library's figure.
    auto query = [&] {
        if (system(queryCurl.c_str()) != 0) fprintf(stderr, "curl query failed\n");
    };
    auto data = [&] {
        if (system(dataCurl.c_str()) != 0) fprintf(stderr, "curl failed\n");
    };
    const int runs = 9;
    double queryTime = seconds(query, runs);
    std::vector<double> curlRuns, libraryRuns;
    prepareLibrary(base / "home", base / "news", server.port);
    for (int i = 0; i < runs; ++i) {  // taken in turns, so both meet the same machine
        query();
        curlRuns.push_back(seconds(data, 1));
        libraryRuns.push_back(seconds(fetchOnce, 1) - queryTime);
    }
    double curl = median(curlRuns), library = median(libraryRuns);
    size_t container = fs::file_size(base / "curl.enp");
    size_t unpacked = 0;
    for (const auto &f : fs::directory_iterator(base / "news"))
        if (f.path().extension() == ".eif") unpacked += fs::file_size(f.path());
    QL_Initialize(0);

    double peak = peakMegabytes([&] { prepareLibrary(base / "home", base / "news", server.port); },
                                fetchOnce);
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    fs::remove_all(base);

    double mb = container / 1048576.0;
    printf("container: %.1f MB (%zu bytes of editions unpacked, %zu sent)\n", mb, unpacked, total);
    printf("asking the server (packing included): %.3f s, taken off the library's time\n",
           queryTime);
    printf("median of %d runs each (fastest in brackets):\n", runs);
    printf("library (download, read, unpack):  %.3f s  %4.0f MB/s  (%.0f MB/s)\n", library,
           mb / library, mb / *std::min_element(libraryRuns.begin(), libraryRuns.end()));
    printf("curl (data file into a file):      %.3f s  %4.0f MB/s  (%.0f MB/s)\n", curl, mb / curl,
           mb / *std::min_element(curlRuns.begin(), curlRuns.end()));
    printf("library / curl throughput: %.2f\n", curl / library);
    printf("peak memory added by the fetch: %.1f MB = %.2f x the container\n", peak, peak / mb);
    return unpacked == total ? 0 : 1;
}
