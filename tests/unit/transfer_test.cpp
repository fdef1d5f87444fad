// The text and byte work of the internal transfer: server addresses, object
// names, the query reply and the container, without any traffic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "download/container.h"
#include "download/server_reply.h"

namespace {

TEST(ServerAddress, HostPortAndScript) {
    struct Case {
        const char *url;
        bool ok;
        const char *host;
        unsigned port;
        const char *script;
    };
    const Case cases[] = {
        {"news.example/cgi-bin/query", true, "news.example", 80, "cgi-bin/query"},
        {"news.example:8080/q", true, "news.example", 8080, "q"},
        {"http://127.0.0.1:65535/a/b", true, "127.0.0.1", 65535, "a/b"},
        {"news.example/", true, "news.example", 80, ""},
        {"news.example:0/q", true, "news.example:0", 80, "q"},  // no such port
        {"news.example:65536/q", true, "news.example:65536", 80, "q"},
        {"news.example:8o/q", true, "news.example:8o", 80, "q"},
        {"news.example", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Case &c : cases) {
        ServerAddress a;
        ASSERT_EQ(splitServerUrl(c.url, a), c.ok) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(a.host, c.host) << c.url;
        EXPECT_EQ(a.port, c.port) << c.url;
        EXPECT_EQ(a.script, c.script) << c.url;
    }
}

TEST(ObjectNames, QueryAndDataFile) {
    EXPECT_EQ(queryObjectName("cgi-bin/query", "S-1-5-21-7-8", "reader", 0, 0),
              "/cgi-bin/query?key=S-1-5-21-7-8&user=reader&ver=1.41&force=0&wantupdate=0");
    EXPECT_EQ(queryObjectName("q", "k", "a.b-c_d@e", 1, 1),
              "/q?key=k&user=a.b-c_d@e&ver=1.41&force=1&wantupdate=1");
    // What would change the query's meaning is encoded; nothing else.
    EXPECT_EQ(queryObjectName("q", "k", "Anna M\xfcller&co #1+%", 0, 0),
              "/q?key=k&user=Anna%20M%FCller%26co%20%231%2B%25&ver=1.41&force=0&wantupdate=0");
    EXPECT_EQ(percentEncode("a\tb\"c<>?\\^`{|}~"), "a%09b%22c%3C%3E%3F%5C%5E%60%7B%7C%7D~");

    for (const char *path : {"/data", "/data/", "data"})
        EXPECT_EQ(dataObjectName(path, "reader", "S-1-5"), "/data/reader_S-1-5.enp") << path;
    EXPECT_EQ(dataObjectName("/", "a b", "k"), "/a%20b_k.enp");
}

TEST(ServerReplyText, LinesAnywhereInTheText) {
    struct Case {
        const char *text;
        int32_t fileCount, fileSize;
        bool hasUpdateSize;
        int32_t updateSize;
        const char *dataPath;
    };
    const Case cases[] = {
        {"filecount=2\nfilesize=20000\nupdate=0\nupdatesize=0\ndatapath=/data/\n", 2, 20000, true,
         0, "/data/"},
        {"datapath=/d x\r\nupdatesize=512\r\nfilesize=7\r\nfilecount=1\r\n", 1, 7, true, 512, "/d"},
        {"<html>filecount=3 filesize= -4 datapath=\tdata</html>", 3, -4, false, 0, "data</html>"},
        {"filecount=abc\nfilesize=\nupdatesize=x\ndatapath=\n", 0, 0, false, 0, ""},
        {"filecount=99999999999\n", INT32_MAX, 0, false, 0, ""},
        {"", 0, 0, false, 0, ""},
        {"filecount=1\nfilecount=5\n", 1, 0, false, 0, ""},  // the first occurrence counts
    };
    for (const Case &c : cases) {
        ServerReply r = parseServerReply(c.text);
        EXPECT_EQ(r.fileCount, c.fileCount) << c.text;
        EXPECT_EQ(r.fileSize, c.fileSize) << c.text;
        EXPECT_EQ(r.hasUpdateSize, c.hasUpdateSize) << c.text;
        EXPECT_EQ(r.updateSize, c.updateSize) << c.text;
        EXPECT_EQ(r.dataPath, c.dataPath) << c.text;
    }
}

// A container built by hand, so that every field can be bent.
struct RawEntry {
    uint32_t offset, size;
    int32_t kind;
    std::string name;  // written with its NUL
};
std::string le32(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}
std::string raw(int32_t count, const std::vector<RawEntry> &entries, const std::string &tail) {
    std::string out = le32(static_cast<uint32_t>(count));
    for (const RawEntry &e : entries)
        out += le32(e.offset) + le32(e.size) + le32(static_cast<uint32_t>(e.kind)) + e.name +
               std::string(1, '\0');
    return out + tail;
}

TEST(Container, WellFormedEntries) {
    // Header: 4 + (12 + 6) + (12 + 4) = 38 bytes, then "EDITIONupd".
    std::string body = raw(2, {{38, 7, 0, "paper"}, {45, 3, 1, "upd"}}, "EDITIONupd");
    std::vector<ContainerEntry> entries;
    std::string why;
    ASSERT_TRUE(readContainer(reinterpret_cast<const unsigned char *>(body.data()), body.size(),
                              entries, why))
        << why;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "paper");
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(entries[0].data), entries[0].size),
              "EDITION");
    EXPECT_EQ(entries[1].name, "upd");
    EXPECT_EQ(entries[1].kind, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(entries[1].data), entries[1].size), "upd");

    for (int32_t count : {0, -1, INT32_MIN}) {
        std::string empty = raw(count, {}, "whatever follows");
        EXPECT_TRUE(readContainer(reinterpret_cast<const unsigned char *>(empty.data()),
                                  empty.size(), entries, why));
        EXPECT_TRUE(entries.empty());
    }
}

