// Home folder, host window, account, time and files on POSIX systems.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "platform/knobs.h"
#include "platform/platform.h"
#include "platform/posix/posix_util.h"

namespace platform {

std::string homeDir() {
    std::string dir;
    if (const char *home = getenv("QLAPI_HOME"); home && *home) {
        dir = home;
    } else if (const char *config = getenv("XDG_CONFIG_HOME"); config && *config) {
        dir = std::string(config) + "/qlapi";
    } else {
        const char *user = getenv("HOME");
        dir = std::string(user && *user ? user : ".") + "/.config/qlapi";
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

static bool makeDirs(const std::string &dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        if (mkdir(dir.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool writeFileAtomically(const std::string &path, const std::string &content) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(path.substr(0, slash))) return false;
    std::string temp = path + ".tmp" + std::to_string(getpid());
    return writeFileReplacing(path.c_str(), temp.c_str(), content.data(), content.size());
}

intptr_t sendHostMessage(QL_HostWindow window, unsigned message, uintptr_t wParam,
                         intptr_t lParam) {
    if (!window || !window->procedure) return 0;
    return window->procedure(window, message, wParam, lParam);
}

// The account identifier a Windows machine would give a local user:
// S-1-5-21-a-b-c-uid, with a, b and c taken from the machine id, so that the
// key (which drops the uid) names the machine.
bool readProcessUserSid(UserSid &out) {
    std::string id;
    for (const char *file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::ifstream in(file);
        if (in >> id && id.size() >= 24) break;
        id.clear();
    }
    if (id.empty()) return false;
    out = UserSid();
    out.revision = 1;
    out.authority[5] = 5;
    out.subAuthorities.push_back(21);
    for (int i = 0; i < 3; ++i) {
        char *end = nullptr;
        std::string part = id.substr(static_cast<size_t>(i) * 8, 8);
        unsigned long v = strtoul(part.c_str(), &end, 16);
        if (*end != '\0') return false;
        out.subAuthorities.push_back(static_cast<uint32_t>(v));
    }
    out.subAuthorities.push_back(static_cast<uint32_t>(getuid()));
    return true;
}

bool toLocalTime(time_t t, std::tm &out) { return localtime_r(&t, &out) != nullptr; }

// Replaces target by source in one step (source is gone afterwards).
static bool replaceFile(const char *source, const char *target) {
    return std::rename(source, target) == 0;
}

void pinLibrary() {
    // Opened once more as never to be unloaded; the handle is kept on purpose.
    Dl_info self;
    if (dladdr(reinterpret_cast<void *>(&pinLibrary), &self) && self.dli_fname)
        dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

bool canRewriteFile(const char *path) {
    if (knobs::fileFault() == knobs::FileFault::openForUpdate) return false;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

static bool writeAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The rename itself lasts only once the folder that holds it is on the disk.
static void syncFolderOf(const char *path) {
    const char *slash = strrchr(path, '/');
    std::string folder = slash ? std::string(path, slash == path ? 1 : slash - path) : ".";
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool writeFileReplacing(const char *target, const char *temp, const void *data, size_t size) {
    knobs::FileFault fault = knobs::fileFault();
    if (fault == knobs::FileFault::createTemporary) return false;
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // A full disk, imitated: half of the data goes out, then the write fails.
    size_t part = fault == knobs::FileFault::writeHalfway ? size / 2 : size;
    bool ok = writeAll(fd, static_cast<const char *>(data), part) && part == size && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && replaceFile(temp, target)) {
        syncFolderOf(target);
        return true;
    }
    unlink(temp);
    return false;
}

std::vector<DirEntry> listFiles(const std::string &folder, const std::string &suffix) {
    std::vector<DirEntry> out;
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return out;
    // Closed also when memory runs out while the names are taken.
    std::unique_ptr<DIR, int (*)(DIR *)> hold(dir, closedir);
    while (struct dirent *d = readdir(dir)) {
        std::string name = d->d_name;
        if (name.size() < suffix.size() ||
            strcasecmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) != 0)
            continue;
        struct stat st;
        if (stat((folder + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out.push_back({name, static_cast<uint64_t>(st.st_size), name[0] == '.'});
    }
    hold.reset();
    std::sort(out.begin(), out.end(), [](const DirEntry &a, const DirEntry &b) {
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return out;
}

bool setEnvironmentEntry(const char *entry) {
    const char *equals = strchr(entry, '=');
    if (!equals || equals == entry) return false;
    return setenv(std::string(entry, equals).c_str(), equals + 1, 1) == 0;
}

void removeEnvironmentVariable(const char *name) { unsetenv(name); }

bool environmentVariable(const char *name, std::string &out) {
    const char *value = getenv(name);
    if (!value) return false;
    out = value;
    return true;
}

// There is no dial-up service to ask: every dial finds no device (the
// system error "device does not exist").
uint32_t dialConnection(const char *, uintptr_t &handle) {
    handle = 0;
    return 797;
}

void hangUpConnection(uintptr_t) {}

}  // namespace platform
