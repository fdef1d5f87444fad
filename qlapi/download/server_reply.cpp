#include "download/server_reply.h"

#include <cstring>

#include "core/text_util.h"

bool splitServerUrl(const char *url, ServerAddress &out) {
    if (strncmp(url, "http://", 7) == 0 || strncmp(url, "HTTP://", 7) == 0) url += 7;
    const char *slash = strchr(url, '/');
    if (!slash) return false;
    std::string host(url, slash);
    out = ServerAddress();
    out.script = slash + 1;
    // A port only when everything after the last ":" is a number in range;
    // anything else stays part of the host (and fails to resolve).
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && colon + 1 < host.size() && colon + 6 >= host.size()) {
        unsigned port = 0;
        bool digits = true;
        for (size_t i = colon + 1; i < host.size(); ++i) {
            if (host[i] < '0' || host[i] > '9')
                digits = false;
            else
                port = port * 10 + static_cast<unsigned>(host[i] - '0');
        }
        if (digits && port >= 1 && port <= 65535) {
            out.port = port;
            host.resize(colon);
        }
    }
    out.host = host;
    return true;
}

std::string percentEncode(const char *value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value); *p; ++p) {
        unsigned char c = *p;
        if (c <= ' ' || c >= 0x7F || strchr("\"#%&+<>?\\^`{|}", c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string queryObjectName(const std::string &script, const char *clientKey, const char *login,
                            int force, int wantUpdate) {
    std::string object = "/" + script;
    object += "?key=" + percentEncode(clientKey);
    object += "&user=" + percentEncode(login);
    object += "&ver=1.41";
    object += "&force=" + std::to_string(force);
    object += "&wantupdate=" + std::to_string(wantUpdate);
    return object;
}

std::string dataObjectName(const std::string &dataPath, const char *login, const char *clientKey) {
    std::string object = dataPath;
    if (object.empty() || object[0] != '/') object.insert(object.begin(), '/');
    if (object.back() != '/') object += '/';
    return object + percentEncode(login) + "_" + percentEncode(clientKey) + ".enp";
}

// The number after name=, when the value starts with one.
static bool readNumber(const char *text, const char *name, int32_t &out) {
    const char *at = strstr(text, name);
    if (!at) return false;
    const char *value = at + strlen(name);
    const char *p = value;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '-' || *p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    out = parseLeadingInt(value);
    return true;
}

ServerReply parseServerReply(const char *text) {
    ServerReply reply;
    readNumber(text, "filecount=", reply.fileCount);
    readNumber(text, "filesize=", reply.fileSize);
    readNumber(text, "update=", reply.update);
    reply.hasUpdateSize = readNumber(text, "updatesize=", reply.updateSize);
    if (const char *at = strstr(text, "datapath=")) {
        const char *p = at + strlen("datapath=");
        while (*p == ' ' || *p == '\t') ++p;
        const char *end = p;
        while (*end && !strchr(" \t\r\n\v\f", *end)) ++end;
        reply.dataPath.assign(p, end);
    }
    return reply;
}
