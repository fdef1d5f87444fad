// The handheld: binding the remote interface, synchronisation and the
// installation of the handheld reader, against our handheld emulator
// (tools/handheld) called in-process, and the two device images.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "device_api.h"
#include "device_install.h"
#include "device_sync.h"
#include "handheld_emulator.h"
#include "handheld_image.h"
#include "reader_test_support.h"

namespace fs = std::filesystem;

namespace {

// ---- Binding -----------------------------------------------------------------

std::set<std::string> g_libraries;  // the libraries that load
std::set<std::string> g_missing;    // exports they lack
std::vector<std::string> g_loaded;  // load attempts, in order

void *fakeLoad(const char *name) {
    g_loaded.push_back(name);
    return g_libraries.count(name) ? &g_libraries : nullptr;
}

void *emulatorExport(void *, const char *name) {
    if (g_missing.count(name)) return nullptr;
    DeviceApi e = handheldEmulatorApi();
    const std::pair<const char *, void *> exports[] = {
        {"CeGetDeviceId", reinterpret_cast<void *>(e.getDeviceId)},
        {"CeRapiInit", reinterpret_cast<void *>(e.rapiInit)},
        {"CeRapiUninit", reinterpret_cast<void *>(e.rapiUninit)},
        {"CeCreateFile", reinterpret_cast<void *>(e.createFile)},
        {"CeGetLastError", reinterpret_cast<void *>(e.getLastError)},
        {"CeCloseHandle", reinterpret_cast<void *>(e.closeHandle)},
        {"CeCreateProcess", reinterpret_cast<void *>(e.createProcess)},
        {"CeWriteFile", reinterpret_cast<void *>(e.writeFile)},
        {"CeRegOpenKeyEx", reinterpret_cast<void *>(e.regOpenKeyEx)},
        {"CeRegQueryValueEx", reinterpret_cast<void *>(e.regQueryValueEx)},
        {"CeRegCloseKey", reinterpret_cast<void *>(e.regCloseKey)},
        {"CeGetVersionEx", reinterpret_cast<void *>(e.getVersionEx)},
        {"CeDeleteFile", reinterpret_cast<void *>(e.deleteFile)}};
    for (const auto &x : exports)
        if (std::string(x.first) == name) return x.second;
    return nullptr;
}

TEST(DeviceBinding, AnythingMissingMeansNoHandheld) {
    const std::vector<std::string> both = {"ceutil.dll", "rapi.dll"};
    struct Case {
        std::set<std::string> libraries, missing;
        std::vector<std::string> loaded;
        bool realPresenceTest, deleteBound;
    } cases[] = {
        {{}, {}, {"ceutil.dll"}, false, false},  // rapi.dll is never tried
        {{"ceutil.dll"}, {}, both, false, false},
        {{"ceutil.dll", "rapi.dll"}, {"CeGetDeviceId"}, both, false, true},
        {{"ceutil.dll", "rapi.dll"}, {"CeRegCloseKey"}, both, false, true},
        {{"ceutil.dll", "rapi.dll"}, {"CeGetVersionEx"}, both, false, true},
        {{"ceutil.dll", "rapi.dll"}, {"CeDeleteFile"}, both, true, false},  // not one of the twelve
        {{"ceutil.dll", "rapi.dll"}, {}, both, true, true},
    };
    for (const Case &c : cases) {
        g_libraries = c.libraries;
        g_missing = c.missing;
        g_loaded.clear();
        DeviceApi api;
        bindDeviceLibraries(api, "ceutil.dll", "rapi.dll", fakeLoad, emulatorExport);
        SCOPED_TRACE(c.missing.empty() ? std::to_string(c.libraries.size()) : *c.missing.begin());
        EXPECT_EQ(g_loaded, c.loaded);
        EXPECT_EQ(api.getDeviceId == handheldEmulatorApi().getDeviceId, c.realPresenceTest);
        if (!c.realPresenceTest) {
            EXPECT_EQ(api.getDeviceId, &noDevicePresent);
        }
        EXPECT_EQ(api.deleteFile != nullptr, c.deleteBound);
    }
    EXPECT_EQ(noDevicePresent(), 0u);
}

TEST(DeviceBinding, DesktopTextsBecomeHandheldTexts) {
    EXPECT_EQ(toDeviceText("Rundschau-2026.eif"), u"Rundschau-2026.eif");
    EXPECT_EQ(toDeviceText("Z\xFCrich \x80"), u"Z\u00FCrich \u20AC");  // Windows-1252
}

// ---- A handheld in a folder, and a stored-edition list ----------------------------

EditionEntry *g_list = nullptr;
int g_listCalls = 0, g_released = 0;
EditionEntry *QLAPI_CALL fakeList() {
    ++g_listCalls;
    return g_list;
}
void QLAPI_CALL fakeRelease(EditionEntry *list) {
    if (list == g_list) ++g_released;
}

struct FakeCopy : CopyHost {
    void *window() override { return this; }
    void pause(unsigned) override {}
    bool stopped() override {
        return stopAfterTitles >= 0 && int(titles.size()) >= stopAfterTitles;
    }
    void setProgress(int percent) override { progress.push_back(percent); }
    void setTitle(const char *title) override { titles.push_back(title); }
    void finish() override { ++finished; }

