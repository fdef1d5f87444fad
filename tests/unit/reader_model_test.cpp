// The library's reader against the plain model of reference_reader: every
// answer of the finds, the header and the stored text of editions made to
// measure, then mangled with what broken editions carry.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "documents/edition_format.h"
#include "documents/edition_header.h"
#include "documents/newspaper_tree.h"
#include "edition_generator.h"
#include "reference_reader.h"
#include "store_fixture.h"

namespace {

// Pieces that make trees odd: tags left open or closed twice, texts that
// decode to markup, references long and short, blanks, stray brackets.
const char *const kPieces[] = {
    "</P>",
    "<P>",
    "<ATL>",
    "</ATL>",
    "</ARTICLE>",
    "<ARTICLE>",
    "<GROUP>",
    "</GROUP>",
    "<GRTITLE>",
    "<NPTL>",
    "<CD YEAR=\"1\">",
    "&lt;GROUP x&gt;",
    "&lt;P&gt;",
    "&amp;",
    " & ",
    "&unbekannt;",
    "&;",
    "&long;",
    "&blank;",
    "  ",
    "\r\n",
    "<B>",
    "<p>",
    ">",
    "<",
    "&auml",
    "</DUZUZUVU>",
    "&xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx;",
};

std::string mangle(std::string text, unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    // Declared names that grow or blank a text when they are decoded.
    size_t root = text.find("<DUZUZUVU");
    if (pick(2))
        text.insert(root, "<!ENTITY long CDATA \"" + std::string(40 + pick(200), 'L') +
                              "\">\r\n<!ENTITY blank CDATA \"  \">\r\n");
    for (size_t n = pick(12); n-- > 0;) {
        size_t at = root + 10 + pick(text.size() - root - 10);
        text.insert(at, kPieces[pick(sizeof kPieces / sizeof *kPieces)]);
    }
    return text;
}

TEST_F(StoreTest, TheReaderAgreesWithItsModel) {
    configure();
    int notices = 0, unreadable = 0, read = 0;
    for (unsigned seed = 1; seed <= 160; ++seed) {
        EditionPlan plan;
        plan.bytes = 2000 + seed * 97;
        plan.seed = seed;
        plan.language = seed % 5 ? "de" : "en";
        std::string raw = seed % 7 ? mangle(generateEdition(plan), seed) : generateEdition(plan);
        if (seed % 11 == 0) raw = raw.substr(0, raw.find("<GROUP")) + "</ISSUE></DUZUZUVU>";
        bool packed = seed % 3 == 0;
        std::string name = "e" + std::to_string(seed) + ".eif";
        add(name, packed ? compressEdition(raw) : raw);
        ASSERT_EQ(QL_Initialize(1), QL_OK);

        EditionText expected;
        std::string stored = readWholeFile(news_ + name);
        if (!normaliseEditionText(raw.data(), raw.size(), expected)) {
            EXPECT_FALSE(fileExists(news_ + name)) << seed;
            QL_Initialize(0);
            continue;
        }
        std::string text(expected.data, expected.length);
        EditionText expanded;
        if (packed && expandEdition(reinterpret_cast<const unsigned char *>(stored.data()),
                                    stored.size(), stored.size() * 10, expanded))
            stored.assign(expanded.data, expanded.length);
        reference::Reading model = reference::read(text);
        std::vector<std::string> listed = newspapers();
        if (!model.header) {
            EXPECT_TRUE(listed.empty()) << seed << " " << model.message;
            ++unreadable;
        } else {
            EXPECT_EQ(stored, text) << seed;
            char date[12];
            int32_t country =
                lookupCountryCode(model.hasLanguage ? model.language.c_str() : nullptr);
            formatEditionDate(date, country, model.year, model.month, model.day);
            ASSERT_EQ(listed.size(), 1u) << seed;
            EXPECT_EQ(listed[0],
                      "00000000 " + model.title + " " + date + " " + std::to_string(country))
                << seed;
            std::string walked = walk(0);
            if (model.notice) {
                const char *notice = country == 1 ? "R1:Newspaper corrupt! Please read...(1)"
                                                  : "R1:Zeitung defekt! Bitte lesen...(1)";
                EXPECT_EQ(walked.rfind(notice, 0), 0u) << seed;
                ++notices;
            } else {
                EXPECT_EQ(walked, model.walk) << seed;
                ++read;
            }
        }
        QL_Initialize(0);
        std::remove((news_ + name).c_str());
        std::remove((news_ + "e" + std::to_string(seed) + ".ehd").c_str());
    }
    // Each kind of outcome was met, or the pieces above test too little.
    EXPECT_GT(read, 40);
    EXPECT_GT(unreadable, 10);
    EXPECT_GT(notices, 5);
    printf("%d read, %d unreadable, %d notices\n", read, unreadable, notices);
}

}  // namespace
