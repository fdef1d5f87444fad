// The library's log file: one entry per call, trimmed when it grows too big.
#include "core/log.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "core/library_state.h"
#include "platform/platform.h"

static const char kBanner[] =
    "V1.41 Multiplatform (Win/Linux) / Multiprotocol / ActiveSync / ProxyAuth";
static constexpr size_t kMessageSize = 2048;
static const char kMask[] = "********";

// Entries of the download threads and the host's thread would otherwise
// interleave, and a trim could race an append.
static std::mutex g_logLock;
// A plain array, never destroyed: a download thread may still log while
// the process ends.
static char g_logFolder[kLogFolderSize];

size_t formatLogMessage(char *out, size_t size, const char *format, va_list args) {
    if (size == 0) return 0;
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) out[n++] = c;
    };
    auto putText = [&](const char *text) {
        while (*text) put(*text++);
    };
    for (const char *p = format; *p; ++p) {
        if (*p != '%') {
            put(*p);
            continue;
        }
        char directive = *++p;
        if (directive == '\0') {  // a lone "%" at the end stands for itself
            put('%');
            break;
        }
        if (directive == 'c') {
            char c = static_cast<char>(va_arg(args, int));
            if (c) put(c);
        } else if (directive == 'd' || directive == 'l') {
            char number[16];
            snprintf(number, sizeof number, "%d", va_arg(args, int));
            putText(number);
        } else if (directive == 's') {
            const char *text = va_arg(args, const char *);
            putText(text ? text : "default");
        } else {
            put(directive);
        }
    }
    out[n] = '\0';
    return n;
}

void setLogFolder(const char *folder) {
    std::lock_guard<std::mutex> hold(g_logLock);
    snprintf(g_logFolder, sizeof g_logFolder, "%s", folder);
}

static std::string logFilePathLocked() { return std::string(g_logFolder) + "qlapi.log"; }

std::string logFilePath() {
    std::lock_guard<std::mutex> hold(g_logLock);
    return logFilePathLocked();
}

std::string ctimeText(time_t t) {
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (!platform::toLocalTime(t, tm)) tm = std::tm{};
    char text[64];
    snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", days[(tm.tm_wday % 7 + 7) % 7],
             months[(tm.tm_mon % 12 + 12) % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
             tm.tm_year + 1900);
    return text;
}

std::string maskSecret(std::string text, const char *secret) {
    size_t length = secret ? strlen(secret) : 0;
    if (length == 0) return text;
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + sizeof kMask - 1))
        text.replace(at, length, kMask);
    return text;
}

// Keeps the last kLogKeepBytes of the file. The cut falls wherever the mark
// lies, usually inside an entry. The file is replaced in one step, so a
// crash leaves the old log or the trimmed one, never an empty file.
static void trimLog(const std::string &path) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kLogKeepBytes + 1000]);
    if (!buffer) return;
    FILE *in = fopen(path.c_str(), "rb");
    if (!in) return;
    size_t got = 0;
    if (fseek(in, -kLogKeepBytes, SEEK_END) == 0)
        got = fread(buffer.get(), 1, kLogKeepBytes + 1, in);
    fclose(in);
    if (got == 0) return;
    platform::writeFileReplacing(path.c_str(), (path + ".tmp").c_str(), buffer.get(), got);
}

static void appendEntry(const char *formatted) {
    std::lock_guard<std::mutex> hold(g_logLock);
    std::string path = logFilePathLocked();
    FILE *file = fopen(path.c_str(), "a");  // text mode: CR LF on Windows
    if (!file) return;
    fprintf(file, "%s %s\n\t%s\n", kBanner, ctimeText(platform::currentTime()).c_str(), formatted);
    fclose(file);

    file = fopen(path.c_str(), "rb");
    if (!file) return;
    long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    fclose(file);
    if (size >= kLogLimitBytes) trimLog(path);
}

void writeLog(const char *format, ...) {
    char formatted[kMessageSize];
    va_list args;
    va_start(args, format);
    formatLogMessage(formatted, sizeof formatted, format, args);
    va_end(args);
    // Out of memory the entry is lost, never the caller's step.
    try {
        appendEntry(formatted);
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
}
