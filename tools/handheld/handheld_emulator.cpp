// The handheld emulator. The folder named by QUILLON_HANDHELD is the handheld:
//   handheld.ini     connection, version and registry (read on every call)
//   files/           the handheld's file system, "\" being files/ itself
//   connection.log   "init", "init failed" or "uninit", one line per call
//   processes.log    "program|command line" for every program started
//
// handheld.ini, UTF-8:
//   connected=yes|no        (yes)
//   version=MAJOR.MINOR     (5.01)
//   init=ok|fail|block      (ok); block: CeRapiInit waits until the setting
//                           says otherwise or another thread calls CeRapiUninit
//   free=BYTES              the handheld is full once a session wrote this much;
//                           CeGetStoreInformation tells what is left of it
//   writefail=BYTES         writes fail (error 29) once a session wrote this much
//   writedelay=MS           each write takes this long
//   block=NAME              a write to the file NAME waits until the setting
//                           is gone or the handheld is unplugged (the test
//                           sees the file, made before the write, and acts)
//   running=NAME[,NAME]     programs running on the handheld: their files
//                           cannot be replaced or deleted (error 32)
//   [HKEY_CURRENT_USER\Software\VKT\QLAPI]
//   NAME=text               (PATH=\My Documents\Zeitungen\ for instance)
// Settings come before the first [key]; each key holds string values, "@" is
// the key's default value. Key paths and value names ignore case. Blank
// lines and lines starting with ";" are skipped.
//
// The calls behave as the remote interface documents them: the last error
// is set only by calls that fail (and by CeCreateFile, which sets 0 or 183),
// never by the registry calls; a call made without a connection, or after
// the handheld has gone, fails with its error told by CeRapiGetError, not by
// the last error. File names ignore case on every desktop system, and a
// handheld path holds fewer than 260 characters.
#include "handheld_emulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr size_t kMaxPath = 260;  // terminator included
// What CeRapiGetError tells after a call that found no connection:
// HRESULT_FROM_WIN32(WSAECONNRESET).
constexpr int32_t kConnectionLost = static_cast<int32_t>(0x80072746u);
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInvalidName = 123;
constexpr int32_t kFailed = static_cast<int32_t>(0x80004005u);  // E_FAIL
constexpr uint32_t kDeviceId = 0x4C510001u;
constexpr uint32_t kPlatformWindowsCe = 3;

CeKey localMachine() {
    return reinterpret_cast<CeKey>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
}

using Values = std::map<std::u16string, std::u16string>;  // folded name -> text

struct Settings {
    bool connected = true;
    bool initOk = true;
    bool initBlocks = false;
    uint64_t freeBytes = UINT64_MAX;
    uint64_t writeFailAt = UINT64_MAX;
    unsigned writeDelayMs = 0;
    std::u16string blockedFile;           // folded name
    std::vector<std::u16string> running;  // folded file names
    uint32_t major = 5;
    uint32_t minor = 1;
    std::map<std::u16string, Values> registry;  // folded key path -> values
};

// Everything the calls share; the reader calls from two threads.
struct State {
    std::mutex mutex;
    bool initialised = false;
    bool releaseInit = false;  // CeRapiUninit ends a blocked CeRapiInit
    uint32_t lastError = 0;
    int32_t rapiError = 0;      // of the last call, for CeRapiGetError
    uint64_t bytesWritten = 0;  // in this session
    uintptr_t nextHandle = 1;
    std::map<uintptr_t, FILE *> files;
    std::map<uintptr_t, std::u16string> fileNames;          // folded, of the open files
    std::map<uintptr_t, std::vector<CeFindData>> searches;  // what is left to find
    std::map<uintptr_t, std::u16string> keys;               // folded key paths
};

State g;

// ---- texts

