// A private copy of the user's library settings.
#include "private_settings.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace {

std::string trimmed(const std::string &s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool isSection(const std::string &line, std::string &name) {
    std::string t = trimmed(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = trimmed(t.substr(1, close - 1));
    return true;
}

bool isKey(const std::string &line, const char *key) {
    size_t eq = line.find('=');
    return eq != std::string::npos && strcasecmp(trimmed(line.substr(0, eq)).c_str(), key) == 0;
}

// The first section of the name counts, as the library reads it: [first,
// end) of its entries, or npos when there is none.
size_t sectionStart(const std::vector<std::string> &lines, const char *section, size_t &end) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (!isSection(lines[i], name) || strcasecmp(name.c_str(), section) != 0) continue;
        end = i + 1;
        while (end < lines.size() && !isSection(lines[end], name)) ++end;
        return i + 1;
    }
    return std::string::npos;
}

const std::string *valueOf(const std::vector<std::string> &lines, const char *section,
                           const char *key, std::string &value) {
    size_t end = 0, at = sectionStart(lines, section, end);
    if (at == std::string::npos) return nullptr;
    for (; at < end; ++at)
        if (isKey(lines[at], key)) {
            value = trimmed(lines[at].substr(lines[at].find('=') + 1));
            return &value;
        }
    return nullptr;
}

// Sets (or with `remove`, drops) one entry of a section.
void put(std::vector<std::string> &lines, const char *section, const char *key,
         const std::string &value, bool remove = false) {
    size_t end = 0, at = sectionStart(lines, section, end);
    if (at == std::string::npos) {
        if (remove) return;
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(std::string(key) + "=" + value);
        return;
    }
    for (size_t i = at; i < end; ++i)
        if (isKey(lines[i], key)) {
            if (remove)
                lines.erase(lines.begin() + static_cast<long>(i));
            else
                lines[i] = std::string(key) + "=" + value;
            return;
        }
    if (!remove)
        lines.insert(lines.begin() + static_cast<long>(at), std::string(key) + "=" + value);
}

}  // namespace

UserSettings readUserSettings(const std::string &path) {
    UserSettings user;
    user.path = path;
    std::ifstream in(path, std::ios::binary);
    user.exists = static_cast<bool>(in);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        user.lines.push_back(line);
    }
    std::string value;
    if (valueOf(user.lines, "FILES", "PATH", value)) user.storeFolder = value;
    user.dataSuffix = ".eif";
    if (valueOf(user.lines, "FILES", "extension", value) && !value.empty())
        user.dataSuffix = value[0] == '.' ? value : "." + value;
    return user;
}

int writePrivateSettings(const UserSettings &user, const std::string &path, const std::string &news,
                         bool singleFile) {
    std::vector<std::string> lines = user.lines;
    put(lines, "FILES", "PATH", news + "/");
    put(lines, "FILES", "logfile", "", true);
    std::string server;
    if (!valueOf(lines, "CONNECTIONS", "Server", server) || server.empty()) {
        put(lines, "CONNECTIONS", "Server", "None");
        for (const char *entry :
             {"appl=internal", "url=http://127.0.0.1/", "login=-", "password=-", "class=-"}) {
            std::string e = entry;
            put(lines, "None", e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1));
        }
    }
    if (singleFile) put(lines, "NEWSPAPERS", "corrupt", "DELETE");
    if (!user.exists) {
        put(lines, "COUNTRIES", "de", "49");
        put(lines, "COUNTRIES", "en", "1");
    }
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) return errno ? errno : EIO;
    bool ok = true;
    for (const std::string &line : lines)
        ok = ok && fputs(line.c_str(), out) >= 0 && fputc('\n', out) != EOF;
    ok = fflush(out) == 0 && ok;
    int error = errno;
    ok = fclose(out) == 0 && ok;
    return ok ? 0 : (error ? error : EIO);
}
