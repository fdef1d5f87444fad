// The handheld emulator, called in-process through the table the reader binds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "handheld_emulator.h"
#include "test_env.h"

namespace fs = std::filesystem;

namespace {

// Sets QUILLON_HANDHELD; an empty path unsets it.
void setRoot(const fs::path &root) { setEnvironment("QUILLON_HANDHELD", root.string()); }

// Through the path itself, so that names beyond the code page work on Windows.
std::string slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
void put(const fs::path &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

class HandheldEmulator : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("handheld-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "files" / "Docs");
        put(root_ / "handheld.ini",
            "; the test handheld\nversion=4.20\n\n[HKEY_CURRENT_USER\\Software\\VKT\\QLAPI]\n"
            "PATH=\\My Documents\\Zeitungen\\\n");
        setRoot(root_);
    }
    void TearDown() override {
        api_.rapiUninit();
        setRoot({});
    }
    fs::path root_;
    DeviceApi api_ = handheldEmulatorApi();
};

TEST_F(HandheldEmulator, PresenceAndInit) {
    struct Row {
        bool rootSet;
        const char *ini;
        bool present;
        int32_t init;
    } rows[] = {{false, "", false, int32_t(0x80004005u)},
                {true, "connected=no\n", false, int32_t(0x80004005u)},
                {true, "init=fail\n", true, int32_t(0x80004005u)},
                {true, "connected=yes\ninit=ok\n", true, 0}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.ini);
        put(root_ / "handheld.ini", row.ini);
        fs::remove(root_ / "connection.log");
        setRoot(row.rootSet ? root_ : fs::path());
        EXPECT_EQ(api_.getDeviceId() != 0, row.present);
        EXPECT_EQ(api_.rapiInit(), row.init);
        EXPECT_EQ(slurp(root_ / "connection.log"), !row.rootSet    ? ""
                                                   : row.init == 0 ? "init\n"
                                                                   : "init failed\n");
    }
    EXPECT_EQ(api_.rapiUninit(), 0);
    EXPECT_EQ(slurp(root_ / "connection.log"), "init\nuninit\n");
}

