// The store never deletes or damages an edition by accident: failures of
// the system keep the edition, headers read back exactly, and settings
// that would point the store at the wrong files are refused or harmless.
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#define chdir _chdir
#else
#include <unistd.h>
#endif

#include "documents/edition_format.h"
#include "frame/knobs.h"
#include "platform/knobs.h"
#include "platform/platform.h"
#include "store_fixture.h"

namespace fs = std::filesystem;
using platform::knobs::FileFault;

namespace {

const char kLibraryKey[] = "Software\\VKT\\QLAPI\\";

// Refuses every block of 32 KiB and more: an edition cannot be read, while
// headers, lists and the log can.
void *noLargeBlocks(size_t bytes) { return bytes >= (32u << 10) ? nullptr : malloc(bytes); }

// An edition of about 30 KiB.
std::string largeEdition(const std::string &title, int day) {
    std::string paragraphs;
    for (int i = 0; i < 1000; ++i) paragraphs += "<P>Absatz " + std::to_string(i) + " mit Text</P>";
    return edition(
        title, 2026, 12, day,
        "<GROUP><GRTITLE>R</GRTITLE><ARTICLE><ATL>A</ATL>" + paragraphs + "</ARTICLE></GROUP>");
}

class StoreFaults : public StoreTest {
  protected:
    std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper())
            out.push_back(std::string(n->title) + " " + n->date);
        return out;
    }
    std::string log() { return readWholeFile(news_ + "qlapi.log"); }
    void useRegistry(const std::string &path) {
        QL_UseEnhancedInterface();
        platform::regWriteText(kLibraryKey, "Method", "PHP");
        platform::regWriteText(kLibraryKey, "PATH", path.c_str());
    }
};

