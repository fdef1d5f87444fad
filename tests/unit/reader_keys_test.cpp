// The headline list, and the key table that feeds the accelerators, the
// handbook and the key describer, against the resource script, the
// handbook's text and the real library.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "handbook.h"
#include "key_table.h"
#include "reader_test_support.h"
#include "selection.h"
#include "static_binding.h"
#include "user_texts.h"

namespace {

std::string readSource(const std::string &name) {
    std::ifstream in(std::string(QUILLON_RESOURCES "/") + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// "key Z ctrl alt 32772" for each line of the script's accelerator table.
std::vector<std::string> scriptAccelerators() {
    std::map<std::string, int> ids;
    std::istringstream header(readSource("resource.h"));
    std::regex define(R"(#define\s+(\w+)\s+(-?\d+))");
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (std::regex_search(line, m, define)) ids[m[1]] = std::stoi(m[2]);
    }
    std::istringstream script(readSource("quillon.rc"));
    std::regex entry(R"re(^\s*"(.)",\s*(\w+),\s*(VIRTKEY|ASCII)((,\s*\w+)*)\s*$)re");
    std::vector<std::string> out;
    bool inTable = false;
    for (std::string line; std::getline(script, line);) {
        if (line.find("ACCELERATORS") != std::string::npos) inTable = true;
        if (!inTable) continue;
        if (line == "END") break;
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        std::string flags = m[4];
        out.push_back(std::string(m[3] == "VIRTKEY" ? "key " : "char ") + m[1].str() +
                      (flags.find("CONTROL") != std::string::npos ? " ctrl" : "") +
                      (flags.find("ALT") != std::string::npos ? " alt" : "") + " " +
                      std::to_string(ids.at(m[2])));
    }
    return out;
}

class KeyTableTest : public ReaderTest {};

TEST_F(KeyTableTest, OneTableFeedsAcceleratorsHandbookAndDescriber) {
    // The accelerators are the table's commands, key for key, in order.
    std::vector<std::string> fromTable;
    for (const KeyBinding &b : keyTable()) {
        if (!b.command) continue;
        EXPECT_EQ(b.place, KeyPlace::MainWindow) << keyName(b);
        fromTable.push_back(std::string(b.character ? "char " : "key ") + static_cast<char>(b.key) +
                            (b.modifiers & kControl ? " ctrl" : "") +
                            (b.modifiers & kAlt ? " alt" : "") + " " + std::to_string(b.command));
    }
    EXPECT_EQ(fromTable, scriptAccelerators());

    // Every key described once per place, each description a sentence.
    std::set<std::tuple<KeyPlace, unsigned, unsigned, bool>> seen;
    for (const KeyBinding &b : keyTable()) {
        EXPECT_TRUE(seen.insert({b.place, b.modifiers, b.key, b.character}).second) << keyName(b);
        std::string text = userText(b.description);
        ASSERT_FALSE(text.empty()) << keyName(b);
        EXPECT_EQ(text.back(), '.') << keyName(b);
        EXPECT_EQ(
            describeKey(b.place, b.modifiers, b.key == kKeyAnyLetter ? 'Q' : b.key, b.character),
            keyLine(b));
    }

    const std::string none = "Diese Taste hat hier keine Bedeutung.";
    struct Case {
        KeyPlace place;
        unsigned modifiers, key;
        std::string said;
    } cases[] = {
        {KeyPlace::Article, kControl, kKeyPageDown,
         "Strg+Bild ab: liest den n\xE4"
         "chsten Artikel der Zeitung."},
        {KeyPlace::MainWindow, kShift, kKeyF1,
         "Umschalt+F1: beschreibt die n\xE4"
         "chste Taste, statt sie auszuf\xFChren."},
        {KeyPlace::List, 0, 'K',
         "Buchstabe: springt zum n\xE4"
         "chsten Eintrag, der mit diesem Buchstaben beginnt."},
        {KeyPlace::List, kControl | kAlt, 'S',
         "Strg+Alt+S: zeigt in der Ressortauswahl alle Schlagzeilen der Zeitung in Lesefolge."},
        {KeyPlace::MainWindow, kControl | kAlt, 'S',
         "Strg+Alt+S: kopiert die Zeitungen auf das angeschlossene Handheld."},
        {KeyPlace::MainWindow, kControl, 'Q', none},
        {KeyPlace::Article, 0, 'K', none},    // letters mean something in lists only
        {KeyPlace::List, kShift, 'K', none},  // not with a modifier
        {KeyPlace::List, kControl, kKeyPageDown, none},
    };
    for (const Case &c : cases) EXPECT_EQ(describeKey(c.place, c.modifiers, c.key), c.said);
    EXPECT_EQ(describeKey(KeyPlace::MainWindow, kAlt, '?', true),
              "Alt+?: zeigt die Version des Programms.");
}

TEST_F(KeyTableTest, TheHandbookListsTheTableAndHasEveryWindowsSection) {
    std::string text = windows1252(readSource("handbook.txt"));
    ASSERT_GT(text.size(), 10000u);
    EXPECT_EQ(text.find('\r'), std::string::npos) << "kept with LF; the build writes CR LF";
    std::string crlf = std::regex_replace(text, std::regex("\n"), "\r\n");
    // Each place's list, whole and in the table's order.
    std::set<std::string> lines;
    for (KeyPlace place :
         {KeyPlace::MainWindow, KeyPlace::List, KeyPlace::Article, KeyPlace::Handbook}) {
        std::string list = keyListText(place);
        EXPECT_NE(crlf.find(list), std::string::npos) << list;
        std::istringstream in(list);
        for (std::string line; std::getline(in, line);)
            lines.insert(line.substr(0, line.size() - 1));
    }
    // And nothing in the key overview that the table does not have.
    size_t overview = handbookSectionStart(text, 14);
    ASSERT_GT(overview, 0u);
    std::istringstream rest(text.substr(overview));
    std::regex heading(R"(^\d+(\.\d+)*\. .*)");
    for (std::string line; std::getline(rest, line);) {
        if (!line.empty() && !std::regex_match(line, heading)) {
            EXPECT_TRUE(lines.count(line)) << "not a key of the table: " << line;
        }
    }

    // F1 in each window opens its own section, a heading line.
    const std::pair<int, const char *> sections[] = {{1000, "2. Das Hauptfenster\n"},
                                                     {2000, "4. Zeitungen lesen\n"},
                                                     {3000, "11. Einstellungen\n"},
                                                     {4000, "6. Artikel lesen\n"},
                                                     {5000, "7. Suchen\n"}};
    for (const auto &[topic, title] : sections) {
        size_t at = handbookSectionStart(text, handbookSectionOf(topic));
        EXPECT_EQ(text.compare(at, strlen(title), title), 0) << topic;
        EXPECT_EQ(text[at - 1], '\n') << topic;
    }
    EXPECT_EQ(handbookSectionStart(text, handbookSectionOf(0)), 0u);
}

// ---- The headline list ---------------------------------------------------------

void *const kDialog = reinterpret_cast<void *>(0x130);

struct Selection : SelectionHost {
    std::vector<std::string> entries, shown;
    int selected = -1;
    std::string caption;
    std::vector<SelectionLevel> levels;
    void clearList() override { entries.clear(), selected = -1; }
    void addEntry(const std::string &text) override { entries.push_back(text); }
    int entryCount() const override { return static_cast<int>(entries.size()); }
    int selectedEntry() const override { return selected; }
    void selectEntry(int position) override {
        ASSERT_GE(position, 0);
        ASSERT_LT(position, entryCount());
        selected = position;
    }
    void setCaption(const std::string &c) override { caption = c; }
    void *window() const override { return kDialog; }
    void showArticle(const std::string &, const char *headline, const ArticleStart &) override {
        shown.push_back(headline ? headline : "(none)");
    }
    void replaceArticle(const std::string &, const char *headline) override {
        shown.push_back(headline ? headline : "(none)");
    }
    void *articleWindow() const override { return kDialog; }
    void levelChanged(SelectionLevel level) override { levels.push_back(level); }
    int paperLimit() const override { return 10; }
    int indexOf(const std::string &entry) const {
        auto it = std::find(entries.begin(), entries.end(), entry);
        return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
    }
};

struct KeptPlace : ResumeStore {
    ResumeRecord record;
    bool load(ResumeRecord &r) override { return r = record, true; }
    void save(const ResumeRecord &r) override { record = r; }
};

// 240 articles in five resorts, one of them empty.
const std::pair<const char *, int> kResorts[] = {
    {"Politik", 16}, {"Leer", 0}, {"Sport", 60}, {"Kultur", 80}, {"Wirtschaft", 84}};

class HeadlineTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        std::string news = makeFolder("news");
        std::string edition =
            "<DUZUZUVU LANGUAGE=\"de\"><ISSUE><NPINFO><NPID>QGB</NPID><NPTL>Quillon "
            "Grossblatt</NPTL></NPINFO><EDINFO><CD YEAR=\"2026\" MONTH=\"12\" "
            "DAY=\"8\"></CD></EDINFO>\n";
        for (const auto &[resort, count] : kResorts) {
            edition += std::string("<GROUP><GRTITLE>") + resort + "</GRTITLE>\n";
            for (int k = 1; k <= count; ++k)
                edition += std::string("<ARTICLE><ATL>") + resort + " Meldung " +
                           std::to_string(k) + "</ATL><P>Text.</P></ARTICLE>\n";
            edition += "</GROUP>\n";
        }
        writeWholeFile(news + "grossblatt-2026-12-08.eif", edition + "</ISSUE></DUZUZUVU>\n");
        writeWholeFile(news + "rundschau-2026-12-07.eif",
                       readWholeFile(testDataPath("reader/rundschau-2026-12-07.eif")));
        writeMinimalSettings(news, "[COUNTRIES]\nde=49\n");
        g_binding = staticLibraryBinding();
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        selection.setResumeStore(&kept);
        ASSERT_TRUE(selection.open());
        list.selected = list.indexOf("8.12.2026 / Quillon Grossblatt");
        selection.choose();
    }
    void TearDown() override {
        QL_Initialize(0);
        ReaderTest::TearDown();
    }
    Selection list;
    KeptPlace kept;
    SelectionController selection{g_binding, list};
};

