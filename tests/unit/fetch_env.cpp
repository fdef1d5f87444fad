#include "fetch_env.h"

#include "download/fetch_state.h"
#include "download/knobs.h"
#include "platform/platform.h"
#include "qlapi.h"

std::string tool(const char *name) {
#ifdef _WIN32
    return nativePath(std::string(QL_TOOLS_DIR) + "/" + name + ".exe");
#else
    return nativePath(std::string(QL_TOOLS_DIR) + "/" + name);
#endif
}

const char kTestInetKey[] = "Software\\VKT\\Test\\Internet Settings\\";
DialLog g_dial;

static uint32_t testDial(const char *profile, uintptr_t &handle) {
    g_dial.profiles.push_back(profile);
    platform::RegValue v;
    g_dial.offlineDuringDial.push_back(
        platform::regReadValue(kTestInetKey, "GlobalUserOffline", v) ? v.number : 0xDEAD);
    handle = 42;
    return g_dial.result;
}
static void testHangUp(uintptr_t handle) { g_dial.hungUp.push_back(handle); }

void useTestDialUp() {
    g_dial = DialLog();
    knobs::setDialUp({testDial, testHangUp});
}

const std::pair<int, int> kDoResync{QL_NOTIFY_STATUS, QL_STATUS_DORESYNC};

Seen status(std::initializer_list<int> codes) {
    Seen s;
    for (int c : codes) s.emplace_back(QL_NOTIFY_STATUS, c);
    return s;
}

Seen seenSoFar() {
    Seen seen;
    for (const Notification &n : received())
        seen.emplace_back(static_cast<int>(n.category), static_cast<int>(n.code));
    return seen;
}

Seen statusOnly(const Seen &seen) {
    Seen s;
    for (const auto &n : seen)
        if (n.first == QL_NOTIFY_STATUS) s.push_back(n);
    return s;
}

std::vector<int> progressOnly(const Seen &seen) {
    std::vector<int> p;
    for (const auto &n : seen)
        if (n.first == QL_NOTIFY_PROGRESS) p.push_back(n.second);
    return p;
}

void FetchFixture::SetUp() {
    LibraryTest::SetUp();
    news_ = makeFolder("news");
    FetchWaits waits;
    waits.beforeTransfer = 10;
    waits.afterFirstReceipt = 10;
    waits.postmasterWindow = 1500;
    waits.afterUnpacker = 10;
    waits.atEnd = 10;
    waits.watchdogTick = 20;
    waits.watchdogTicks = 3000;  // a minute: only the watchdog test shortens it
    knobs::setFetchWaits(waits);
    shm_ = "qlapi_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    shm_ = shm_.substr(0, 60);
    knobs::setSharedBlockName(shm_.c_str());
    clearReceived();
}

void FetchFixture::TearDown() {
    waitForFetchEnd(20000);
    // The block stays mapped while a thread of the library may still poll it.
    ASSERT_TRUE(waitForLibraryThreads(30000)) << "a thread of the library was still running";
    knobs::setFetchWaits(FetchWaits());
    knobs::removeSharedBlock();
    knobs::setSharedBlockName(nullptr);
    LibraryTest::TearDown();
}

void FetchFixture::configureServer(const std::string &lines, const std::string &sections) {
    writeSettings("[FILES]\nPATH=" + news_ + "\n[CONNECTIONS]\nServer=VKT\n" + sections +
                  "[VKT]\n" + lines + "days=0,1,2,3,4,5,6\nneedsmodem=0\n");
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ASSERT_EQ(QL_RegisterCallback(host_.handle(), 1034), 1);
}

Seen FetchFixture::fetch(int force) {
    EXPECT_EQ(QL_GetNewspaper(force), QL_OK);
    EXPECT_TRUE(waitForFetchEnd(30000)) << "the fetch did not end";
    for (const Notification &n : received()) EXPECT_EQ(n.message, 1034u);
    Seen seen = seenSoFar();
    clearReceived();
    return seen;
}
