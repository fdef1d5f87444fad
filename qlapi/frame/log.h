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

// The log file's path: newspaperDir followed by "qlapi.log".
std::string logFilePath();

// Texts never written to the log (the servers' passwords): each occurrence
// in a message is replaced by asterisks. Secrets shorter than
// kShortestMaskedSecret would garble every message; lines known to carry a
// password mask it themselves with maskSecret.
void addLogSecret(const char *secret);
void clearLogSecrets();
constexpr size_t kShortestMaskedSecret = 4;

// The text with every occurrence of secret replaced by asterisks.
std::string maskSecret(std::string text, const char *secret);

// The time as the C library's ctime writes it, without the line break:
// "Wed Jun 30 21:49:08 1993".
std::string ctimeText(time_t t);

// The file is cut to its last kLogKeepBytes once it reaches kLogLimitBytes.
constexpr long kLogLimitBytes = 1000000;
constexpr long kLogKeepBytes = 500000;
