// Whole fetches through QL_GetNewspaper, with our own piped transfer program
// and postmaster, compared notification by notification.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "core/library_state.h"
#include "download/fetch_state.h"
#include "download/knobs.h"
#include "fetch_env.h"
#include "memory_faults.h"
#include "platform/platform.h"
#include "qlapi.h"

namespace {

class FetchTest : public FetchFixture {
  protected:
    // One server section with the given lines after its required keys.
    void configure(const std::string &server) {
        configureServer(server + "url=http://127.0.0.1/\nlogin=l\npassword=Zugang77\n");
    }
    void piped(const std::string &arguments) {
        configure("appl=" + tool("fake_transfer") + "\ncommand=fake_transfer " + arguments +
                  "\nclass=HttpPostmasterClass\n");
    }
    // A class of its own for every case: a postmaster outlives its fetch.
    std::string postmasterClass() { return "QlapiTestPostmaster" + std::to_string(case_) + shm_; }
    void postmaster(const std::string &arguments, const std::string &more = "") {
        configure("appl=" + tool("fake_postmaster") + "\ncommand=fake_postmaster --class " +
                  postmasterClass() + " --shm " + shm_ + " --lifetime 20000 " + arguments +
                  "\nclass=" + postmasterClass() + "\n" + more);
    }
    int case_ = 0;
};

TEST_F(FetchTest, PipedProgramReceiptsBecomeNotifications) {
    struct Case {
        const char *name, *arguments;
        Seen expected;
    };
    const Seen done = {{QL_NOTIFY_PROGRESS, 10},
                       {QL_NOTIFY_PROGRESS, 50},
                       {QL_NOTIFY_PROGRESS, 100},
                       {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE},
                       kDoResync};
    const Case cases[] = {
        {"progress and done, CR LF", "%10 %50 %100 TransactionDone", done},
        {"line feed alone", "--lf %10 %50 %100 TransactionDone", done},
        {"all lines in one read", "--together %10 %50 %100 TransactionDone", done},
        {"nothing printed counts as done", "",
         status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC})},
        {"nothing new in every pass", "NOTHINGNEW",
         status({QL_STATUS_NP_PRESENT, QL_STATUS_NP_PRESENT, QL_STATUS_NP_PRESENT,
                 QL_STATUS_DORESYNC})},
        {"access denied ends the server", "AccessDenied",
         status({QL_STATUS_ACCESSDENIED, QL_STATUS_DORESYNC})},
        {"failed transfers retry", "TransactionFailed",
         status({QL_STATUS_TRANSMISSIONERROR, QL_STATUS_TRANSMISSIONERROR,
                 QL_STATUS_TRANSMISSIONERROR, QL_STATUS_DORESYNC})},
        {"cancelled", "TransactionCancelled",
         status({QL_STATUS_TRANSMISSIONCANCELLED, QL_STATUS_DORESYNC})},
        {"line busy", "LineBusy",
         status(
             {QL_STATUS_PHONEBUSY, QL_STATUS_PHONEBUSY, QL_STATUS_PHONEBUSY, QL_STATUS_DORESYNC})},
        {"no pick-up", "NoPickUp", status({QL_STATUS_NOPICKUP, QL_STATUS_DORESYNC})},
        {"no modem", "ModemNotFound", status({QL_STATUS_NOMODEM, QL_STATUS_DORESYNC})},
        {"error retries", "ERROR",
         status({QL_STATUS_ERROR, QL_STATUS_ERROR, QL_STATUS_ERROR, QL_STATUS_DORESYNC})},
    };
    for (const Case &c : cases) {
        QL_Initialize(0);
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        piped(c.arguments);
        EXPECT_EQ(fetch(), c.expected) << c.name;
    }
}

