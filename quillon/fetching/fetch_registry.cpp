// The automatic fetches' values under Software\VKT\Quillon\Fetch and the
// log of "/abholen".
#include "fetch_registry.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "settings_store.h"

namespace {

const char kFetchKey[] = "Software\\VKT\\Quillon\\Fetch";

DWORD number(const char *name, DWORD fallback) {
    DWORD value = 0;
    return readUserNumber(kFetchKey, name, value, false) ? value : fallback;
}

void setNumber(HKEY key, const char *name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

void writeNumber(const char *name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kFetchKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    setNumber(key, name, value);
    RegCloseKey(key);
}

}  // namespace

FetchSettings readFetchSettings() {
    FetchSettings s;
    s.atStart = number("AtStart", 0) != 0;
    s.daily = number("Daily", 0) != 0;
    s.scheduledTask = number("Task", 0) != 0;
    DWORD hour = number("Hour", 6), minute = number("Minute", 30);
    // A value out of range (edited by hand) keeps the default time.
    if (hour < 24 && minute < 60) {
        s.hour = static_cast<int>(hour);
        s.minute = static_cast<int>(minute);
    }
    return s;
}

void writeFetchSettings(const FetchSettings &s) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kFetchKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    setNumber(key, "AtStart", s.atStart);
    setNumber(key, "Daily", s.daily);
    setNumber(key, "Hour", static_cast<DWORD>(s.hour));
    setNumber(key, "Minute", static_cast<DWORD>(s.minute));
    setNumber(key, "Task", s.scheduledTask);
    RegCloseKey(key);
}

int readLastDailyDay() { return static_cast<int>(number("LastDay", 0)); }

void noteLastDailyDay(int day) {
    if (day > readLastDailyDay()) writeNumber("LastDay", static_cast<DWORD>(day));
}

int readLastFetchCode() { return static_cast<int>(number("LastResult", 2)); }

void writeLastFetchCode(int code) {
    writeNumber("LastResult", static_cast<DWORD>(code));
    writeNumber("Fetches", static_cast<DWORD>(readFetchCount() + 1));
}

unsigned long readFetchCount() { return number("Fetches", 0); }

Moment localNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return Moment{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute};
}

std::string logStamp(const Moment &m) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", m.year, m.month, m.day, m.hour,
                  m.minute);
    return text;
}

void appendFetchLog(const std::string &line) {
    char base[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (n == 0 || n >= sizeof base) return;
    std::string folder = std::string(base) + "\\Quillon";
    CreateDirectoryA(folder.c_str(), nullptr);
    // Appending by the system's own append mode, so that two processes
    // never write over each other's line.
    HANDLE file = CreateFileA((folder + "\\abholen.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line;
    for (char &c : text)
        if (c == '\r' || c == '\n') c = ' ';  // one line per fetch
    text += "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}
