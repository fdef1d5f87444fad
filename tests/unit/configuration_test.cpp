// Reading qlapi.ini and the registry configuration.
#include <cstring>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "core/library_state.h"
#include "platform/platform.h"
#include "qlapi.h"
#include "test_env.h"

namespace {

const std::string kSep(1, platform::kPathSeparator);

std::string serverSection(const std::string &name, const std::string &extra = "") {
    // The first of two equal keys counts, so extra comes first to override.
    return "[" + name + "]\n" + extra + "appl=prog.exe\nurl=http://h/" + name + "\nlogin=l_" +
           name + "\npassword=p_" + name + "\nclass=Transfer\n";
}

class ConfigurationTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        news_ = makeFolder("news");
    }
    // Writes [FILES] and [CONNECTIONS] with the given server list plus more.
    void settings(const std::string &servers, const std::string &more) {
        writeSettings("[FILES]\nPATH=" + news_ + "\n[CONNECTIONS]\nServer=" + servers + "\n" +
                      more);
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int i = 0; i < serverCount(); ++i) out.push_back(g_config.serverNames[i]);
        return out;
    }
    std::string news_;
};

TEST_F(ConfigurationTest, ServerListIsSplitAtEveryComma) {
    struct Case {
        const char *list;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"a,b", {"A", "B"}},
        {"A, B", {"A", " B"}},  // blanks belong to the name
        {"a,b,", {"A", "B"}},   // a comma at the end gives no name
        {"x", {"X"}},
    };
    for (const Case &c : cases) {
        std::string sections;
        for (const std::string &n : c.names) sections += serverSection(n);
        settings(c.list, sections);
        clearServerNames();
        ASSERT_TRUE(readConfiguration()) << c.list;
        EXPECT_EQ(names(), c.names) << c.list;
        for (size_t i = 0; i < c.names.size(); ++i)
            EXPECT_EQ(std::string(g_config.servers[i].login), "l_" + c.names[i]) << c.list;
    }
    // Two commas in a row give an empty name, whose section lacks everything.
    settings("a,,b", serverSection("A") + serverSection("B"));
    clearServerNames();
    EXPECT_FALSE(readConfiguration());
}

TEST_F(ConfigurationTest, SeventyServersUseTheFirstSixtyThree) {
    std::string list, sections;
    for (int i = 0; i < 70; ++i) {
        std::string name = "S" + std::to_string(100 + i);
        list += (i ? "," : "") + name;
        if (i < 63) sections += serverSection(name);  // the rest need no section
    }
    settings(list, sections);
    ASSERT_TRUE(readConfiguration());
    ASSERT_EQ(serverCount(), 63);
    EXPECT_EQ(std::string(g_config.serverNames[62]), "S162");
    EXPECT_EQ(g_config.maxPapers, 63) << "raised to the number of servers";
}

TEST_F(ConfigurationTest, MaxPapersIsClampedThenRaisedToTheServerCount) {
    struct Case {
        const char *value;
        int servers;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 1, 10}, {"0", 1, 1},    {"1000", 1, 255},        {"2", 3, 3}, {"-4", 1, 1},
        {"abc", 1, 1},    {"12x", 1, 12}, {"99999999999", 1, 255}, {"7", 2, 7},
    };
    for (const Case &c : cases) {
        std::string list, sections;
        for (int i = 0; i < c.servers; ++i) {
            list += std::string(i ? "," : "") + char('A' + i);
            sections += serverSection(std::string(1, char('A' + i)));
        }
        std::string papers =
            c.value ? std::string("[NEWSPAPERS]\nmaxpapers=") + c.value + "\n" : "";
        settings(list, papers + sections);
        ASSERT_TRUE(readConfiguration()) << (c.value ? c.value : "absent");
        EXPECT_EQ(g_config.maxPapers, c.expected) << (c.value ? c.value : "absent");
    }
}