// Plugging by hand changes the one setting and keeps every other line,
// the registry's values included, even one that is called "connected".
TEST_F(HandheldEmulator, PluggingRewritesOnlyTheConnectedSetting) {
    const std::string key = "[HKEY_CURRENT_USER\\Software\\VKT]\nconnected=x\n";
    struct Row {
        const char *before;
        std::string unplugged;  // the file after unplugging; plugging gives "yes"
    } rows[] = {
        {"version=4.20\n", "connected=no\nversion=4.20\n"},
        {"\xEF\xBB\xBF; ours\n",
         "\xEF\xBB\xBF"
         "connected=no\n; ours\n"},
        {"init=ok\n Connected = yes \nversion=5.01\n", "init=ok\nconnected=no\nversion=5.01\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.before);
        put(root_ / "handheld.ini", row.before + key);
        ASSERT_TRUE(setHandheldConnected(false));
        EXPECT_EQ(slurp(root_ / "handheld.ini"), row.unplugged + key);
        EXPECT_EQ(api_.getDeviceId(), 0u);
        ASSERT_TRUE(setHandheldConnected(true));
        EXPECT_NE(api_.getDeviceId(), 0u);
    }
    setRoot({});
    EXPECT_FALSE(setHandheldConnected(false));
}

// Without a connection every call fails as the connection software says:
// the result, and CeRapiGetError; the last error stays as it was.
TEST_F(HandheldEmulator, CallsWithoutInitFail) {
    CeKey key = nullptr;
    CeVersionInfo info{};
    uint32_t written;
    const uint32_t before = api_.getLastError();
    EXPECT_EQ(api_.createFile(u"\\a.txt", kCeGenericWrite, 0, nullptr, kCeCreateAlways, 0, nullptr),
              ceInvalidHandle());
    EXPECT_NE(api_.rapiGetError(), 0u);
    EXPECT_EQ(api_.writeFile(reinterpret_cast<CeHandle>(1), "x", 1, &written, nullptr), 0);
    EXPECT_EQ(api_.regOpenKeyEx(ceCurrentUser(), u"Software", 0, 0, &key), 21);
    EXPECT_EQ(api_.getVersionEx(&info), 0);
    EXPECT_NE(api_.rapiGetError(), 0u);
    EXPECT_EQ(api_.getLastError(), before);
    EXPECT_FALSE(fs::exists(root_ / "files" / "a.txt"));
}

// The rules a real handheld keeps, and the failures it can produce on
// demand: each row is a call in a fresh session.
TEST_F(HandheldEmulator, KeepsTheHandheldsRules) {
    fs::create_directories(root_ / "files" / "Docs");
    put(root_ / "files" / "Docs" / "Brief.txt", "old");
    const std::u16string deep = u"\\Docs\\" + std::u16string(253, u'x');  // 259 characters
    struct Row {
        const char *settings;
        std::u16string path;
        uint32_t disposition;
        uint32_t error;    // the last error afterwards; 0: the create worked
        uint32_t written;  // of a 10-byte write, when the create worked
    } rows[] = {
        {"", u"\\DOCS\\brief.TXT", kCeCreateNew, kCeErrorFileExists, 0},  // names ignore case
        {"", deep, kCeCreateNew, 0, 10},
        {"", deep + u"y", kCeCreateNew, 206, 0},  // 260 characters
        {"running=Other.exe, brief.txt", u"\\Docs\\Brief.txt", kCeCreateAlways, 32, 0},
        {"free=4", u"\\Docs\\full.txt", kCeCreateNew, 0, 4},
        {"writefail=6", u"\\Docs\\fault.txt", kCeCreateNew, 0, 6},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.settings);
        put(root_ / "handheld.ini", std::string(row.settings) + "\n");
        ASSERT_EQ(api_.rapiInit(), 0);
        CeHandle file = api_.createFile(row.path.c_str(), kCeGenericWrite, 0, nullptr,
                                        row.disposition, kCeNormalFile, nullptr);
        EXPECT_EQ(file == ceInvalidHandle(), row.error != 0);
        if (row.error) {
            EXPECT_EQ(api_.getLastError(), row.error);
        }
        if (file != ceInvalidHandle()) {
            uint32_t written = 0;
            EXPECT_EQ(api_.writeFile(file, "0123456789", 10, &written, nullptr), row.written == 10);
            EXPECT_EQ(written, row.written);
            if (row.written < 10) {
                EXPECT_EQ(api_.getLastError(), row.written == 4 ? 112u : 29u);
            }
            EXPECT_EQ(api_.closeHandle(file), 1);
        }
        api_.rapiUninit();
    }
    EXPECT_EQ(slurp(root_ / "files" / "Docs" / "Brief.txt"), "old");

    // Success leaves the last error alone, and so do the registry calls;
    // a handheld that goes mid-session is told by CeRapiGetError.
    put(root_ / "handheld.ini", "\n[HKEY_CURRENT_USER\\Software]\nA=b\n");
    ASSERT_EQ(api_.rapiInit(), 0);
    api_.createFile(u"\\Docs\\Brief.txt", kCeGenericWrite, 0, nullptr, kCeCreateNew, 0, nullptr);
    CeVersionInfo info{};
    CeKey key = nullptr;
    EXPECT_EQ(api_.getVersionEx(&info), 1);
    EXPECT_EQ(api_.regOpenKeyEx(ceCurrentUser(), u"Nowhere", 0, 0, &key), 2);
    EXPECT_EQ(api_.getLastError(), kCeErrorFileExists);
    EXPECT_EQ(api_.rapiGetError(), 0u);
    setHandheldConnected(false);
    EXPECT_EQ(
        api_.createFile(u"\\Docs\\n.txt", kCeGenericWrite, 0, nullptr, kCeCreateNew, 0, nullptr),
        ceInvalidHandle());
    EXPECT_EQ(api_.getLastError(), kCeErrorFileExists);
    EXPECT_NE(api_.rapiGetError(), 0u);
}