std::u16string fromUtf8(const std::string &text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i++]);
        uint32_t code = c;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        if (more) code &= 0x3F >> more;
        for (; more > 0 && i < text.size() && (text[i] & 0xC0) == 0x80; --more)
            code = code << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
        if (more > 0 || (c >= 0x80 && c < 0xC0) || c >= 0xF8 || code > 0x10FFFF) code = 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string toUtf8(const std::u16string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;  // a lone half
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::u16string orEmpty(const char16_t *s) { return s ? std::u16string(s) : std::u16string(); }

// Case folding for names: ASCII and Latin-1 letters.
std::u16string folded(std::u16string s) {
    for (char16_t &c : s)
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
    return s;
}

std::u16string trimmed(const std::u16string &s) {
    size_t begin = s.find_first_not_of(u" \t\r");
    if (begin == std::u16string::npos) return std::u16string();
    return s.substr(begin, s.find_last_not_of(u" \t\r") - begin + 1);
}

// The parts of a path, split at "\" (or "/"), empty parts dropped.
std::vector<std::u16string> parts(const std::u16string &path) {
    std::vector<std::u16string> out;
    size_t begin = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != u'\\' && path[i] != u'/') continue;
        if (i > begin) out.push_back(path.substr(begin, i - begin));
        begin = i + 1;
    }
    return out;
}

// A key path as the registry table keeps it: folded, single "\" between parts.
std::u16string keyPath(const std::u16string &path) {
    std::u16string out;
    for (const std::u16string &part : parts(path)) out += (out.empty() ? u"" : u"\\") + part;
    return folded(out);
}

// ---- the desktop folder

fs::path pathPart(const std::u16string &part) {
#ifdef _WIN32
    return fs::path(std::wstring(part.begin(), part.end()));
#else
    return fs::path(toUtf8(part));
#endif
}

// The handheld's folder; empty when no handheld is set up.
fs::path rootFolder() {
#ifdef _WIN32
    // Read afresh every time: the tests change it with SetEnvironmentVariable.
    std::wstring value(64, L'\0');
    for (;;) {
        DWORD n = GetEnvironmentVariableW(L"QUILLON_HANDHELD", &value[0],
                                          static_cast<DWORD>(value.size()));
        if (n < value.size()) {
            value.resize(n);
            break;
        }
        value.resize(n);
    }
    // As a long path: a handheld path of 259 characters inside a folder on
    // the desktop is longer than the desktop's usual limit.
    if (value.empty() || value.rfind(L"\\\\?\\", 0) == 0) return fs::path(value);
    std::error_code ignored;
    return fs::path(L"\\\\?\\" + fs::absolute(fs::path(value), ignored).make_preferred().wstring());
#else
    const char *value = getenv("QUILLON_HANDHELD");
    return fs::path(value ? value : "");
#endif
}

FILE *openFile(const fs::path &path, const char *mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + strlen(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return fopen(path.c_str(), mode);
#endif
}

std::string readFile(const fs::path &path) {
    std::string content;
    if (FILE *in = openFile(path, "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, n);
        fclose(in);
    }
    return content;
}

void appendLine(const fs::path &path, const std::string &line) {
    if (FILE *out = openFile(path, "ab")) {
        fwrite(line.data(), 1, line.size(), out);
        fputc('\n', out);
        fclose(out);
    }
}

Settings readSettings(const fs::path &root) {
    Settings settings;
    std::string content = readFile(root / "handheld.ini");
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    Values *section = nullptr;
    for (size_t pos = 0; pos < content.size();) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::u16string line = trimmed(fromUtf8(content.substr(pos, end - pos)));
        pos = end + 1;
        if (line.empty() || line[0] == u';') continue;
        if (line.front() == u'[' && line.back() == u']') {
            section = &settings.registry[keyPath(line.substr(1, line.size() - 2))];
            continue;
        }
        size_t equals = line.find(u'=');
        if (equals == std::u16string::npos) continue;
        std::u16string name = folded(trimmed(line.substr(0, equals)));
        std::u16string value = trimmed(line.substr(equals + 1));
        if (section) {
            (*section)[name == u"@" ? u"" : name] = value;
        } else if (name == u"connected") {
            settings.connected = folded(value) != u"no";
        } else if (name == u"init") {
            settings.initOk = folded(value) != u"fail";
            settings.initBlocks = folded(value) == u"block";
        } else if (name == u"free" || name == u"writefail") {
            (name == u"free" ? settings.freeBytes : settings.writeFailAt) =
                strtoull(toUtf8(value).c_str(), nullptr, 10);
        } else if (name == u"block") {
            settings.blockedFile = folded(value);
        } else if (name == u"writedelay") {
            settings.writeDelayMs =
                static_cast<unsigned>(strtoul(toUtf8(value).c_str(), nullptr, 10));
        } else if (name == u"running") {
            std::u16string list = folded(value);
            for (size_t at = 0; at <= list.size();) {
                size_t comma = std::min(list.find(u',', at), list.size());
                if (comma > at) settings.running.push_back(trimmed(list.substr(at, comma - at)));
                at = comma + 1;
            }
        } else if (name == u"version") {
            std::string version = toUtf8(value);
            size_t dot = version.find('.');
            settings.major = static_cast<uint32_t>(strtoul(version.c_str(), nullptr, 10));
            settings.minor =
                dot == std::string::npos
                    ? 0
                    : static_cast<uint32_t>(strtoul(version.c_str() + dot + 1, nullptr, 10));
        }
    }
    return settings;
}

// The settings with "connected" set: the first such line before any [key]
// is replaced, or a line is put first.
std::string withConnected(const std::string &content, bool connected) {
    const std::string line = connected ? "connected=yes" : "connected=no";
    const size_t start = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t pos = start; pos < content.size();) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::u16string text = trimmed(fromUtf8(content.substr(pos, end - pos)));
        if (!text.empty() && text.front() == u'[') break;
        size_t equals = text.find(u'=');
        if (equals != std::u16string::npos &&
            folded(trimmed(text.substr(0, equals))) == u"connected")
            return content.substr(0, pos) + line + content.substr(end);
        pos = end + 1;
    }
    return content.substr(0, start) + line + "\n" + content.substr(start);
}

