// The handheld's plain rules, without a handheld: the names of temporary
// files and of the store's files, the texts a reader hears about a copy, and
// the two device images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handheld_folder.h"
#include "handheld_image.h"
#include "reader_test_support.h"

namespace {

TEST(HandheldTexts, CountsAndSizesInGerman) {
    struct Case {
        int copied, removed;
        const char *text;
    } cases[] = {
        {0, 0, "Synchronisation beendet. 0 Zeitungen wurden kopiert"},
        {1, 0, "Synchronisation beendet. 1 Zeitung wurde kopiert"},
        {3, 1,
         "Synchronisation beendet. 3 Zeitungen wurden kopiert; 1 \xE4ltere Zeitung wurde vom "
         "Handheld entfernt"},
    };
    loadStringTable();
    for (const Case &c : cases) EXPECT_EQ(syncSummary(c.copied, c.removed), c.text);
    EXPECT_EQ(sizeText(520), "520 Bytes");
    EXPECT_EQ(sizeText(10 * 1024 + 1), "11 KB");  // rounded up: what must be freed
    EXPECT_EQ(sizeText(12 * 1024 * 1024), "12 MB");
}

TEST(HandheldNames, TemporaryAndLeftoverNames) {
    EXPECT_EQ(temporaryName(u"\\Z\\blatt.eif"), u"\\Z\\blatt.ei~");
    struct Case {
        const char16_t *name;
        bool leftover, store;
    } cases[] = {
        {u"blatt.ei~", true, false}, {u"blatt.EH~", true, false},   {u"blatt.eif", false, true},
        {u"Blatt.EHD", false, true}, {u".eif", false, false},       {u"blatt.tx~", false, false},
        {u"~", false, false},        {u"blatt.eif~", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(isLeftover(c.name, u".eif"), c.leftover) << std::string(c.name, c.name + 9);
        EXPECT_EQ(isStoreName(c.name, u".eif"), c.store) << std::string(c.name, c.name + 9);
    }
}

uint32_t read32(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t read16(const std::vector<uint8_t> &b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(HandheldImages, AreWindowsCeGuiExecutablesOfTheirSizeMachineAndVersion) {
    struct Case {
        HandheldImage which;
        size_t size;
        uint16_t machine, minor;
    } cases[] = {{HandheldImage::A, 110592, 0x1C0, 20}, {HandheldImage::B, 96256, 0x1C2, 10}};
    for (const Case &c : cases) {
        std::vector<uint8_t> image = buildHandheldImage(c.which);
        ASSERT_EQ(image.size(), c.size);
        ASSERT_EQ(image[0], 'M');
        ASSERT_EQ(image[1], 'Z');
        size_t pe = read32(image, 0x3C);
        ASSERT_LT(pe + 24 + 224 + 40, image.size());
        EXPECT_EQ(read32(image, pe), 0x00004550u);  // "PE\0\0"
        EXPECT_EQ(read16(image, pe + 4), c.machine);
        EXPECT_EQ(read16(image, pe + 6), 1);     // sections
        EXPECT_EQ(read16(image, pe + 20), 224);  // PE32 optional header
        size_t opt = pe + 24;
        EXPECT_EQ(read16(image, opt), 0x10B);
        EXPECT_EQ(read16(image, opt + 48), 4);  // subsystem version 4.<minor>
        EXPECT_EQ(read16(image, opt + 50), c.minor);
        EXPECT_EQ(read16(image, opt + 68), 9);  // Windows CE GUI
        // The entry point lies in the one section, whose data lies in the file.
        size_t section = opt + 224;
        uint32_t entry = read32(image, opt + 16), address = read32(image, section + 12);
        uint32_t rawSize = read32(image, section + 16), rawAt = read32(image, section + 20);
        EXPECT_GE(entry, address);
        EXPECT_LT(entry, address + rawSize);
        EXPECT_EQ(rawAt + rawSize, image.size());
        EXPECT_EQ(rawAt % read32(image, opt + 36), 0u);  // file alignment
    }
}

}  // namespace
