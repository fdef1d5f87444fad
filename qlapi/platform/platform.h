// The library's only door to the operating system. Everything above this
// header is portable; win32/ and posix/ each implement it once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "qlapi.h"

namespace platform {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr char kLineBreak[] = "\r\n";  // of the system's text files
#else
constexpr char kPathSeparator = '/';
constexpr char kLineBreak[] = "\n";
#endif

// ---- Registry of the current user ---------------------------------------
// Key paths are relative to the current user's root and use backslashes
// ("Software\\VKT\\QLAPI\\"); a trailing backslash is allowed. Names of keys
// and values are compared without regard to case.

enum class RegType { text, number, other };

struct RegValue {
    RegType type = RegType::other;
    std::string text;     // for text values
    uint32_t number = 0;  // for number values
};

bool regKeyExists(const char *key);
bool regCreateKey(const char *key);
// False when the key or the value is absent.
bool regReadValue(const char *key, const char *name, RegValue &out);
// Both create the key when it is missing.
bool regWriteText(const char *key, const char *name, const char *text);
bool regWriteNumber(const char *key, const char *name, uint32_t value);
// Removes the key with everything below it; true when it is gone afterwards.
bool regDeleteTree(const char *key);

// ---- The settings file qlapi.ini --------------------------------------------
// Sections and keys are found without regard to case. The value (or def when
// the key is absent) is copied into buf, cut to size - 1 characters and
// zero-terminated; returns the number of characters copied.
size_t profileGetString(const char *section, const char *key, const char *def, char *buf,
                        size_t size);
bool profileWriteString(const char *section, const char *key, const char *value);
// Where the settings file lies: the Windows directory, or the home folder.
std::string settingsFilePath();

// The library's home folder: the Windows directory, or $QLAPI_HOME,
// $XDG_CONFIG_HOME/qlapi, ~/.config/qlapi. Never ends in a separator.
std::string homeDir();

// ---- Host window ----------------------------------------------------------------
// Sends the message and waits until the window procedure has returned.
intptr_t sendHostMessage(QL_HostWindow window, unsigned message, uintptr_t wParam, intptr_t lParam);

// ---- Account ------------------------------------------------------------------
// The security identifier of the account that runs the process.
struct UserSid {
    uint8_t revision = 1;
    uint8_t authority[6] = {};
    std::vector<uint32_t> subAuthorities;
};
bool readProcessUserSid(UserSid &out);

// ---- Time -------------------------------------------------------------------------
time_t currentTime();  // tests may replace the clock, see knobs.h
bool toLocalTime(time_t t, std::tm &out);

// ---- Files ------------------------------------------------------------------------
// Whether the library may rewrite the file: it opens for reading and
// writing. The file is not changed.
bool canRewriteFile(const char *path);

// Writes size bytes into the file temp (created or emptied), flushes them
// to the disk (fsync, FlushFileBuffers) and then puts temp in target's place
// in one step, so that neither a crash nor a power cut leaves target empty
// or half written. On failure temp is removed and target is as it was.
bool writeFileReplacing(const char *target, const char *temp, const void *data, size_t size);

// A file of a folder listing. Hidden and system files (dot files on POSIX)
// are marked so.
struct DirEntry {
    std::string name;
    uint64_t size = 0;
    bool hiddenOrSystem = false;
};
// The files of folder (which ends in a separator) whose names end in suffix,
// compared without regard to case; sorted by name without regard to case, so
// that every system lists a folder in the same order.
std::vector<DirEntry> listFiles(const std::string &folder, const std::string &suffix);

// ---- Memory -------------------------------------------------------------------------
// Tells the system that a large block from malloc will be filled from
// start to end soon (Linux: backed by huge pages where it can be, which
// saves most of the page faults). Only a hint.
void adviseLargeBlock(void *block, size_t size);

// ---- The library itself ------------------------------------------------------------
// Keeps the library loaded until the process ends, even when its host
// unloads it: threads of an abandoned fetch may still run its code.
void pinLibrary();

// ---- Waiting ------------------------------------------------------------------------
void sleepMs(unsigned milliseconds);

// ---- Shared memory --------------------------------------------------------------------
// A named block backed by the paging file (POSIX: shm_open), created or
// opened, mapped for reading and writing. Null when it cannot be had.
struct SharedMemory {
    void *view = nullptr;
    size_t size = 0;
    uintptr_t handle = 0;
};
// On POSIX the name is the user's own ("/name-uid"), so that two users of
// one machine never meet in one block; Windows keeps the plain name.
bool openSharedMemory(const char *name, size_t size, SharedMemory &out);
void closeSharedMemory(SharedMemory &block);
// Removes the name, so that the next open makes a new block (POSIX: the
// object in /dev/shm; Windows: nothing, the block goes with its last view).
void removeSharedMemory(const char *name);

// ---- Windows of other programs --------------------------------------------------------
// A top-level window found by its class. On POSIX a program "owns a window"
// of a class by listening on a datagram socket named after the class in the
// runtime folder (see windowSocketPath).
struct WindowRef {
    uintptr_t handle = 0;
    std::string socketPath;
};
bool findWindowByClass(const char *windowClass, WindowRef &out);
bool postWindowMessage(const WindowRef &window, unsigned message);
std::string windowSocketPath(const char *windowClass);  // POSIX only

// ---- Processes ------------------------------------------------------------------------
enum class ShowWindow { normal, minimisedNoActivate, hidden };
struct ProcessStart {
    std::string program;      // the program file
    std::string commandLine;  // as Windows takes it; split into words on POSIX
    std::string folder;       // working folder; empty: the current one
    ShowWindow show = ShowWindow::normal;
    bool captureOutput = false;  // standard output and error into a pipe
};
struct ChildProcess {
    uintptr_t process = 0;  // process handle, or the pid
    uintptr_t output = 0;   // the pipe's read end when captured
    bool running = false;
};
bool startProcess(const ProcessStart &start, ChildProcess &out);
// Reads up to size bytes of the captured output: the count, 0 when nothing
// came but the pipe is open, -1 when the program has closed its output.
long readProcessOutput(ChildProcess &child, char *buffer, size_t size);
// Ends the program (and on POSIX its process group); the handles stay.
void terminateProcess(const ChildProcess &child);
// Closes the handles; with terminate, ends the program first.
void closeProcess(ChildProcess &child, bool terminate);

// ---- Environment ------------------------------------------------------------------------
// Sets "name=value" for this process and the programs it starts later.
bool setEnvironmentEntry(const char *entry);
void removeEnvironmentVariable(const char *name);
// False when the variable is not set.
bool environmentVariable(const char *name, std::string &out);

// Runs a program file through the system's command processor (cmd, /bin/sh)
// and waits for it; the file name is quoted. The program's exit code, or -1.
int runProgramAndWait(const std::string &file);

// ---- Dial-up networking ---------------------------------------------------------------
// Dials the named connection (empty: the system's default) without asking
// the user. 0 and a handle on success, else the system's error number.
uint32_t dialConnection(const char *profile, uintptr_t &handle);
void hangUpConnection(uintptr_t handle);

// ---- HTTP client ------------------------------------------------------------------------
// A session carries the user agent and the system's proxy settings (the
// Internet settings on Windows; on POSIX the http_proxy variable, whose
// "user:password@" part answers a proxy's question for credentials).
// Requests bypass every cache and write nothing to one.
struct HttpSession;
struct HttpRequest;
HttpSession *httpOpenSession(const char *userAgent);
void httpCloseSession(HttpSession *session);

// Connects to host:port and sends a GET for object (which starts with "/").
// Null when the request cannot be made or sent; error says why.
HttpRequest *httpSendRequest(HttpSession *session, const char *host, unsigned port,
                             const char *object, std::string &error);
// Sends the same request again on the same handle (after a proxy's 407).
bool httpResendRequest(HttpRequest *request, std::string &error);
// The status code of the last answer; 0 when there is none.
int httpStatus(HttpRequest *request);
// Asks the user for proxy credentials for the request, on top of owner (a
// host window, or null). POSIX has no such dialog: the credentials come
// from the proxy setting, and nothing is asked.
void httpProxyAuthDialog(HttpRequest *request, QL_HostWindow owner);
// Reads the next piece of the body: fills buffer completely unless the body
// ends first. Returns the bytes read, 0 at the end of the body, -1 when the
// connection failed or went quiet for longer than the idle limit. stop is
// looked at while waiting; when it returns true the read ends early with
// what it has (perhaps 0).
using HttpStop = bool (*)(void *context);
long httpRead(HttpRequest *request, void *buffer, size_t size, HttpStop stop, void *context);
void httpCloseRequest(HttpRequest *request);

}  // namespace platform
