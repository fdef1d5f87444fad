// The reader's logic without its windows: binding the library, the texts of
// the resource script, paths, file names, the selection's levels and
// positions, both searches and saving, against the real library and our
// reader edition.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>

#include "download.h"
#include "library_binding.h"
#include "paths.h"
#include "prompt.h"
#include "reader_test_support.h"
#include "reading.h"
#include "save_article.h"
#include "search.h"
#include "selection.h"
#include "settings.h"
#include "startup.h"
#include "static_binding.h"
#include "test_env.h"
#include "user_texts.h"

namespace fs = std::filesystem;

namespace {

// ---- Binding and start-up ---------------------------------------------------

std::map<std::string, void *> g_exports;
int g_initializeResult = 0;
int QLAPI_CALL fakeInitialize(int) { return g_initializeResult; }
int QLAPI_CALL fakeEnhanced() { return 1; }

void *fakeLookup(void *, const char *name) {
    auto it = g_exports.find(name);
    return it == g_exports.end() ? nullptr : it->second;
}

void exportEverything() {
    g_exports.clear();
    for (const char *name :
         {"QL_DllError", "QL_UseEnhancedInterface", "QL_WantUpdate", "QL_CancelDownload",
          "QL_GetNewspaperListFromHD", "QL_RemoveNewspaperTree", "QL_FindFirstNewspaper",
          "QL_FindNextNewspaper", "QL_FindFirstResort", "QL_FindNextResort", "QL_FindFirstArticle",
          "QL_FindNextArticle", "QL_FindFirstParagraph", "QL_FindNextParagraph",
          "QL_ResyncNewspaper", "QL_GetNewspaper", "QL_RegisterCallback", "QL_DeleteNewspaper"})
        g_exports[name] = reinterpret_cast<void *>(&fakeLookup);  // any non-null address
    g_exports["QL_Initialize"] = reinterpret_cast<void *>(&fakeInitialize);
    g_exports["QL_UseEnhancedInterface"] = reinterpret_cast<void *>(&fakeEnhanced);
}

TEST_F(ReaderTest, BindingAndStartUpTellTheUserWhatFailed) {
    const std::string bindFailed =
        "no owner | Fataler Fehler | QLAPI.dll konnte nicht richtig initialisiert werden.\n"
        "Das Programm wird jetzt beendet! | warning ok";
    struct Case {
        const char *name;
        std::vector<std::string> missing;
        int initializeResult;
        bool loaded, starts;
        int enhanced;
        std::vector<std::string> prompts;
    } cases[] = {
        {"complete", {}, 0, true, true, 1, {}},
        {"optional ones missing",
         {"QL_UseEnhancedInterface", "QL_GetNewspaperListFromHD", "QL_WantUpdate"},
         0,
         true,
         true,
         0,
         {}},
        {"two required missing",
         {"QL_DeleteNewspaper", "QL_FindFirstResort"},
         0,
         true,
         false,
         0,
         {"no owner | Plugin Fehler | Funktion QL_FindFirstResort() konnte nicht registriert "
          "werden | error ok",
          bindFailed}},
        {"library not loaded",
         {},
         0,
         false,
         false,
         0,
         {"no owner | Plugin Fehler | DLL konnte nicht geladen werden! | error ok", bindFailed}},
        {"configuration incomplete",
         {},
         9,
         true,
         false,
         1,
         {"no owner | Fataler Fehler | QLAPI.dll konnte nicht initialisiert werden. Fehler: 9\r\n"
          "Das Programm wird jetzt beendet! | warning ok"}},
    };
    for (const Case &c : cases) {
        exportEverything();
        for (const std::string &name : c.missing) g_exports.erase(name);
        g_initializeResult = c.initializeResult;
        g_enhanced = 0;
        int module = 0;
        EXPECT_EQ(startLibrary(c.loaded ? &module : nullptr, fakeLookup), c.starts) << c.name;
        EXPECT_EQ(takePrompts(), c.prompts) << c.name;
        EXPECT_EQ(g_enhanced, c.enhanced) << c.name;
        if (c.name == std::string("two required missing")) {
            // The binding stops at the first missing slot.
            EXPECT_NE(g_binding.findNextNewspaper, nullptr);
            EXPECT_EQ(g_binding.findNextResort, nullptr);
        }
        if (c.name == std::string("optional ones missing")) {
            EXPECT_EQ(g_binding.getNewspaperListFromHD, nullptr);
        }
    }
}

// ---- Plain functions ------------------------------------------------------------

TEST_F(ReaderTest, EveryUserTextFitsItsBuffer) {
    ASSERT_GT(stringTable().size(), 40u);
    for (const auto &[id, text] : stringTable()) {
        EXPECT_LT(text.size(), static_cast<size_t>(kUserTextSize)) << id;
        EXPECT_EQ(userText(id), text) << id;
    }
    EXPECT_STREQ(userText(IDS_NO_NEWSPAPERS),
                 "Keine Zeitungen verf\xFCgbar.\r\nBitte erst eine Zeitung abholen.");
    EXPECT_STREQ(userText(IDS_OVERWRITE_QUESTION),
                 "Datei existiert bereits. \xDC"
                 "berschreiben?");
    EXPECT_STREQ(userText(IDS_MENU_INSTALL), "Quillon CE &installieren\tStrg+Alt+I");
}

TEST_F(ReaderTest, PathPieces) {
    const std::optional<std::string> none;
    struct Case {
        const char *path;
        std::optional<std::string> stem, base, folder, extension;
    } cases[] = {
        {"C:\\a\\b.c.txt", "b.c", "b.c.txt", "C:\\a\\", ".txt"},
        {"datei", "datei", "datei", "datei", none},
        {"C:\\a\\", none, none, "C:\\a\\", none},
        {"C:\\a\\.ehd", none, ".ehd", "C:\\a\\", ".ehd"},
        {"", none, none, "", none},
        {nullptr, none, none, none, none},
    };
    for (const Case &c : cases) {
        const char *label = c.path ? c.path : "(null)";
        EXPECT_EQ(baseNameWithoutExtension(c.path), c.stem) << label;
        EXPECT_EQ(baseName(c.path), c.base) << label;
        EXPECT_EQ(folderOf(c.path), c.folder) << label;
        EXPECT_EQ(extensionOf(c.path), c.extension) << label;
    }
}

TEST_F(ReaderTest, SafeFileNamesAndSelectablePositions) {
    const std::pair<const char *, std::string> names[] = {
        {"Bahn: Streik \"ab\" 5/12 <heute>?", "Bahn Streik ab 512 heute"},
        {"M\xFCller & S\xF6hne | a*b\\c", "M\xFCller  S\xF6hne  abc"},
        {"Zeile\r\neins\tzwei", "Zeileeinszwei"},
        {"1.2 Punkte bleiben.", "1.2 Punkte bleiben."},
        {":/\\\"", "Artikelansicht"},
        {"", "Artikelansicht"},
        {nullptr, "Artikelansicht"},
    };
    for (const auto &[title, name] : names) EXPECT_EQ(safeFileName(title), name);
    // A title is read with at most 255 characters.
    EXPECT_EQ(safeFileName(std::string(300, 'x').c_str()), std::string(255, 'x'));

    const int positions[][3] = {{0, 5, 0}, {4, 5, 4}, {5, 5, 4}, {9, 1, 0}, {0, 0, -1}, {-1, 3, 0}};
    for (const auto &p : positions)
        EXPECT_EQ(selectablePosition(p[0], p[1]), p[2]) << p[0] << " of " << p[1];
}

// ---- The selection against the library ------------------------------------------

void *const kDialog = reinterpret_cast<void *>(0x130);

struct FakeSelection : SelectionHost {
    std::vector<std::string> entries;
    int selected = -1;
    std::string caption = "Zeitungsauswahl";
    std::vector<std::string> shown;  // "headline|text" of each article view