    int stopAfterTitles = -1;  // the dialog closes after this many titles
    std::vector<int> progress;
    std::vector<std::string> titles;
    int finished = 0;
};

class DeviceTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        root_ = makeFolder("handheld");
        store_ = makeFolder("store");
        setEnvironment("QUILLON_HANDHELD", root_);
        fs::create_directories(root_ + "files/Zeitungen");
        configure("");
        device_ = handheldEmulatorApi();
        library_ = {};
        library_.getNewspaperListFromHD = fakeList;
        library_.removeNewspaperTree = fakeRelease;
        g_list = nullptr;
        g_listCalls = g_released = 0;
    }
    void TearDown() override {
        setEnvironment("QUILLON_HANDHELD", "");
        ReaderTest::TearDown();
    }
    // The handheld's settings, and its reader's folder (none: no reader).
    void configure(const std::string &settings, const std::string &readerFolder = "\\Zeitungen\\") {
        std::string ini = settings + "\n";
        if (!readerFolder.empty())
            ini += "[HKEY_CURRENT_USER\\Software\\VKT\\QLAPI]\nPATH=" + readerFolder + "\n";
        writeWholeFile(root_ + "handheld.ini", ini);
    }
    std::string onHandheld(const std::string &path) const { return root_ + "files/" + path; }
    std::string log(const char *name) const { return readWholeFile(root_ + name); }

    // Stored editions, newest first: "blatt-<n>.eif" with its header, each
    // written unless told otherwise; a negative number is an entry without
    // a data file.
    void store(const std::vector<int> &numbers, const std::set<std::string> &unwritten = {}) {
        EditionEntry **tail = &g_list;
        for (int n : numbers) {
            entries_.emplace_back();
            EditionEntry &e = entries_.back();
            e = {};
            texts_.push_back("Blatt " + std::to_string(n));
            e.info.title = &texts_.back()[0];
            if (n >= 0) {
                std::string name = "blatt-" + std::to_string(n);
                // The reader's paths use "\"; elsewhere than Windows that
                // character is simply part of the file's name.
                texts_.push_back(store_ + "\\" + name + ".eif");
                e.path = &texts_.back()[0];
                for (const char *ext : {".eif", ".ehd"})
                    if (!unwritten.count(name + ext))
                        writeWholeFile(store_ + "\\" + name + ext,
                                       std::string(ext + 1) + " " + name);
            }
            *tail = &e;
            tail = &e.next;
        }
    }
    int synchronise(FakeCopy &host) { return copyNewspapersToDevice(device_, library_, host); }

    std::string root_, store_;
    DeviceApi device_;
    LibraryBinding library_;
    std::deque<EditionEntry> entries_;
    std::deque<std::string> texts_;
};

const std::string kCannotOpen =
    "no owner | Fehler | Quelldatei konnte nicht ge\xF6"
    "ffnet werden | none ok";
const std::string kNotCopied =
    "owned | Fehler | Die Datei konnte nicht kopiert werden. | warning ok";
