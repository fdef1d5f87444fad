// The handheld emulator's settings file and the desktop folder it keeps the
// handheld in: what the calls of handheld_emulator.cpp read and write.
#ifndef QUILLON_HANDHELD_SETTINGS_H
#define QUILLON_HANDHELD_SETTINGS_H

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace handheld {

namespace fs = std::filesystem;

using Values = std::map<std::u16string, std::u16string>;  // folded name -> text

struct Settings {
    bool connected = true;
    bool initOk = true;
    bool initBlocks = false;
    uint64_t freeBytes = UINT64_MAX;
    uint64_t writeFailAt = UINT64_MAX;
    unsigned writeDelayMs = 0;
    std::u16string blockedFile;           // folded name
    std::vector<std::u16string> running;  // folded file names
    uint32_t major = 5;
    uint32_t minor = 1;
    std::map<std::u16string, Values> registry;  // folded key path -> values
};

// ---- texts
std::u16string fromUtf8(const std::string &text);
std::string toUtf8(const std::u16string &text);
std::u16string orEmpty(const char16_t *s);
// Case folding for names: ASCII and Latin-1 letters.
std::u16string folded(std::u16string s);
std::u16string trimmed(const std::u16string &s);
// The parts of a path, split at "\" (or "/"), empty parts dropped.
std::vector<std::u16string> parts(const std::u16string &path);
// A key path as the registry table keeps it: folded, single "\" between parts.
std::u16string keyPath(const std::u16string &path);

// ---- the desktop folder
fs::path pathPart(const std::u16string &part);
// The handheld's folder; empty when no handheld is set up.
fs::path rootFolder();
FILE *openFile(const fs::path &path, const char *mode);
std::string readFile(const fs::path &path);
void appendLine(const fs::path &path, const std::string &line);
Settings readSettings(const fs::path &root);
// The settings with "connected" set: the first such line before any [key]
// is replaced, or a line is put first.
std::string withConnected(const std::string &content, bool connected);

// One entry of a desktop folder.
struct FolderEntry {
    std::u16string name;
    bool folder;
    uint64_t size;
};
// The entries of a desktop folder. On Windows through the system's own
// search, which takes the long paths a deep handheld folder needs (the
// library's directory walk does not).
std::vector<FolderEntry> folderEntries(const fs::path &folder);

}  // namespace handheld

#endif
