// The library's log file, qlapi.log in the newspaper folder.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Appends one entry: the banner line with the local time, then a tab and the
// formatted message. The format knows %c, %d, %l (32-bit decimal), %s (null
// prints "default") and "%x" for any other x, which writes x.
void writeLog(const char *format, ...);

// The message part of an entry, cut to size - 1 characters. Returns its length.
size_t formatLogMessage(char *out, size_t size, const char *format, va_list args);

// The log file's path: the log folder followed by "qlapi.log".
std::string logFilePath();

// The log's folder: the newspaper folder, told by the configuration each
// time it reads it. The log keeps its own copy, so that a download thread
// that logs while the host re-reads the settings never sees half a path.
void setLogFolder(const char *folder);
// Room for the folder's name, with its terminating null.
constexpr size_t kLogFolderSize = 260;

// The text with every occurrence of secret replaced by asterisks. Only the
// lines that can carry a password (a server's command line) mask it: a
// password that is also a word ("Done", "http", "2026") must not garble
// every other line.
std::string maskSecret(std::string text, const char *secret);

// The time as the C library's ctime writes it, without the line break:
// "Wed Jun 30 21:49:08 1993".
std::string ctimeText(time_t t);

// The file is cut to its last kLogKeepBytes once it reaches kLogLimitBytes.
constexpr long kLogLimitBytes = 1000000;
constexpr long kLogKeepBytes = 500000;
