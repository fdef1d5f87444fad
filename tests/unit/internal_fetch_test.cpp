// The library's own HTTP transfer against our subscription server on
// loopback: what the host hears, what the server saw, and which files end
// up where.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/client_key.h"
#include "container_writer.h"
#include "core/library_state.h"
#include "download/knobs.h"
#include "fetch_env.h"
#include "frame/knobs.h"
#include "platform/knobs.h"
#include "platform/platform.h"
#include "subscription_server.h"

namespace fs = std::filesystem;

namespace {

const char kQuillonKey[] = "Software\\VKT\\Quillon\\";

int g_prompts = 0;
void countPrompt(platform::HttpRequest *) { ++g_prompts; }

// Every file below a folder with its content, but the log and the library's
// home folder (settings and registry).
std::map<std::string, std::string> snapshot(const std::string &folder) {
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        std::string path = entry.path().string();
        if (!entry.is_regular_file() || path.find("qlapi.log") != std::string::npos ||
            path.rfind(folder + "home", 0) == 0)
            continue;
        files[path] = readWholeFile(path);
    }
    return files;
}

class InternalFetchTest : public FetchFixture {
  protected:
    void SetUp() override {
        FetchFixture::SetUp();
        editions_ = makeFolder("editions");
        g_prompts = 0;
        knobs::setProxyPrompt(countPrompt);
        // What the reader had before: an older tageblatt (the library writes
        // its header file when it starts).
        writeWholeFile(news_ + "tageblatt.eif", sample("tageblatt-2026-12-05.eif"));
    }
    void TearDown() override {
        if (server_) server_->stop();
        knobs::setProxyPrompt(nullptr);
        platform::knobs::setHttpIdleLimit(0);
        FetchFixture::TearDown();
    }
    // Starts the server with the sample editions and configures the library
    // for it, as login with the library's own client key.
    void serve(const std::string &login = "reader", ServerOptions options = ServerOptions()) {
        addEdition("tageblatt", readWholeFile(testDataPath("editions/tageblatt-2026-12-07.eif")));
        addEdition("courier", readWholeFile(testDataPath("editions/courier-2026-12-07.eif")));
        startServer(login, std::move(options));
    }
    void addEdition(const std::string &name, const std::string &bytes) {
        writeWholeFile(editions_ + name + ".eif", bytes);
    }
    void startServer(const std::string &login, ServerOptions options) {
        if (!g_library.clientKey) computeClientKey();
        ASSERT_NE(g_library.clientKey, nullptr);
        key_ = g_library.clientKey;
        options.editionsDir = editions_;
        if (options.accounts.empty()) options.accounts.push_back({login, key_});
        if (server_) server_->stop();
        server_ = std::make_unique<SubscriptionServer>(options);
        ASSERT_TRUE(server_->start()) << server_->error();
        QL_Initialize(0);
        configureServer(
            "appl=internal\ncommand=internal\nunpacker=internal\n"
            "class=HttpPostmasterClass\nlogin=" +
            login + "\npassword=geheim\nurl=127.0.0.1:" + std::to_string(server_->port()) +
            "/cgi-bin/query\n");
    }
    // The server sends containers in pieces of 8 KiB, 50 ms apart.
    void trickle() {
        ServerFaults slow;
        slow.trickleBytes = 8192;
        slow.trickleDelayMs = 50;
        server_->setFaults(slow);
    }
    std::string edition(const std::string &name) { return readWholeFile(news_ + name + ".eif"); }
    // An edition of exactly this many bytes, one long paragraph.
    static std::string editionOfSize(size_t bytes) {
        std::string text =
            "<DUZUZUVU><NPTL>P</NPTL><CD YEAR=\"2026\" MONTH=\"12\" DAY=\"8\"></CD>"
            "<GROUP><GRTITLE>R</GRTITLE><ARTICLE><ATL>A</ATL><P></P></ARTICLE>"
            "</GROUP></DUZUZUVU>";
        text.insert(text.find("</P>"), bytes - text.size(), 'e');
        return text;
    }
    std::string sample(const char *name) {
        return readWholeFile(testDataPath(std::string("editions/") + name));
    }