TEST_F(HeadlineTest, EveryHeadlineInReadingOrderAcrossResorts) {
    ASSERT_EQ(list.entries.size(), 5u);
    list.selected = 1;  // the empty resort: its next one's first headline
    ASSERT_TRUE(selection.showHeadlines());
    EXPECT_EQ(list.caption, "Schlagzeilen Quillon Grossblatt vom 8.12.2026");
    EXPECT_EQ(list.levels.back(), HeadlineLevel);
    ASSERT_EQ(list.entries.size(), 240u);
    size_t at = 0;
    for (const auto &[resort, count] : kResorts)
        for (int k = 1; k <= count; ++k, ++at)
            ASSERT_EQ(list.entries[at],
                      std::string(resort) + ": " + resort + " Meldung " + std::to_string(k));
    EXPECT_EQ(list.selected, 16);
    EXPECT_EQ(selection.whereAmI(), "Schlagzeile 17 von 240, Ressort Sport");

    // Enter reads it and leaves it selected; reading on follows the list
    // over the empty resort and back.
    selection.choose();
    EXPECT_EQ(list.selected, 16);
    EXPECT_TRUE(selection.readOn(-1));
    EXPECT_EQ(list.selected, 15);
    EXPECT_TRUE(selection.readOn(1));
    EXPECT_TRUE(selection.readOn(1));
    EXPECT_EQ(list.shown, (std::vector<std::string>{"Sport Meldung 1", "Politik Meldung 16",
                                                    "Sport Meldung 1", "Sport Meldung 2"}));
    EXPECT_EQ(list.selected, 17);
    selection.articleClosed(3);
    EXPECT_EQ(kept.record.resorts, std::vector<std::string>{"Sport"});
    EXPECT_EQ(kept.record.headline, "Sport Meldung 2");
    EXPECT_EQ(kept.record.line, 3);

    // The last headline ends the paper.
    list.selected = 239;
    selection.choose();
    EXPECT_FALSE(selection.readOn(1));
    EXPECT_EQ(takePrompts(),
              std::vector<std::string>{
                  "owned | Hinweis | Letzter Artikel der Zeitung. | information ok"});
    EXPECT_EQ(selection.whereAmI(), "Schlagzeile 240 von 240, Ressort Wirtschaft");

    // Escape: the resorts, at the resort of the headline selected.
    list.selected = 20;
    EXPECT_TRUE(selection.goBack());
    EXPECT_EQ(selection.memory().level, ResortLevel);
    EXPECT_EQ(list.caption, "Ressortauswahl Quillon Grossblatt vom 8.12.2026");
    EXPECT_EQ(list.entries[static_cast<size_t>(list.selected)], "Sport");
    EXPECT_TRUE(selection.memory().headlines.empty());
}

TEST_F(HeadlineTest, OnlyTheResortLevelShowsHeadlines) {
    list.selected = 0;
    selection.choose();  // Politik's articles
    std::vector<std::string> articles = list.entries;
    EXPECT_FALSE(selection.showHeadlines());
    EXPECT_EQ(list.entries, articles);
    selection.goBack();
    selection.goBack();
    EXPECT_FALSE(selection.showHeadlines());
    EXPECT_EQ(selection.memory().level, NewspaperLevel);
    // A newspaper with one article per resort, the last resort selected.
    list.selected = list.indexOf("7.12.2026 / Quillon Rundschau");
    selection.choose();
    list.selected = 2;
    ASSERT_TRUE(selection.showHeadlines());
    EXPECT_EQ(list.entries.size(), 8u);
    EXPECT_EQ(list.entries[6], "Sport: kein Titel");
    EXPECT_EQ(list.selected, 7);
    EXPECT_TRUE(takePrompts().empty());
}

}  // namespace