TEST_F(ConfigurationTest, CorruptSaveSwitchesDeletionOffForTheProcess) {
    const struct {
        const char *value;
        int deleteAfter;
    } steps[] = {{"DELETE", 1}, {"keep", 1}, {"save", 0}, {"DELETE", 0}, {nullptr, 0}};
    for (const auto &s : steps) {
        std::string corrupt = s.value ? std::string("[NEWSPAPERS]\ncorrupt=") + s.value + "\n" : "";
        settings("A", corrupt + serverSection("A"));
        ASSERT_TRUE(readConfiguration());
        EXPECT_EQ(g_config.deleteCorrupt, s.deleteAfter) << (s.value ? s.value : "absent");
    }
}

TEST_F(ConfigurationTest, TimesyncIsUpperCasedOnlyGlobally) {
    struct Case {
        const char *global, *server;
        const char *expectGlobal, *expectServer;
    };
    const Case cases[] = {
        {"true", "true", "1", "0"}, {"true", nullptr, "1", "1"}, {"FALSE", "TRUE", "0", "1"},
        {"yes", "FALSE", "0", "0"}, {nullptr, "1", "0", "1"},    {"1", "2", "1", "0"},
    };
    for (const Case &c : cases) {
        std::string global = c.global ? std::string("timesync=") + c.global + "\n" : "";
        std::string server = c.server ? std::string("timesync=") + c.server + "\n" : "";
        writeSettings("[FILES]\nPATH=" + news_ + "\n[CONNECTIONS]\nServer=A\n" + global +
                      serverSection("A", server));
        ASSERT_TRUE(readConfiguration());
        EXPECT_STREQ(g_config.defaultTimesync, c.expectGlobal);
        EXPECT_STREQ(g_config.servers[0].timesync, c.expectServer)
            << (c.global ? c.global : "-") << " / " << (c.server ? c.server : "-");
    }
}

TEST_F(ConfigurationTest, PlaceholdersAreReplacedInTheCommand) {
    struct Case {
        const char *command, *expected;
    };
    const Case cases[] = {
        {"get $URL $LOGIN $PASSWORD $LOGFILE", "get http://h/A l_A p_A my.log"},
        {"plain command", "plain command"},
        {"$LOGINX$$PASSWORD$", "l_AX$p_A$"},  // a lone "$" stays
        {"$url $Login", "$url $Login"},       // names are case-sensitive
        {"$LOGFILE$LOGFILE", "my.logmy.log"},
    };
    for (const Case &c : cases) {
        settings("A",
                 serverSection("A", std::string("logfile=my.log\ncommand=") + c.command + "\n"));
        ASSERT_TRUE(readConfiguration());
        EXPECT_STREQ(g_config.servers[0].command, c.expected) << c.command;
    }
}

