// The settings file qlapi.ini in the library's home folder, read the way the
// Windows profile functions read it: sections and keys without regard to
// case, blanks around names and values dropped, one pair of matching quotes
// around a value removed, lines beginning with ';' ignored.
#include <strings.h>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "platform/posix/posix_util.h"

namespace platform {

bool readTextLines(const std::string &path, std::vector<std::string> &lines) {
    lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;
    in.exceptions(std::ios::badbit);  // else a failed read looks like the end of the file
    try {
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
    } catch (const std::ios_base::failure &) {
        return false;
    }
    return true;
}

std::string trimBlanks(const std::string &text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

namespace {

// The section name of a "[name]" line, or false for any other line.
bool sectionOf(const std::string &line, std::string &name) {
    std::string t = trimBlanks(line);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.rfind(']');
    name = trimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key and value of a "key=value" line; false for comments and blanks.
bool entryOf(const std::string &line, std::string &key, std::string &value) {
    std::string t = trimBlanks(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    size_t eq = t.find('=');
    key = trimBlanks(t.substr(0, eq));
    value = eq == std::string::npos ? std::string() : trimBlanks(t.substr(eq + 1));
    if (value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

bool sameName(const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::string settingsFilePath() { return homeDir() + "/qlapi.ini"; }

size_t profileGetString(const char *section, const char *key, const char *def, char *buf,
                        size_t size) {
    if (!buf || size == 0) return 0;
    std::string wantSection = trimBlanks(section ? section : "");
    std::string wantKey = trimBlanks(key ? key : "");
    std::string found = def ? def : "";
    // Only the first section of a name counts, as with the Windows functions.
    bool inSection = false, seen = false;
    std::vector<std::string> lines;
    readTextLines(settingsFilePath(), lines);
    for (const std::string &line : lines) {
        std::string name, k, v;
        if (sectionOf(line, name)) {
            if (inSection) break;
            inSection = !seen && sameName(name, wantSection);
            seen = seen || inSection;
        } else if (inSection && entryOf(line, k, v) && sameName(k, wantKey)) {
            found = v;
            break;
        }
    }
    size_t n = std::min(found.size(), size - 1);
    memcpy(buf, found.data(), n);
    buf[n] = '\0';
    return n;
}

bool profileWriteString(const char *section, const char *key, const char *value) {
    std::vector<std::string> lines;
    if (!readTextLines(settingsFilePath(), lines)) return false;
    std::string entry = std::string(key) + "=" + value;
    size_t sectionEnd = std::string::npos;  // where a new entry of the section goes
    bool replaced = false, inSection = false;
    for (size_t i = 0; i < lines.size() && !replaced; ++i) {
        std::string name, k, v;
        if (sectionOf(lines[i], name)) {
            if (inSection) break;
            inSection = sameName(name, trimBlanks(section));
            if (inSection) sectionEnd = i + 1;
        } else if (inSection && entryOf(lines[i], k, v)) {
            if (sameName(k, trimBlanks(key))) {
                lines[i] = entry;
                replaced = true;
            } else {
                sectionEnd = i + 1;
            }
        }
    }
    if (!replaced && sectionEnd == std::string::npos) {
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(entry);
    } else if (!replaced) {
        lines.insert(lines.begin() + static_cast<long>(sectionEnd), entry);
    }
    std::string text;
    for (const std::string &line : lines) text += line + "\n";
    return writeFileAtomically(settingsFilePath(), text);
}

}  // namespace platform
