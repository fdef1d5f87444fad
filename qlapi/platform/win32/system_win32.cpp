// Home folder, host window, account, time and files on Windows.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/knobs.h"
#include "platform/platform.h"

namespace platform {

std::string homeDir() {
    char dir[MAX_PATH + 1] = "";
    UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) return "C:\\Windows";
    std::string out(dir);
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

intptr_t sendHostMessage(QL_HostWindow window, unsigned message, uintptr_t wParam,
                         intptr_t lParam) {
    if (!window) return 0;
    return SendMessageA(window, message, wParam, lParam);
}

bool readProcessUserSid(UserSid &out) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    std::unique_ptr<void, decltype(&CloseHandle)> tokenHandle(token, CloseHandle);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::unique_ptr<BYTE[]> info(new (std::nothrow) BYTE[size]());
    if (!info || !GetTokenInformation(token, TokenUser, info.get(), size, &size)) return false;
    PSID sid = reinterpret_cast<TOKEN_USER *>(info.get())->User.Sid;
    if (!IsValidSid(sid)) return false;
    out = UserSid();
    out.revision = 1;
    const SID_IDENTIFIER_AUTHORITY *authority = GetSidIdentifierAuthority(sid);
    for (int i = 0; i < 6; ++i) out.authority[i] = authority->Value[i];
    DWORD count = *GetSidSubAuthorityCount(sid);
    for (DWORD i = 0; i < count; ++i) out.subAuthorities.push_back(*GetSidSubAuthority(sid, i));
    return true;
}

bool toLocalTime(time_t t, std::tm &out) { return localtime_s(&out, &t) == 0; }

// Replaces target by source in one step (source is gone afterwards).
static bool replaceFile(const char *source, const char *target) {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void pinLibrary() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&pinLibrary), &self);
}

bool canRewriteFile(const char *path) {
    if (knobs::fileFault() == knobs::FileFault::openForUpdate) return false;
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool writeFileReplacing(const char *target, const char *temp, const void *data, size_t size) {
    knobs::FileFault fault = knobs::fileFault();
    if (fault == knobs::FileFault::createTemporary) return false;
    HANDLE file =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // A full disk, imitated: half of the data goes out, then the write fails.
    size_t part = fault == knobs::FileFault::writeHalfway ? size / 2 : size;
    const char *at = static_cast<const char *>(data);
    bool ok = part == size;
    for (size_t left = part; left > 0;) {
        DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left), written = 0;
        if (!WriteFile(file, at, chunk, &written, nullptr) || written == 0) {
            ok = false;
            break;
        }
        at += written;
        left -= written;
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok && replaceFile(temp, target)) return true;
    DeleteFileA(temp);
    return false;
}

std::vector<DirEntry> listFiles(const std::string &folder, const std::string &suffix) {
    std::vector<DirEntry> out;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*" + suffix).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return out;
    // Closed also when memory runs out while the names are taken.
    std::unique_ptr<void, BOOL(WINAPI *)(HANDLE)> hold(find, FindClose);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string name = found.cFileName;
        // The pattern also matches longer extensions through short names.
        if (name.size() < suffix.size() ||
            _stricmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) != 0)
            continue;
        uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        bool hidden = found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        out.push_back({name, size, hidden});
    } while (FindNextFileA(find, &found));
    hold.reset();
    std::sort(out.begin(), out.end(), [](const DirEntry &a, const DirEntry &b) {
        return _stricmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return out;
}

}  // namespace platform