// ---- sessions

struct Session {
    fs::path root;
    Settings settings;
};

// The open session; false when there is none, or when the handheld has gone
// (connected=no) since it was opened. Either is a failure of the connection,
// told by CeRapiGetError; the last error stays as it was.
bool session(Session &s) {
    s.root = rootFolder();
    if (g.initialised && !s.root.empty()) {
        s.settings = readSettings(s.root);
        if (s.settings.connected) {
            g.rapiError = 0;
            return true;
        }
    }
    g.rapiError = kConnectionLost;
    return false;
}

int32_t failed(uint32_t error) {
    g.lastError = error;
    return 0;
}

// The registry calls answer with the error itself and leave the last error.
int32_t answer(uint32_t error) { return static_cast<int32_t>(error); }

CeHandle invalid(uint32_t error) {
    g.lastError = error;
    return ceInvalidHandle();
}

// The entries of a desktop folder: name, folder or not, size. On Windows
// through the system's own search, which takes the long paths a deep
// handheld folder needs (the library's directory walk does not).
struct FolderEntry {
    std::u16string name;
    bool folder;
    uint64_t size;
};
std::vector<FolderEntry> folderEntries(const fs::path &folder) {
    std::vector<FolderEntry> out;
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder / L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        out.push_back({std::u16string(name.begin(), name.end()),
                       (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow});
    } while (FindNextFileW(search, &data));
    FindClose(search);
#else
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(folder, ignored)) {
        bool isFolder = entry.is_directory(ignored);
        out.push_back({fromUtf8(entry.path().filename().u8string()), isFolder,
                       isFolder ? 0 : static_cast<uint64_t>(entry.file_size(ignored))});
    }
#endif
    return out;
}

// The handheld ignores case in names: an entry of the folder that differs
// only in case is the one meant.
fs::path existingName(const fs::path &folder, const std::u16string &name) {
    std::u16string wanted = folded(name);
    for (const FolderEntry &entry : folderEntries(folder))
        if (folded(entry.name) == wanted) return pathPart(entry.name);
    return pathPart(name);
}

