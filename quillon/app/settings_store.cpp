// The library's registry key, read and written for the settings dialogs and
// the main window's menu rule.
#include "settings_store.h"

#include <vector>

namespace {

const char kLibraryKey[] = "Software\\VKT\\QLAPI\\";

}  // namespace

std::string readLibraryText(const char *name, DWORD limit) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kLibraryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    std::vector<char> buffer(limit + 1, '\0');
    DWORD type = 0, size = limit;
    LONG r =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer.data()), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return std::string();
    return std::string(buffer.data());  // up to the terminator, if the value has one
}

bool settingsInRegistry() { return _stricmp(readLibraryText("Method", 100).c_str(), "PHP") == 0; }

bool readLibraryNumber(const char *name, DWORD &value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kLibraryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof value;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value;
}

void writeLibraryNumber(const char *name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kLibraryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

void writeLibraryText(const char *name, const std::string &value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kLibraryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}