std::string summary(int copied, const std::string &removed = "") {
    return "owned | Hinweis | Synchronisation beendet. " +
           (copied == 1 ? "1 Zeitung wurde" : std::to_string(copied) + " Zeitungen wurden") +
           " kopiert" + removed + " | none ok";
}
std::string failure(const std::string &text) {
    return "owned | Fehler | " + text + " | warning ok";
}
const std::string kDisconnected = failure(
    "Die Verbindung zum Handheld wurde getrennt. Bitte schlie\xDF"
    "en Sie es wieder an und versuchen Sie es noch einmal.");
const std::string kReaderRuns =
    failure("Das Leseprogramm l\xE4uft auf dem Handheld; bitte beenden Sie es dort.");
std::string noRoom(const std::string &free, const std::string &needed) {
    return failure("Auf dem Handheld ist nicht genug Platz. Frei sind " + free +
                   ", gebraucht werden " + needed +
                   "; bitte l\xF6schen Sie dort Dateien, die Sie nicht mehr brauchen.");
}

TEST_F(DeviceTest, TwelveEditionsCopyTheTenNewestThenNothingMore) {
    store({11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    FakeCopy first;
    EXPECT_EQ(synchronise(first), 10);
    EXPECT_EQ(first.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    ASSERT_EQ(first.titles.size(), 10u);
    EXPECT_EQ(first.titles.front(), "Blatt 11");
    EXPECT_EQ(first.titles.back(), "Blatt 2");
    EXPECT_EQ(takePrompts(), std::vector<std::string>{summary(10)});
    for (int n = 0; n < 12; ++n) {
        std::string name = "Zeitungen/blatt-" + std::to_string(n);
        EXPECT_EQ(readWholeFile(onHandheld(name + ".eif")),
                  n >= 2 ? "eif blatt-" + std::to_string(n) : "");
        EXPECT_EQ(readWholeFile(onHandheld(name + ".ehd")),
                  n >= 2 ? "ehd blatt-" + std::to_string(n) : "");
    }
    EXPECT_EQ(first.finished, 1);
    EXPECT_EQ(g_released, 1);
    EXPECT_EQ(log("connection.log"), "init\nuninit\n");

    FakeCopy second;
    EXPECT_EQ(synchronise(second), 0);
    EXPECT_EQ(takePrompts(), std::vector<std::string>{summary(0)});
    EXPECT_EQ(std::distance(fs::directory_iterator(onHandheld("Zeitungen")), {}), 20);
}

TEST_F(DeviceTest, MissingFilesEntriesWithoutDataAndFilesAlreadyThere) {
    // 4 lacks its header, 3 its data file; 2's data file is on the handheld
    // already; -1 has no data file at all.
    store({4, 3, 2, -1, 1}, {"blatt-4.ehd", "blatt-3.eif"});
    writeWholeFile(onHandheld("Zeitungen/blatt-2.eif"), "older");
    FakeCopy host;
    // 2, whose short file is no copy, and 1; 4 and 3 lack a file.
    EXPECT_EQ(synchronise(host), 2);
    EXPECT_EQ(host.progress, (std::vector<int>{10, 20, 30, 40, 40}));
    EXPECT_EQ(takePrompts(), (std::vector<std::string>{kCannotOpen, kCannotOpen, summary(2)}));
    EXPECT_EQ(readWholeFile(onHandheld("Zeitungen/blatt-2.eif")), "eif blatt-2");
    EXPECT_EQ(readWholeFile(onHandheld("Zeitungen/blatt-2.ehd")), "ehd blatt-2");
    EXPECT_EQ(readWholeFile(onHandheld("Zeitungen/blatt-3.ehd")), "ehd blatt-3");
    // No empty file is left behind for what could not be read ...
    EXPECT_FALSE(fs::exists(onHandheld("Zeitungen/blatt-4.ehd")));
    EXPECT_FALSE(fs::exists(onHandheld("Zeitungen/blatt-3.eif")));
    // ... so once the desktop has the file, the next run copies it.
    writeWholeFile(store_ + "\\blatt-4.ehd", "ehd blatt-4");
    FakeCopy again;
    EXPECT_EQ(synchronise(again), 1);  // 4 is whole now
    EXPECT_EQ(readWholeFile(onHandheld("Zeitungen/blatt-4.ehd")), "ehd blatt-4");
    EXPECT_EQ(takePrompts(), (std::vector<std::string>{kCannotOpen, summary(1)}));
}

TEST_F(DeviceTest, NoConnectionOrNoReaderCopiesNothing) {
    const char *notInstalled =
        "owned | Synchronisieren | Kommunikationsfehler mit mobilem Ger\xE4"
        "t\roder Quillon CE "
        "nicht installiert. | warning ok";
    struct Case {
        const char *settings, *readerFolder, *connectionLog, *message;
    } cases[] = {
        {"init=fail", "\\Zeitungen\\", "init failed\n",
         "owned | Synchronisieren | Kommunikationsfehler mit mobilem Ger\xE4"
         "t\rRemoteApiInit ist "
         "fehlgeschlagen. | warning ok"},
        {"", "", "init\nuninit\n", notInstalled},
        // The reader's key is there, but names no folder.
        {"[HKEY_CURRENT_USER\\Software\\VKT\\QLAPI]\nPATH=", "", "init\nuninit\n", notInstalled},
        {"[HKEY_CURRENT_USER\\Software\\VKT\\QLAPI]\nOther=x", "", "init\nuninit\n", notInstalled},
    };
    store({1});
    for (const Case &c : cases) {
        configure(c.settings, c.readerFolder);
        fs::remove(root_ + "connection.log");
        FakeCopy host;
        EXPECT_EQ(synchronise(host), -1);
        EXPECT_EQ(takePrompts(), std::vector<std::string>{c.message});
        EXPECT_EQ(log("connection.log"), c.connectionLog);
        EXPECT_EQ(host.finished, 1);
        EXPECT_TRUE(host.progress.empty());
    }
    EXPECT_EQ(g_listCalls, 0);
    EXPECT_TRUE(fs::is_empty(onHandheld("Zeitungen")));
}

// The handheld's own rule: a path of 260 characters or more is refused,
// and the user hears of the file that did not arrive.
TEST_F(DeviceTest, HandheldPathsShorterThan260Characters) {
    const std::string folder(198, 'o');  // "\\" + 198 + "\\": 200 characters
    // Deeper than the desktop's usual limit: a long path on Windows.
    auto desktop = [&](const std::string &name) {
        std::string path = onHandheld(name.empty() ? folder : folder + "/" + name);
#ifdef _WIN32
        path = "\\\\?\\" + fs::absolute(path).make_preferred().string();
#endif
        return path;
    };
    fs::create_directories(desktop(""));
    configure("", "\\" + folder + "\\");
    std::string fits(55, 'f'), tooLong(56, 'l');  // 200 + 55 + ".eif": 259
    for (const std::string *name : {&fits, &tooLong}) {
        entries_.emplace_back();
        entries_.back() = {};
        texts_.push_back(store_ + "\\" + *name + ".eif");
        entries_.back().path = &texts_.back()[0];
        entries_.back().info.title = &texts_.back()[0];
        for (const char *ext : {".eif", ".ehd"}) writeWholeFile(store_ + "\\" + *name + ext, ext);
    }
    entries_[0].next = &entries_[1];
    g_list = &entries_[0];
    FakeCopy host;
    EXPECT_EQ(synchronise(host), 1);
    EXPECT_EQ(takePrompts(), (std::vector<std::string>{kNotCopied, summary(1)}));
    EXPECT_EQ(readWholeFile(desktop(fits + ".eif")), ".eif");
    EXPECT_EQ(readWholeFile(desktop(fits + ".ehd")), ".ehd");
    EXPECT_FALSE(fs::exists(desktop(tooLong + ".eif")));
    // The test folder's usual removal stops short of a folder this deep.
    for (const char *ext : {".eif", ".ehd"}) fs::remove(desktop(fits + ext));
    fs::remove(desktop(""));
}

// The remote calls fail the way the connection software documents: the
// handle or the result says so, the last error may be stale, and a lost
// connection is told by CeRapiGetError. Only what arrived whole counts.
int g_creates = 0, g_unplugAt = 0, g_invalidAt = 0;
CeHandle CE_CALL countingCreate(const char16_t *path, uint32_t access, uint32_t share, void *s,
                                uint32_t disposition, uint32_t attributes, CeHandle t) {
    ++g_creates;
    if (g_creates == g_unplugAt) setHandheldConnected(false);
    if (g_creates == g_invalidAt) return ceInvalidHandle();  // the last error untouched
    return CeCreateFile(path, access, share, s, disposition, attributes, t);
}
uint32_t CE_CALL staleError() { return kCeErrorFileExists; }

TEST_F(DeviceTest, OnlyWhatArrivedWholeCounts) {
    // Each file is 11 bytes ("eif blatt-3"); creates 1 and 2 are edition 3.
    // The first failure is told by its cause.
    struct Case {
        const char *name, *settings;
        int unplugAt, invalidAt;
        bool staleLastError, roomUntold;
        int copied;
        std::vector<int> onHandheld;
        std::string told;
    } cases[] = {
        {"unplugged before the second edition", "", 3, 0, false, false, 1, {3}, kDisconnected},
        {"too little room, asked first",
         "free=27",
         0,
         0,
         false,
         false,
         0,
         {},
         noRoom("27 Bytes", "66 Bytes")},
        {"full in the middle of a file, room untold",
         "free=27",
         0,
         0,
         false,
         true,
         1,
         {3},
         failure("Auf dem Handheld ist nicht genug Platz; bitte l\xF6schen Sie dort Dateien, "
                 "die Sie nicht mehr brauchen.")},
        {"writes fail in the middle of a file",
         "writefail=27",
         0,
         0,
         false,
         false,
         1,
         {3},
         kNotCopied},
        {"an invalid handle, last error 0", "", 0, 3, false, false, 2, {3, 1}, kNotCopied},
        {"a stale last error", "", 0, 0, true, false, 3, {3, 2, 1}, ""},
    };
    store({3, 2, 1});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(onHandheld("Zeitungen"));
        fs::create_directories(onHandheld("Zeitungen"));
        configure(c.settings);
        g_creates = 0;
        g_unplugAt = c.unplugAt;
        g_invalidAt = c.invalidAt;
        device_.createFile = countingCreate;
        device_.getLastError = c.staleLastError ? staleError : CeGetLastError;
        device_.getStoreInformation = c.roomUntold ? nullptr : CeGetStoreInformation;
        FakeCopy host;
        EXPECT_EQ(synchronise(host), c.copied);
        std::vector<std::string> told;
        if (!c.told.empty()) told.push_back(c.told);
        told.push_back(summary(c.copied));
        EXPECT_EQ(takePrompts(), told);
        for (int n : {3, 2, 1}) {
            bool there = std::count(c.onHandheld.begin(), c.onHandheld.end(), n) > 0;
            std::string name = "blatt-" + std::to_string(n);
            EXPECT_EQ(readWholeFile(onHandheld("Zeitungen/" + name + ".eif")),
                      there ? "eif " + name : "")
                << name;
            EXPECT_EQ(fs::exists(onHandheld("Zeitungen/" + name + ".eif")), there) << name;
        }
        // Nothing partial stays: no temporary file, no short file.
        for (const auto &file : fs::directory_iterator(onHandheld("Zeitungen")))
            EXPECT_EQ(readWholeFile(file.path().string()),
                      readWholeFile(store_ + "\\" + file.path().filename().string()))
                << file.path();
    }
}

// The handheld keeps what the desktop keeps: editions of the store's
// pattern that the desktop no longer has go, leftovers of a broken copy go,
// anything else in the folder stays; an empty desktop list removes nothing.
TEST_F(DeviceTest, LeftoversAndEditionsTheDesktopNoLongerKeepsAreRemoved) {
    const std::vector<std::string> gone = {"blatt-9.eif", "blatt-9.ehd", "BLATT-8.EIF",
                                           "blatt-7.ehd", "blatt-2.ei~", "blatt-1.eh~"};
    const std::vector<std::string> stay = {"notiz.txt", "blatt-9.txt", "blatt-9.eif.bak"};
    for (bool desktopKeepsAny : {false, true}) {
        SCOPED_TRACE(desktopKeepsAny);
        fs::remove_all(onHandheld("Zeitungen"));
        fs::create_directories(onHandheld("Zeitungen/ordner.eif"));
        for (const auto &name : gone) writeWholeFile(onHandheld("Zeitungen/" + name), "x");
        for (const auto &name : stay) writeWholeFile(onHandheld("Zeitungen/" + name), "x");
        fs::create_directories(onHandheld("Windows/Start Menu/Programs"));
        writeWholeFile(onHandheld("Windows/Start Menu/Programs/QuillonCE.ex~"), "");
        g_list = nullptr;
        if (desktopKeepsAny) store({2, 1});
        FakeCopy host;
        EXPECT_EQ(synchronise(host), desktopKeepsAny ? 2 : 0);
        EXPECT_EQ(takePrompts(), std::vector<std::string>{
                                     desktopKeepsAny ? summary(2,
                                                               "; 2 \xE4ltere Zeitungen wurden vom "
                                                               "Handheld entfernt")
                                                     : summary(0)});
        for (const auto &name : gone) {
            bool leftover = name.back() == '~';
            EXPECT_EQ(fs::exists(onHandheld("Zeitungen/" + name)), !desktopKeepsAny && !leftover)
                << name;
        }
        for (const auto &name : stay) EXPECT_TRUE(fs::exists(onHandheld("Zeitungen/" + name)));
        EXPECT_TRUE(fs::is_directory(onHandheld("Zeitungen/ordner.eif")));
        EXPECT_FALSE(fs::exists(onHandheld("Windows/Start Menu/Programs/QuillonCE.ex~")));
    }
}

// A name beyond ASCII in the desktop's code page arrives under the same
// name on the handheld, and reads back byte for byte.
TEST_F(DeviceTest, ANameBeyondAsciiArrivesAsItIs) {
    const std::string desktopName = "Zeitung-\xE4\xDF";  // Windows-1252
    for (const char *ext : {".eif", ".ehd"})
        writeWholeFile(store_ + "\\" + desktopName + ext, std::string(ext) + "\xE4 content");
    entries_.emplace_back();
    entries_.back() = {};
    texts_.push_back(store_ + "\\" + desktopName + ".eif");
    entries_.back().path = &texts_.back()[0];
    entries_.back().info.title = &texts_.back()[0];
    g_list = &entries_.back();
    FakeCopy host;
    EXPECT_EQ(synchronise(host), 1);
    const fs::path handheld = fs::u8path(onHandheld("Zeitungen/Zeitung-\xC3\xA4\xC3\x9F"));
    for (const char *ext : {".eif", ".ehd"}) {
        std::ifstream in(fs::path(handheld).concat(ext), std::ios::binary);
        std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(back, readWholeFile(store_ + "\\" + desktopName + ext)) << ext;
    }
}

TEST_F(DeviceTest, ClosingTheDialogStopsBeforeTheNextFile) {
    store({3, 2, 1});
    FakeCopy host;
    host.stopAfterTitles = 1;
    synchronise(host);
    EXPECT_TRUE(fs::exists(onHandheld("Zeitungen/blatt-3.eif")));
    EXPECT_FALSE(fs::exists(onHandheld("Zeitungen/blatt-3.ehd")));
    EXPECT_FALSE(fs::exists(onHandheld("Zeitungen/blatt-2.eif")));
    // The summary still comes (the dialog's host shows it later), and counts
    // no edition that lacks a file.
    EXPECT_EQ(takePrompts(), std::vector<std::string>{summary(0)});
    EXPECT_EQ(log("connection.log"), "init\nuninit\n");
    EXPECT_EQ(g_released, 1);
    // Closed before the copy began: no library call, nothing told.
    FakeCopy closed;
    closed.stopAfterTitles = 0;
    EXPECT_EQ(synchronise(closed), -1);
    EXPECT_EQ(g_listCalls, 1);
    EXPECT_TRUE(takePrompts().empty());
}

// ---- Installing the handheld reader --------------------------------------------

DeviceImage builtImage(HandheldImage which) {
    static const std::vector<uint8_t> a = buildHandheldImage(HandheldImage::A),
                                      b = buildHandheldImage(HandheldImage::B);
    const std::vector<uint8_t> &image = which == HandheldImage::A ? a : b;
    return {image.data(), image.size()};
}

const char kReader[] = "Windows/Start Menu/Programs/QuillonCE.exe";
const char kFirstRun[] = "\\Windows\\Start Menu\\Programs\\QuillonCE.exe|firstrun\n";
const char kStart[] = "\\Windows\\Start Menu\\Programs\\QuillonCE.exe|\n";
const char kQuestion[] =
    "owned | Frage | Quillon CE wurde kopiert und initialisiert. M\xF6"
    "chten Sie das ich Quillon CE "
    "jetzt f\xFC"
    "r Sie starte? | question yes/no";

class InstallTest : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        fs::create_directories(onHandheld("Windows/Start Menu/Programs"));
    }
    void install() {
        FakeCopy host;
        installHandheldReader(device_, host, builtImage);
        EXPECT_EQ(host.finished, 1);
    }
};