// A blocked CeRapiInit ends when another thread uninitialises, or when the
// handheld stops blocking.
TEST_F(HandheldEmulator, ABlockedInitIsReleased) {
    for (bool byUninit : {true, false}) {
        put(root_ / "handheld.ini", "init=block\n");
        // An uninit given before the init began to wait would be lost, so
        // it is given again until the init returned.
        std::atomic<bool> returned{false};
        std::thread release([&] {
            if (!byUninit) return put(root_ / "handheld.ini", "init=ok\n");
            while (!returned.load()) {
                api_.rapiUninit();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        EXPECT_EQ(api_.rapiInit(), byUninit ? int32_t(0x80004005u) : 0) << byUninit;
        returned.store(true);
        release.join();
        api_.rapiUninit();
    }
}

TEST_F(HandheldEmulator, CreateWriteAndClose) {
    struct Row {
        const char16_t *path;
        uint32_t disposition;
        const char *before;  // content on disk beforehand, if any
        uint32_t error;
        const char *after;  // content on disk afterwards, if any
    } rows[] = {
        {u"\\Docs\\new.txt", kCeCreateNew, nullptr, 0, "abcde"},
        {u"\\Docs\\old.txt", kCeCreateNew, "old", 80, "old"},
        {u"\\Docs\\new2.txt", kCeCreateAlways, nullptr, 0, "abcde"},
        {u"\\Docs\\old2.txt", kCeCreateAlways, "much older", 183, "abcde"},
        {u"\\Docs\\Zeitung \u00e4.txt", kCeCreateNew, nullptr, 0, "abcde"},
        {u"\\Zeitungen\\x.txt", kCeCreateAlways, nullptr, 3, nullptr},
        {u"Docs\\x.txt", kCeCreateAlways, nullptr, 3, nullptr},
        {u"\\Docs\\..\\x.txt", kCeCreateAlways, nullptr, 3, nullptr},
        {u"", kCeCreateAlways, nullptr, 3, nullptr},
    };
    ASSERT_EQ(api_.rapiInit(), 0);
    for (const Row &row : rows) {
        std::u16string relative = *row.path ? row.path + 1 : row.path;
        for (char16_t &c : relative) c = c == u'\\' ? u'/' : c;
        fs::path disk = root_ / "files" / fs::path(relative);
        SCOPED_TRACE(disk.u8string());
        if (row.before) put(disk, row.before);
        CeHandle file = api_.createFile(row.path, kCeGenericWrite, 0, nullptr, row.disposition,
                                        kCeNormalFile, nullptr);
        EXPECT_EQ(api_.getLastError(), row.error);
        bool opens = row.error == 0 || row.error == 183;
        ASSERT_EQ(file != ceInvalidHandle() && file != nullptr, opens);
        if (opens) {
            uint32_t written = 0;
            EXPECT_EQ(api_.writeFile(file, "abc", 3, &written, nullptr), 1);
            EXPECT_EQ(api_.writeFile(file, "de", 2, &written, nullptr), 1);
            EXPECT_EQ(written, 2u);
            EXPECT_EQ(api_.closeHandle(file), 1);
            EXPECT_EQ(api_.closeHandle(file), 0);
            EXPECT_EQ(api_.getLastError(), 6u);
        }
        EXPECT_EQ(slurp(disk), row.after ? row.after : "");
    }
    EXPECT_EQ(api_.deleteFile(u"\\Docs\\old.txt"), 1);
    EXPECT_FALSE(fs::exists(root_ / "files" / "Docs" / "old.txt"));
    EXPECT_EQ(api_.deleteFile(u"\\Docs\\old.txt"), 0);
    EXPECT_EQ(api_.getLastError(), 2u);
}

// What the copy asks of a folder, and how it moves a file into place.
TEST_F(HandheldEmulator, FindMoveAndRoom) {
    put(root_ / "files" / "Docs" / "a.eif", "12345");
    put(root_ / "files" / "Docs" / "B.ehd", "");
    fs::create_directories(root_ / "files" / "Docs" / "sub.eif");
    put(root_ / "handheld.ini", "free=100\n");
    ASSERT_EQ(api_.rapiInit(), 0);
    struct Row {
        const char16_t *pattern;
        std::vector<std::string> found;  // "name size", sorted; empty: none (error 2)
    } rows[] = {
        {u"\\Docs\\*", {"B.ehd 0", "a.eif 5", "sub.eif dir"}},
        {u"\\Docs\\*.EIF", {"a.eif 5", "sub.eif dir"}},
        {u"\\Docs\\b.ehd", {"B.ehd 0"}},
        {u"\\Docs\\*.txt", {}},
    };
    for (const Row &row : rows) {
        std::u16string pattern(row.pattern);
        SCOPED_TRACE(std::string(pattern.begin(), pattern.end()));
        CeFindData data{};
        CeHandle search = api_.findFirstFile(row.pattern, &data);
        std::vector<std::string> found;
        if (search != ceInvalidHandle()) {
            do {
                std::u16string name(data.name);
                found.push_back(std::string(name.begin(), name.end()) + " " +
                                (data.attributes & kCeDirectory ? std::string("dir")
                                                                : std::to_string(data.sizeLow)));
            } while (api_.findNextFile(search, &data));
            EXPECT_EQ(api_.getLastError(), kCeErrorNoMoreFiles);
            EXPECT_EQ(api_.findClose(search), 1);
        } else {
            EXPECT_EQ(api_.getLastError(), kCeErrorFileNotFound);
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, row.found);
    }
    // A move never replaces a file; a file held by a running program stays.
    EXPECT_EQ(api_.moveFile(u"\\Docs\\a.eif", u"\\Docs\\b.EHD"), 0);
    EXPECT_EQ(api_.getLastError(), kCeErrorAlreadyExists);
    EXPECT_EQ(api_.moveFile(u"\\Docs\\a.eif", u"\\Docs\\c.eif"), 1);
    EXPECT_EQ(slurp(root_ / "files" / "Docs" / "c.eif"), "12345");
    EXPECT_FALSE(fs::exists(root_ / "files" / "Docs" / "a.eif"));
    EXPECT_EQ(api_.moveFile(u"\\Docs\\a.eif", u"\\Docs\\d.eif"), 0);
    EXPECT_EQ(api_.getLastError(), kCeErrorFileNotFound);
    // The room left is what free= allows less what this session wrote.
    CeStoreInformation store{};
    CeHandle file = api_.createFile(u"\\Docs\\e.txt", kCeGenericWrite, 0, nullptr, kCeCreateNew,
                                    kCeNormalFile, nullptr);
    uint32_t written = 0;
    api_.writeFile(file, "0123456789", 10, &written, nullptr);
    api_.closeHandle(file);
    EXPECT_EQ(api_.getStoreInformation(&store), 1);
    EXPECT_EQ(store.freeSize, 90u);
    put(root_ / "handheld.ini", "running=c.eif\n");
    EXPECT_EQ(api_.moveFile(u"\\Docs\\c.eif", u"\\Docs\\f.eif"), 0);
    EXPECT_EQ(api_.getLastError(), 32u);
    setHandheldConnected(false);
    EXPECT_EQ(api_.getStoreInformation(&store), 0);
    EXPECT_NE(api_.rapiGetError(), 0u);
}

// A write to the blocked file waits for the test's word: the block lifted
// (it then writes) or the cable pulled (it then fails, the connection gone).
TEST_F(HandheldEmulator, ABlockedWriteWaitsForTheTest) {
    for (bool unplug : {false, true}) {
        SCOPED_TRACE(unplug);
        put(root_ / "handheld.ini", "block=held.eif\n");
        ASSERT_EQ(api_.rapiInit(), 0);
        CeHandle file = api_.createFile(u"\\Docs\\HELD.eif", kCeGenericWrite, 0, nullptr,
                                        kCeCreateAlways, kCeNormalFile, nullptr);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (unplug)
                setHandheldConnected(false);
            else
                put(root_ / "handheld.ini", "\n");
        });
        uint32_t written = 0;
        EXPECT_EQ(api_.writeFile(file, "abc", 3, &written, nullptr), unplug ? 0 : 1);
        EXPECT_EQ(api_.rapiGetError() != 0, unplug);
        release.join();
        api_.rapiUninit();
        EXPECT_EQ(slurp(root_ / "files" / "Docs" / "HELD.eif"), unplug ? "" : "abc");
    }
}

TEST_F(HandheldEmulator, Registry) {
    const CeKey machine = reinterpret_cast<CeKey>(intptr_t(int32_t(0x80000002u)));
    const CeKey untouched = reinterpret_cast<CeKey>(intptr_t(0x1234));
    const std::u16string path = u"\\My Documents\\Zeitungen\\";
    const uint32_t needed = uint32_t(path.size() + 1) * 2;
    struct Row {
        CeKey root;
        const char16_t *key;
        int32_t opened;
        const char16_t *name;
        uint32_t room;  // 0: no buffer
        int32_t queried;
        uint32_t size;
    } rows[] = {{ceCurrentUser(), u"Software\\VKT\\QLAPI", 0, u"PATH", 128, 0, needed},
                {ceCurrentUser(), u"software\\vkt\\qlapi", 0, u"path", 0, 0, needed},
                {ceCurrentUser(), u"Software\\VKT\\QLAPI", 0, u"Path", 4, 234, needed},
                {ceCurrentUser(), u"Software\\VKT\\QLAPI", 0, u"Other", 128, 2, 128},
                {ceCurrentUser(), u"Software\\VKT\\Missing", 2, nullptr, 0, 0, 0},
                {machine, u"Software\\VKT\\QLAPI", 2, nullptr, 0, 0, 0}};
    ASSERT_EQ(api_.rapiInit(), 0);
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.key, row.key + std::char_traits<char16_t>::length(row.key)));
        CeKey key = untouched;
        ASSERT_EQ(api_.regOpenKeyEx(row.root, row.key, 0, 0, &key), row.opened);
        if (row.opened != 0) {
            EXPECT_EQ(key, untouched);
            continue;
        }
        EXPECT_NE(key, nullptr);
        uint8_t data[128] = {};
        uint32_t type = 0, size = row.room ? row.room : 999;
        EXPECT_EQ(
            api_.regQueryValueEx(key, row.name, nullptr, &type, row.room ? data : nullptr, &size),
            row.queried);
        EXPECT_EQ(size, row.size);
        if (row.queried == 0 && row.room) {
            EXPECT_EQ(type, kCeRegString);
            EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(data)), path);
        }
        EXPECT_EQ(api_.regCloseKey(key), 0);
    }
}

