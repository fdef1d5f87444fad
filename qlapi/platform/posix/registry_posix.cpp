// The current user's registry, kept in one text file, registry.reg, in the
// library's home folder. The file reads like a registry export:
//
//   [Software\VKT\QLAPI]
//   "Method"="PHP"
//   "maxpapers"=dword:0000000a
//
// Every change rewrites the whole file through a temporary file and a rename,
// so a reader never sees half of it.
#include <strings.h>

#include <mutex>
#include <sstream>

#include "platform/platform.h"
#include "platform/posix/posix_util.h"

namespace platform {
namespace {

struct Value {
    std::string name;
    RegValue data;
};

struct Key {
    std::string path;  // canonical: no leading, trailing or doubled backslashes
    std::vector<Value> values;
};

std::mutex g_registryLock;

std::string registryFile() { return homeDir() + "/registry.reg"; }

std::string canonicalKey(const char *key) {
    std::string out;
    for (const char *p = key; *p; ++p) {
        if (*p == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += *p;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

bool sameName(const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// "text" with \\ and \" escapes; returns false on a malformed string.
bool parseQuoted(const std::string &line, size_t &pos, std::string &out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < line.size()) c = line[++pos];
        out += c;
    }
    return false;
}

std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A missing file is an empty registry; lines that make no sense are passed
// over, so one damaged line costs one value, not the whole file. A file that
// could not be read to its end gives false: what was read must never be
// written back as the whole registry. Running out of memory throws.
bool load(std::vector<Key> &keys) {
    keys.clear();
    std::vector<std::string> lines;
    if (!readTextLines(registryFile(), lines)) return false;
    for (std::string &line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            keys.push_back({canonicalKey(line.substr(1, line.size() - 2).c_str()), {}});
            continue;
        }
        if (keys.empty() || line.empty() || line[0] != '"') continue;
        Value v;
        size_t pos = 0;
        if (!parseQuoted(line, pos, v.name) || pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        if (line.compare(pos, 6, "dword:") == 0) {
            char *end = nullptr;
            unsigned long n = strtoul(line.c_str() + pos + 6, &end, 16);
            if (end == line.c_str() + pos + 6) continue;
            v.data.type = RegType::number;
            v.data.number = static_cast<uint32_t>(n);
        } else if (parseQuoted(line, pos, v.data.text)) {
            v.data.type = RegType::text;
        } else {
            continue;
        }
        keys.back().values.push_back(std::move(v));
    }
    return true;
}

bool save(const std::vector<Key> &keys) {
    std::ostringstream out;
    out.exceptions(std::ios::badbit);  // short of memory, never write half a registry
    for (const Key &k : keys) {
        out << '[' << k.path << "]\n";
        for (const Value &v : k.values) {
            out << quoted(v.name) << '=';
            if (v.data.type == RegType::number) {
                char hex[16];
                snprintf(hex, sizeof hex, "dword:%08x", v.data.number);
                out << hex << '\n';
            } else {
                out << quoted(v.data.text) << '\n';
            }
        }
        out << '\n';
    }
    return writeFileAtomically(registryFile(), out.str());
}

Key *findKey(std::vector<Key> &keys, const std::string &path) {
    for (Key &k : keys)
        if (sameName(k.path, path)) return &k;
    return nullptr;
}

bool isBelow(const std::string &path, const std::string &parent) {
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           strncasecmp(path.c_str(), parent.c_str(), parent.size()) == 0;
}

bool writeValue(const char *key, const char *name, const RegValue &data) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    std::vector<Key> keys;
    if (!load(keys)) return false;
    std::string path = canonicalKey(key);
    Key *k = findKey(keys, path);
    if (!k) {
        keys.push_back({path, {}});
        k = &keys.back();
    }
    for (Value &v : k->values) {
        if (sameName(v.name, name)) {
            v.data = data;
            return save(keys);
        }
    }
    k->values.push_back({name, data});
    return save(keys);
}

}  // namespace

bool regKeyExists(const char *key) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    std::string path = canonicalKey(key);
    std::vector<Key> keys;
    load(keys);
    for (const Key &k : keys)
        if (sameName(k.path, path) || isBelow(k.path, path)) return true;
    return false;
}

bool regCreateKey(const char *key) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    std::vector<Key> keys;
    if (!load(keys)) return false;
    std::string path = canonicalKey(key);
    if (findKey(keys, path)) return true;
    keys.push_back({path, {}});
    return save(keys);
}

bool regReadValue(const char *key, const char *name, RegValue &out) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    std::vector<Key> keys;
    load(keys);
    Key *k = findKey(keys, canonicalKey(key));
    if (!k) return false;
    for (const Value &v : k->values) {
        if (sameName(v.name, name)) {
            out = v.data;
            return true;
        }
    }
    return false;
}

bool regWriteText(const char *key, const char *name, const char *text) {
    RegValue v;
    v.type = RegType::text;
    v.text = text;
    return writeValue(key, name, v);
}

bool regWriteNumber(const char *key, const char *name, uint32_t value) {
    RegValue v;
    v.type = RegType::number;
    v.number = value;
    return writeValue(key, name, v);
}

bool regDeleteTree(const char *key) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    std::vector<Key> keys;
    if (!load(keys)) return false;
    std::string path = canonicalKey(key);
    size_t before = keys.size();
    for (size_t i = keys.size(); i-- > 0;)
        if (sameName(keys[i].path, path) || isBelow(keys[i].path, path))
            keys.erase(keys.begin() + static_cast<long>(i));
    return keys.size() == before || save(keys);
}

}  // namespace platform
