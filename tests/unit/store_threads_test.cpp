// Two threads in the store and the reader at once: the library lets one in
// at a time, so a host that breaks the one-call-at-a-time rule waits
// instead of crashing. Run under ThreadSanitizer as well.
#include <atomic>
#include <string>
#include <thread>

#include "store_fixture.h"

namespace {

using StoreThreads = StoreTest;

// One thread lists the folder (normalising a new edition each time, which
// uses the reader) while the other opens editions in turn and reads them.
TEST_F(StoreThreads, ListFindsAndOpenOnTwoThreads) {
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    ItemId editions[2] = {};
    const NewspaperRecord *first = QL_FindFirstNewspaper();
    ASSERT_NE(first, nullptr);
    editions[0] = first->id;
    editions[1] = QL_FindNextNewspaper()->id;
    const std::string trees[2] = {walk(editions[0]), walk(editions[1])};
    add("neu.eif", edition("Neu", 2026, 12, 9));

    constexpr int kRounds = 200;
    std::atomic<int> listed{0};
    std::thread lister([&] {
        for (int i = 0; i < kRounds; ++i) {
            remove((news_ + "neu.ehd").c_str());
            EditionEntry *list = QL_GetNewspaperListFromHD();
            int n = 0;
            for (const EditionEntry *e = list; e; e = e->next) ++n;
            QL_RemoveNewspaperTree(list);
            if (n == 6) ++listed;
        }
    });
    int same = 0;
    for (int i = 0; i < kRounds; ++i) same += walk(editions[i % 2]) == trees[i % 2];
    lister.join();
    EXPECT_EQ(same, kRounds);
    EXPECT_EQ(listed.load(), kRounds);
}

}  // namespace