    std::string editions_, key_;
    std::unique_ptr<SubscriptionServer> server_;
};

TEST_F(InternalFetchTest, DeliversTheEditionsOfTheDay) {
    serve();
    ASSERT_TRUE(fileExists(news_ + "tageblatt.ehd"));
    Seen seen = fetch();
    EXPECT_EQ(statusOnly(seen), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    ASSERT_FALSE(progressOnly(seen).empty());
    EXPECT_EQ(progressOnly(seen).back(), 100);

    EXPECT_EQ(edition("tageblatt"), sample("tageblatt-2026-12-07.eif"));
    EXPECT_EQ(edition("courier"), sample("courier-2026-12-07.eif"));
    EXPECT_FALSE(fileExists(news_ + "tageblatt.ehd")) << "the old header file goes";
    for (const auto &[path, content] : snapshot(news_))
        EXPECT_EQ(path.find(".part"), std::string::npos) << path;

    std::vector<ReceivedRequest> requests = server_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target,
              "/cgi-bin/query?key=" + key_ + "&user=reader&ver=1.41&force=0&wantupdate=0");
    EXPECT_EQ(requests[0].userAgent, "My Session");
    EXPECT_EQ(requests[1].target, "/data/reader_" + key_ + ".enp");
    EXPECT_EQ(requests[1].userAgent, "My 2nd Session");
    for (const ReceivedRequest &r : requests) {
        EXPECT_EQ(r.method, "GET");
        bool noCache = false;
        for (const auto &[name, value] : r.headers)
            if (value.find("no-cache") != std::string::npos) noCache = true;
        EXPECT_TRUE(noCache) << r.target << ": caches are bypassed";
    }

    // Fetched today: due again only when forced, and then the server sends
    // everything again.
    EXPECT_EQ(QL_GetNewspaper(0), QL_ERR_UP_TO_DATE);
    server_->clearRequests();
    EXPECT_EQ(statusOnly(fetch(1)), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_EQ(server_->requests().size(), 2u);
    EXPECT_NE(server_->requests()[0].target.find("&force=1&"), std::string::npos);

    // Nothing new: done without a second request, or NOTHINGNEW for a host
    // with the enhanced interface.
    platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
    server_->clearRequests();
    EXPECT_EQ(fetch(), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_EQ(server_->requests().size(), 1u);
    QL_UseEnhancedInterface();
    EXPECT_EQ(fetch(), status({QL_STATUS_NP_PRESENT, QL_STATUS_DORESYNC}));
    EXPECT_NE(log().find("\tInternal Download Thread placed OK in shm"), std::string::npos);
    EXPECT_NE(log().find("\tTransmissionDone placed in shm"), std::string::npos);
}

TEST_F(InternalFetchTest, ProgressAfterEveryPiece) {
    // A container of exactly 20,000 bytes: 18 bytes of header, one edition.
    addEdition("p", editionOfSize(20000 - 18));
    startServer("reader", ServerOptions());
    ServerFaults slow;
    slow.trickleBytes = 8192;
    slow.trickleDelayMs = 100;
    server_->setFaults(slow);
    Seen seen = fetch();
    EXPECT_EQ(progressOnly(seen), (std::vector<int>{40, 81, 100}));
    EXPECT_EQ(statusOnly(seen), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_EQ(edition("p").size(), 20000u - 18);
}

TEST_F(InternalFetchTest, RefusalsAndBrokenAnswersChangeNothing) {
    serve();
    std::map<std::string, std::string> before = snapshot(dir());
    ContainerItem evil{"..", 0, "owned"};
    std::string traversal = packContainer({{"tageblatt", 0, "new"}, evil});
    std::string outside = packContainer({{"tageblatt", 0, "new"}});
    outside[4] = char(outside.size() + 1);  // the first entry's data lies past the end
    struct Case {
        const char *what;
        ServerFaults faults;
        int status;
        size_t requests;
    };
    auto faults = [](auto change) {
        ServerFaults f;
        change(f);
        return f;
    };
    const Case cases[] = {
        {"query 401", faults([](ServerFaults &f) { f.queryStatus = 401; }), QL_STATUS_ACCESSDENIED,
         1},
        {"query 403", faults([](ServerFaults &f) { f.queryStatus = 403; }), QL_STATUS_ACCESSDENIED,
         1},
        {"query 404", faults([](ServerFaults &f) { f.queryStatus = 404; }), QL_STATUS_ERROR, 1},
        {"query 503", faults([](ServerFaults &f) { f.queryStatus = 503; }), QL_STATUS_ERROR, 1},
        {"data 404", faults([](ServerFaults &f) { f.dataStatus = 404; }), QL_STATUS_ERROR, 2},
        {"data 403", faults([](ServerFaults &f) { f.dataStatus = 403; }), QL_STATUS_ACCESSDENIED,
         2},
        {"garbage reply", faults([](ServerFaults &f) { f.garbageReply = true; }), QL_STATUS_ERROR,
         1},
        {"files but no size",
         faults([](ServerFaults &f) { f.replyOverride = "filecount=2\ndatapath=/data/\n"; }),
         QL_STATUS_ERROR, 1},
        {"announced longer", faults([](ServerFaults &f) { f.announcedSizeDelta = 1; }),
         QL_STATUS_ERROR, 2},
        {"body shorter", faults([](ServerFaults &f) { f.bodySizeDelta = -1; }), QL_STATUS_ERROR, 2},
        {"body longer", faults([](ServerFaults &f) { f.bodySizeDelta = 1; }), QL_STATUS_ERROR, 2},
        {"path traversal", faults([&](ServerFaults &f) { f.containerOverride = traversal; }),
         QL_STATUS_ERROR, 2},
        {"data outside", faults([&](ServerFaults &f) { f.containerOverride = outside; }),
         QL_STATUS_ERROR, 2},
        {"no entries", faults([](ServerFaults &f) { f.containerOverride = std::string(4, '\0'); }),
         QL_STATUS_TRANSMISSIONCOMPLETE, 2},
    };
    for (const Case &c : cases) {
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        server_->resetDeliveries();
        server_->clearRequests();
        server_->setFaults(c.faults);
        EXPECT_EQ(statusOnly(fetch()), status({c.status, QL_STATUS_DORESYNC})) << c.what;
        EXPECT_EQ(server_->requests().size(), c.requests) << c.what;
        if (c.status != QL_STATUS_TRANSMISSIONCOMPLETE) {
            EXPECT_TRUE(snapshot(dir()) == before) << c.what << ": nothing was written";
        }
    }
}

// A container entry that does not read never replaces the stored edition
// of its name, and a new one that does not read is not kept; the reader
// learns of each once.
TEST_F(InternalFetchTest, AnEntryThatDoesNotReadReplacesNothing) {
    const std::string old = sample("tageblatt-2026-12-05.eif");
    struct Case {
        const char *what, *name;
        std::string bytes, told;
    };
    const Case cases[] = {
        {"damaged, of a stored edition", "tageblatt", "kein Blatt",
         "Quillon Tageblatt 12/5/2026 tageblatt.eif"},
        {"cut, of a stored edition", "tageblatt", old.substr(0, old.size() / 2),
         "Quillon Tageblatt 12/5/2026 tageblatt.eif"},
        {"damaged, of a new edition", "neu", "<DUZUZUVU>", "  neu.eif"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(editions_);
        fs::create_directories(editions_);
        addEdition(c.name, c.bytes);
        addEdition("courier", sample("courier-2026-12-07.eif"));
        startServer("reader", ServerOptions());
        std::map<std::string, std::string> before = snapshot(news_);
        EXPECT_EQ(statusOnly(fetch(1)),
                  status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
        std::map<std::string, std::string> after = snapshot(news_);
        EXPECT_EQ(after.erase(news_ + "courier.eif"), 1u) << "the good entry is taken";
        after.erase(news_ + "courier.ehd");
        EXPECT_TRUE(after == before) << "nothing else changed, nothing left beside";
        std::vector<std::string> told;
        EditionEntry *list = QL_TakeNewspaperReport(QL_REPORT_REFUSED);
        for (EditionEntry *e = list; e; e = e->next)
            told.push_back(std::string(e->info.title) + " " + e->info.date + " " +
                           fs::path(e->path).filename().string());
        QL_RemoveNewspaperTree(list);
        EXPECT_EQ(told, std::vector<std::string>{c.told});
        EXPECT_NE(log().find("was not taken: it is no readable edition"), std::string::npos);
        fs::remove(news_ + "courier.eif");
        fs::remove(news_ + "courier.ehd");
    }
}

TEST_F(InternalFetchTest, UnknownSubscribers) {
    ServerOptions options;
    options.accounts = {{"reader", "S-1-5-21-1-2-3"}};  // another machine's key
    serve("reader", options);
    EXPECT_EQ(fetch(), status({QL_STATUS_ACCESSDENIED, QL_STATUS_DORESYNC}));
    EXPECT_EQ(server_->requests().at(0).status, 403);
    server_->stop();

    options.accounts = {{"someone else", ""}};
    serve("reader", options);
    EXPECT_EQ(fetch(), status({QL_STATUS_ACCESSDENIED, QL_STATUS_DORESYNC}));
    EXPECT_EQ(server_->requests().at(0).status, 401);
}

TEST_F(InternalFetchTest, LoginsAreEncodedInBothRequests) {
    serve("Anna M\xfcller&co #1");
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    std::vector<ReceivedRequest> requests = server_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].target.find("&user=Anna%20M%FCller%26co%20%231&"), std::string::npos)
        << requests[0].target;
    EXPECT_EQ(requests[1].target, "/data/Anna%20M%FCller%26co%20%231_" + key_ + ".enp");
    EXPECT_EQ(edition("courier"), sample("courier-2026-12-07.eif"));
}

TEST_F(InternalFetchTest, ProxyAsksForCredentials) {
    serve();
    struct Case {
        int refusals;
        int status;
        int prompts;
        size_t requests;
    };
    const Case cases[] = {
        {3, QL_STATUS_TRANSMISSIONCOMPLETE, 3, 5},  // three on the query, then through
        {4, QL_STATUS_ERROR, 3, 4},                 // the fourth 407 fails the query
    };
    for (const Case &c : cases) {
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        server_->resetDeliveries();
        server_->clearRequests();
        ServerFaults f;
        f.proxyAuthRequired = c.refusals;
        server_->setFaults(f);
        g_prompts = 0;
        EXPECT_EQ(statusOnly(fetch()), status({c.status, QL_STATUS_DORESYNC})) << c.refusals;
        EXPECT_EQ(g_prompts, c.prompts) << c.refusals;
        EXPECT_EQ(server_->requests().size(), c.requests) << c.refusals;
    }
}

// The proxy of the Internet settings carries both requests. On Windows the
// HTTP client reads the system's own settings (in the test prefix); on
// POSIX the setting also holds the credentials the proxy asks for.
TEST_F(InternalFetchTest, GoesThroughTheConfiguredProxy) {
    ServerOptions options;
#ifdef _WIN32
    const char *inet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
#else
    const char *inet = "Software\\VKT\\Test\\Internet Settings\\";
    options.proxyCredentials = "leser:Pass-w0rt";
#endif
    serve("reader", options);
    std::string proxy = "127.0.0.1:" + std::to_string(server_->port());
    if (!options.proxyCredentials.empty()) proxy = options.proxyCredentials + "@" + proxy;
    platform::RegValue oldEnable, oldServer;
    bool hadEnable = platform::regReadValue(inet, "ProxyEnable", oldEnable);
    bool hadServer = platform::regReadValue(inet, "ProxyServer", oldServer);
    platform::regWriteNumber(inet, "ProxyEnable", 1);
    platform::regWriteText(inet, "ProxyServer", proxy.c_str());
    QL_Initialize(0);
    configureServer(
        "appl=internal\ncommand=internal\nunpacker=internal\nclass=HttpPostmasterClass\n"
        "login=reader\npassword=geheim\nurl=news.example/cgi-bin/query\n",
        std::string("[INET]\nRegistry=") + inet + "\n");
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    platform::regWriteNumber(inet, "ProxyEnable", hadEnable ? oldEnable.number : 0);
    platform::regWriteText(inet, "ProxyServer", hadServer ? oldServer.text.c_str() : "");
    platform::removeEnvironmentVariable("http_proxy");
    platform::removeEnvironmentVariable("ftp_proxy");

    std::vector<ReceivedRequest> requests = server_->requests();
    ASSERT_EQ(requests.size(), 2u);
    for (ReceivedRequest &r : requests)  // the default port may be named or not
        if (r.target.rfind("http://news.example:80/", 0) == 0) r.target.erase(19, 3);
    EXPECT_EQ(requests[0].target, "http://news.example/cgi-bin/query?key=" + key_ +
                                      "&user=reader&ver=1.41&force=0&wantupdate=0");
    EXPECT_EQ(requests[1].target, "http://news.example/data/reader_" + key_ + ".enp");
    EXPECT_EQ(edition("courier"), sample("courier-2026-12-07.eif"));
}

TEST_F(InternalFetchTest, CancelStopsTheDownload) {
    addEdition("large", std::string(200000, 'l'));
    serve();
    trickle();
    std::map<std::string, std::string> before = snapshot(news_);
    ASSERT_EQ(QL_GetNewspaper(0), QL_OK);
    ASSERT_TRUE(pumpUntil([] { return !progressOnly(seenSoFar()).empty(); }, 20000));
    QL_CancelDownload();
    ASSERT_TRUE(waitForFetchEnd(20000));
    EXPECT_EQ(statusOnly(seenSoFar()),
              status({QL_STATUS_TRANSMISSIONCANCELLED, QL_STATUS_DORESYNC}));
    EXPECT_TRUE(snapshot(news_) == before) << "nothing was written";
    EXPECT_NE(log().find("\tCancelDownload sent us a message"), std::string::npos);
}

// A resync and settings without any server, read while the container comes
// in, do not reach the transfer: it writes where it started to write.
TEST_F(InternalFetchTest, SettingsChangedDuringTheTransferDoNotReachIt) {
    addEdition("large", editionOfSize(100000));
    serve();
    trickle();
    ASSERT_EQ(QL_GetNewspaper(0), QL_OK);
    ASSERT_TRUE(pumpUntil([] { return !progressOnly(seenSoFar()).empty(); }, 20000));
    EXPECT_EQ(QL_ResyncNewspaper(), QL_OK);
    EXPECT_EQ(QL_Initialize(0), QL_OK);
    writeSettings("[FILES]\nPATH=" + makeFolder("elsewhere") + "\n");
    EXPECT_EQ(QL_Initialize(1), QL_ERR_CONFIG);
    ASSERT_TRUE(waitForFetchEnd(20000));
    EXPECT_EQ(statusOnly(seenSoFar()),
              status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_TRUE(edition("large") == editionOfSize(100000));
}

// A cancel given while the server thinks about the query wins over the
// failed data request that follows it.
TEST_F(InternalFetchTest, ACancelDuringTheQueryIsNotLost) {
    serve();
    ServerFaults faults;
    faults.dataStatus = 404;
    server_->setFaults(faults);
    server_->holdQueries();
    ASSERT_EQ(QL_GetNewspaper(0), QL_OK);
    EXPECT_TRUE(pumpUntil([&] { return server_->heldQueries() == 1; }, 30000));
    QL_CancelDownload();
    server_->releaseQueries();
    ASSERT_TRUE(waitForFetchEnd(20000));
    EXPECT_EQ(statusOnly(seenSoFar()),
              status({QL_STATUS_TRANSMISSIONCANCELLED, QL_STATUS_DORESYNC}));
}

// Out of memory at any allocation of a fetch, the host hears (22, 7) and
// the fetch still ends as a fetch does, with one DORESYNC, and no edition
// already stored is lost.
TEST_F(InternalFetchTest, RunningOutOfMemoryAtAnyStep) {
    static std::atomic<int> s_left{-1}, s_made{0};
    auto counted = [](size_t bytes) -> void * {
        ++s_made;
        return s_left.load() == 0 ? nullptr : (s_left.fetch_sub(1), malloc(bytes));
    };
    serve();
    const std::string stored = edition("tageblatt");
    s_left = 1 << 30;
    knobs::setAllocator(counted);
    EXPECT_EQ(statusOnly(fetch(1)), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    const int allocations = s_made.exchange(0);
    ASSERT_GT(allocations, 0);
    printf("a fetch makes %d guarded allocations\n", allocations);
    for (int failing = 0; failing < allocations; ++failing) {
        writeWholeFile(news_ + "tageblatt.eif", stored);
        s_left = failing;
        Seen seen = fetch(1);
        s_left = 1 << 30;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), kDoResync), 1) << failing;
        EXPECT_NE(std::find(seen.begin(), seen.end(),
                            std::make_pair(int(QL_NOTIFY_LIBRARYERROR), int(QL_ERR_NO_MEMORY))),
                  seen.end())
            << failing;
        std::string now = edition("tageblatt");
        EXPECT_TRUE(now == stored || now == sample("tageblatt-2026-12-07.eif")) << failing;
    }
    knobs::setAllocator(nullptr);
}

// A cancel given before the fetch is not kept for it; one given during the
// second of three servers ends that server only: the third is fetched, and
// the host hears one DORESYNC at the end.
TEST_F(InternalFetchTest, ACancelEndsOnlyTheServerItHits) {
    serve();
    QL_CancelDownload();
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));

    addEdition("large", editionOfSize(100000));
    ServerOptions options;
    for (const char *login : {"a", "b", "c"}) options.accounts.push_back({login, key_});
    startServer("a", options);
    std::string sections,
        url = "url=127.0.0.1:" + std::to_string(server_->port()) + "/cgi-bin/query\n";
    for (const char *name : {"A", "B", "C"})
        sections += std::string("[") + name +
                    "]\nappl=internal\ncommand=internal\n"
                    "unpacker=internal\nclass=HttpPostmasterClass\npassword=p\nneedsmodem=0\n"
                    "days=0,1,2,3,4,5,6\n" +
                    url + "login=" + char(name[0] + 32) + "\n";
    QL_Initialize(0);
    writeSettings("[FILES]\nPATH=" + news_ + "\n[CONNECTIONS]\nServer=A,B,C\n" + sections);
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ASSERT_EQ(QL_RegisterCallback(host_.handle(), 1034), 1);
    trickle();
    ASSERT_EQ(QL_GetNewspaper(1), QL_OK);
    // B's container is on its way.
    ASSERT_TRUE(pumpUntil(
        [this] {
            for (const ReceivedRequest &r : server_->requests())
                if (r.target.find("/data/b_") != std::string::npos) return true;
            return false;
        },
        20000));
    QL_CancelDownload();
    ASSERT_TRUE(waitForFetchEnd(20000));
    EXPECT_EQ(statusOnly(seenSoFar()),
              status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_TRANSMISSIONCANCELLED,
                      QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
}

TEST_F(InternalFetchTest, AStalledServerFailsTheTransfer) {
    platform::knobs::setHttpIdleLimit(1000);
    serve();
    std::string before = edition("tageblatt");
    ServerFaults stall;
    stall.stallAfter = 100;
    server_->setFaults(stall);
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_ERROR, QL_STATUS_DORESYNC}));
    EXPECT_TRUE(edition("tageblatt") == before) << "the stored edition stays";
}

