// A clean library for every test: its own folders, settings and registry.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qlapi.h"

// Each test gets a fresh temporary folder, an empty settings file and an
// empty VKT registry tree, and a library in its state at load.
class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Folder of this test, ending in the path separator.
    const std::string &dir() const { return dir_; }
    // A folder below dir(), created, ending in the path separator.
    std::string makeFolder(const std::string &name) const;

    // Writes qlapi.ini where the library reads it.
    void writeSettings(const std::string &text) const;
    // A settings file with one complete server and the given extras.
    void writeMinimalSettings(const std::string &newspaperDir,
                              const std::string &extra = std::string()) const;

  private:
    std::string dir_;
};

// A host window that records every notification it receives (a real window
// on Windows, the library's host record elsewhere).
struct Notification {
    unsigned message;
    uintptr_t category;
    intptr_t code;
};
extern std::vector<Notification> g_received;  // guarded: use received()
// Set while the recording host takes a notification on this thread.
extern thread_local bool t_inHostCallback;
std::vector<Notification> received();
void clearReceived();

// Pumps this thread's messages (the host window lives here) until done
// returns true; false when timeoutMs passed first.
bool pumpUntil(const std::function<bool()> &done, int timeoutMs);

// Waits until the running fetch has ended (its threads released the
// library), pumping this thread's messages meanwhile. False on timeout.
bool waitForFetchEnd(int timeoutMs);

// Waits until every thread of the library has left, an abandoned fetch's
// too, pumping this thread's messages meanwhile. False on timeout.
bool waitForLibraryThreads(int timeoutMs);

class HostWindow {
  public:
    HostWindow();
    ~HostWindow();
    QL_HostWindow handle();

  private:
#ifdef _WIN32
    HWND window_;
#else
    QL_HostWindowRec window_;
#endif
};

std::string readWholeFile(const std::string &path);
void writeWholeFile(const std::string &path, const std::string &content);
bool fileExists(const std::string &path);
// Sets an environment variable of this process; an empty value removes it.
void setEnvironment(const std::string &name, const std::string &value);

// A file below tests/data, as the program under test names it.
std::string testDataPath(const std::string &relative);
// A path of this machine as the program under test names it: on Windows
// (under Wine) the Unix path on drive Z: with backslashes.
std::string nativePath(const std::string &unixPath);