TEST_F(HandheldEmulator, VersionAndProcesses) {
    ASSERT_EQ(api_.rapiInit(), 0);
    CeVersionInfo info{};
    ASSERT_EQ(api_.getVersionEx(&info), 1);
    EXPECT_EQ(std::vector<uint32_t>({info.major, info.minor, info.build, info.platform}),
              std::vector<uint32_t>({4, 20, 0, 3}));
    put(root_ / "handheld.ini", "");
    ASSERT_EQ(api_.getVersionEx(&info), 1);
    EXPECT_EQ(info.major * 100 + info.minor, 501u);

    fs::create_directories(root_ / "files" / "Windows");
    put(root_ / "files" / "Windows" / "QuillonCE.exe", "MZ");
    auto start = [&](const char16_t *program, const char16_t *commandLine) {
        return api_.createProcess(program, commandLine, nullptr, nullptr, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    };
    EXPECT_EQ(start(u"\\Windows\\QuillonCE.exe", u"/install \u00e4"), 1);
    EXPECT_EQ(start(u"\\Windows\\QuillonCE.exe", nullptr), 1);
    EXPECT_EQ(start(u"\\Windows\\Missing.exe", nullptr), 0);
    EXPECT_EQ(api_.getLastError(), 2u);
    EXPECT_EQ(slurp(root_ / "processes.log"),
              "\\Windows\\QuillonCE.exe|/install \xc3\xa4\n\\Windows\\QuillonCE.exe|\n");
}

}  // namespace
