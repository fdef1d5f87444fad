// The platform layer's settings file and registry. Run under Wine, these
// cases check the POSIX stand-ins against the real Win32 functions.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "test_env.h"

namespace {

class PlatformTest : public LibraryTest {};

TEST_F(PlatformTest, SettingsFileIsReadLikeAProfile) {
    writeSettings(
        "; comment\n"
        "[Files]\n"
        "Path = C:\\News  \n"
        "quoted=\"with blanks \"\n"
        "single='x'\n"
        "lonequote=\"abc\n"
        "empty=\n"
        "[ B]\n"
        "key=spaced section\n"
        "[files]\n"
        "late=second section of the same name\n");
    struct Case {
        const char *section, *key, *def;
        size_t size;
        const char *expected;
    };
    const Case cases[] = {
        {"FILES", "PATH", "", 64, "C:\\News"},  // case and blanks do not matter
        {"files", "path", "", 5, "C:\\N"},      // cut to the buffer
        {"FILES", "quoted", "", 64, "with blanks "},
        {"FILES", "single", "", 64, "x"},
        {"FILES", "lonequote", "", 64, "\"abc"},
        {"FILES", "empty", "dflt", 64, ""},  // present but empty: no default
        {"FILES", "absent", "dflt", 64, "dflt"},
        {"NOSECTION", "PATH", "d", 64, "d"},
        {"B", "key", "", 64, "spaced section"},  // blanks around section names drop
        {" B", "key", "", 64, "spaced section"},
        {"FILES", "late", "none", 64, "none"},  // a second [FILES] is not read
    };
    for (const Case &c : cases) {
        char buf[64];
        memset(buf, '#', sizeof buf);
        size_t n = platform::profileGetString(c.section, c.key, c.def, buf, c.size);
        EXPECT_STREQ(buf, c.expected) << c.section << "/" << c.key;
        EXPECT_EQ(n, strlen(c.expected)) << c.section << "/" << c.key;
    }
}

TEST_F(PlatformTest, SettingsWrittenAreReadBack) {
    writeSettings("[A]\nx=1\n");
    ASSERT_TRUE(platform::profileWriteString("A", "x", "2"));
    ASSERT_TRUE(platform::profileWriteString("a", "y", "3"));
    ASSERT_TRUE(platform::profileWriteString("NEW", "z", "4"));
    char buf[16];
    const std::pair<const char *, const char *> expect[] = {{"x", "2"}, {"y", "3"}};
    for (const auto &[key, value] : expect) {
        platform::profileGetString("A", key, "", buf, sizeof buf);
        EXPECT_STREQ(buf, value) << key;
    }
    platform::profileGetString("new", "Z", "", buf, sizeof buf);
    EXPECT_STREQ(buf, "4");
}

TEST_F(PlatformTest, RegistryKeepsTypedValues) {
    const char *key = "Software\\VKT\\QLAPI\\Newspapers\\VKT\\";
    EXPECT_FALSE(platform::regKeyExists(key));
    ASSERT_TRUE(platform::regCreateKey(key));
    EXPECT_TRUE(platform::regKeyExists("software\\vkt\\qlapi\\newspapers\\vkt"));
    EXPECT_TRUE(platform::regKeyExists("Software\\VKT\\QLAPI"));  // a parent

    ASSERT_TRUE(platform::regWriteNumber(key, "day", 7));
    ASSERT_TRUE(platform::regWriteText(key, "Note", "say \"hi\" \\ bye"));
    ASSERT_TRUE(platform::regWriteNumber(key, "DAY", 31));  // same value, other case

    platform::RegValue v;
    ASSERT_TRUE(platform::regReadValue(key, "Day", v));
    EXPECT_EQ(v.type, platform::RegType::number);
    EXPECT_EQ(v.number, 31u);
    ASSERT_TRUE(platform::regReadValue(key, "note", v));
    EXPECT_EQ(v.type, platform::RegType::text);
    EXPECT_EQ(v.text, "say \"hi\" \\ bye");
    EXPECT_FALSE(platform::regReadValue(key, "month", v));
    EXPECT_FALSE(platform::regReadValue("Software\\VKT\\Absent", "day", v));

    ASSERT_TRUE(platform::regDeleteTree("Software\\VKT\\QLAPI"));
    EXPECT_FALSE(platform::regKeyExists(key));
    EXPECT_FALSE(platform::regReadValue(key, "day", v));
}

}  // namespace