TEST(Container, EveryFlawIsFoundBeforeAnythingIsUsed) {
    const std::string good = "x";  // one data byte after a header of 4 + 12 + 2
    struct Case {
        const char *what;
        std::string body;
    };
    const Case cases[] = {
        {"no count", std::string("\1\0\0", 3)},
        {"more entries than bytes", raw(2, {{18, 1, 0, "a"}}, good)},
        {"huge count", raw(INT32_MAX, {{18, 1, 0, "a"}}, good)},
        {"name without end", le32(1) + le32(16) + le32(0) + le32(0) + "abc"},
        {"offset past the end", raw(1, {{19, 0, 0, "a"}}, "")},
        {"size past the end", raw(1, {{18, 2, 0, "a"}}, good)},
        {"offset and size wrap around", raw(1, {{18, 0xFFFFFFFF, 0, "a"}}, good)},
        {"second entry bad", raw(2, {{0, 1, 0, "a"}, {0, 1, 0, "../b"}}, "")},
        {"empty name", raw(1, {{0, 1, 0, ""}}, "")},
        {"parent folder", raw(1, {{0, 1, 0, ".."}}, "")},
        {"dots inside", raw(1, {{0, 1, 0, "a..b"}}, "")},
        {"slash", raw(1, {{0, 1, 0, "sub/paper"}}, "")},
        {"backslash", raw(1, {{0, 1, 0, "sub\\paper"}}, "")},
        {"drive", raw(1, {{0, 1, 0, "C:paper"}}, "")},
        {"absolute", raw(1, {{0, 1, 0, "/etc/passwd"}}, "")},
        {"control character", raw(1, {{0, 1, 0, "pa\nper"}}, "")},
        {"wildcard", raw(1, {{0, 1, 0, "pa*"}}, "")},
        {"device", raw(1, {{0, 1, 0, "con"}}, "")},
        {"device with extension", raw(1, {{0, 1, 1, "LPT1.exe"}}, "")},
    };
    for (const Case &c : cases) {
        std::vector<ContainerEntry> entries;
        std::string why;
        EXPECT_FALSE(readContainer(reinterpret_cast<const unsigned char *>(c.body.data()),
                                   c.body.size(), entries, why))
            << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }
    for (const char *name : {"tageblatt-2026-12-07", "a.b", "Zeitung 1", "COM", "CONSOLE", "x~"})
        EXPECT_TRUE(isPlainFileName(name)) << name;
}

}  // namespace
