#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "download/fetch_state.h"
#include "frame/knobs.h"
#include "platform/knobs.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

std::string readWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeWholeFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const std::string &path) { return fs::exists(path); }

void setEnvironment(const std::string &name, const std::string &value) {
    if (value.empty())
        platform::removeEnvironmentVariable(name.c_str());
    else
        platform::setEnvironmentEntry((name + "=" + value).c_str());
}

void LibraryTest::SetUp() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    fs::path base = fs::temp_directory_path() / ("qlapi-" + name);
    std::error_code ignored;
    fs::remove_all(base, ignored);  // a program of an earlier run may still hold a folder
    fs::create_directories(base, ignored);
    dir_ = base.string() + platform::kPathSeparator;
#ifndef _WIN32
    setenv("QLAPI_HOME", (dir_ + "home").c_str(), 1);
#endif
    fs::remove(platform::settingsFilePath());
    platform::regDeleteTree("Software\\VKT");
    platform::knobs::setClock(nullptr);
    platform::knobs::setFileFault(platform::knobs::FileFault::none);
    knobs::setAllocator(nullptr);
    knobs::resetLibrary();
}

void LibraryTest::TearDown() {
    EXPECT_TRUE(waitForFetchEnd(30000)) << "a fetch was still running";
    // Nothing is reset under a thread of the library that outlived its test.
    ASSERT_TRUE(waitForLibraryThreads(30000)) << "a thread of the library was still running";
    knobs::resetLibrary();
    knobs::setAllocator(nullptr);
    platform::knobs::setClock(nullptr);
    platform::knobs::setFileFault(platform::knobs::FileFault::none);
    fs::remove(platform::settingsFilePath());
    platform::regDeleteTree("Software\\VKT");
    std::error_code ignored;
    if (!HasFailure()) fs::remove_all(dir_, ignored);
}

std::string LibraryTest::makeFolder(const std::string &name) const {
    fs::create_directories(dir_ + name);
    return dir_ + name + platform::kPathSeparator;
}

void LibraryTest::writeSettings(const std::string &text) const {
    fs::create_directories(fs::path(platform::settingsFilePath()).parent_path());
    writeWholeFile(platform::settingsFilePath(), text);
}

void LibraryTest::writeMinimalSettings(const std::string &newspaperDir,
                                       const std::string &extra) const {
    writeSettings("[FILES]\nPATH=" + newspaperDir +
                  "\n[CONNECTIONS]\nServer=vkt\n"
                  "[VKT]\nappl=internal\nurl=http://127.0.0.1/q\nlogin=reader\n"
                  "password=secret\nclass=HttpPostmasterClass\n" +
                  extra);
}

std::string nativePath(const std::string &unixPath) {
#ifdef _WIN32
    std::string path = "Z:" + unixPath;
    for (char &c : path)
        if (c == '/') c = '\\';
    return path;
#else
    return unixPath;
#endif
}

std::string testDataPath(const std::string &relative) {
    return nativePath(std::string(QL_TEST_DATA) + "/" + relative);
}

std::vector<Notification> g_received;
static std::mutex g_receivedLock;

std::vector<Notification> received() {
    std::lock_guard<std::mutex> hold(g_receivedLock);
    return g_received;
}

void clearReceived() {
    std::lock_guard<std::mutex> hold(g_receivedLock);
    g_received.clear();
}

bool pumpUntil(const std::function<bool()> &done, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
#ifdef _WIN32
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
#endif
        if (done()) return true;
        platform::sleepMs(5);
    }
    return false;
}

bool waitForFetchEnd(int timeoutMs) {
    return pumpUntil(
        [] {
            return !g_fetchRunning.load() && g_globalThreadReleasedSignal.load() == 1 &&
                   g_watchdogsRunning.load() == 0;
        },
        timeoutMs);
}

bool waitForLibraryThreads(int timeoutMs) {
    return pumpUntil([] { return g_detachedThreads.load() == 0; }, timeoutMs);
}

#ifdef _WIN32
thread_local bool t_inHostCallback = false;  // the host's window runs on its own thread

static LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) {
        std::lock_guard<std::mutex> hold(g_receivedLock);
        g_received.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window on this thread; sends to it are plain calls.
HostWindow::HostWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QlapiTestHost";
    RegisterClassA(&wc);
    window_ = CreateWindowA("QlapiTestHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                            nullptr);
}
HostWindow::~HostWindow() { DestroyWindow(window_); }
QL_HostWindow HostWindow::handle() { return window_; }
#else
thread_local bool t_inHostCallback = false;

static intptr_t recordingProc(QL_HostWindowRec *, unsigned message, uintptr_t wParam,
                              intptr_t lParam) {
    t_inHostCallback = true;
    {
        std::lock_guard<std::mutex> hold(g_receivedLock);
        g_received.push_back({message, wParam, lParam});
    }
    t_inHostCallback = false;
    return 0;
}
HostWindow::HostWindow() : window_{recordingProc, nullptr} {}
HostWindow::~HostWindow() = default;
QL_HostWindow HostWindow::handle() { return &window_; }
#endif