    void clearList() override {
        entries.clear();
        selected = -1;
    }
    void addEntry(const std::string &text) override { entries.push_back(text); }
    int entryCount() const override { return static_cast<int>(entries.size()); }
    int selectedEntry() const override { return selected; }
    void selectEntry(int position) override {
        // A list box refuses a position past its end; the controller must not ask.
        ASSERT_GE(position, 0);
        ASSERT_LT(position, entryCount());
        selected = position;
    }
    void setCaption(const std::string &c) override { caption = c; }
    void *window() const override { return kDialog; }
    void showArticle(const std::string &text, const char *headline,
                     const ArticleStart &start) override {
        shown.push_back(std::string(headline ? headline : "(none)") + "|" + text);
        starts.push_back(start);
    }
    void replaceArticle(const std::string &text, const char *headline) override {
        shown.push_back(std::string(headline ? headline : "(none)") + "|" + text);
    }
    void *articleWindow() const override { return kDialog; }
    void levelChanged(SelectionLevel level) override { levels.push_back(level); }
    int paperLimit() const override { return 10; }
    std::vector<ArticleStart> starts;
    std::vector<SelectionLevel> levels;
    int indexOf(const std::string &entry) const {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == entry) return static_cast<int>(i);
        return -1;
    }
    std::string selectedText() const { return selected < 0 ? "" : entries[selected]; }
};

class SelectionTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        news_ = makeFolder("news");
        for (const char *name : {"courier-2026-12-07.eif", "tageblatt-2026-12-07.eif"})
            writeWholeFile(news_ + name, readWholeFile(testDataPath("editions/") + name));
        writeWholeFile(news_ + "rundschau-2026-12-07.eif",
                       readWholeFile(testDataPath("reader/rundschau-2026-12-07.eif")));
        writeMinimalSettings(news_, "[COUNTRIES]\nde=49\nen=1\n");
        bindToStaticLibrary();
        ASSERT_EQ(QL_Initialize(1), QL_OK);
    }
    void TearDown() override {
        QL_Initialize(0);
        ReaderTest::TearDown();
    }
    static void bindToStaticLibrary() { g_binding = staticLibraryBinding(); }
    // Opens the selection and goes down to the Lokales articles.
    void openLokales() {
        ASSERT_TRUE(selection.open());
        list.selected = list.indexOf("7.12.2026 / Quillon Rundschau");
        ASSERT_GE(list.selected, 0);
        selection.choose();
        list.selected = list.indexOf("Lokales");
        selection.choose();
        ASSERT_EQ(selection.memory().level, ArticleLevel);
    }

    std::string news_;
    FakeSelection list;
    SelectionController selection{g_binding, list};
};