TEST_F(InternalFetchTest, UnusableServerAddress) {
    configureServer(
        "appl=internal\ncommand=internal\nunpacker=internal\n"
        "class=HttpPostmasterClass\nlogin=reader\npassword=geheim\nurl=no-slash-here\n");
    EXPECT_EQ(fetch(), status({QL_STATUS_THREADCREATEERROR, QL_STATUS_THREADCREATEERROR,
                               QL_STATUS_THREADCREATEERROR, QL_STATUS_DORESYNC}));
}

// A program in the container that this transfer did not ask for is neither
// written nor run, not even for the enhanced host.
TEST_F(InternalFetchTest, AnUpdateProgramNobodyAskedForStaysOut) {
    std::string temp = makeFolder("temp");
    std::string oldTemp;
    bool hadTemp = platform::environmentVariable("TEMP", oldTemp);
    platform::setEnvironmentEntry(("TEMP=" + temp.substr(0, temp.size() - 1)).c_str());
    serve();
    QL_UseEnhancedInterface();
    ServerFaults faults;
    faults.containerOverride = packContainer(
        {{"courier", 0, sample("courier-2026-12-07.eif")}, {"evil.bat", 1, "format c:"}});
    server_->setFaults(faults);
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_FALSE(fileExists(temp + "evil.bat"));
    EXPECT_NE(log().find("The update program evil.bat was not asked for"), std::string::npos);
    EXPECT_EQ(edition("courier"), sample("courier-2026-12-07.eif"));
    if (hadTemp)
        platform::setEnvironmentEntry(("TEMP=" + oldTemp).c_str());
    else
        platform::removeEnvironmentVariable("TEMP");
}

