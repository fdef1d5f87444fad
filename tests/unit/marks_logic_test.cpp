// Bookmarks, Behalten and the store's report as the reader's logic drives
// them, against the real library and our reader edition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bookmarks.h"
#include "download.h"
#include "reader_test_support.h"
#include "selection.h"
#include "static_binding.h"
#include "store_notices.h"

namespace {

void *const kOwner = reinterpret_cast<void *>(0x1234);

struct ListHost : SelectionHost {
    std::vector<std::string> entries;
    int selected = -1;
    std::vector<std::string> shown;  // headlines of the articles shown
    std::vector<int> lines;          // and the line each opened on
    void clearList() override { entries.clear(), selected = -1; }
    void addEntry(const std::string &text) override { entries.push_back(text); }
    int entryCount() const override { return static_cast<int>(entries.size()); }
    int selectedEntry() const override { return selected; }
    void selectEntry(int position) override { selected = position; }
    void setCaption(const std::string &) override {}
    void *window() const override { return kOwner; }
    void showArticle(const std::string &, const char *headline, const ArticleStart &s) override {
        shown.push_back(headline ? headline : "");
        lines.push_back(s.line);
    }
    void replaceArticle(const std::string &, const char *) override {}
    void *articleWindow() const override { return kOwner; }
    void levelChanged(SelectionLevel) override {}
    int paperLimit() const override { return 3; }
    void choose(SelectionController &c, const std::string &entry) {
        selected = -1;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == entry) selected = static_cast<int>(i);
        ASSERT_GE(selected, 0) << entry;
        c.choose();
    }
};

struct MemoryBookmarks : BookmarkStore {
    std::vector<Bookmark> kept;
    std::vector<Bookmark> load() override { return kept; }
    bool save(const std::vector<Bookmark> &b) override {
        kept = b;
        return true;
    }
};

std::string paper(const std::string &title, int day) {
    return "<DUZUZUVU LANGUAGE=\"de\"><NPTL>" + title +
           "</NPTL><CD YEAR=\"2026\" MONTH=\"12\" DAY=\"" + std::to_string(day) +
           "\"></CD><GROUP><GRTITLE>R</GRTITLE><ARTICLE><ATL>A</ATL><P>p</P></ARTICLE></GROUP>"
           "</DUZUZUVU>";
}

class MarksTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        news_ = makeFolder("news");
        writeWholeFile(news_ + "rundschau.eif",
                       readWholeFile(testDataPath("reader/rundschau-2026-12-07.eif")));
        writeWholeFile(news_ + "alt.eif", paper("Alt", 1));
        writeMinimalSettings(news_, "[COUNTRIES]\nde=49\n[NEWSPAPERS]\nmaxpapers=3\n");
        g_binding = staticLibraryBinding();
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        selection.setBookmarkStore(&bookmarks);
    }
    void TearDown() override {
        QL_Initialize(0);
        ReaderTest::TearDown();
    }
    void openWinterdienst() {
        ASSERT_TRUE(selection.open());
        host.choose(selection, "7.12.2026 / Quillon Rundschau");
        host.choose(selection, "Lokales");
        host.choose(selection, "Winterdienst bereit");
    }
    int keptFor(const std::string &entryStart) {
        for (const NewspaperRecord *p = QL_FindFirstNewspaper(); p; p = QL_FindNextNewspaper())
            if (entryStart == p->title) return QL_KeepNewspaper(p->id, 0, 0);
        return -1;
    }
    std::string news_;
    ListHost host;
    MemoryBookmarks bookmarks;
    SelectionController selection{g_binding, host};
};