const char *const kWinterdienst =
    "Der Winterdienst ist bereit, Schnee wird erwartet.\r\n"
    "Der Schnee bleibt bis Freitag.\r\n"
    "R\xE4umfahrzeuge fahren ab vier Uhr, auch bei Schnee.\r\n"
    "Artikelende\r\n";

TEST_F(SelectionTest, ChoosingAndGoingBackKeepThePlace) {
    ASSERT_TRUE(selection.open());
    EXPECT_EQ(list.entries, (std::vector<std::string>{"12/7/2026 / Quillon Daily Courier",
                                                      "7.12.2026 / Quillon Rundschau",
                                                      "7.12.2026 / Quillon Tageblatt"}));
    EXPECT_EQ(list.selected, 0);

    // Second newspaper, then back: the one after it is selected.
    list.selected = 1;
    selection.choose();
    EXPECT_EQ(list.caption, "Ressortauswahl Quillon Rundschau vom 7.12.2026");
    EXPECT_EQ(list.entries, (std::vector<std::string>{"Lokales", "Sport", "Kultur"}));
    EXPECT_EQ(list.selected, 0);
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.caption, "Zeitungsauswahl");
    EXPECT_EQ(list.selected, 2);
    // From the last newspaper, back selects the last one, never nothing.
    selection.choose();
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.selected, 2);

    list.selected = 1;
    selection.choose();
    selection.choose();  // Lokales
    EXPECT_EQ(list.caption, "Artikelauswahl Lokales Quillon Rundschau vom 7.12.2026");
    EXPECT_EQ(list.entries, (std::vector<std::string>{"Markt \xF6"
                                                      "ffnet am Sonntag",
                                                      "Neue B\xE4nke: 20 St\xFC"
                                                      "ck / \"Park\"?",
                                                      "Winterdienst bereit", "Schnee im Gebirge",
                                                      "Leeres Blatt"}));
    // Reading the third article leaves the fourth selected; Enter reads on.
    list.selected = 2;
    selection.choose();
    ASSERT_EQ(list.shown.size(), 1u);
    EXPECT_EQ(list.shown[0], std::string("Winterdienst bereit|") + kWinterdienst);
    EXPECT_EQ(list.selected, 3);
    selection.choose();
    EXPECT_EQ(list.shown.back(),
              "Schnee im Gebirge|Im Gebirge liegt ein halber Meter.\r\n"
              "Artikelende\r\n");
    // The last article, without paragraphs: the selection stays on it.
    list.selected = 4;
    selection.choose();
    EXPECT_EQ(list.shown.back(), "Leeres Blatt|Artikelende\r\n");
    EXPECT_EQ(list.selected, 4);

    // Back to the resorts selects the one after Lokales; from the last resort
    // the last one.
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.caption, "Ressortauswahl Quillon Rundschau vom 7.12.2026");
    EXPECT_EQ(list.selectedText(), "Sport");
    list.selected = 2;
    selection.choose();
    EXPECT_EQ(list.entries, std::vector<std::string>{"Konzert im Dom"});
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.selectedText(), "Kultur");
    // An untitled article is read under the library's own headline.
    list.selected = 1;
    selection.choose();
    EXPECT_EQ(list.entries[1], "kein Titel");
    list.selected = 1;
    selection.choose();
    EXPECT_EQ(list.shown.back(),
              "kein Titel|Ein Artikel ohne \xDC"
              "berschrift.\r\nArtikelende\r\n");

    EXPECT_TRUE(selection.goBack());
    EXPECT_TRUE(selection.goBack());
    EXPECT_FALSE(selection.goBack());  // the dialog ends with 2
    EXPECT_EQ(takePrompts(), std::vector<std::string>{});
}

TEST_F(SelectionTest, NothingSelectedOrNothingStored) {
    ASSERT_TRUE(selection.open());
    list.selected = -1;
    selection.choose();
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::Consumed);
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>(
                  2, "no owner | Hinweis | Sie m\xFCssen etwas ausw\xE4hlen. | warning ok"));
    EXPECT_EQ(selection.memory().level, NewspaperLevel);

    QL_Initialize(0);
    for (const auto &entry : fs::directory_iterator(news_)) fs::remove(entry.path());
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    FakeSelection empty;
    SelectionController none(g_binding, empty);
    EXPECT_FALSE(none.open());
    EXPECT_EQ(takePrompts(), std::vector<std::string>{
                                 "owned | Hinweis | Keine Zeitungen verf\xFCgbar.\r\nBitte erst "
                                 "eine Zeitung abholen. | warning ok"});
}

TEST_F(SelectionTest, DeletingANewspaper) {
    const std::string question =
        "owned | WARNUNG | Zeitung wirklich l\xF6schen | warning yes/no default 2";
    ASSERT_TRUE(selection.open());
    // Del at the resort level is the list's own business.
    selection.choose();
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::NotTaken);
    selection.goBack();

    list.selected = 1;
    g_answers = {IDNO};
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::Consumed);
    EXPECT_EQ(list.entries.size(), 3u);
    EXPECT_EQ(list.selected, 1);
    EXPECT_TRUE(fileExists(news_ + "rundschau-2026-12-07.eif"));

    g_answers = {IDYES};
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::Consumed);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"12/7/2026 / Quillon Daily Courier",
                                                      "7.12.2026 / Quillon Tageblatt"}));
    EXPECT_EQ(list.selected, 0);
    EXPECT_FALSE(fileExists(news_ + "rundschau-2026-12-07.eif"));

    g_answers = {IDYES, IDYES};
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::Consumed);
    EXPECT_EQ(selection.deleteKey(), SelectionController::KeyResult::EndDialog);
    EXPECT_EQ(takePrompts(), (std::vector<std::string>{
                                 question, question, question, question,
                                 "owned | Hinweis | Keine Zeitungen verf\xFCgbar.\r\nBitte erst "
                                 "eine Zeitung abholen. | warning ok"}));
}