TEST_F(FetchTest, DateAndDueRules) {
    piped("TransactionDone");
    EXPECT_EQ(fetch(), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    std::tm now{};
    platform::toLocalTime(platform::currentTime(), now);
    platform::RegValue day;
    ASSERT_TRUE(platform::regReadValue("Software\\VKT\\QLAPI\\Newspapers\\VKT", "day", day));
    EXPECT_EQ(day.number, uint32_t(now.tm_mday));

    // Fetched today: nothing is due, unless forced; forced, the server
    // answers again.
    EXPECT_EQ(QL_GetNewspaper(0), QL_ERR_UP_TO_DATE);
    EXPECT_EQ(fetch(1), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    std::string text = log();
    EXPECT_NE(text.find("FetchNewspaperThread started with force = 1"), std::string::npos);
    EXPECT_NE(text.find("\tWorking on VKT, 1 attempt"), std::string::npos);
    EXPECT_NE(text.find("\tStoring date of transfer in registry"), std::string::npos);
    EXPECT_NE(text.find("\tFetchNewspaperThread Terminated on its own"), std::string::npos);

    // The enhanced interface finds every day due.
    QL_UseEnhancedInterface();
    EXPECT_EQ(fetch(0), status({QL_STATUS_NP_PRESENT, QL_STATUS_DORESYNC}))
        << "another method, fetched today: nothing necessary";
    EXPECT_NE(log().find("\tfetching VKT not necessary"), std::string::npos);
}

TEST_F(FetchTest, ServersAreSkippedOnOtherWeekdays) {
    std::tm now{};
    platform::toLocalTime(platform::currentTime(), now);
    std::string otherDay(1, char('0' + (now.tm_wday + 1) % 7));
    writeSettings(
        "[FILES]\nPATH=" + news_ +
        "\n[CONNECTIONS]\nServer=VKT\n[VKT]\nappl=" + tool("fake_transfer") +
        "\ncommand=fake_transfer TransactionDone\n"
        "class=HttpPostmasterClass\nurl=u\nlogin=l\npassword=Zugang77\nneedsmodem=0\ndays=" +
        otherDay + "\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ASSERT_EQ(QL_RegisterCallback(host_.handle(), 1034), 1);
    EXPECT_EQ(fetch(0), Seen{kDoResync}) << "not its day: skipped without a word";
    EXPECT_EQ(fetch(1), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
}

TEST_F(FetchTest, TransferSideFailures) {
    struct Case {
        const char *name;
        std::string server;
        Seen expected;
    };
    const Case cases[] = {
        {"piped program missing",
         "appl=" + news_ + "missing\ncommand=missing\nclass=HttpPostmasterClass\n",
         status({QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY,
                 QL_STATUS_DORESYNC})},
        {"internal transfer, no server",
         "appl=internal\ncommand=internal\nunpacker=internal\nclass=HttpPostmasterClass\n",
         status({QL_STATUS_ERROR, QL_STATUS_DORESYNC})},
        {"postmaster missing", "appl=" + news_ + "missing\nclass=NoSuchPostmaster\n",
         status({QL_STATUS_POSTMASTERSTARTUPERROR, QL_STATUS_POSTMASTERSTARTUPERROR,
                 QL_STATUS_POSTMASTERSTARTUPERROR, QL_STATUS_DORESYNC})},
        {"postmaster without window, modem",
         "appl=" + tool("fake_transfer") +
             "\ncommand=fake_transfer\nclass=NoSuchWindow\nneedsmodem=1\n",
         status({QL_STATUS_NOMODEMPOSTMASTER, QL_STATUS_NOMODEMPOSTMASTER,
                 QL_STATUS_NOMODEMPOSTMASTER, QL_STATUS_DORESYNC})},
        {"postmaster without window, network",
         "appl=" + tool("fake_transfer") + "\ncommand=fake_transfer\nclass=NoSuchWindow\n",
         status({QL_STATUS_NOFTPPOSTMASTER, QL_STATUS_NOFTPPOSTMASTER, QL_STATUS_NOFTPPOSTMASTER,
                 QL_STATUS_DORESYNC})},
    };
    for (const Case &c : cases) {
        QL_Initialize(0);
        configure(c.server);
        EXPECT_EQ(fetch(), c.expected) << c.name;
    }
}

TEST_F(FetchTest, PostmasterHandshake) {
    struct Case {
        const char *name, *arguments;
        Seen expected;
    };
    const Case cases[] = {
        {"done",
         "--progress 20,100 --final TransactionDone",
         {{QL_NOTIFY_PROGRESS, 20},
          {QL_NOTIFY_PROGRESS, 100},
          {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE},
          kDoResync}},
        {"busy", "--first BUSY",
         status({QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY,
                 QL_STATUS_DORESYNC})},
        {"error", "--first ERROR",
         status({QL_STATUS_THREADCREATEERROR, QL_STATUS_THREADCREATEERROR,
                 QL_STATUS_THREADCREATEERROR, QL_STATUS_DORESYNC})},
        {"garbage", "--first Hello",
         status(
             {QL_STATUS_PIPEERROR, QL_STATUS_PIPEERROR, QL_STATUS_PIPEERROR, QL_STATUS_DORESYNC})},
    };
    for (const Case &c : cases) {
        QL_Initialize(0);
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        std::string dump = dir() + "dump.bin";
        remove(dump.c_str());
        postmaster(std::string(c.arguments) + " --dump " + dump, "unpacker=" + news_ + "unpack\n");
        EXPECT_EQ(fetch(), c.expected) << c.name;
        // The postmaster got the name, then the server's own record.
        std::string image = readWholeFile(dump);
        ASSERT_GE(image.size(), 4u + sizeof(Serverinfo)) << c.name;
        EXPECT_EQ(image.substr(0, 4), "VKT\n");
        Serverinfo got;
        memcpy(&got, image.data() + 4, sizeof got);
        EXPECT_STREQ(got.login, "l");
        EXPECT_STREQ(got.windowClass, postmasterClass().c_str());
        EXPECT_EQ(got.fetchDone, 0);
        // The postmaster of the first case is still running: a second fetch
        // finds its window and hands the server to it without a start.
        if (std::string(c.name) == "done") {
            EXPECT_EQ(fetch(1), Seen{kDoResync});
        }
        ++case_;
    }
}

TEST_F(FetchTest, RunningPostmasterMeansMissionComplete) {
    postmaster("");
    platform::ProcessStart start;
    start.program = tool("fake_postmaster");
    start.commandLine =
        "fake_postmaster --class " + postmasterClass() + " --shm " + shm_ + " --lifetime 8000";
    platform::ChildProcess child;
    ASSERT_TRUE(platform::startProcess(start, child));
    platform::WindowRef window;
    for (int i = 0; i < 200 && !platform::findWindowByClass(postmasterClass().c_str(), window); ++i)
        platform::sleepMs(10);
    EXPECT_EQ(fetch(), Seen{kDoResync});
    EXPECT_NE(log().find("\tMission complete for VKT"), std::string::npos);
    platform::closeProcess(child, true);
}

TEST_F(FetchTest, OneFetchAtATimeAndTheWatchdogFreesAHungOne) {
    FetchWaits waits = g_waits;
    waits.watchdogTicks = 40;  // 0.8 s
    knobs::setFetchWaits(waits);
    piped("--hang %10");
    ASSERT_EQ(QL_GetNewspaper(1), QL_OK);
    EXPECT_EQ(QL_GetNewspaper(1), QL_ERR_BUSY);
    EXPECT_EQ(QL_GetNewspaper(0), QL_ERR_BUSY);
    for (int i = 0; i < 500 && g_fetchRunning.load(); ++i) {
        waitForFetchEnd(10);
    }
    EXPECT_FALSE(g_fetchRunning.load()) << "the watchdog frees the library";
    std::string text = log();
    EXPECT_NE(text.find("\tWatchdog on battlefield!"), std::string::npos);
    EXPECT_NE(text.find("\tWATCHDOG!!! Just killed GetAndSendThread"), std::string::npos);
    // Nothing after the abandoned fetch, once its threads left: its
    // progress came, no DORESYNC.
    ASSERT_TRUE(waitForLibraryThreads(30000));
    Seen seen;
    for (const Notification &n : received())
        seen.emplace_back(static_cast<int>(n.category), static_cast<int>(n.code));
    EXPECT_EQ(seen, (Seen{{QL_NOTIFY_PROGRESS, 10}}));
    clearReceived();

    knobs::setFetchWaits(FetchWaits{10, 1500, 10, 10, 20, 3000});
    QL_Initialize(0);
    piped("TransactionDone");
    EXPECT_EQ(fetch(1), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}))
        << "a new fetch starts at once";
}

// A fetch that ended leaves its watchdog nothing to do, even when the next
// fetch started before that watchdog looked again: the next one runs to its
// end, undisturbed.
TEST_F(FetchTest, AFinishedFetchsWatchdogLeavesTheNextAlone) {
    FetchWaits waits = g_waits;
    waits.watchdogTick = 500;
    waits.watchdogTicks = 3;  // the first fetch's time: 1.5 s
    knobs::setFetchWaits(waits);
    piped("TransactionDone");
    ASSERT_EQ(QL_GetNewspaper(1), QL_OK);
    ASSERT_TRUE(pumpUntil([] { return !g_fetchRunning.load(); }, 10000));
    ASSERT_EQ(g_watchdogsRunning.load(), 1) << "the first watchdog is still there";
    clearReceived();

    knobs::setFetchWaits(FetchWaits{10, 10, 1500, 10, 10, 20, 3000});
    QL_Initialize(0);
    piped("--delay 700 %10 %50 TransactionDone");  // runs past the first watchdog's time
    EXPECT_EQ(fetch(1), (Seen{{QL_NOTIFY_PROGRESS, 10},
                              {QL_NOTIFY_PROGRESS, 50},
                              {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE},
                              kDoResync}));
    EXPECT_EQ(log().find("Watchdog on battlefield"), std::string::npos);
}

// The host may resync, shut down and read other settings while a fetch
// runs: the fetch goes on with the settings it started with.
TEST_F(FetchTest, SettingsChangedDuringAFetchDoNotReachIt) {
    const std::pair<const char *, std::function<void()>> kinds[] = {
        {"piped", [&] { piped("--delay 300 %10 %50 TransactionDone"); }},
        {"postmaster", [&] { postmaster("--progress 50,100 --lifetime 3000"); }},
    };
    for (const auto &[kind, configureKind] : kinds) {
        QL_Initialize(0);
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        configureKind();
        ASSERT_EQ(QL_GetNewspaper(0), QL_OK) << kind;
        platform::sleepMs(100);
        EXPECT_EQ(QL_ResyncNewspaper(), QL_OK);
        EXPECT_EQ(QL_Initialize(0), QL_OK);
        writeSettings("[FILES]\nPATH=" + news_ + "\n");  // no server at all now
        EXPECT_EQ(QL_Initialize(1), QL_ERR_CONFIG);
        EXPECT_TRUE(waitForFetchEnd(30000)) << kind;
        EXPECT_EQ(statusOnly(seenSoFar()),
                  status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}))
            << kind;
        clearReceived();
        platform::RegValue day;
        EXPECT_TRUE(platform::regReadValue("Software\\VKT\\QLAPI\\Newspapers\\VKT", "day", day))
            << kind << ": the date is stored under the server's own name";
        ++case_;
    }
}