TEST_F(MarksTest, BookmarksAreSetRemovedListedAndOpenedAfterRenumbering) {
    openWinterdienst();
    takePrompts();
    struct Press {
        int line;
        const char *text, *prompt;
        size_t count;
        int kept;  // the edition's reasons afterwards
    };
    const Press presses[] = {
        {2, "  Der Schnee bleibt bis Freitag.\r\n", "Lesezeichen in Zeile 3 gesetzt.", 1,
         QL_KEEP_BOOKMARK},
        {0, "Der Winterdienst ist bereit, Schnee wird erwartet, und die Stadt warnt alle Fahrer.",
         "Lesezeichen in Zeile 1 gesetzt.", 2, QL_KEEP_BOOKMARK},
        {2, "", "Lesezeichen in Zeile 3 entfernt.", 1, QL_KEEP_BOOKMARK},
        {0, "", "Lesezeichen in Zeile 1 entfernt.", 0, 0},
        {2, "Der Schnee bleibt bis Freitag.", "Lesezeichen in Zeile 3 gesetzt.", 1,
         QL_KEEP_BOOKMARK},
    };
    for (const Press &p : presses) {
        SCOPED_TRACE(p.prompt);
        selection.bookmarkKey(p.line, p.text);
        EXPECT_EQ(takePrompts(), std::vector<std::string>{std::string("owned | Hinweis | ") +
                                                          p.prompt + " | information ok"});
        EXPECT_EQ(bookmarks.kept.size(), p.count);
        EXPECT_EQ(keptFor("Quillon Rundschau"), p.kept);
        if (p.count == 2) {  // newest first, the long line cut at a word
            EXPECT_EQ(bookmarkEntryText(bookmarks.kept[0]),
                      "Quillon Rundschau vom 7.12.2026, Lokales: Winterdienst bereit \xE2\x80\x93 "
                      "Der Winterdienst ist bereit, Schnee wird erwartet, und die\xE2\x80\xA6");
        }
    }
    EXPECT_EQ(bookmarkEntryText(bookmarks.kept[0]),
              "Quillon Rundschau vom 7.12.2026, Lokales: Winterdienst bereit \xE2\x80\x93 "
              "Der Schnee bleibt bis Freitag.");

    // Newer editions come and the old one goes: the Rundschau is numbered
    // anew, stays although it is the oldest kept, and opens at the line.
    writeWholeFile(news_ + "a.eif", paper("Neu A", 8));
    writeWholeFile(news_ + "b.eif", paper("Neu B", 9));
    writeWholeFile(news_ + "c.eif", paper("Neu C", 10));
    ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
    struct Open {
        const char *what;
        void (*change)(ResumeRecord &);
        const char *shown, *prompt;
    };
    const Open opens[] = {
        {"as set", [](ResumeRecord &) {}, "Winterdienst bereit", nullptr},
        {"article gone", [](ResumeRecord &r) { r.headline = "Lawine"; }, nullptr,
         "Der Artikel dieses Lesezeichens ist in seiner Zeitung nicht mehr zu finden."},
        {"edition gone", [](ResumeRecord &r) { r.file = "weg.eif"; }, nullptr,
         "Die Zeitung dieses Lesezeichens ist nicht mehr gespeichert."},
    };
    for (const Open &o : opens) {
        SCOPED_TRACE(o.what);
        Bookmark mark = bookmarks.kept[0];
        o.change(mark.place);
        ListHost fresh;
        SelectionController again(g_binding, fresh);
        takePrompts();
        ASSERT_TRUE(again.openBookmark(mark));
        std::vector<std::string> prompts = takePrompts();
        if (o.shown) {
            EXPECT_EQ(fresh.shown, std::vector<std::string>{o.shown});
            EXPECT_EQ(fresh.lines, std::vector<int>{2});
        } else {
            EXPECT_TRUE(fresh.shown.empty());
            ASSERT_FALSE(prompts.empty());
            EXPECT_EQ(prompts.back(),
                      std::string("owned | Hinweis | ") + o.prompt + " | information ok");
        }
    }
}