TEST_F(SelectionTest, ListSearchFromTheResortAndTheArticleLevel) {
    ASSERT_TRUE(selection.open());
    list.selected = 1;
    selection.choose();
    list.selected = 2;  // Kultur: read there once, so that it is remembered
    selection.choose();
    selection.goBack();
    EXPECT_TRUE(selection.searchAllowed());

    struct Case {
        const char *text;
        std::vector<std::string> hits;
    } resortCases[] = {
        // Three paragraphs of one article list it once; a headline alone is
        // enough here; case matters.
        {"Schnee", {"Winterdienst bereit", "Schnee im Gebirge", "Konzert im Dom"}},
        {"schnee", {"Pokalspiel verschoben"}},
        {"Maronen",
         {"Markt \xF6"
          "ffnet am Sonntag"}},
    };
    for (const Case &c : resortCases) {
        setSearchText(c.text);
        selection.search();
        EXPECT_EQ(list.entries, c.hits) << c.text;
        EXPECT_EQ(list.selected, 0) << c.text;
        EXPECT_EQ(list.caption,
                  std::string("Suchergebnis: ") + c.text + " in Quillon Rundschau vom 7.12.2026");
        std::string count = std::to_string(c.hits.size()) + " Artikel gefunden.";
        EXPECT_EQ(takePrompts(), std::vector<std::string>{"owned | " + count + " | " + count +
                                                          " | information ok"});
        // No search from the hit list; back returns to the remembered resort.
        EXPECT_FALSE(selection.searchAllowed());
        EXPECT_TRUE(selection.goBack());
        EXPECT_EQ(list.caption, "Ressortauswahl Quillon Rundschau vom 7.12.2026");
        EXPECT_EQ(list.selectedText(), "Kultur");
    }

    // Nothing found: list, caption and level stay.
    setSearchText("Lawine");
    selection.search();
    EXPECT_EQ(list.entries, (std::vector<std::string>{"Lokales", "Sport", "Kultur"}));
    EXPECT_EQ(selection.memory().level, ResortLevel);
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{"owned | Hinweis | Nichts gefunden! | information ok"});

    // From the article list only paragraphs count.
    list.selected = 0;
    selection.choose();
    setSearchText("Schnee");
    selection.search();
    EXPECT_EQ(list.entries, std::vector<std::string>{"Winterdienst bereit"});
    EXPECT_EQ(list.caption, "Suchergebnis: Schnee in Lokales in Quillon Rundschau vom 7.12.2026");
    takePrompts();
    // Reading a hit keeps it selected; back goes to that article's place.
    selection.choose();
    EXPECT_EQ(list.shown.back(), std::string("Winterdienst bereit|") + kWinterdienst);
    EXPECT_EQ(list.selected, 0);
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.caption, "Artikelauswahl Lokales Quillon Rundschau vom 7.12.2026");
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(list.entries.size(), 5u);
}

// The resume record kept in memory, as the registry keeps it between runs.
struct MemoryResumeStore : ResumeStore {
    bool kept = false;
    ResumeRecord record;
    bool load(ResumeRecord &r) override {
        r = record;
        return kept;
    }
    void save(const ResumeRecord &r) override {
        record = r;
        kept = true;
    }
};

TEST_F(SelectionTest, WhereAmIAtEveryLevel) {
    ASSERT_TRUE(selection.open());
    list.selected = 1;
    EXPECT_EQ(selection.whereAmI(), "Zeitung 2 von 3: Quillon Rundschau vom 7.12.2026");
    selection.choose();
    list.selected = 1;
    EXPECT_EQ(selection.whereAmI(), "Ressort 2 von 3: Sport, Quillon Rundschau vom 7.12.2026");
    list.selected = 0;
    selection.choose();
    list.selected = 2;
    EXPECT_EQ(selection.whereAmI(),
              "Artikel 3 von 5 im Ressort Lokales, Quillon Rundschau vom 7.12.2026");
    setSearchText("Schnee");
    selection.search();
    takePrompts();
    EXPECT_EQ(selection.whereAmI(), "Treffer 1 von 1 der Suche nach Schnee");
    // The list's accessible name followed every level.
    EXPECT_EQ(list.levels, (std::vector<SelectionLevel>{NewspaperLevel, ResortLevel, ArticleLevel,
                                                        SearchHitLevel}));
}

