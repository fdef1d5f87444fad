// Values of the current user's registry: the library's key, read and
// written for the settings dialogs and the main window's menu rule, and the
// reader's own key for the update offer.
#include "settings_store.h"

#include <vector>

namespace {

const char kLibraryKey[] = "Software\\VKT\\QLAPI\\";

// Reads value `name` of key `path` into `data` (`size` bytes in, the
// value's size out); false unless it exists with type `type`.
bool queryValue(const char *path, bool createKey, const char *name, DWORD type, void *data,
                DWORD &size) {
    HKEY key;
    LONG opened = createKey ? RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_READ,
                                              nullptr, &key, nullptr)
                            : RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) return false;
    DWORD found = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, &found, static_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && found == type;
}

void setLibraryValue(const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kLibraryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

}  // namespace

bool readUserNumber(const char *path, const char *name, DWORD &value, bool createKey) {
    DWORD size = sizeof value;
    return queryValue(path, createKey, name, REG_DWORD, &value, size) && size == sizeof value;
}

std::string readLibraryText(const char *name, DWORD limit) {
    std::vector<char> buffer(limit + 1, '\0');
    DWORD size = limit;
    if (!queryValue(kLibraryKey, false, name, REG_SZ, buffer.data(), size)) return std::string();
    return std::string(buffer.data());  // up to the terminator, if the value has one
}

bool settingsInRegistry() { return _stricmp(readLibraryText("Method", 100).c_str(), "PHP") == 0; }

bool readLibraryNumber(const char *name, DWORD &value) {
    return readUserNumber(kLibraryKey, name, value, false);
}

void writeLibraryNumber(const char *name, DWORD value) {
    setLibraryValue(name, REG_DWORD, &value, sizeof value);
}

void writeLibraryText(const char *name, const std::string &value) {
    setLibraryValue(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

int storedPaperCount() {
    DWORD stored = 0;
    long count = 0;
    if (settingsInRegistry())
        count = readLibraryNumber("maxpapers", stored) ? static_cast<long>(stored) : 0;
    else
        count =
            static_cast<long>(GetPrivateProfileIntA("NEWSPAPERS", "maxpapers", 10, "qlapi.ini"));
    return count > 0 ? static_cast<int>(count) : 10;  // the library's default
}