// The desktop file of a handheld path; 0, or the error for a path that is
// not absolute, climbs with "..", names no file or lies in a missing folder.
uint32_t desktopFile(const fs::path &root, const char16_t *path, fs::path &file) {
    if (!path || path[0] != u'\\') return kCeErrorPathNotFound;
    if (orEmpty(path).size() >= kMaxPath) return kErrorFilenameTooLong;
    std::vector<std::u16string> names = parts(path);
    if (names.empty()) return kCeErrorPathNotFound;
    std::error_code ignored;
    fs::create_directory(root / "files", ignored);
    file = root / "files";
    for (const std::u16string &name : names) {
        if (name == u"." || name == u"..") return kCeErrorPathNotFound;
        for (char16_t c : name)
            if (c < 0x20 || std::u16string(u":*?\"<>|").find(c) != std::u16string::npos)
                return kErrorInvalidName;
        file /= existingName(file, name);
    }
    if (!fs::is_directory(file.parent_path(), ignored)) return kCeErrorPathNotFound;
    return 0;
}

// Whether the file is held by a program running on the handheld.
bool heldByProgram(const Settings &settings, const fs::path &file) {
    std::u16string name = folded(fromUtf8(file.filename().u8string()));
    return std::find(settings.running.begin(), settings.running.end(), name) !=
           settings.running.end();
}

void closeAll() {
    for (auto &open : g.files) fclose(open.second);
    g.files.clear();
    g.fileNames.clear();
    g.searches.clear();
    g.keys.clear();
}

// The folded path of a root key or an open key; empty when unknown.
std::u16string keyOf(CeKey key) {
    if (key == ceCurrentUser()) return u"hkey_current_user";
    if (key == localMachine()) return u"hkey_local_machine";
    auto open = g.keys.find(reinterpret_cast<uintptr_t>(key));
    return open == g.keys.end() ? std::u16string() : open->second;
}

// A key exists when it has a section, or a section lies below it.
bool keyExists(const Settings &settings, const std::u16string &path) {
    for (const auto &section : settings.registry) {
        const std::u16string &name = section.first;
        if (name.compare(0, path.size(), path) == 0 &&
            (name.size() == path.size() || name[path.size()] == u'\\'))
            return true;
    }
    return false;
}

// Whether a folded name matches a folded pattern of "*" and "?".
bool matches(const std::u16string &name, const std::u16string &pattern) {
    size_t n = 0, p = 0, starAt = std::u16string::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::u16string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

CeFindData foundEntry(const FolderEntry &entry) {
    CeFindData found = {};
    found.attributes = entry.folder ? kCeDirectory : kCeNormalFile;
    found.sizeHigh = static_cast<uint32_t>(entry.size >> 32);
    found.sizeLow = static_cast<uint32_t>(entry.size);
    entry.name.copy(found.name, std::min(entry.name.size(), kMaxPath - 1));
    return found;
}

// The room a session has left: what free= allows less what it wrote.
uint64_t roomLeft(const Settings &settings) {
    return settings.freeBytes > g.bytesWritten ? settings.freeBytes - g.bytesWritten : 0;
}

}  // namespace

extern "C" {

uint32_t CE_CALL CeGetDeviceId() {
    std::lock_guard<std::mutex> lock(g.mutex);
    fs::path root = rootFolder();
    return !root.empty() && readSettings(root).connected ? kDeviceId : 0;
}

int32_t CE_CALL CeRapiInit() {
    std::unique_lock<std::mutex> lock(g.mutex);
    fs::path root = rootFolder();
    if (root.empty()) return kFailed;
    Settings settings = readSettings(root);
    // Blocked, it waits without the lock, so that CeRapiUninit can end it.
    g.releaseInit = false;
    while (settings.initBlocks) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lock.lock();
        if (g.releaseInit) {
            appendLine(root / "connection.log", "init released");
            return kFailed;
        }
        settings = readSettings(root);
    }
    bool ok = settings.connected && settings.initOk;
    appendLine(root / "connection.log", ok ? "init" : "init failed");
    if (!ok) return kFailed;
    g.initialised = true;
    g.bytesWritten = 0;
    return 0;
}

int32_t CE_CALL CeRapiUninit() {
    std::lock_guard<std::mutex> lock(g.mutex);
    closeAll();
    g.initialised = false;
    g.releaseInit = true;
    fs::path root = rootFolder();
    if (!root.empty()) appendLine(root / "connection.log", "uninit");
    return 0;
}