TEST_F(SelectionTest, ReadingOnCrossesResortsAndKeepsTheListInStep) {
    openLokales();
    list.selected = 3;  // "Schnee im Gebirge", the fourth of five
    selection.choose();
    auto headline = [this] { return list.shown.back().substr(0, list.shown.back().find('|')); };
    EXPECT_TRUE(selection.readOn(1));
    EXPECT_EQ(headline(), "Leeres Blatt");
    EXPECT_TRUE(selection.readOn(1));  // over the boundary into Sport
    EXPECT_EQ(headline(), "Pokalspiel verschoben");
    EXPECT_EQ(list.caption, "Artikelauswahl Sport Quillon Rundschau vom 7.12.2026");
    EXPECT_EQ(list.selectedText(), "Pokalspiel verschoben");
    EXPECT_TRUE(selection.readOn(-1));  // and back to the last of Lokales
    EXPECT_EQ(headline(), "Leeres Blatt");
    EXPECT_EQ(list.selected, 4);
    while (selection.memory().resortPosition < 2 || list.selected < 0) selection.readOn(1);
    EXPECT_EQ(headline(), "Konzert im Dom");
    EXPECT_FALSE(selection.readOn(1));
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{
                  "owned | Hinweis | Letzter Artikel der Zeitung. | information ok"});
    EXPECT_EQ(headline(), "Konzert im Dom") << "the last article stays";
    // Escape returns to the resort list at the resort read last.
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.selectedText(), "Kultur");
}

TEST_F(SelectionTest, ResumingFindsTheArticleAgainOrSaysWhyNot) {
    MemoryResumeStore store;
    selection.setResumeStore(&store);
    openLokales();
    list.selected = 2;
    selection.choose();  // Winterdienst bereit
    selection.articleClosed(2);
    ASSERT_TRUE(store.kept);
    EXPECT_EQ(store.record.file, "rundschau-2026-12-07.eif");
    EXPECT_EQ(store.record.resorts, std::vector<std::string>{"Lokales"});
    EXPECT_EQ(store.record.line, 2);

    struct Case {
        const char *name;
        void (*change)(ResumeRecord &);
        const char *shown;   // the article opened, or null
        const char *prompt;  // the box shown, or null
    } cases[] = {
        {"as kept", [](ResumeRecord &) {}, "Winterdienst bereit", nullptr},
        // The edition was numbered anew: the article's number in its file
        // still finds it.
        {"another edition number", [](ResumeRecord &r) { r.articleId |= 0x7f000000; },
         "Winterdienst bereit", nullptr},
        {"another article's number", [](ResumeRecord &r) { r.articleId += 1; }, nullptr,
         "owned | Hinweis | Der Artikel, den Sie zuletzt gelesen haben, ist in seiner Zeitung "
         "nicht mehr zu finden. | information ok"},
        {"headline gone", [](ResumeRecord &r) { r.headline = "Lawine"; }, nullptr,
         "owned | Hinweis | Der Artikel, den Sie zuletzt gelesen haben, ist in seiner Zeitung "
         "nicht mehr zu finden. | information ok"},
        {"edition gone", [](ResumeRecord &r) { r.file = "rundschau-2026-12-01.eif"; }, nullptr,
         "owned | Hinweis | Die Zeitung, in der Sie zuletzt gelesen haben, ist nicht mehr "
         "gespeichert. | information ok"},
    };
    ResumeRecord kept = store.record;
    for (const Case &c : cases) {
        store.record = kept;
        c.change(store.record);
        FakeSelection fresh;
        SelectionController again(g_binding, fresh);
        again.setResumeStore(&store);
        takePrompts();
        ASSERT_TRUE(again.resume()) << c.name;
        if (c.shown) {
            ASSERT_EQ(fresh.shown.size(), 1u) << c.name;
            EXPECT_EQ(fresh.shown[0].substr(0, fresh.shown[0].find('|')), c.shown) << c.name;
            EXPECT_EQ(fresh.starts[0].line, 2) << c.name;
            EXPECT_EQ(again.memory().level, ArticleLevel) << c.name;
            EXPECT_EQ(fresh.selected, 3) << c.name << ": Enter reads on";
        } else {
            EXPECT_TRUE(fresh.shown.empty()) << c.name;
            EXPECT_EQ(again.memory().level, NewspaperLevel) << c.name;
        }
        EXPECT_EQ(takePrompts(),
                  c.prompt ? std::vector<std::string>{c.prompt} : std::vector<std::string>{})
            << c.name;
    }
    store.kept = false;  // nothing kept, or a damaged record
    FakeSelection fresh;
    SelectionController again(g_binding, fresh);
    again.setResumeStore(&store);
    EXPECT_TRUE(again.resume());
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{
                  "owned | Hinweis | Es gibt noch keine Stelle zum Weiterlesen. | information ok"});
}

