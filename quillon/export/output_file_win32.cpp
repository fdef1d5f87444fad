// Where a book is written, on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>

#include "output_file.h"

namespace {

std::string folderOf(const std::string &path) {
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash + (slash == 2 && path[1] == ':' ? 1 : 0));
}

// The system's error as the errno the German reasons are kept for.
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
            return EINVAL;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return 100000 + static_cast<int>(error);
    }
}

WriteFailure failed(const char *text, const std::string &file, DWORD error) {
    WriteFailure f;
    f.text = text;
    f.file = file;
    f.reason = systemReason(errnoOf(error));
    return f;
}

bool identity(const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool sameFile(const std::string &a, const std::string &b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identity(a, ia) && identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

WriteFailure checkTarget(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) return failed(kNoFolder, path, error);
        if (error != ERROR_FILE_NOT_FOUND) return failed(kCannotCheck, path, error);
        DWORD folder = GetFileAttributesA(folderOf(path).c_str());
        if (folder == INVALID_FILE_ATTRIBUTES) return failed(kNoFolder, path, GetLastError());
        if (!(folder & FILE_ATTRIBUTE_DIRECTORY))
            return failed(kNoFolder, path, ERROR_PATH_NOT_FOUND);
        return WriteFailure();
    }
    WriteFailure f;
    f.file = path;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        f.text = kNotAFile;
    else if (attributes & FILE_ATTRIBUTE_READONLY)
        f.text = kReadOnly;
    return f;
}

FILE *createPartFile(const std::string &path, std::string &part, WriteFailure &failure) {
    static std::atomic<unsigned> counter{0};
    uint64_t seed = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount64();
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull + counter++;
        char tag[24];
        snprintf(tag, sizeof tag, ".%06x.part", static_cast<unsigned>(seed >> 40) & 0xFFFFFF);
        part = path + tag;
        // CREATE_NEW: never an existing file, nor a link of any kind.
        HANDLE h = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
            FILE *out = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
            if (out) return out;
            error = ERROR_TOO_MANY_OPEN_FILES;
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(h);
            DeleteFileA(part.c_str());
            break;
        }
        error = GetLastError();
    }
    failure = failed(kCannotCreate, path, error);
    part.clear();
    return nullptr;
}

WriteFailure putInPlace(const std::string &part, const std::string &path) {
    if (MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return WriteFailure();
    DWORD error = GetLastError();
    DeleteFileA(part.c_str());
    return failed(kCannotReplace, path, error);
}

void removePartFile(const std::string &part) {
    if (!part.empty()) DeleteFileA(part.c_str());
}
