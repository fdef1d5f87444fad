// Memory running out in the store and the reader: whichever allocation of
// an open, a list from disk or a find fails, that call reports the
// shortage and the library goes on exactly as one that never ran short.
#include <functional>
#include <string>
#include <thread>

#include "memory_faults.h"
#include "store_fixture.h"

namespace {

class StoreMemory : public StoreTest {
  protected:
    void TearDown() override {
        stopFailingAllocation();
        QL_Initialize(0);
        StoreTest::TearDown();
    }
    // What a host sees: the editions a list from disk meets (a new one
    // among them, whose header is made anew each time), and the whole tree
    // of every listed edition.
    std::string everything() {
        remove((news_ + "neu.ehd").c_str());
        std::string out;
        EditionEntry *list = QL_GetNewspaperListFromHD();
        for (const EditionEntry *e = list; e; e = e->next) out += std::string(e->path) + "\n";
        QL_RemoveNewspaperTree(list);
        for (const NewspaperRecord *n = QL_FindFirstNewspaper(); n; n = QL_FindNextNewspaper()) {
            ItemId id = n->id;
            out += walk(id);
            // The enumeration of newspapers goes on after the walk.
        }
        return out;
    }
};

TEST_F(StoreMemory, EveryAllocationOfOpenListAndFindFailsCleanly) {
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    add("neu.eif", edition("Neu", 2026, 12, 9));
    const std::string expected = everything();
    ASSERT_NE(expected.find("neu.eif"), std::string::npos);
    const ItemId second = QL_FindFirstNewspaper() ? QL_FindNextNewspaper()->id : 0;
    ASSERT_NE(second, 0);

    struct Case {
        const char *name;
        std::function<bool()> call;  // true when it gave a result
        std::function<void()> before;
    } cases[] = {
        {"open", [&] { return QL_FindFirstResort(second) != nullptr; },
         [&] { QL_FindFirstResort(QL_FindFirstNewspaper()->id); }},
        {"list from disk",
         [] {
             EditionEntry *list = QL_GetNewspaperListFromHD();
             QL_RemoveNewspaperTree(list);
             return list != nullptr;
         },
         [&] { remove((news_ + "neu.ehd").c_str()); }},
        {"find",
         [&] {
             const ItemRecord *resort = QL_FindFirstResort(second);
             return resort && QL_FindFirstArticle(resort->id) != nullptr;
         },
         [&] { QL_FindFirstResort(second); }},
    };
    for (const Case &c : cases) {
        for (long n = 0;; ++n) {
            SCOPED_TRACE(std::string(c.name) + ", allocation " + std::to_string(n));
            c.before();
            bool gave = false;
            int error = QL_OK;
            failAllocation(n);
            std::thread caller([&] {
                gave = c.call();
                error = QL_DllError();
            });
            caller.join();
            bool failed = stopFailingAllocation();
            if (failed) {
                EXPECT_FALSE(gave);
                EXPECT_EQ(error, QL_ERR_NO_MEMORY);
            } else {
                EXPECT_TRUE(gave);
            }
            ASSERT_EQ(everything(), expected);
            EXPECT_TRUE(fileExists(news_ + "neu.eif"));
            if (!failed) break;  // past the call's last allocation
        }
    }
}

}  // namespace