// Whatever the system refuses (rewriting, a temporary file, room on the
// disk, memory), a new edition stays as it was, unlisted, and the next scan
// takes it in; an edition with a header is listed all the same by the scan.
TEST_F(StoreFaults, SystemFailuresKeepTheEditionForTheNextScan) {
    const std::string fresh = largeEdition("Neu", 8);
    struct Case {
        const char *name;
        FileFault fault;
        bool noMemory;
    } cases[] = {
        {"not to be rewritten", FileFault::openForUpdate, false},
        {"no temporary file", FileFault::createTemporary, false},
        {"disk full half-way", FileFault::writeHalfway, false},
        {"no memory", FileFault::none, true},
    };
    configure();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(news_);
        fs::create_directories(news_);
        add("alt.eif", edition("Alt", 2026, 12, 1));
        ASSERT_EQ(QL_Initialize(1), QL_OK);  // writes the header of "Alt"
        ASSERT_EQ(QL_Initialize(0), QL_OK);
        add("neu.eif", fresh);

        platform::knobs::setFileFault(c.fault);
        if (c.noMemory) knobs::setAllocator(noLargeBlocks);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(titles(), std::vector<std::string>{"Alt 1.12.2026"});
        // A list from disk is whole or, short of memory, none.
        EditionEntry *list = QL_GetNewspaperListFromHD();
        if (c.noMemory)
            EXPECT_EQ(list ? list->info.title : "(none)", std::string("(none)"));
        else
            EXPECT_EQ(list && !list->next ? std::string(list->info.title) : "", "Alt");
        QL_RemoveNewspaperTree(list);
        ASSERT_EQ(QL_Initialize(0), QL_OK);
        knobs::setAllocator(nullptr);
        platform::knobs::setFileFault(FileFault::none);

        // Short of memory the scan may have rewritten the edition into its
        // stored form before reading its header failed; either form is whole.
        EditionText stored;
        ASSERT_TRUE(normaliseEditionText(fresh.data(), fresh.size(), stored));
        std::string now = readWholeFile(news_ + "neu.eif");
        EXPECT_TRUE(now == fresh || (c.noMemory && now == std::string(stored.data, stored.length)));
        EXPECT_FALSE(fileExists(news_ + "neu.ehd"));
        EXPECT_FALSE(fileExists(news_ + "neu.eif.tmp"));
        EXPECT_NE(log().find("neu.eif now; it is kept for the next scan"), std::string::npos);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(titles(), (std::vector<std::string>{"Neu 8.12.2026", "Alt 1.12.2026"}));
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

// A title far longer than any line buffer reads back whole from its header,
// so the newest edition keeps its date and place and is never trimmed.
TEST_F(StoreFaults, ALongTitleSurvivesEveryScan) {
    const std::string title(5000, 'T');
    add("lang.eif", edition(title, 2026, 12, 8));
    add("mitte.eif", edition("Mitte", 2026, 12, 7));
    add("alt.eif", edition("Alt", 2026, 12, 6));
    configure("[NEWSPAPERS]\nmaxpapers=2\n");
    for (int scan = 1; scan <= 3; ++scan) {
        SCOPED_TRACE(scan);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(titles(), (std::vector<std::string>{title + " 8.12.2026", "Mitte 7.12.2026"}));
        ASSERT_EQ(QL_Initialize(0), QL_OK);
        EXPECT_TRUE(fileExists(news_ + "lang.eif"));
    }
}

// Data files with the header files' extension would be overwritten by their
// own headers: the settings are incomplete, and nothing is touched.
TEST_F(StoreFaults, TheHeaderExtensionIsNoDataExtension) {
    for (const char *extension : {"ehd", ".ehd", "EHD", ".Ehd"}) {
        add("e.ehd", edition("E", 2026, 1, 1));
        writeSettings(
            "[FILES]\nPATH=" + news_ + "\nextension=" + extension +
            "\n[CONNECTIONS]\nServer=A\n[A]\nappl=a\nurl=u\nlogin=l\npassword=p\nclass=c\n");
        EXPECT_EQ(QL_Initialize(1), QL_ERR_CONFIG) << extension;
        EXPECT_EQ(readWholeFile(news_ + "e.ehd"), edition("E", 2026, 1, 1)) << extension;
        EXPECT_NE(log().find("Setting extension in [FILES]"), std::string::npos) << extension;
    }
}

// The registry's maxpapers is a signed 32-bit number: 0 keeps ten, a
// negative one (or one of 2^31 and above) keeps everything.
TEST_F(StoreFaults, RegistryMaxPapersIsSignedAndUnclamped) {
    const struct {
        uint32_t value;
        size_t kept;
    } cases[] = {{0xFFFFFFFFu, 12}, {0x80000000u, 12}, {0, 10}, {3, 3}};
    useRegistry(news_);
    for (const auto &c : cases) {
        for (int day = 1; day <= 12; ++day)
            add("e" + std::to_string(day) + ".eif", edition("E", 2026, 1, day));
        platform::regWriteNumber(kLibraryKey, "maxpapers", c.value);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(titles().size(), c.kept) << c.value;
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

// An empty folder setting is no folder: the host's current folder is never
// scanned, normalised, trimmed or cleaned.
TEST_F(StoreFaults, AnEmptyFolderSettingTouchesNoFiles) {
    const std::string here = makeFolder("here");
    const std::string good = edition("Hier", 2026, 1, 1), bad = "<kein>";
    writeWholeFile(here + "good.eif", good);
    writeWholeFile(here + "bad.eif", bad);
    useRegistry("");
    std::string before = fs::current_path().string();
    ASSERT_EQ(chdir(here.c_str()), 0);
    EXPECT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(QL_FindFirstNewspaper(), nullptr);
    EXPECT_EQ(QL_GetNewspaperListFromHD(), nullptr);
    EXPECT_EQ(QL_Initialize(0), QL_OK);
    std::string log = readWholeFile(here + "qlapi.log");
    ASSERT_EQ(chdir(before.c_str()), 0);
    EXPECT_EQ(readWholeFile(here + "good.eif"), good);
    EXPECT_EQ(readWholeFile(here + "bad.eif"), bad);
    EXPECT_FALSE(fileExists(here + "good.ehd"));
    EXPECT_NE(log.find("No newspaper folder is set"), std::string::npos);
}

// What an interrupted write left is removed at initialisation: exactly the
// names the library makes, nothing that only looks like them.
TEST_F(StoreFaults, LeftoversOfInterruptedWritesAreRemoved) {
    const char *ours[] = {"a.eif.tmp", "B.EIF.tmp", "a.ehd.tmp", "c.eif.part"};
    const char *theirs[] = {"x.eif.TMP", "notes.tmp", "a.ehd.part", "d.dat.part", ".h.eif.tmp"};
    for (const char *name : ours) add(name, "half");
    for (const char *name : theirs) add(name, "mine");
    add("a.eif", edition("A", 2026, 1, 1));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    EXPECT_EQ(titles(), std::vector<std::string>{"A 1.1.2026"});
    for (const char *name : ours) EXPECT_FALSE(fileExists(news_ + name)) << name;
    for (const char *name : theirs) EXPECT_EQ(readWholeFile(news_ + name), "mine") << name;
}

#ifndef _WIN32
// Names that differ only in case share one header name on a system that
// tells them apart: neither reads, writes or deletes it.
TEST_F(StoreFaults, AHeaderServesOnlyOneDataFile) {
    add("a.eif", edition("Klein", 2026, 1, 2));
    add("a.EIF", edition("Gross", 2026, 1, 1));
    add("a.ehd", "49\nFremd\n9.9.2026\n9\n9\n2026\n");
    configure();
    for (int scan = 1; scan <= 2; ++scan) {
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(titles(), (std::vector<std::string>{"Klein 2.1.2026", "Gross 1.1.2026"}));
        ASSERT_EQ(QL_Initialize(0), QL_OK);
        EXPECT_EQ(readWholeFile(news_ + "a.ehd"), "49\nFremd\n9.9.2026\n9\n9\n2026\n");
    }
}
#endif

}  // namespace
