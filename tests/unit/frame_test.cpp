// The call frame: life cycle, the kept error code, host registration, the
// switches and the guarded allocation.
#include <cstdlib>
#include <vector>

#include "config/configuration.h"
#include "core/library_state.h"
#include "core/log.h"
#include "frame/knobs.h"
#include "platform/platform.h"
#include "qlapi.h"
#include "test_env.h"

namespace {

void *failingAllocator(size_t) { return nullptr; }

class FrameTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        g_received.clear();
        news_ = makeFolder("news");
    }
    void configure() { writeMinimalSettings(news_); }
    std::string news_;
};

TEST_F(FrameTest, InitializeAndShutdownFollowTheStateTable) {
    configure();
    struct Step {
        int mode;
        int result;
        int initialisedAfter;
    };
    const Step steps[] = {
        {0, QL_ERR_WRONG_STATE, 0},  // shutdown while uninitialised
        {1, QL_OK, 1},
        {1, QL_ERR_WRONG_STATE, 1},  // again: nothing changes
        {7, QL_ERR_WRONG_STATE, 1},  // any non-zero mode initialises
        {0, QL_OK, 0},
        {0, QL_ERR_WRONG_STATE, 0},
        {-1, QL_OK, 1},
    };
    for (const Step &s : steps) {
        setLastError(QL_ERR_NOT_FOUND);
        EXPECT_EQ(QL_Initialize(s.mode), s.result) << "mode " << s.mode;
        EXPECT_EQ(g_library.initialised.load(), s.initialisedAfter) << "mode " << s.mode;
        // 3 is only returned, never kept.
        EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND) << "mode " << s.mode;
    }
}

