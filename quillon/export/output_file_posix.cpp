// Where a book is written, on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "output_file.h"

namespace {

std::string folderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

WriteFailure failed(const char *text, const std::string &file, int error) {
    WriteFailure f;
    f.text = text;
    f.file = file;
    f.reason = systemReason(error);
    return f;
}

}  // namespace

bool sameFile(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

WriteFailure checkTarget(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return failed(kCannotCheck, path, errno);
        struct stat folder;
        if (stat(folderOf(path).c_str(), &folder) != 0) return failed(kNoFolder, path, errno);
        if (!S_ISDIR(folder.st_mode)) return failed(kNoFolder, path, ENOTDIR);
        return WriteFailure();
    }
    // A link is replaced, not followed; still, one to a folder or to a
    // read-only file is surely not what the user meant to give.
    if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0) return WriteFailure();
    WriteFailure f;
    f.file = path;
    if (!S_ISREG(st.st_mode)) {
        f.text = kNotAFile;
    } else if ((st.st_mode & 0222) == 0 || (access(path.c_str(), W_OK) != 0 && errno == EACCES)) {
        // No write bit at all counts for every user, root included.
        f.text = kReadOnly;
    }
    return f;
}

FILE *createPartFile(const std::string &path, std::string &part, WriteFailure &failure) {
    static std::atomic<unsigned> counter{0};
    struct stat existing;
    bool keepMode = stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    uint64_t seed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(getpid()) << 32);
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull + counter++;
        char tag[24];
        snprintf(tag, sizeof tag, ".%06x.part", static_cast<unsigned>(seed >> 40) & 0xFFFFFF);
        part = path + tag;
        // O_EXCL: never an existing file, nor a link of any kind.
        int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // A replaced book keeps who may read it.
            if (keepMode) fchmod(fd, existing.st_mode & 07777);
            FILE *out = fdopen(fd, "wb");
            if (out) return out;
            error = errno;
            close(fd);
            unlink(part.c_str());
            break;
        }
        error = errno;
    }
    failure = failed(kCannotCreate, path, error);
    part.clear();
    return nullptr;
}

WriteFailure putInPlace(const std::string &part, const std::string &path) {
    if (rename(part.c_str(), path.c_str()) == 0) return WriteFailure();
    int error = errno;
    unlink(part.c_str());
    return failed(kCannotReplace, path, error);
}

void removePartFile(const std::string &part) {
    if (!part.empty()) unlink(part.c_str());
}