// An article is its file and its number there. Equal headlines in one
// resort, editions numbered anew (a file that sorts before it, one deleted)
// and a newer file the library has not listed yet never lead Weiterlesen to
// another article, and never lose the one read.
TEST_F(SelectionTest, ResumingKnowsTheArticleAmongEqualHeadlines) {
    auto paper = [](const std::string &title, int day, const std::string &body) {
        return "<DUZUZUVU LANGUAGE=\"de\"><NPTL>" + title +
               "</NPTL><CD YEAR=\"2026\" MONTH=\"12\" DAY=\"" + std::to_string(day) +
               "\"></CD><GROUP><GRTITLE>Kurz</GRTITLE>" + body + "</GROUP></DUZUZUVU>";
    };
    writeWholeFile(news_ + "meldungen.eif",
                   paper("Quillon Meldungen", 8,
                         "<ARTICLE><ATL>Meldung</ATL><P>Die erste.</P></ARTICLE>"
                         "<ARTICLE><ATL>Meldung</ATL><P>Die zweite.</P></ARTICLE>"));
    ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
    MemoryResumeStore store;
    selection.setResumeStore(&store);
    ASSERT_TRUE(selection.open());
    list.selected = list.indexOf("8.12.2026 / Quillon Meldungen");
    selection.choose();
    list.selected = 0;
    selection.choose();
    ASSERT_EQ(list.entries, (std::vector<std::string>{"Meldung", "Meldung"}));
    list.selected = 1;
    selection.choose();
    const std::string second = list.shown.back();
    ASSERT_NE(second.find("zweite"), std::string::npos);
    selection.articleClosed(0);

    const std::string other = paper("Quillon Anzeiger", 1, "<ARTICLE><ATL>A</ATL></ARTICLE>");
    struct Case {
        const char *name;
        std::function<void()> change;
        bool resync;
    } cases[] = {
        {"a file that sorts before it", [&] { writeWholeFile(news_ + "anzeiger.eif", other); },
         true},
        {"an edition deleted", [&] { remove((news_ + "anzeiger.eif").c_str()); }, true},
        {"a newer file not listed yet",
         [&] { writeWholeFile(news_ + "neu.eif", paper("Quillon Neu", 9, "")); }, false},
    };
    for (const Case &c : cases) {
        c.change();
        if (c.resync) {
            ASSERT_EQ(QL_ResyncNewspaper(), QL_OK) << c.name;
        }
        FakeSelection fresh;
        SelectionController again(g_binding, fresh);
        again.setResumeStore(&store);
        takePrompts();
        ASSERT_TRUE(again.resume()) << c.name;
        EXPECT_EQ(takePrompts(), std::vector<std::string>{}) << c.name;
        EXPECT_EQ(fresh.shown, std::vector<std::string>{second}) << c.name;
    }
}

TEST_F(SelectionTest, SearchingEveryNewspaper) {
    int reported = 0;
    auto count = [](void *n, int, int) { return ++*static_cast<int *>(n) < 2; };  // stop after 2
    std::vector<SearchHit> stopped = searchAllNewspapers(g_binding, "Schnee", count, &reported);
    EXPECT_EQ(reported, 2);
    std::vector<SearchHit> hits = searchAllNewspapers(g_binding, "Schnee", nullptr, nullptr);
    ASSERT_GE(hits.size(), stopped.size());
    ASSERT_TRUE(selection.openHitsOfAllNewspapers(hits, "Schnee"));
    EXPECT_EQ(list.caption, "Suchergebnis: Schnee in allen Zeitungen");
    EXPECT_EQ(list.entries[0], "Quillon Rundschau vom 7.12.2026, Lokales: Winterdienst bereit");
    EXPECT_EQ(list.entries.size(), hits.size());
    // Opening a hit puts the caret on the first match; F3 goes on from there.
    selection.choose();
    ASSERT_EQ(list.starts.size(), 1u);
    EXPECT_EQ(list.starts[0].find, "Schnee");
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(list.caption, "Zeitungsauswahl");
    EXPECT_EQ(selection.memory().level, NewspaperLevel);
    EXPECT_TRUE(searchAllNewspapers(g_binding, "Lawine", nullptr, nullptr).empty());
}

TEST_F(SelectionTest, SearchInTheArticleHasNoWrapAround) {
    const std::string text = kWinterdienst;
    size_t first = findInArticle(text, 0, "Schnee");
    size_t second = findInArticle(text, first + 6, "Schnee");
    size_t third = findInArticle(text, second + 6, "Schnee");
    EXPECT_EQ(text.substr(first, 6), "Schnee");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(findInArticle(text, third + 6, "Schnee"), std::string::npos);
    EXPECT_EQ(findInArticle(text, 0, "schnee"), std::string::npos);
    EXPECT_EQ(findInArticle(text, text.size() + 5, "e"), std::string::npos);
    setSearchText(std::string(150, 'a').c_str());
    EXPECT_EQ(searchText().size(), kSearchTextLimit);
}

// ---- Saving ---------------------------------------------------------------------

TEST_F(ReaderTest, SavingWritesTheArticleTextOrNothing) {
    const std::string article =
        std::string("Erster Absatz.\r\nZweiter \xE4.\r\n") + "Artikelende\r\n";
    const std::string path = dir() + "artikel.txt";
    const std::string overwrite =
        "owned | WARNUNG | Datei existiert bereits. \xDC"
        "berschreiben? | warning yes/no default 2";
    void *field = reinterpret_cast<void *>(0x1007);

    // Cancelled: nothing written; the dialog was offered the proposed name.
    saveArticle("Winterdienst bereit", field, article);
    ASSERT_EQ(g_prompts.size(), 1u);
    EXPECT_EQ(g_prompts[0].kind, PromptKind::SaveFile);
    EXPECT_EQ(g_prompts[0].caption, "Artikel speichern");
    EXPECT_EQ(g_prompts[0].fileName, "Winterdienst bereit");
    EXPECT_EQ(g_prompts[0].owner, field);
    g_prompts.clear();

    struct Case {
        const char *name;
        std::string before;  // "" for no file
        int answer;
        std::string after;
        std::vector<std::string> prompts;
    } cases[] = {
        {"new file", "", 0, article, {}},
        {"overwrite refused", "alt", IDNO, "alt", {overwrite}},
        {"overwrite accepted",
         "ein viel l\xE4ngerer alter Inhalt als der Artikel selbst, "
         "der ganz verschwinden muss",
         IDYES,
         article,
         {overwrite}},
    };
    for (const Case &c : cases) {
        fs::remove(path);
        if (!c.before.empty()) writeWholeFile(path, c.before);
        g_saveNames = {path};
        if (c.answer) g_answers = {c.answer};
        saveArticle("x", field, article);
        g_prompts.erase(g_prompts.begin());  // the save dialog
        EXPECT_EQ(takePrompts(), c.prompts) << c.name;
        EXPECT_EQ(readWholeFile(path), c.after) << c.name;
    }

    // A folder that does not exist cannot take the file.
    g_saveNames = {dir() + "fehlt" + std::string(1, fs::path::preferred_separator) + "a.txt"};
    saveArticle("x", field, article);
    g_prompts.erase(g_prompts.begin());
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{"owned | WARNUNG | Datei konnte nicht geschrieben werden! | "
                                       "warning ok"});
}

