// The handheld emulator's settings file, its texts and the desktop folder
// that is the handheld.
#include "handheld_settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace handheld {

// ---- texts

std::u16string fromUtf8(const std::string &text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i++]);
        uint32_t code = c;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        if (more) code &= 0x3F >> more;
        for (; more > 0 && i < text.size() && (text[i] & 0xC0) == 0x80; --more)
            code = code << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
        if (more > 0 || (c >= 0x80 && c < 0xC0) || c >= 0xF8 || code > 0x10FFFF) code = 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string toUtf8(const std::u16string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;  // a lone half
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::u16string orEmpty(const char16_t *s) { return s ? std::u16string(s) : std::u16string(); }

// Case folding for names: ASCII and Latin-1 letters.
std::u16string folded(std::u16string s) {
    for (char16_t &c : s)
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
    return s;
}

std::u16string trimmed(const std::u16string &s) {
    size_t begin = s.find_first_not_of(u" \t\r");
    if (begin == std::u16string::npos) return std::u16string();
    return s.substr(begin, s.find_last_not_of(u" \t\r") - begin + 1);
}

// The parts of a path, split at "\" (or "/"), empty parts dropped.
std::vector<std::u16string> parts(const std::u16string &path) {
    std::vector<std::u16string> out;
    size_t begin = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != u'\\' && path[i] != u'/') continue;
        if (i > begin) out.push_back(path.substr(begin, i - begin));
        begin = i + 1;
    }
    return out;
}

// A key path as the registry table keeps it: folded, single "\" between parts.
std::u16string keyPath(const std::u16string &path) {
    std::u16string out;
    for (const std::u16string &part : parts(path)) out += (out.empty() ? u"" : u"\\") + part;
    return folded(out);
}

// ---- the desktop folder

fs::path pathPart(const std::u16string &part) {
#ifdef _WIN32
    return fs::path(std::wstring(part.begin(), part.end()));
#else
    return fs::path(toUtf8(part));
#endif
}

// The handheld's folder; empty when no handheld is set up.
fs::path rootFolder() {
#ifdef _WIN32
    // Read afresh every time: the tests change it with SetEnvironmentVariable.
    std::wstring value(64, L'\0');
    for (;;) {
        DWORD n = GetEnvironmentVariableW(L"QUILLON_HANDHELD", &value[0],
                                          static_cast<DWORD>(value.size()));
        if (n < value.size()) {
            value.resize(n);
            break;
        }
        value.resize(n);
    }
    // As a long path: a handheld path of 259 characters inside a folder on
    // the desktop is longer than the desktop's usual limit.
    if (value.empty() || value.rfind(L"\\\\?\\", 0) == 0) return fs::path(value);
    std::error_code ignored;
    return fs::path(L"\\\\?\\" + fs::absolute(fs::path(value), ignored).make_preferred().wstring());
#else
    const char *value = getenv("QUILLON_HANDHELD");
    return fs::path(value ? value : "");
#endif
}

FILE *openFile(const fs::path &path, const char *mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + strlen(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return fopen(path.c_str(), mode);
#endif
}

std::string readFile(const fs::path &path) {
    std::string content;
    if (FILE *in = openFile(path, "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, n);
        fclose(in);
    }
    return content;
}

void appendLine(const fs::path &path, const std::string &line) {
    if (FILE *out = openFile(path, "ab")) {
        fwrite(line.data(), 1, line.size(), out);
        fputc('\n', out);
        fclose(out);
    }
}

Settings readSettings(const fs::path &root) {
    Settings settings;
    std::string content = readFile(root / "handheld.ini");
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    Values *section = nullptr;
    for (size_t pos = 0; pos < content.size();) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::u16string line = trimmed(fromUtf8(content.substr(pos, end - pos)));
        pos = end + 1;
        if (line.empty() || line[0] == u';') continue;
        if (line.front() == u'[' && line.back() == u']') {
            section = &settings.registry[keyPath(line.substr(1, line.size() - 2))];
            continue;
        }
        size_t equals = line.find(u'=');
        if (equals == std::u16string::npos) continue;
        std::u16string name = folded(trimmed(line.substr(0, equals)));
        std::u16string value = trimmed(line.substr(equals + 1));
        if (section) {
            (*section)[name == u"@" ? u"" : name] = value;
        } else if (name == u"connected") {
            settings.connected = folded(value) != u"no";
        } else if (name == u"init") {
            settings.initOk = folded(value) != u"fail";
            settings.initBlocks = folded(value) == u"block";
        } else if (name == u"free" || name == u"writefail") {
            (name == u"free" ? settings.freeBytes : settings.writeFailAt) =
                strtoull(toUtf8(value).c_str(), nullptr, 10);
        } else if (name == u"block") {
            settings.blockedFile = folded(value);
        } else if (name == u"writedelay") {
            settings.writeDelayMs =
                static_cast<unsigned>(strtoul(toUtf8(value).c_str(), nullptr, 10));
        } else if (name == u"running") {
            std::u16string list = folded(value);
            for (size_t at = 0; at <= list.size();) {
                size_t comma = std::min(list.find(u',', at), list.size());
                if (comma > at) settings.running.push_back(trimmed(list.substr(at, comma - at)));
                at = comma + 1;
            }
        } else if (name == u"version") {
            std::string version = toUtf8(value);
            size_t dot = version.find('.');
            settings.major = static_cast<uint32_t>(strtoul(version.c_str(), nullptr, 10));
            settings.minor =
                dot == std::string::npos
                    ? 0
                    : static_cast<uint32_t>(strtoul(version.c_str() + dot + 1, nullptr, 10));
        }
    }
    return settings;
}

// The settings with "connected" set: the first such line before any [key]
// is replaced, or a line is put first.
std::string withConnected(const std::string &content, bool connected) {
    const std::string line = connected ? "connected=yes" : "connected=no";
    const size_t start = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t pos = start; pos < content.size();) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::u16string text = trimmed(fromUtf8(content.substr(pos, end - pos)));
        if (!text.empty() && text.front() == u'[') break;
        size_t equals = text.find(u'=');
        if (equals != std::u16string::npos &&
            folded(trimmed(text.substr(0, equals))) == u"connected")
            return content.substr(0, pos) + line + content.substr(end);
        pos = end + 1;
    }
    return content.substr(0, start) + line + "\n" + content.substr(start);
}

std::vector<FolderEntry> folderEntries(const fs::path &folder) {
    std::vector<FolderEntry> out;
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder / L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        out.push_back({std::u16string(name.begin(), name.end()),
                       (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow});
    } while (FindNextFileW(search, &data));
    FindClose(search);
#else
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(folder, ignored)) {
        bool isFolder = entry.is_directory(ignored);
        out.push_back({fromUtf8(entry.path().filename().u8string()), isFolder,
                       isFolder ? 0 : static_cast<uint64_t>(entry.file_size(ignored))});
    }
#endif
    return out;
}

}  // namespace handheld