// A program that writes without line ends is read on with its line cut.
TEST_F(FetchTest, AnEndlessLineIsCut) {
    piped("--endless 200000 TransactionDone");
    EXPECT_EQ(fetch(), (Seen{{QL_NOTIFY_PROGRESS, 50},
                             {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE},
                             kDoResync}));
    EXPECT_NE(log().find("writes a line of more than 64 KB; cut"), std::string::npos);
}

#ifndef _WIN32
// The unpacker starts by its path as written, in the server's folder, once a
// piped transfer is done, and the host hears of it after the wait; a
// postmaster unpacks by itself.
TEST_F(FetchTest, TheUnpackerStartsByItsPathAsWritten) {
    std::string work = makeFolder("work"), unpacker = makeFolder("Tools") + "unpack.sh";
    writeWholeFile(unpacker, "#!/bin/sh\npwd > unpacked.txt\n");
    chmod(unpacker.c_str(), 0755);
    FetchWaits waits = g_waits;
    waits.afterUnpacker = 500;
    knobs::setFetchWaits(waits);
    const std::pair<const char *, bool> kinds[] = {{"piped", true}, {"postmaster", false}};
    for (const auto &[kind, unpacks] : kinds) {
        QL_Initialize(0);
        remove((work + "unpacked.txt").c_str());
        std::string more = "unpacker=" + unpacker + "\npath=" + work + "\n";
        if (unpacks)
            configure("appl=" + tool("fake_transfer") +
                      "\ncommand=fake_transfer TransactionDone\nclass=HttpPostmasterClass\n" +
                      more);
        else
            postmaster("--lifetime 3000", more);
        EXPECT_EQ(statusOnly(fetch(1)),
                  status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}))
            << kind;
        EXPECT_EQ(readWholeFile(work + "unpacked.txt"),
                  unpacks ? work.substr(0, work.size() - 1) + "\n" : "")
            << kind << ": started in the server's folder, or not at all";
        ++case_;
    }
}
#endif