CeHandle CE_CALL CeCreateFile(const char16_t *path, uint32_t, uint32_t, void *,
                              uint32_t disposition, uint32_t, CeHandle) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return ceInvalidHandle();
    fs::path file;
    if (uint32_t error = desktopFile(s.root, path, file)) return invalid(error);
    if (disposition != kCeCreateNew && disposition != kCeCreateAlways)
        return invalid(kErrorInvalidParameter);
    std::error_code ignored;
    fs::file_status status = fs::status(file, ignored);
    if (fs::is_directory(status)) return invalid(kErrorAccessDenied);
    bool existed = fs::exists(status);
    if (existed && disposition == kCeCreateNew) return invalid(kCeErrorFileExists);
    if (existed && heldByProgram(s.settings, file)) return invalid(kErrorSharingViolation);
    FILE *out = openFile(file, "wb");
    if (!out) return invalid(kErrorAccessDenied);
    uintptr_t handle = g.nextHandle++;
    g.files[handle] = out;
    g.fileNames[handle] = folded(fromUtf8(file.filename().u8string()));
    g.lastError = existed ? kCeErrorAlreadyExists : 0;
    return reinterpret_cast<CeHandle>(handle);
}

uint32_t CE_CALL CeGetLastError() {
    std::lock_guard<std::mutex> lock(g.mutex);
    return g.lastError;
}

int32_t CE_CALL CeCloseHandle(CeHandle handle) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    auto open = g.files.find(reinterpret_cast<uintptr_t>(handle));
    if (open == g.files.end()) return failed(kCeErrorInvalidHandle);
    bool closed = fclose(open->second) == 0;
    g.files.erase(open);
    g.fileNames.erase(reinterpret_cast<uintptr_t>(handle));
    if (!closed) return failed(kErrorWriteFault);
    return 1;
}

int32_t CE_CALL CeCreateProcess(const char16_t *program, const char16_t *commandLine, void *,
                                void *, int32_t, uint32_t, void *, char16_t *, void *, void *) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    fs::path file;
    std::error_code ignored;
    if (desktopFile(s.root, program, file) != 0 || !fs::is_regular_file(file, ignored))
        return failed(kCeErrorFileNotFound);
    appendLine(s.root / "processes.log",
               toUtf8(orEmpty(program)) + "|" + toUtf8(orEmpty(commandLine)));
    return 1;
}

int32_t CE_CALL CeWriteFile(CeHandle handle, const void *data, uint32_t size, uint32_t *written,
                            void *) {
    std::unique_lock<std::mutex> lock(g.mutex);
    if (written) *written = 0;
    Session s;
    if (!session(s)) return 0;
    if (s.settings.writeDelayMs) {  // a slow connection: the lock is free meanwhile
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(s.settings.writeDelayMs));
        lock.lock();
        if (!session(s)) return 0;
    }
    auto open = g.files.find(reinterpret_cast<uintptr_t>(handle));
    if (open == g.files.end()) return failed(kCeErrorInvalidHandle);
    // Held on the test's word: until it lifts the block or pulls the cable.
    const std::u16string name = g.fileNames[reinterpret_cast<uintptr_t>(handle)];
    while (!s.settings.blockedFile.empty() && s.settings.blockedFile == name) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lock.lock();
        if (!session(s)) return 0;
        if (g.files.find(reinterpret_cast<uintptr_t>(handle)) == g.files.end())
            return failed(kCeErrorInvalidHandle);  // the connection was ended meanwhile
    }
    open = g.files.find(reinterpret_cast<uintptr_t>(handle));
    if (size > 0 && !data) return failed(kErrorInvalidParameter);
    // A full handheld, or a write fault, takes what fits and fails.
    uint64_t limit = std::min(s.settings.freeBytes, s.settings.writeFailAt);
    uint64_t room = limit > g.bytesWritten ? limit - g.bytesWritten : 0;
    uint32_t part = room < size ? static_cast<uint32_t>(room) : size;
    size_t n = part > 0 ? fwrite(data, 1, part, open->second) : 0;
    g.bytesWritten += n;
    if (written) *written = static_cast<uint32_t>(n);
    // Flushed at once, so that the folder always shows what was written.
    if (fflush(open->second) != 0 || n != part) return failed(kErrorWriteFault);
    if (part < size)
        return failed(limit == s.settings.freeBytes ? kErrorDiskFull : kErrorWriteFault);
    return 1;
}

