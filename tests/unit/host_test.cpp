// The shipped library as a host meets it: loaded at run time, every export
// looked up by name, driven only through them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "qlapi.h"

namespace {

const char *const kExports[] = {
    "QL_Initialize",          "QL_DllError",
    "QL_RegisterCallback",    "QL_UseEnhancedInterface",
    "QL_WantUpdate",          "QL_CancelDownload",
    "QL_GetNewspaper",        "QL_ResyncNewspaper",
    "QL_DeleteNewspaper",     "QL_GetNewspaperListFromHD",
    "QL_RemoveNewspaperTree", "QL_FindFirstNewspaper",
    "QL_FindNextNewspaper",   "QL_FindFirstResort",
    "QL_FindNextResort",      "QL_FindFirstArticle",
    "QL_FindNextArticle",     "QL_FindFirstParagraph",
    "QL_FindNextParagraph",   "QL_GetNewspaperFile",
    "QL_KeepNewspaper",       "QL_TakeNewspaperReport",
};

class Library {
  public:
    Library() {
#ifdef _WIN32
        handle_ = LoadLibraryA(QLAPI_LIBRARY);
#else
        handle_ = dlopen(QLAPI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~Library() {
#ifdef _WIN32
        if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
#else
        if (handle_) dlclose(handle_);
#endif
    }
    bool loaded() const { return handle_ != nullptr; }
    void *symbol(const char *name) const {
#ifdef _WIN32
        return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return dlsym(handle_, name);
#endif
    }
    template <typename F>
    F get(const char *name) const {
        return reinterpret_cast<F>(symbol(name));
    }

  private:
    void *handle_ = nullptr;
};

// Settings where the library reads them, with the newspaper folder given.
std::string settingsPath() {
#ifdef _WIN32
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\qlapi.ini";
#else
    return std::string(getenv("QLAPI_HOME")) + "/qlapi.ini";
#endif
}

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        // Tests run side by side: each has a folder of its own.
        base_ = fs::temp_directory_path() /
                (std::string("qlapi-host-") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base_);
        fs::create_directories(base_ / "news");
#ifndef _WIN32
        setenv("QLAPI_HOME", (base_ / "home").string().c_str(), 1);
        fs::create_directories(base_ / "home");
#endif
        fs::remove(settingsPath());
    }
    void TearDown() override {
        std::filesystem::remove(settingsPath());
        std::filesystem::remove_all(base_);
    }
    void writeSettings(const std::string &text) {
        std::ofstream(settingsPath(), std::ios::binary | std::ios::trunc) << text;
    }
    std::filesystem::path base_;
};

TEST_F(HostTest, EveryExportIsThereByItsPlainName) {
    Library lib;
    ASSERT_TRUE(lib.loaded()) << QLAPI_LIBRARY;
    for (const char *name : kExports) EXPECT_NE(lib.symbol(name), nullptr) << name;
    // Nothing of the inside leaks out under a plain name.
    for (const char *name : {"writeLog", "readConfiguration", "guardedAlloc", "g_library"})
        EXPECT_EQ(lib.symbol(name), nullptr) << name;
}

TEST_F(HostTest, LifeCycleThroughTheExports) {
    Library lib;
    ASSERT_TRUE(lib.loaded());
    auto initialize = lib.get<int(QLAPI_CALL *)(int)>("QL_Initialize");
    auto dllError = lib.get<int(QLAPI_CALL *)()>("QL_DllError");
    auto findFirst = lib.get<const NewspaperRecord *(QLAPI_CALL *)()>("QL_FindFirstNewspaper");
    auto resync = lib.get<int(QLAPI_CALL *)()>("QL_ResyncNewspaper");
    auto getNewspaper = lib.get<int(QLAPI_CALL *)(int)>("QL_GetNewspaper");

    EXPECT_EQ(dllError(), QL_OK) << "loading does nothing";
    EXPECT_EQ(initialize(0), QL_ERR_WRONG_STATE);
    EXPECT_EQ(initialize(1), QL_ERR_CONFIG) << "no settings yet";
    EXPECT_EQ(dllError(), QL_ERR_CONFIG);
    EXPECT_EQ(findFirst(), nullptr);
    EXPECT_EQ(dllError(), QL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(getNewspaper(0), QL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(resync(), QL_ERR_NOT_INITIALIZED);

    std::string news = (base_ / "news").string();
    writeSettings("[FILES]\nPATH=" + news +
                  "\n[CONNECTIONS]\nServer=vkt\n[VKT]\nappl=internal\n"
                  "url=http://127.0.0.1/q\nlogin=reader\npassword=secret\nclass=C\n");
    EXPECT_EQ(initialize(1), QL_OK);
    EXPECT_EQ(initialize(1), QL_ERR_WRONG_STATE);
    EXPECT_EQ(resync(), QL_OK);
    EXPECT_EQ(initialize(0), QL_OK);

    std::ifstream log(base_ / "news" / "qlapi.log", std::ios::binary);
    std::string first;
    std::getline(log, first);
    EXPECT_EQ(first.rfind("V1.41 Multiplatform (Win/Linux) / Multiprotocol / ActiveSync / "
                          "ProxyAuth ",
                          0),
              0u)
        << first;
}

// A host that shuts the library down and unloads it while a fetch runs
// does not pull the code from under the fetch's threads: the library stays
// loaded, the fetch ends by itself, and a new load finds it.
TEST_F(HostTest, UnloadingWhileAFetchRuns) {
    std::string news = (base_ / "news").string();
#ifdef _WIN32
    std::string transfer = "Z:" + std::string(QL_TOOLS_DIR) + "/fake_transfer.exe";
    for (char &c : transfer) c = c == '/' ? '\\' : c;
#else
    std::string transfer = std::string(QL_TOOLS_DIR) + "/fake_transfer";
#endif
    writeSettings("[FILES]\nPATH=" + news + "\n[CONNECTIONS]\nServer=vkt\n[VKT]\nappl=" + transfer +
                  "\ncommand=fake_transfer --delay 500 %10 TransactionDone\n"
                  "url=http://127.0.0.1/q\nlogin=reader\npassword=secret\n"
                  "class=HttpPostmasterClass\nneedsmodem=0\ndays=0,1,2,3,4,5,6\n");
    {
        Library lib;
        ASSERT_TRUE(lib.loaded());
        ASSERT_EQ(lib.get<int(QLAPI_CALL *)(int)>("QL_Initialize")(1), QL_OK);
        ASSERT_EQ(lib.get<int(QLAPI_CALL *)(int)>("QL_GetNewspaper")(1), QL_OK);
        EXPECT_EQ(lib.get<int(QLAPI_CALL *)(int)>("QL_Initialize")(0), QL_OK);
    }  // unloaded by its host
    std::string log;
    for (int i = 0; i < 300 && log.find("Terminated on its own") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ifstream in(base_ / "news" / "qlapi.log", std::ios::binary);
        log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_NE(log.find("Final receipt after Transaction was: TransactionDone"), std::string::npos)
        << log;
    Library again;
    ASSERT_TRUE(again.loaded());
    EXPECT_EQ(again.get<int(QLAPI_CALL *)(int)>("QL_Initialize")(1), QL_OK);
    EXPECT_EQ(again.get<int(QLAPI_CALL *)(int)>("QL_Initialize")(0), QL_OK);
#ifndef _WIN32
    shm_unlink(("/qlapi_shared_mem-" + std::to_string(getuid())).c_str());  // the fetch's block
#endif
}

}  // namespace
