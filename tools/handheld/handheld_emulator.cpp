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
#include "handheld_settings.h"

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
using namespace handheld;

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