TEST_F(FrameTest, ExportsRefuseWorkWhileUninitialised) {
    HostWindow host;
    setLastError(QL_ERR_NOT_FOUND);
    // These return 6 and keep the earlier error.
    EXPECT_EQ(QL_GetNewspaper(0), QL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(QL_GetNewspaper(1), QL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(QL_ResyncNewspaper(), QL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);

    // These keep 6.
    struct Call {
        const char *name;
        bool (*call)(HostWindow &);  // true when the result says "failed"
    };
    const Call calls[] = {
        {"RegisterCallback",
         [](HostWindow &h) { return QL_RegisterCallback(h.handle(), 1034) == 0; }},
        {"DeleteNewspaper",
         [](HostWindow &) { return QL_DeleteNewspaper(0) == QL_ERR_NOT_INITIALIZED; }},
        {"FindFirstNewspaper", [](HostWindow &) { return QL_FindFirstNewspaper() == nullptr; }},
        {"FindNextNewspaper", [](HostWindow &) { return QL_FindNextNewspaper() == nullptr; }},
        {"FindFirstResort", [](HostWindow &) { return QL_FindFirstResort(0) == nullptr; }},
        {"FindNextResort", [](HostWindow &) { return QL_FindNextResort(0) == nullptr; }},
        {"FindFirstArticle", [](HostWindow &) { return QL_FindFirstArticle(1) == nullptr; }},
        {"FindNextArticle", [](HostWindow &) { return QL_FindNextArticle(1) == nullptr; }},
        {"FindFirstParagraph", [](HostWindow &) { return QL_FindFirstParagraph(2) == nullptr; }},
        {"FindNextParagraph", [](HostWindow &) { return QL_FindNextParagraph(2) == nullptr; }},
    };
    for (const Call &c : calls) {
        setLastError(QL_OK);
        EXPECT_TRUE(c.call(host)) << c.name;
        EXPECT_EQ(QL_DllError(), QL_ERR_NOT_INITIALIZED) << c.name;
    }
    EXPECT_EQ(hostRegistration().window, nullptr);

    // These work in both states.
    EXPECT_EQ(QL_UseEnhancedInterface(), 1);
    EXPECT_EQ(QL_CancelDownload(), 1);
    QL_WantUpdate();
    EXPECT_EQ(g_library.enhancedInterface.load(), 1);
    EXPECT_EQ(g_library.cancelRequested.load(), 1);
    EXPECT_EQ(g_library.wantUpdate.load(), 1);
    EXPECT_EQ(QL_GetNewspaperListFromHD(), nullptr);
    QL_RemoveNewspaperTree(nullptr);
}

TEST_F(FrameTest, MissingConfigurationKeepsNineAndStaysUninitialised) {
    EXPECT_EQ(QL_Initialize(1), QL_ERR_CONFIG);
    EXPECT_EQ(QL_DllError(), QL_ERR_CONFIG);
    EXPECT_EQ(QL_FindFirstNewspaper(), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_INITIALIZED);
    // A later call reads everything again.
    configure();
    EXPECT_EQ(QL_Initialize(1), QL_OK);
}

TEST_F(FrameTest, FindsOnAnEmptyStoreKeepEightAndSuccessKeepsZero) {
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(QL_FindFirstNewspaper(), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    EXPECT_EQ(QL_FindFirstResort(0), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    EXPECT_EQ(QL_DeleteNewspaper(0), QL_ERR_NOT_FOUND);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    void *block = guardedAlloc(16);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(QL_DllError(), QL_OK);
    free(block);
}

TEST_F(FrameTest, RegistrationSurvivesShutdownAndNullSilences) {
    HostWindow host;
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(QL_RegisterCallback(host.handle(), 1034), 1);
    ASSERT_EQ(QL_Initialize(0), QL_OK);

    knobs::setAllocator(failingAllocator);
    EXPECT_EQ(guardedAlloc(10), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NO_MEMORY);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, 1034u);
    EXPECT_EQ(g_received[0].category, uintptr_t(QL_NOTIFY_LIBRARYERROR));
    EXPECT_EQ(g_received[0].code, QL_ERR_NO_MEMORY);

    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(QL_RegisterCallback(nullptr, 0), 1);
    EXPECT_EQ(guardedAlloc(10), nullptr);
    EXPECT_EQ(g_received.size(), 1u) << "a null window must silence the library";

    knobs::setAllocator(nullptr);
    void *block = guardedAlloc(10);
    EXPECT_EQ(QL_DllError(), QL_OK) << "the next good allocation clears 7";
    free(block);
}

TEST_F(FrameTest, ShutdownKeepsSwitchesErrorAndRegistration) {
    HostWindow host;
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    QL_RegisterCallback(host.handle(), 77);
    QL_WantUpdate();
    QL_CancelDownload();
    QL_UseEnhancedInterface();
    setLastError(QL_ERR_NOT_FOUND);
    ASSERT_EQ(QL_Initialize(0), QL_OK);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
    EXPECT_EQ(g_library.wantUpdate.load(), 1);
    EXPECT_EQ(g_library.cancelRequested.load(), 1);
    EXPECT_EQ(g_library.enhancedInterface.load(), 1);
    EXPECT_EQ(hostRegistration().window, host.handle());
    EXPECT_EQ(hostRegistration().message, 77u);
}

TEST_F(FrameTest, ResyncRereadsSettingsAndLogsIt) {
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(QL_ResyncNewspaper(), QL_OK);
    EXPECT_EQ(g_library.initialised.load(), 1);
    std::string log = readWholeFile(news_ + "qlapi.log");
#ifdef _WIN32
    const std::string nl = "\r\n";
#else
    const std::string nl = "\n";
#endif
    EXPECT_NE(log.find("\tQL_ResyncNewspaper was called" + nl), std::string::npos) << log;
    if (g_library.clientKey) {
        EXPECT_NE(log.find(std::string("\tSID: ") + g_library.clientKey + nl), std::string::npos)
            << log;
    }

    // The settings become unreadable: resync still answers 0, and afterwards
    // the library is uninitialised.
    writeSettings("[FILES]\nPATH=\n");
    EXPECT_EQ(QL_ResyncNewspaper(), QL_OK);
    EXPECT_EQ(g_library.initialised.load(), 0);
    EXPECT_EQ(QL_FindFirstNewspaper(), nullptr);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_INITIALIZED);
}

TEST_F(FrameTest, EnhancedInterfaceTakesEffectAtTheNextInitialisation) {
    configure();
    std::string regNews = makeFolder("registry-news");
    platform::regWriteText("Software\\VKT\\QLAPI", "Method", "php");
    platform::regWriteText("Software\\VKT\\QLAPI", "PATH", regNews.c_str());
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    QL_UseEnhancedInterface();
    EXPECT_EQ(std::string(g_config.newspaperDir), news_) << "already read: unchanged";
    ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
    EXPECT_EQ(std::string(g_config.newspaperDir), regNews);
}

}  // namespace
