// Whole fetches over several servers, with dial-up inside the fetch, and
// odd starts: the order of servers and passes, what the dial-up service is
// asked, and what the host hears.
#include <cstring>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "download/fetch_state.h"
#include "download/knobs.h"
#include "fetch_env.h"
#include "platform/platform.h"
#include "qlapi.h"

namespace {

class FetchPasses : public FetchFixture {
  protected:
    void SetUp() override {
        FetchFixture::SetUp();
        useTestDialUp();
    }
    void TearDown() override {
        hangUpDialledConnection();
        knobs::setDialUp({});
        FetchFixture::TearDown();
    }
    // Servers by name, in the order given, each with its own lines.
    void servers(const std::vector<std::pair<std::string, std::string>> &list) {
        std::string names, sections;
        for (const auto &[name, lines] : list) {
            names += (names.empty() ? "" : ",") + name;
            sections += "[" + name + "]\nurl=http://127.0.0.1/\nlogin=" + name +
                        "\npassword=p\ndays=0,1,2,3,4,5,6\n" + lines;
        }
        writeSettings("[FILES]\nPATH=" + news_ + "\n[INET]\nRegistry=" + kTestInetKey +
                      "\n[CONNECTIONS]\nServer=" + names + "\n" + sections);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        ASSERT_EQ(QL_RegisterCallback(host_.handle(), 1034), 1);
    }
    std::string piped(const std::string &arguments, bool modem = false) {
        return "appl=" + tool("fake_transfer") + "\ncommand=fake_transfer " + arguments +
               "\nclass=HttpPostmasterClass\nneedsmodem=" + (modem ? "1" : "0") + "\n";
    }
    std::string postmaster(const std::string &windowClass, const std::string &dump = "") {
        return "appl=" + tool("fake_postmaster") + "\ncommand=fake_postmaster --class " +
               windowClass + " --shm " + shm_ + " --lifetime 3000" +
               (dump.empty() ? "" : " --dump " + dump) + "\nclass=" + windowClass +
               "\nneedsmodem=0\n";
    }
    // The positions of the lines in the log, -1 for a missing one.
    std::vector<long> positions(std::initializer_list<const char *> lines) {
        std::string text = log();
        std::vector<long> out;
        for (const char *line : lines) {
            size_t at = text.find(line);
            out.push_back(at == std::string::npos ? -1 : static_cast<long>(at));
        }
        return out;
    }
};

// An abort ends the pass: the servers after it wait, and it comes first in
// the next pass again.
TEST_F(FetchPasses, AnAbortedServerComesFirstInEveryPass) {
    servers({{"A", "appl=" + news_ + "missing\ncommand=missing\nclass=HttpPostmasterClass\n"},
             {"B", piped("TransactionDone")}});
    EXPECT_EQ(fetch(), status({QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY, QL_STATUS_DEVICEBUSY,
                               QL_STATUS_DORESYNC}));
    std::vector<long> at = positions({"Working on A, 1 attempt", "Working on A, 2 attempt",
                                      "Working on A, 3 attempt", "Working on B"});
    EXPECT_TRUE(at[0] >= 0 && at[0] < at[1] && at[1] < at[2]);
    EXPECT_EQ(at[3], -1) << "no pass reaches B";
}

// Servers go by their transfer program's class, whatever the list's order;
// a second server of a postmaster already started goes to its window with
// its own record, and the postmaster is not started again.
TEST_F(FetchPasses, ServersGoByClassAndShareTheirPostmaster) {
    const std::string dump = dir() + "dump.bin", windowClass = "QlapiTestPasses" + shm_;
    servers({{"Z", postmaster(windowClass, dump)},
             {"Y", postmaster(windowClass, dump)},
             {"X", piped("TransactionDone")}});
    EXPECT_EQ(statusOnly(fetch()),
              status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_TRANSMISSIONCOMPLETE,
                      QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
    std::vector<long> at = positions({"Working on X", "Working on Z", "Working on Y"});
    EXPECT_TRUE(at[0] >= 0 && at[0] < at[1] && at[1] < at[2]) << "HttpPostmasterClass first";
    std::string text = log();
    size_t first = text.find("Launching");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("Launching", first + 1), std::string::npos) << "one postmaster";
    std::string images = readWholeFile(dump);
    ASSERT_EQ(images.size(), 2 * (2 + sizeof(Serverinfo)));
    for (int i = 0; i < 2; ++i) {
        const char *name = i == 0 ? "Z" : "Y";
        size_t at = static_cast<size_t>(i) * (2 + sizeof(Serverinfo));
        EXPECT_EQ(images.substr(at, 2), std::string(name) + "\n");
        Serverinfo got;
        memcpy(&got, images.data() + at + 2, sizeof got);
        EXPECT_STREQ(got.login, name) << "each server's own record";
    }
}

// Dial-up inside a fetch: a failed dial aborts every pass; the connection
// is closed before a postmaster takes over, and at the end of the fetch;
// the offline switch is online while dialling and restored after the server.
TEST_F(FetchPasses, DialUpInsideAFetch) {
    platform::regWriteNumber(kTestInetKey, "GlobalUserOffline", 1);
    g_dial.result = 797;
    servers({{"A", piped("TransactionDone", true)}});
    EXPECT_EQ(fetch(), status({QL_STATUS_NOMODEM, QL_STATUS_NOMODEM, QL_STATUS_NOMODEM,
                               QL_STATUS_DORESYNC}));
    EXPECT_EQ(g_dial.offlineDuringDial, (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_TRUE(g_dial.hungUp.empty());

    // A postmaster fetches by itself: the library's connection goes first.
    // Without one, the connection goes at the end of the fetch.
    const struct {
        std::vector<std::pair<std::string, std::string>> servers;
        const char *before, *after;
    } cases[] = {
        {{{"A", piped("TransactionDone", true)}, {"B", postmaster("QlapiTestDial" + shm_)}},
         "Closing open internet connection",
         "Launching"},
        {{{"A", piped("TransactionDone", true)}},
         "we have really done now",
         "Closing Internet Connection"},
    };
    for (const auto &c : cases) {
        QL_Initialize(0);
        platform::regDeleteTree("Software\\VKT\\QLAPI\\Newspapers");
        remove((news_ + "qlapi.log").c_str());
        useTestDialUp();
        servers(c.servers);
        Seen expected(c.servers.size(), {QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE});
        expected.push_back(kDoResync);
        EXPECT_EQ(statusOnly(fetch()), expected) << c.after;
        std::vector<long> at = positions({c.before, c.after});
        EXPECT_TRUE(at[0] >= 0 && at[0] < at[1]) << c.before << " before " << c.after;
        EXPECT_EQ(g_dial.hungUp, std::vector<uintptr_t>{42}) << c.after;
        platform::RegValue offline;
        ASSERT_TRUE(platform::regReadValue(kTestInetKey, "GlobalUserOffline", offline));
        EXPECT_EQ(offline.number, 1u) << "restored after the server";
    }
}

// The watchdog hangs up the connection of the fetch it ends.
TEST_F(FetchPasses, TheWatchdogHangsUp) {
    FetchWaits waits = g_waits;
    waits.watchdogTicks = 40;  // 0.8 s
    knobs::setFetchWaits(waits);
    servers({{"A", piped("--hang %10", true)}});
    ASSERT_EQ(QL_GetNewspaper(0), QL_OK);
    EXPECT_TRUE(pumpUntil([] { return !g_fetchRunning.load() && !g_dial.hungUp.empty(); }, 20000));
    EXPECT_EQ(g_dial.hungUp, std::vector<uintptr_t>{42});
    EXPECT_NE(log().find("WATCHDOG!!! Closing Inet connection"), std::string::npos);
    // A fetch that ends by itself releases the library again.
    knobs::setFetchWaits(FetchWaits{10, 10, 1500, 10, 10, 20, 3000});
    QL_Initialize(0);
    servers({{"A", piped("TransactionDone")}});
    EXPECT_EQ(statusOnly(fetch()), status({QL_STATUS_TRANSMISSIONCOMPLETE, QL_STATUS_DORESYNC}));
}

// Without a host window a fetch runs all the same and tells nobody.
TEST_F(FetchPasses, NobodyListening) {
    servers({{"A", piped("%50 TransactionDone")}});
    ASSERT_EQ(QL_RegisterCallback(nullptr, 0), 1);
    EXPECT_EQ(fetch(), Seen{});
    platform::RegValue day;
    EXPECT_TRUE(platform::regReadValue("Software\\VKT\\QLAPI\\Newspapers\\A", "day", day));
    EXPECT_NE(log().find("Sending TRANSMISSIONCOMPLETE"), std::string::npos);
}

}  // namespace