uint32_t CE_CALL CeRapiGetError() {
    std::lock_guard<std::mutex> lock(g.mutex);
    return static_cast<uint32_t>(g.rapiError);
}

int32_t CE_CALL CeRegOpenKeyEx(CeKey root, const char16_t *path, uint32_t, uint32_t, CeKey *key) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return kErrorNotReady;
    if (!key) return answer(kErrorInvalidParameter);
    std::u16string base = keyOf(root);
    if (base.empty()) return answer(kCeErrorInvalidHandle);
    std::u16string full = keyPath(base + u"\\" + orEmpty(path));
    if (!keyExists(s.settings, full)) return answer(kCeErrorFileNotFound);
    uintptr_t handle = g.nextHandle++;
    g.keys[handle] = full;
    *key = reinterpret_cast<CeKey>(handle);
    return answer(0);
}

int32_t CE_CALL CeRegQueryValueEx(CeKey key, const char16_t *name, uint32_t *, uint32_t *type,
                                  uint8_t *data, uint32_t *size) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return kErrorNotReady;
    std::u16string path = keyOf(key);
    if (path.empty()) return answer(kCeErrorInvalidHandle);
    if (data && !size) return answer(kErrorInvalidParameter);
    auto section = s.settings.registry.find(path);
    if (section == s.settings.registry.end()) return answer(kCeErrorFileNotFound);
    auto value = section->second.find(folded(orEmpty(name)));
    if (value == section->second.end()) return answer(kCeErrorFileNotFound);
    if (type) *type = kCeRegString;
    uint32_t needed = static_cast<uint32_t>((value->second.size() + 1) * sizeof(char16_t));
    if (!size) return answer(0);
    uint32_t room = *size;
    *size = needed;
    if (!data) return answer(0);
    if (room < needed) return answer(kCeErrorMoreData);
    memcpy(data, value->second.c_str(), needed);
    return answer(0);
}

int32_t CE_CALL CeRegCloseKey(CeKey key) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return kErrorNotReady;
    if (key == ceCurrentUser() || key == localMachine()) return answer(0);
    if (g.keys.erase(reinterpret_cast<uintptr_t>(key)) == 0) return answer(kCeErrorInvalidHandle);
    return answer(0);
}

int32_t CE_CALL CeGetVersionEx(CeVersionInfo *info) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    if (!info) return failed(kErrorInvalidParameter);
    info->major = s.settings.major;
    info->minor = s.settings.minor;
    info->build = 0;
    info->platform = kPlatformWindowsCe;
    memset(info->servicePack, 0, sizeof info->servicePack);
    return 1;
}

int32_t CE_CALL CeDeleteFile(const char16_t *path) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    fs::path file;
    if (uint32_t error = desktopFile(s.root, path, file)) return failed(error);
    std::error_code ignored;
    if (!fs::is_regular_file(file, ignored)) return failed(kCeErrorFileNotFound);
    if (heldByProgram(s.settings, file)) return failed(kErrorSharingViolation);
    if (!fs::remove(file, ignored)) return failed(kErrorAccessDenied);
    return 1;
}

CeHandle CE_CALL CeFindFirstFile(const char16_t *pattern, CeFindData *found) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return ceInvalidHandle();
    if (!found) return invalid(kErrorInvalidParameter);
    // The folder as any path, the last part as the pattern.
    std::u16string path = orEmpty(pattern);
    size_t cut = path.find_last_of(u"\\/");
    if (cut == std::u16string::npos || cut + 1 == path.size()) return invalid(kCeErrorPathNotFound);
    std::u16string wanted = folded(path.substr(cut + 1));
    fs::path folder;
    if (cut == 0) {
        folder = s.root / "files";
    } else if (uint32_t error = desktopFile(s.root, path.substr(0, cut).c_str(), folder)) {
        return invalid(error);
    }
    std::error_code ignored;
    if (!fs::is_directory(folder, ignored)) return invalid(kCeErrorPathNotFound);
    std::vector<CeFindData> entries;
    for (const FolderEntry &entry : folderEntries(folder))
        if (matches(folded(entry.name), wanted)) entries.push_back(foundEntry(entry));
    if (entries.empty()) return invalid(kCeErrorFileNotFound);
    *found = entries.front();
    entries.erase(entries.begin());
    uintptr_t handle = g.nextHandle++;
    g.searches[handle] = std::move(entries);
    return reinterpret_cast<CeHandle>(handle);
}

