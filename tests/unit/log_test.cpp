// The log file: message formatting, the entry layout, masking and trimming.
#include <cstdarg>
#include <cstring>
#include <string>

#include "config/configuration.h"
#include "core/log.h"
#include "platform/knobs.h"
#include "test_env.h"

namespace {

std::string format(const char *fmt, ...) {
    char out[2048];
    va_list args;
    va_start(args, fmt);
    formatLogMessage(out, sizeof out, fmt, args);
    va_end(args);
    return out;
}

TEST(LogFormat, DirectivesFollowTheLibrarysOwnRules) {
    EXPECT_EQ(format("%s", nullptr), "default");
    EXPECT_EQ(format("%s|%s", "a", "bc"), "a|bc");
    EXPECT_EQ(format("%l", 1), "1");
    EXPECT_EQ(format("%ld", 1), "1d");  // "l" alone is the directive
    EXPECT_EQ(format("%d %d", -2147483647 - 1, 2147483647), "-2147483648 2147483647");
    EXPECT_EQ(format("%c%c", 'o', 'k'), "ok");
    EXPECT_EQ(format("100%%"), "100%");
    EXPECT_EQ(format("%x%5d", 3), "x5d");  // no widths: "%5" writes "5", "d" is plain
    EXPECT_EQ(format("ends in %"), "ends in %");
    EXPECT_EQ(format("Working on %s, %d attempt\n", "VKT", 2), "Working on VKT, 2 attempt\n");
}

TEST(LogFormat, LongMessagesAreCutToTheBuffer) {
    std::string big(5000, 'x');
    std::string out = format("<%s>", big.c_str());
    EXPECT_EQ(out.size(), 2047u);
    EXPECT_EQ(out.substr(0, 2), "<x");
}

TEST(LogFormat, SecretsAreMasked) {
    EXPECT_EQ(maskSecret("agent -u a -p x -q x", "x"), "agent -u a -p ******** -q ********");
    EXPECT_EQ(maskSecret("no secret", ""), "no secret");
    EXPECT_EQ(maskSecret("aaaa", "aa"), "****************");
}

TEST(LogFormat, CtimeTextHasTheTwentyFourCharacterForm) {
    std::string t = ctimeText(0);
    ASSERT_EQ(t.size(), 24u) << t;
    EXPECT_EQ(t[3], ' ');
    EXPECT_EQ(t[7], ' ');
    EXPECT_EQ(t[13], ':');
    EXPECT_EQ(t[16], ':');
    EXPECT_TRUE(t.substr(20) == "1970" || t.substr(20) == "1969") << t;
}

time_t fixedClock() { return 86400 * 3 + 12 * 3600; }  // a Sunday noon, 1970

class LogFileTest : public LibraryTest {};

TEST_F(LogFileTest, EachEntryIsABannerLineAndATabbedMessage) {
    std::string news = makeFolder("news");
    setLogFolder(news.c_str());
    platform::knobs::setClock(fixedClock);
    writeLog("Working on %s, %d attempt\n", "VKT", 1);
    writeLog("no break");
    std::string expectedTime = ctimeText(fixedClock());
#ifdef _WIN32
    const std::string nl = "\r\n";
#else
    const std::string nl = "\n";
#endif
    std::string banner =
        "V1.41 Multiplatform (Win/Linux) / Multiprotocol / ActiveSync / ProxyAuth " + expectedTime;
    EXPECT_EQ(readWholeFile(news + "qlapi.log"), banner + nl + "\tWorking on VKT, 1 attempt" + nl +
                                                     nl + banner + nl + "\tno break" + nl);
}

// The command line that carries a password is masked where it is logged;
// a password that is also a word garbles no other line.
TEST_F(LogFileTest, OnlyTheCommandLineHidesThePassword) {
    std::string news = makeFolder("news");
    writeSettings("[FILES]\nPATH=" + news +
                  "\n[CONNECTIONS]\nServer=A\n[A]\nappl=agent.exe\nurl=u\nlogin=reader\n"
                  "password=Done\nclass=c\ncommand=agent.exe -u $LOGIN -p $PASSWORD\n");
    ASSERT_TRUE(readConfiguration());
    const Serverinfo &s = g_config.servers[0];
    writeLog("Launching %s %s\n", s.appl, maskSecret(s.command, s.password).c_str());
    writeLog("received a TransactionDone\n");
    std::string log = readWholeFile(news + "qlapi.log");
    EXPECT_NE(log.find("agent.exe -u reader -p ********"), std::string::npos) << log;
    EXPECT_NE(log.find("received a TransactionDone"), std::string::npos) << log;
}

TEST_F(LogFileTest, ReachingTheLimitKeepsTheLastHalfMillionBytes) {
    std::string news = makeFolder("news");
    setLogFolder(news.c_str());
    std::string path = news + "qlapi.log";
    // Distinct bytes everywhere, so that a wrong cut shows.
    std::string old;
    old.reserve(kLogLimitBytes);
    for (long i = 0; old.size() < size_t(kLogLimitBytes) - 200; ++i) old += std::to_string(i) + ",";
    writeWholeFile(path, old);
    writeLog("below the limit\n");
    std::string grown = readWholeFile(path);
    ASSERT_LT(grown.size(), size_t(kLogLimitBytes)) << "not trimmed yet";

    writeLog("%s\n", std::string(300, 'z').c_str());
    std::string trimmed = readWholeFile(path);
    ASSERT_EQ(trimmed.size(), size_t(kLogKeepBytes));
    size_t entryStart = trimmed.rfind("V1.41");
    ASSERT_NE(entryStart, std::string::npos);
    std::string all = grown + trimmed.substr(entryStart);
    EXPECT_TRUE(trimmed == all.substr(all.size() - kLogKeepBytes))
        << "the file must hold exactly the last bytes that were there";
    EXPECT_FALSE(fileExists(path + ".tmp"));
}

TEST_F(LogFileTest, WithoutAFolderTheLogGoesToTheCurrentDirectory) {
    setLogFolder("");
    EXPECT_EQ(logFilePath(), "qlapi.log");
}

}  // namespace
