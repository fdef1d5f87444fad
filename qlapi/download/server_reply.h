// The two requests of the internal transfer and the server's answer to the
// first: pure text work, kept apart from the HTTP traffic.
#pragma once

#include <cstdint>
#include <string>

// The server address of a url setting: a host (with an optional ":port"),
// "/" and the path of the server script. A leading "http://" is tolerated.
struct ServerAddress {
    std::string host;
    unsigned port = 80;
    std::string script;  // without its leading "/"
};
// False when the url has no "/" after the host.
bool splitServerUrl(const char *url, ServerAddress &out);

// The value with every byte percent-encoded that would change the meaning
// of a URL (space and controls, non-ASCII, and " # % & + < > ? \ ^ ` { | }).
// Other bytes go out as they are.
std::string percentEncode(const char *value);

// "/" + script + "?key=..&user=..&ver=1.41&force=..&wantupdate=..".
std::string queryObjectName(const std::string &script, const char *clientKey, const char *login,
                            int force, int wantUpdate);
// datapath + "/" (unless it ends in one) + login + "_" + key + ".enp", with
// a "/" in front when datapath has none.
std::string dataObjectName(const std::string &dataPath, const char *login, const char *clientKey);

// The lines of the query reply. Each name is looked for anywhere in the
// text (first occurrence); a missing name or one whose value does not start
// with a number leaves 0 (updateSize: hasUpdateSize stays false).
struct ServerReply {
    int32_t fileCount = 0;
    int32_t fileSize = 0;
    int32_t update = 0;
    bool hasUpdateSize = false;
    int32_t updateSize = 0;
    std::string dataPath;  // one word; empty when missing
};
ServerReply parseServerReply(const char *text);