TEST_F(InternalFetchTest, UpdateProgramRunsForTheEnhancedHost) {
    std::string temp = makeFolder("temp");
    std::string marker = temp + "ran.txt";
#ifdef _WIN32
    std::string updateName = "update.bat";
    std::string script = "@echo off\r\necho ran> \"" + marker + "\"\r\n";
#else
    std::string updateName = "update.sh";
    std::string script = "#!/bin/sh\necho ran > '" + marker + "'\n";
#endif
    std::string update = makeFolder("offer") + updateName;
    writeWholeFile(update, script);
    std::string oldTemp;
    bool hadTemp = platform::environmentVariable("TEMP", oldTemp);
    std::string tempValue = temp.substr(0, temp.size() - 1);  // without its separator
    platform::setEnvironmentEntry(("TEMP=" + tempValue).c_str());

    ServerOptions options;
    options.updateProgram = update;
    serve("reader", options);
    QL_WantUpdate();
    // Without the enhanced interface the program is stored, not run.
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_EQ(readWholeFile(temp + updateName), script);
    EXPECT_FALSE(fileExists(marker));
    platform::RegValue v;
    ASSERT_TRUE(platform::regReadValue(kQuillonKey, "UPDATE", v));
    EXPECT_EQ(v.number, script.size());
    EXPECT_EQ(g_library.wantUpdate.load(), 1);

    QL_UseEnhancedInterface();
    server_->resetDeliveries();
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    EXPECT_TRUE(fileExists(marker)) << "the update program ran";
    ASSERT_TRUE(platform::regReadValue(kQuillonKey, "UPDATE", v));
    EXPECT_EQ(v.number, 0u);
    EXPECT_EQ(g_library.wantUpdate.load(), 0);
    bool asked = false;
    for (const ReceivedRequest &r : server_->requests())
        if (r.target.find("&wantupdate=1") != std::string::npos) asked = true;
    EXPECT_TRUE(asked);

    if (hadTemp)
        platform::setEnvironmentEntry(("TEMP=" + oldTemp).c_str());
    else
        platform::removeEnvironmentVariable("TEMP");
}

}  // namespace