// Whichever allocation of the fetch's threads fails, the host hears (22, 7),
// the fetch ends with one DORESYNC, and the next fetch runs as usual.
TEST_F(FetchTest, RunningOutOfMemoryInAnyThreadOfAFetch) {
    piped("%50 TransactionDone");
    for (long failing = 0; failing < 400; failing += 7) {
        failAllocation(failing);
        Seen seen = fetch(1);
        bool failed = stopFailingAllocation();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), kDoResync), 1) << failing;
        bool told = std::find(seen.begin(), seen.end(),
                              std::make_pair(int(QL_NOTIFY_LIBRARYERROR), int(QL_ERR_NO_MEMORY))) !=
                    seen.end();
        EXPECT_EQ(told, failed) << failing;
        if (!failed) break;  // past the last allocation of a fetch
    }
    EXPECT_EQ(fetch(1), (Seen{{QL_NOTIFY_PROGRESS, 50},
                              {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE},
                              kDoResync}));
}

TEST_F(FetchTest, CleaningKeepsEditionsAndHiddenFiles) {
    std::string work = makeFolder("work");
    for (const char *name : {"agent.exe", "RUN.BAT", "page.html", "index.htm", "robots.txt", "x.gz",
                             "a.dat", "keep.eif", "myrobots.txt"})
        writeWholeFile(work + name, "x");
    writeWholeFile(work + ".hidden.dat", "x");
    configure("appl=" + tool("fake_transfer") +
              "\ncommand=fake_transfer TransactionDone\n"
              "class=HttpPostmasterClass\npath=" +
              work + "\n");
    fetch();
    for (const char *gone :
         {"agent.exe", "RUN.BAT", "page.html", "index.htm", "robots.txt", "x.gz", "a.dat"})
        EXPECT_FALSE(fileExists(work + gone)) << gone;
    for (const char *kept : {"keep.eif", "myrobots.txt"})
        EXPECT_TRUE(fileExists(work + kept)) << kept;
#ifndef _WIN32
    EXPECT_TRUE(fileExists(work + ".hidden.dat"));
#endif
}

}  // namespace