// ---- The download dialog's road ----------------------------------------------

std::deque<int> g_fetchResults;
std::vector<int> g_fetchModes;
std::vector<std::string> g_libraryCalls;

int QLAPI_CALL fakeGetNewspaper(int mode) {
    g_fetchModes.push_back(mode);
    int r = g_fetchResults.empty() ? 0 : g_fetchResults.front();
    if (!g_fetchResults.empty()) g_fetchResults.pop_front();
    return r;
}
int QLAPI_CALL fakeRegister(QL_HostWindow window, unsigned message) {
    g_libraryCalls.push_back(std::string(window ? "register " : "unregister ") +
                             std::to_string(message));
    return 0;
}
void QLAPI_CALL fakeWantUpdate() { g_libraryCalls.push_back("want update"); }
int QLAPI_CALL fakeCancel() {
    g_libraryCalls.push_back("cancel");
    return 1;
}
int QLAPI_CALL fakeResync() {
    g_libraryCalls.push_back("resync");
    return 0;
}

struct FakeDownload : DownloadHost {
    unsigned long offer = 0;
    int offerReads = 0;
    std::vector<int> progress;
    std::vector<int> ends;
    QL_HostWindow hostWindow() override { return reinterpret_cast<QL_HostWindow>(kDialog); }
    void *window() const override { return kDialog; }
    unsigned long updateOffer() override {
        ++offerReads;
        return offer;
    }
    void setProgress(int percent) override { progress.push_back(percent); }
    void end(int result) override { ends.push_back(result); }
    int paperLimit() const override { return 10; }
};

class DownloadTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        library = LibraryBinding{};
        library.getNewspaper = fakeGetNewspaper;
        library.registerCallback = fakeRegister;
        library.wantUpdate = fakeWantUpdate;
        library.cancelDownload = fakeCancel;
        library.resyncNewspaper = fakeResync;
        g_fetchResults.clear();
        g_fetchModes.clear();
        g_libraryCalls.clear();
        g_downloadMode = 0;
        g_enhanced = 1;
    }
    LibraryBinding library;
    FakeDownload dialog;
    DownloadController download{library, dialog};
};

TEST_F(DownloadTest, StartingAskingAndRefusals) {
    const std::string again =
        "owned | Vantrel Quillon | Die Zeitungen wurden heute bereits heruntergeladen. Nochmal "
        "herunterladen?\" | question yes/no default 2";
    struct Case {
        const char *name;
        int enhanced;
        unsigned long offer;
        std::vector<int> results, answers, modes;
        bool runs;
        std::vector<std::string> prompts, calls;
    } cases[] = {
        {"runs", 1, 0, {0}, {}, {0}, true, {}, {"register 1034"}},
        {"busy",
         1,
         0,
         {12},
         {},
         {0},
         false,
         {"owned | Vantrel Quillon | Die \xDC"
          "bertragung der Daten l\xE4uft bereits. | warning ok"},
         {"register 1034", "unregister 0"}},
        {"fetched today, no",
         1,
         0,
         {14},
         {IDNO},
         {0},
         false,
         {again},
         {"register 1034", "unregister 0"}},
        {"fetched today, yes", 1, 0, {14, 0}, {IDYES}, {0, 1}, true, {again}, {"register 1034"}},
        {"no thread",
         1,
         0,
         {15},
         {},
         {0},
         false,
         {"owned | Vantrel Quillon | 15 | warning ok"},
         {"register 1034", "unregister 0"}},
        {"update, no",
         1,
         12345,
         {0},
         {IDNO},
         {0},
         true,
         {"owned | Vantrel Quillon | Auf dem Server liegt f\xFCr Sie ein Update bereit.\nDie "
          "Gr\xF6sse betr\xE4gt 12345 Bytes. M\xF6"
          "chten Sie das Update mitherunterladen? | none yes/no"},
         {"register 1034"}},
        {"update, yes",
         1,
         7,
         {0},
         {IDYES},
         {0},
         true,
         {"owned | Vantrel Quillon | Auf dem Server liegt f\xFCr Sie ein Update bereit.\nDie "
          "Gr\xF6sse betr\xE4gt 7 Bytes. M\xF6"
          "chten Sie das Update mitherunterladen? | none yes/no"},
         {"register 1034", "want update"}},
        {"update without the enhanced interface", 0, 7, {0}, {}, {0}, true, {}, {"register 1034"}},
    };
    for (const Case &c : cases) {
        FakeDownload host;
        host.offer = c.offer;
        DownloadController controller(library, host);
        g_enhanced = c.enhanced;
        g_downloadMode = 0;
        g_fetchResults.assign(c.results.begin(), c.results.end());
        g_answers.assign(c.answers.begin(), c.answers.end());
        g_fetchModes.clear();
        g_libraryCalls.clear();
        EXPECT_EQ(controller.start(), c.runs) << c.name;
        EXPECT_EQ(g_fetchModes, c.modes) << c.name;
        EXPECT_EQ(g_libraryCalls, c.calls) << c.name;
        EXPECT_EQ(host.ends, c.runs ? std::vector<int>{} : std::vector<int>{0}) << c.name;
        EXPECT_EQ(host.offerReads, c.enhanced) << c.name;
        EXPECT_EQ(takePrompts(), c.prompts) << c.name;
    }
}

