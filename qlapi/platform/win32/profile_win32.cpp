// The settings file qlapi.ini in the Windows directory, through the Win32
// profile functions. Given the bare file name they look in the Windows
// directory themselves.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

static const char kSettingsFile[] = "qlapi.ini";

size_t profileGetString(const char *section, const char *key, const char *def, char *buf,
                        size_t size) {
    if (!buf || size == 0) return 0;
    DWORD n = GetPrivateProfileStringA(section, key, def ? def : "", buf, static_cast<DWORD>(size),
                                       kSettingsFile);
    buf[n < size ? n : size - 1] = '\0';
    return strlen(buf);
}

bool profileWriteString(const char *section, const char *key, const char *value) {
    return WritePrivateProfileStringA(section, key, value, kSettingsFile) != 0;
}

std::string settingsFilePath() { return homeDir() + "\\" + kSettingsFile; }

}  // namespace platform