int32_t CE_CALL CeFindNextFile(CeHandle search, CeFindData *found) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    auto open = g.searches.find(reinterpret_cast<uintptr_t>(search));
    if (open == g.searches.end()) return failed(kCeErrorInvalidHandle);
    if (!found) return failed(kErrorInvalidParameter);
    if (open->second.empty()) return failed(kCeErrorNoMoreFiles);
    *found = open->second.front();
    open->second.erase(open->second.begin());
    return 1;
}

int32_t CE_CALL CeFindClose(CeHandle search) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    if (g.searches.erase(reinterpret_cast<uintptr_t>(search)) == 0)
        return failed(kCeErrorInvalidHandle);
    return 1;
}

int32_t CE_CALL CeMoveFile(const char16_t *from, const char16_t *to) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    fs::path source, target;
    if (uint32_t error = desktopFile(s.root, from, source)) return failed(error);
    if (uint32_t error = desktopFile(s.root, to, target)) return failed(error);
    std::error_code ignored;
    if (!fs::exists(source, ignored)) return failed(kCeErrorFileNotFound);
    // The same file under another case of its name is a rename, not a clash.
    if (fs::exists(target, ignored) && !fs::equivalent(source, target, ignored))
        return failed(kCeErrorAlreadyExists);
    if (heldByProgram(s.settings, source)) return failed(kErrorSharingViolation);
    std::error_code error;
    fs::rename(source, target.parent_path() / pathPart(parts(orEmpty(to)).back()), error);
    if (error) return failed(kErrorAccessDenied);
    return 1;
}

int32_t CE_CALL CeGetStoreInformation(CeStoreInformation *information) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Session s;
    if (!session(s)) return 0;
    if (!information) return failed(kErrorInvalidParameter);
    uint64_t room = std::min<uint64_t>(roomLeft(s.settings), UINT32_MAX / 2);
    information->freeSize = static_cast<uint32_t>(room);
    information->storeSize =
        static_cast<uint32_t>(room + std::min<uint64_t>(g.bytesWritten, UINT32_MAX / 2));
    return 1;
}

}  // extern "C"

DeviceApi handheldEmulatorApi() {
    DeviceApi api{};
    api.getDeviceId = CeGetDeviceId;
    api.rapiInit = CeRapiInit;
    api.rapiUninit = CeRapiUninit;
    api.createFile = CeCreateFile;
    api.getLastError = CeGetLastError;
    api.closeHandle = CeCloseHandle;
    api.createProcess = CeCreateProcess;
    api.writeFile = CeWriteFile;
    api.regOpenKeyEx = CeRegOpenKeyEx;
    api.regQueryValueEx = CeRegQueryValueEx;
    api.regCloseKey = CeRegCloseKey;
    api.getVersionEx = CeGetVersionEx;
    api.deleteFile = CeDeleteFile;
    api.rapiGetError = CeRapiGetError;
    api.findFirstFile = CeFindFirstFile;
    api.findNextFile = CeFindNextFile;
    api.findClose = CeFindClose;
    api.moveFile = CeMoveFile;
    api.getStoreInformation = CeGetStoreInformation;
    return api;
}

bool setHandheldConnected(bool connected) {
    std::lock_guard<std::mutex> lock(g.mutex);
    fs::path root = rootFolder();
    if (root.empty()) return false;
    fs::path ini = root / "handheld.ini";
    std::string content = withConnected(readFile(ini), connected);
    FILE *out = openFile(ini, "wb");
    if (!out) return false;
    bool written = fwrite(content.data(), 1, content.size(), out) == content.size();
    return fclose(out) == 0 && written;
}