TEST_F(InstallTest, TheImageFollowsTheHandheldsVersion) {
    const std::string unsupported =
        "owned | Fehler | Die auf dem mobilen Ger\xE4"
        "t installierte Version von Windows wird nicht "
        "unterst\xFC"
        "tzt. | warning ok";
    struct Case {
        const char *version;
        uintmax_t size;  // 0: nothing written
    } cases[] = {{"3.00", 0}, {"4.20", 110592}, {"5.01", 96256}, {"6.00", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        configure(std::string("version=") + c.version);
        fs::remove(onHandheld(kReader));
        fs::remove(root_ + "processes.log");
        fs::remove(root_ + "connection.log");
        install();  // answered No
        EXPECT_EQ(takePrompts(), std::vector<std::string>{c.size ? kQuestion : unsupported});
        EXPECT_EQ(c.size ? fs::file_size(onHandheld(kReader)) : 0, c.size);
        EXPECT_EQ(log("processes.log"), c.size ? kFirstRun : "");
        EXPECT_EQ(log("connection.log"), "init\nuninit\n");
    }
}

TEST_F(InstallTest, InstallingTwiceReplacesTheReaderAndStartsItOnRequest) {
    writeWholeFile(onHandheld(kReader), std::string(200000, 'x'));
    for (int run = 0; run < 2; ++run) {
        g_answers = {IDYES};
        install();
        EXPECT_EQ(takePrompts(), std::vector<std::string>{kQuestion});
        EXPECT_EQ(readWholeFile(onHandheld(kReader)).size(), 96256u);
    }
    EXPECT_EQ(log("processes.log"), std::string(kFirstRun) + kStart + kFirstRun + kStart);
}

TEST_F(InstallTest, FailuresStopBeforeAnythingStarts) {
    const std::string kFull = noRoom("49 KB", "94 KB");
    struct Case {
        const char *settings, *connectionLog, *message;
        const char *before, *after;  // the reader on the handheld; null: none (or no folder)
    } cases[] = {
        {"init=fail", "init failed\n",
         "owned | Synchronisieren | Kommunikationsfehler mit mobilem Ger\xE4"
         "t\rRemoteApiInit ist "
         "fehlgeschlagen. | warning ok",
         "old", "old"},
        {"", "init\nuninit\n", kNotCopied.c_str(), nullptr, nullptr},  // no start menu
        // The reader runs: its file cannot be replaced, and the old one stays.
        {"running=QuillonCE.exe", "init\nuninit\n", kReaderRuns.c_str(), "old", "old"},
        // The write breaks off: no broken program is left, the old one stays.
        {"writefail=50000", "init\nuninit\n", kNotCopied.c_str(), "old", "old"},
        {"free=50000", "init\nuninit\n", kFull.c_str(), "old", "old"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        configure(c.settings);
        fs::remove_all(onHandheld("Windows"));
        if (c.before) {
            fs::create_directories(onHandheld("Windows/Start Menu/Programs"));
            writeWholeFile(onHandheld(kReader), c.before);
        }
        fs::remove(root_ + "connection.log");
        install();
        EXPECT_EQ(takePrompts(), std::vector<std::string>{c.message});
        EXPECT_EQ(log("connection.log"), c.connectionLog);
        EXPECT_EQ(fs::exists(onHandheld(kReader)), c.after != nullptr);
        EXPECT_FALSE(fs::exists(onHandheld("Windows/Start Menu/Programs/QuillonCE.ex~")));
        if (c.after) {
            EXPECT_EQ(readWholeFile(onHandheld(kReader)), c.after);
        }
    }
    EXPECT_FALSE(fs::exists(root_ + "processes.log"));
}

}  // namespace