TEST_F(MarksTest, BehaltenTogglesAndTheListSaysSo) {
    ASSERT_TRUE(selection.open());
    takePrompts();
    const std::string rundschau = "7.12.2026 / Quillon Rundschau";
    struct Step {
        bool bookmarked;
        const char *entry, *prompt;
    };
    const Step steps[] = {
        {false, " (behalten)", "Quillon Rundschau vom 7.12.2026 wird behalten"},
        {false, "", "Quillon Rundschau vom 7.12.2026 wird nicht mehr behalten"},
        {true, " (behalten)", "Quillon Rundschau vom 7.12.2026 wird behalten"},
        {true, " (behalten)", "Quillon Rundschau vom 7.12.2026 wird nicht mehr eigens behalten"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.prompt);
        if (s.bookmarked) QL_KeepNewspaper(QL_FindFirstNewspaper()->id, QL_KEEP_BOOKMARK, 1);
        host.selected = 0;
        ASSERT_EQ(host.entries[0].rfind(rundschau, 0), 0u);
        EXPECT_TRUE(selection.keepKey());
        EXPECT_EQ(host.entries[0], rundschau + s.entry);
        EXPECT_EQ(host.selected, 0);
        std::vector<std::string> prompts = takePrompts();
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_NE(prompts[0].find(s.prompt), std::string::npos) << prompts[0];
    }
    host.choose(selection, rundschau + " (behalten)");
    EXPECT_FALSE(selection.keepKey()) << "only the newspaper list takes the key";
}

struct DownloadWindow : DownloadHost {
    std::vector<int> ends;
    QL_HostWindow hostWindow() override { return nullptr; }
    void *window() const override { return kOwner; }
    unsigned long updateOffer() override { return 0; }
    void setProgress(int) override {}
    void end(int result) override { ends.push_back(result); }
    int paperLimit() const override { return 3; }
};

TEST_F(MarksTest, TheStoreReportIsToldOnce) {
    const std::string removed =
        "owned | Hinweis | Entfernt, weil h\xF6"
        "chstens 3 Zeitungen aufbewahrt werden: ";
    // Two newer editions arrive: the download's last word names the one the
    // resynchronisation removed, and the list does not name it again.
    writeWholeFile(news_ + "neu.eif", paper("Neu", 8));
    writeWholeFile(news_ + "mitte.eif", paper("Mitte", 5));
    DownloadWindow window;
    DownloadController download(g_binding, window);
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    EXPECT_EQ(window.ends, std::vector<int>{0});
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{removed + "Alt vom 1.12.2026. | information ok"});
    ASSERT_TRUE(selection.open());
    EXPECT_TRUE(takePrompts().empty());
    // Removed by a scan without a download: the list names them when it opens.
    writeWholeFile(news_ + "x.eif", paper("X", 9));
    writeWholeFile(news_ + "y.eif", paper("Y", 10));
    ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
    ASSERT_TRUE(selection.open());
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{removed +
                                       "Quillon Rundschau vom 7.12.2026, Mitte vom 5.12.2026. | "
                                       "information ok"});

    // Refused downloads: one sentence each, the stored edition named when
    // there was one.
    EditionEntry neu{}, stored{};
    char empty[] = "", title[] = "Quillon Rundschau", date[] = "7.12.2026";
    char neuPath[] = "/z/neu.eif", storedPath[] = "/z/rundschau.eif";
    neu.info = {0, 0, empty, empty};
    neu.path = neuPath;
    neu.next = &stored;
    stored.info = {0, 49, title, date};
    stored.path = storedPath;
    EXPECT_EQ(refusedNotice(&neu),
              "Die heruntergeladene Zeitung \xE2\x80\x9Eneu.eif\xE2\x80\x9C ist besch\xE4"
              "digt und wurde nicht \xFC"
              "bernommen; holen Sie die Zeitungen sp\xE4ter noch einmal ab.\r\n"
              "Die heruntergeladene Zeitung \xE2\x80\x9Erundschau.eif\xE2\x80\x9C ist besch\xE4"
              "digt und wurde nicht \xFC"
              "bernommen; Quillon Rundschau vom 7.12.2026 bleibt wie bisher erhalten.");
}

}  // namespace
