// The current user's registry through the Win32 registry functions.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// Keys are given with a trailing backslash at times; the registry wants none.
std::string keyPath(const char *key) {
    std::string path = key;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

class OpenKey {
  public:
    OpenKey(const char *key, bool create, REGSAM access) {
        std::string path = keyPath(key);
        LONG rc = create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access,
                                           nullptr, &key_, nullptr)
                         : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key_);
        if (rc != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

bool setValue(const char *key, const char *name, DWORD type, const void *data, DWORD size) {
    OpenKey k(key, true, KEY_SET_VALUE);
    return k.get() && RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE *>(data),
                                     size) == ERROR_SUCCESS;
}

}  // namespace

bool regKeyExists(const char *key) { return OpenKey(key, false, KEY_READ).get() != nullptr; }

bool regCreateKey(const char *key) { return OpenKey(key, true, KEY_READ).get() != nullptr; }

bool regReadValue(const char *key, const char *name, RegValue &out) {
    OpenKey k(key, false, KEY_QUERY_VALUE);
    if (!k.get()) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<BYTE> data(size + 1, 0);
    if (RegQueryValueExA(k.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return false;
    out = RegValue();
    if (type == REG_DWORD && size >= 4) {
        out.type = RegType::number;
        out.number = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        out.type = RegType::text;
        out.text.assign(reinterpret_cast<const char *>(data.data()));
    }
    return true;
}

bool regWriteText(const char *key, const char *name, const char *text) {
    return setValue(key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool regWriteNumber(const char *key, const char *name, uint32_t value) {
    DWORD v = value;
    return setValue(key, name, REG_DWORD, &v, sizeof v);
}

bool regDeleteTree(const char *key) {
    std::string path = keyPath(key);
    LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        return !regKeyExists(key);
    }
    return false;
}

}  // namespace platform
