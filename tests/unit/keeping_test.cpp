// Kept editions and the store's report: what trimming passes over, what
// it names, and the marks that say why an edition is kept.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/knobs.h"
#include "store_fixture.h"

namespace {

class KeepingTest : public StoreTest {
  protected:
    // Editions "Blatt" of the 1st to the given day of December 2026, in
    // files d1.eif, d2.eif, ...
    void addDays(int from, int to) {
        for (int day = from; day <= to; ++day)
            add("d" + std::to_string(day) + ".eif", edition("Blatt", 2026, 12, day));
    }
    std::vector<std::string> dates() {
        std::vector<std::string> out;
        for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper())
            out.push_back(n->date);
        return out;
    }
    // Title, date and file of every event of a kind, taken.
    std::vector<std::string> report(int kind) {
        std::vector<std::string> out;
        EditionEntry *list = QL_TakeNewspaperReport(kind);
        for (EditionEntry *e = list; e; e = e->next) {
            std::string path = e->path;
            out.push_back(std::string(e->info.title) + " " + e->info.date + " " +
                          path.substr(path.find_last_of("\\/") + 1));
        }
        QL_RemoveNewspaperTree(list);
        return out;
    }
    // The newspaper id of the edition listed with this date.
    ItemId idOf(const std::string &date) {
        for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper())
            if (date == n->date) return n->id;
        return -1;
    }
};

TEST_F(KeepingTest, TrimmingPassesOverKeptEditionsAndNamesTheRemovedOnes) {
    struct Case {
        const char *what;
        std::vector<std::pair<int, std::string>> marks;  // day, content of its mark
        std::vector<std::string> listed, trimmed;
    };
    const Case cases[] = {
        {"nothing kept: the newest two",
         {},
         {"5.12.2026", "4.12.2026"},
         {"Blatt 3.12.2026 d3.eif", "Blatt 2.12.2026 d2.eif", "Blatt 1.12.2026 d1.eif"}},
        {"the oldest kept by the reader",
         {{1, "reader\n"}},
         {"5.12.2026", "4.12.2026", "1.12.2026"},
         {"Blatt 3.12.2026 d3.eif", "Blatt 2.12.2026 d2.eif"}},
        {"kept among the newest do not count",
         {{5, "bookmark\n"}, {2, "reader\r\nbookmark\r\n"}},
         {"5.12.2026", "4.12.2026", "3.12.2026", "2.12.2026"},
         {"Blatt 1.12.2026 d1.eif"}},
        {"a mark that names no reason still keeps",
         {{3, "?"}},
         {"5.12.2026", "4.12.2026", "3.12.2026"},
         {"Blatt 2.12.2026 d2.eif", "Blatt 1.12.2026 d1.eif"}},
    };
    configure("[NEWSPAPERS]\nmaxpapers=2\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(news_);
        std::filesystem::create_directories(news_);
        addDays(1, 5);
        for (const auto &[day, content] : c.marks) add("d" + std::to_string(day) + ".ekp", content);
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(dates(), c.listed);
        EXPECT_EQ(report(QL_REPORT_TRIMMED), c.trimmed);
        EXPECT_EQ(QL_TakeNewspaperReport(QL_REPORT_TRIMMED), nullptr) << "told once";
        EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);
        for (const auto &[day, content] : c.marks)
            EXPECT_EQ(readWholeFile(news_ + "d" + std::to_string(day) + ".ekp"), content);
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

// A file a transfer program left that does not read is deleted as before,
// and the reader hears of it once; one kept by "corrupt=SAVE" is not told.
TEST_F(KeepingTest, AnUnreadableNewFileIsReportedWhenItIsDeleted) {
    for (bool save : {false, true}) {
        SCOPED_TRACE(save);
        add("kaputt.eif", "<DUZUZUVU><NPTL>ohne Datum</NPTL></DUZUZUVU>");
        configure(save ? "[NEWSPAPERS]\ncorrupt=SAVE\n" : "");
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        EXPECT_EQ(report(QL_REPORT_REFUSED),
                  save ? std::vector<std::string>{} : std::vector<std::string>{"  kaputt.eif"});
        EXPECT_EQ(fileExists(news_ + "kaputt.eif"), save);
        ASSERT_EQ(QL_Initialize(0), QL_OK);
    }
}

TEST_F(KeepingTest, MarksFollowEachReasonAndOutliveTenDaysOfTrimming) {
    configure("[NEWSPAPERS]\nmaxpapers=2\n");
    EXPECT_EQ(QL_KeepNewspaper(0, QL_KEEP_READER, 1), -1);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_INITIALIZED);
    addDays(1, 2);
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    struct Step {
        int reason, keep, result, error;
    };
    const Step steps[] = {
        {QL_KEEP_READER, 1, QL_KEEP_READER, QL_OK},
        {QL_KEEP_BOOKMARK, 1, QL_KEEP_READER | QL_KEEP_BOOKMARK, QL_OK},
        {0, 0, QL_KEEP_READER | QL_KEEP_BOOKMARK, QL_OK},  // only asks
        {QL_KEEP_READER, 0, QL_KEEP_BOOKMARK, QL_OK},
        {QL_KEEP_BOOKMARK, 0, 0, QL_OK},
        {4, 1, -1, QL_ERR_NOT_FOUND},
    };
    ItemId first = idOf("1.12.2026");
    for (const Step &s : steps) {
        SCOPED_TRACE(std::to_string(s.reason) + "/" + std::to_string(s.keep));
        EXPECT_EQ(QL_KeepNewspaper(first, s.reason, s.keep), s.result);
        EXPECT_EQ(QL_DllError(), s.error);
    }
    EXPECT_FALSE(fileExists(news_ + "d1.ekp")) << "no reason, no mark";
    EXPECT_EQ(QL_KeepNewspaper(0x7f000000, QL_KEEP_READER, 1), -1);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_FOUND);

    // A mark the system cannot write leaves the edition as it was.
    platform::knobs::setFileFault(platform::knobs::FileFault::createTemporary);
    EXPECT_EQ(QL_KeepNewspaper(first, QL_KEEP_READER, 1), -1);
    platform::knobs::setFileFault(platform::knobs::FileFault::none);
    EXPECT_EQ(QL_DllError(), QL_ERR_NOT_WRITTEN);
    EXPECT_FALSE(fileExists(news_ + "d1.ekp"));

    // Bookmarked: ten newer days come and go, the 1st stays; a second host
    // on the same folder sees the same reasons.
    EXPECT_EQ(QL_KeepNewspaper(first, QL_KEEP_BOOKMARK, 1), QL_KEEP_BOOKMARK);
    for (int day = 3; day <= 12; ++day) {
        addDays(day, day);
        ASSERT_EQ(QL_ResyncNewspaper(), QL_OK);
        ASSERT_EQ(dates(),
                  (std::vector<std::string>{std::to_string(day) + ".12.2026",
                                            std::to_string(day - 1) + ".12.2026", "1.12.2026"}));
    }
    EXPECT_EQ(report(QL_REPORT_TRIMMED).size(), 9u);  // the 2nd to the 10th
    EXPECT_EQ(QL_KeepNewspaper(idOf("1.12.2026"), 0, 0), QL_KEEP_BOOKMARK);

    // Deleted by the reader: the mark goes with the edition.
    EXPECT_EQ(QL_DeleteNewspaper(idOf("1.12.2026")), QL_OK);
    EXPECT_FALSE(fileExists(news_ + "d1.eif"));
    EXPECT_FALSE(fileExists(news_ + "d1.ekp"));
    ASSERT_EQ(QL_Initialize(0), QL_OK);
}

}  // namespace