TEST_F(DownloadTest, EveryNotificationAndItsMessage) {
    auto error = [](const char *text) {
        return std::vector<std::string>{std::string("owned | Fehler | ") + text + " | error ok"};
    };
    const std::vector<std::string> none;
    struct Case {
        intptr_t code;
        std::vector<std::string> prompts;
    } cases[] = {
        {9, error("Das Modem konnte nicht gefunden werden.")},
        {10, error("Das Kommunikationsprogramm konnte nicht gestartet oder gefunden werden.")},
        {11, error("Der FTP-Client konnte nicht gefunden werden.")},
        {12, none},
        {13, error("Fehler auf Kommunikationspipeline mit externem Download Programm.")},
        {14, {"owned | Hinweis | Der Server hat keine aktuellen Daten f\xFCr Sie. | none ok"}},
        {15, none},
        {16, error("Bei der Daten\xFC"
                   "bertragung traten zu viele Fehler auf.")},
        {17, error("Die Gegenstelle ist besetzt.")},
        {18, error("Der Server auf der anderen Seite hebt nicht ab.")},
        {19, error("Der Server lehnte die Verbindung ab. Keine Berechtigung.")},
        {20, error("Bei der Daten\xFC"
                   "bertragung trat ein Fehler auf.")},
        {21,
         {"owned | Hinweis | Daten wurden \xFC"
          "bertragen. | none ok"}},
        {23, error("Das Programm zum Transferieren der Daten konnte nicht korrekt gestartet "
                   "werden.")},
        {24, none},
        {99, none},
    };
    ASSERT_TRUE(download.start());
    g_libraryCalls.clear();
    for (const Case &c : cases) {
        download.notify(QL_NOTIFY_STATUS, c.code);
        EXPECT_EQ(takePrompts(), c.prompts) << c.code;
    }
    // Nothing new is not worth a box without the enhanced interface.
    g_enhanced = 0;
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_NP_PRESENT);
    download.notify(QL_NOTIFY_LIBRARYERROR, QL_ERR_NO_MEMORY);
    EXPECT_EQ(takePrompts(), none);
    for (intptr_t percent : {0, 50, 100, 0x20000 + 40})
        download.notify(QL_NOTIFY_PROGRESS, percent);
    EXPECT_EQ(dialog.progress, (std::vector<int>{0, 50, 100, 40}));
    EXPECT_TRUE(dialog.ends.empty());
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    EXPECT_EQ(g_libraryCalls, std::vector<std::string>{"resync"});
    EXPECT_EQ(dialog.ends, std::vector<int>{0});
    // Whatever the library's thread still sends goes untold.
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_ERROR);
    download.destroyed();
    EXPECT_EQ(takePrompts(), none);
    EXPECT_EQ(g_libraryCalls, (std::vector<std::string>{"resync", "unregister 0"}));
}

TEST_F(DownloadTest, CancellingStopsTheFetchAndTellsOnce) {
    ASSERT_TRUE(download.start());
    g_libraryCalls.clear();
    download.cancel();
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCANCELLED);
    download.notify(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    download.cancel();
    EXPECT_EQ(g_libraryCalls, std::vector<std::string>{"cancel"});  // no resync after a cancel
    EXPECT_EQ(dialog.ends, std::vector<int>{2});
    EXPECT_EQ(takePrompts(), std::vector<std::string>{"owned | Hinweis | Daten\xFC"
                                                      "bertragung vom Benutzer abgebrochen | "
                                                      "warning ok"});
    // Without QL_CancelDownload the dialog still ends.
    library.cancelDownload = nullptr;
    FakeDownload other;
    DownloadController plain(library, other);
    plain.cancel();
    EXPECT_EQ(other.ends, std::vector<int>{2});
}

TEST_F(ReaderTest, PaperCountChoicesAndUserIds) {
    const std::pair<long, int> counts[] = {{0, 10},  {10, 10},   {30, 10},          {48, 10},
                                           {49, 50}, {98, 50},   {99, 100},         {100, 100},
                                           {-5, 10}, {500, 100}, {2147483647L, 100}};
    for (const auto &[stored, choice] : counts)
        EXPECT_EQ(paperCountChoice(stored), choice) << stored;
    for (const char *id : {"", "1234567", "123456789"}) EXPECT_FALSE(validUserId(id)) << id;
    for (const char *id : {"12345678", "ab cd/?!", "        "}) EXPECT_TRUE(validUserId(id)) << id;
}

}  // namespace