TEST_F(ConfigurationTest, OverlongValuesAreCutToTheirFieldAndLogged) {
    // A command that outgrows its field once the placeholders are in.
    std::string longUrl = "http://h/" + std::string(500, 'u');
    settings("A", serverSection("A", "command=$URL $URL\nurl=" + longUrl +
                                         "\nlogin=" + std::string(300, 'l') + "\n"));
    ASSERT_TRUE(readConfiguration());
    const Serverinfo &s = g_config.servers[0];
    EXPECT_EQ(strlen(s.url), longUrl.size());
    EXPECT_EQ(strlen(s.command), sizeof s.command - 1);
    EXPECT_EQ(std::string(s.command, 20), longUrl.substr(0, 20));
    EXPECT_EQ(strlen(s.login), sizeof s.login - 1);
    std::string log = readWholeFile(news_ + "qlapi.log");
    EXPECT_NE(log.find("Command of A is longer than 511 characters and was cut"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Setting login in [A] is longer than 127 characters and was cut"),
              std::string::npos)
        << log;
}

TEST_F(ConfigurationTest, FoldersGetASeparatorOrFailWhenTooLong) {
    settings("A", serverSection("A", "path=" + dir() + "work\n"));
    ASSERT_TRUE(readConfiguration());
    EXPECT_EQ(std::string(g_config.servers[0].path), dir() + "work" + kSep);
    EXPECT_EQ(std::string(g_config.newspaperDir), news_);

    // Without its own path a server works in the newspaper folder.
    settings("A", serverSection("A"));
    ASSERT_TRUE(readConfiguration());
    EXPECT_EQ(std::string(g_config.servers[0].path), news_);

    // 258 characters leave room for the separator; 259 do not.
    for (size_t len : {258u, 259u}) {
        std::string folder = dir() + std::string(len - dir().size(), 'f');
        writeSettings("[FILES]\nPATH=" + folder + "\n[CONNECTIONS]\nServer=A\n" +
                      serverSection("A"));
        EXPECT_EQ(readConfiguration(), len == 258) << len;
    }
}

TEST_F(ConfigurationTest, RequiredSettingsFailTheRead) {
    const char *required[] = {"appl", "url", "login", "password", "class"};
    for (const char *key : required) {
        std::string section = "[A]\n";
        for (const char *k : required)
            if (strcmp(k, key) != 0) section += std::string(k) + "=x\n";
        section += std::string(key) + "=\n";  // empty counts as missing
        settings("A", section);
        EXPECT_FALSE(readConfiguration()) << key;
    }
    writeSettings("[CONNECTIONS]\nServer=A\n" + serverSection("A"));
    EXPECT_FALSE(readConfiguration()) << "no PATH";
    writeSettings("[FILES]\nPATH=" + news_ + "\n" + serverSection("A"));
    EXPECT_FALSE(readConfiguration()) << "no Server";
}

TEST_F(ConfigurationTest, DefaultsAndGlobalValuesReachEveryServer) {
    writeSettings("[FILES]\nPATH=" + news_ +
                  "\nlogfile=g.log\n[CONNECTIONS]\nServer=A,B\n"
                  "[PROGRAMS]\nunpacker=unzip.exe\n"
                  "[MODEM]\ncomport=COM2\nexitcmd=ATH\n[INET]\nProfile=Dial\n" +
                  serverSection("A", "comport=COM9\nneedsmodem=yes\n") +
                  serverSection("B", "unpacker=internal\ndays=0,6\n"));
    ASSERT_TRUE(readConfiguration());
    const Serverinfo &a = g_config.servers[0], &b = g_config.servers[1];
    EXPECT_STREQ(g_config.dataExtension, ".eif");
    EXPECT_STREQ(g_config.ieSettingsKey,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\");
    EXPECT_EQ(g_config.hasDialProfile, 1);
    EXPECT_STREQ(a.unpacker, "UNZIP.EXE");
    EXPECT_STREQ(b.unpacker, "INTERNAL");
    EXPECT_STREQ(a.logfile, "g.log");
    EXPECT_STREQ(a.days, "1,2,3,4,5");
    EXPECT_STREQ(b.days, "0,6");
    EXPECT_STREQ(a.comport, "COM9");
    EXPECT_STREQ(b.comport, "COM2");
    EXPECT_STREQ(b.exitcmd, "ATH");
    EXPECT_STREQ(a.needsmodem, "YES");
    EXPECT_STREQ(b.needsmodem, "1");
}

TEST_F(ConfigurationTest, ServersAreSortedStablyByWindowClass) {
    settings("A,B,C,D",
             "[A]\nappl=p\nurl=u\nlogin=1\npassword=p\nclass=zeta\n"
             "[B]\nappl=p\nurl=u\nlogin=2\npassword=p\nclass=Alpha\n"
             "[C]\nappl=p\nurl=u\nlogin=3\npassword=p\nclass=ZETA\n"
             "[D]\nappl=p\nurl=u\nlogin=4\npassword=p\nclass=alpha\n");
    ASSERT_TRUE(readConfiguration());
    EXPECT_EQ(names(), (std::vector<std::string>{"B", "D", "A", "C"}));
    const char *logins[] = {"2", "4", "1", "3"};
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(g_config.servers[i].login, logins[i]) << i;
}

TEST_F(ConfigurationTest, RegistryConfigurationDescribesOneInternalServer) {
    std::string regNews = dir() + "reg";
    g_library.enhancedInterface = 1;
    platform::regWriteText(kLibraryKey, "Method", "pHp");
    platform::regWriteText(kLibraryKey, "Login", "reader7");
    platform::regWriteText(kLibraryKey, "URL", "http://127.0.0.1:8080/q.php");
    platform::regWriteText(kLibraryKey, "PATH", regNews.c_str());
    platform::regWriteNumber(kLibraryKey, "maxpapers", 3);
    writeSettings("[FILES]\nPATH=" + news_ + "\n");  // must not be read
    ASSERT_TRUE(readConfiguration());
    const Serverinfo &s = g_config.servers[0];
    EXPECT_EQ(std::string(g_config.newspaperDir), regNews + kSep);
    EXPECT_EQ(std::string(s.path), regNews + kSep);
    EXPECT_STREQ(s.login, "reader7");
    EXPECT_STREQ(s.url, "http://127.0.0.1:8080/q.php");
    EXPECT_EQ(g_config.maxPapers, 3);
    EXPECT_STREQ(s.appl, "internal");
    EXPECT_STREQ(s.command, "internal");
    EXPECT_STREQ(s.unpacker, "internal");
    EXPECT_STREQ(s.windowClass, "HttpPostmasterClass");
    EXPECT_STREQ(s.days, "0,1,2,3,4,5,6,7");
    EXPECT_STREQ(s.needsmodem, "0");
    EXPECT_STREQ(s.logfile, "qlapi.log");
    EXPECT_EQ(strlen(s.password), 3u);
    EXPECT_EQ(names(), std::vector<std::string>{"VKT"});

    // Nothing is required there: an empty PATH leaves the folder empty, and
    // 0 papers means the default.
    platform::regDeleteTree(kLibraryKey);
    platform::regWriteText(kLibraryKey, "Method", "PHP");
    platform::regWriteNumber(kLibraryKey, "maxpapers", 0);
    ASSERT_TRUE(readConfiguration());
    EXPECT_STREQ(g_config.newspaperDir, "");
    EXPECT_EQ(g_config.maxPapers, 10);

    // Another method, or the plain interface, reads the settings file.
    platform::regWriteText(kLibraryKey, "Method", "FILE");
    EXPECT_FALSE(readConfiguration()) << "the settings file has no server";
    platform::regWriteText(kLibraryKey, "Method", "PHP");
    g_library.enhancedInterface = 0;
    EXPECT_FALSE(readConfiguration());
}

TEST_F(ConfigurationTest, CountryCodeComesFromTheSettingsOrTheRegistry) {
    writeSettings("[COUNTRIES]\nde=49\nEN=44\n");
    struct Case {
        int enhanced;
        const char *method;  // null: no key
        int regCode;         // -1: absent
        const char *language;
        int expected;
    };
    const Case cases[] = {
        {0, nullptr, -1, "de", 49}, {0, nullptr, -1, "en", 44}, {0, nullptr, -1, "fr", 0},
        {0, "PHP", 7, "DE", 49},    {1, nullptr, -1, "en", 44}, {1, "php", 7, "en", 7},
        {1, "PHP", -1, "en", 49},   {1, "FILE", 7, "en", 49},   {0, nullptr, -1, nullptr, 0},
    };
    for (const Case &c : cases) {
        platform::regDeleteTree(kLibraryKey);
        if (c.method) platform::regWriteText(kLibraryKey, "Method", c.method);
        if (c.regCode >= 0) platform::regWriteNumber(kLibraryKey, "CountryCode", c.regCode);
        g_library.enhancedInterface = c.enhanced;
        EXPECT_EQ(lookupCountryCode(c.language), c.expected)
            << c.enhanced << " " << (c.method ? c.method : "-") << " "
            << (c.language ? c.language : "null");
    }
}

TEST(AppendBackslash, AddsOneSeparatorWhereThereIsRoom) {
    const std::string sep = kSep;
    struct Case {
        std::string in;
        size_t size;
        bool ok;
        std::string out;
    };
    const Case cases[] = {
        {"", 8, true, ""},
        {"abc", 8, true, "abc" + sep},
        {"abc" + sep, 8, true, "abc" + sep},
        {"abcdef", 8, true, "abcdef" + sep},
        {"abcdefg", 8, false, "abcdefg"},
    };
    for (const Case &c : cases) {
        char field[16];
        strcpy(field, c.in.c_str());
        EXPECT_EQ(appendBackslash(field, c.size), c.ok) << c.in;
        EXPECT_EQ(std::string(field), c.out) << c.in;
    }
}

}  // namespace
