// Edition files: the binary test, loading, and the one-time normalisation.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "frame/knobs.h"
#include "platform/knobs.h"
#include "test_env.h"

namespace {

std::string compressed(const std::string &text, int level = 9) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef *>(&out[0]), &size,
              reinterpret_cast<const Bytef *>(text.data()), static_cast<uLong>(text.size()), level);
    out.resize(size);
    return out;
}

bool looksCompressed(const std::string &data) {
    return isCompressed(reinterpret_cast<const unsigned char *>(data.data()), data.size());
}

// The stored form of a text. Written over the text's own block it must come
// out the same, with room before the text or with none (then every bare
// "&" makes the text outgrow its block).
std::string normalised(const std::string &text) {
    EditionText out;
    if (!normaliseEditionText(text.data(), text.size(), out)) return "<none>";
    std::string result(out.data, out.length);
    for (size_t front : {size_t(0), size_t(64)}) {
        EditionText block, over;
        block.data = static_cast<char *>(malloc(front + text.size() + 1));
        memcpy(block.data + front, text.data(), text.size());
        block.length = front + text.size();
        EXPECT_TRUE(normaliseEditionInPlace(block, front, over));
        EXPECT_EQ(std::string(over.data, over.length), result) << "room before it: " << front;
    }
    return result;
}

const std::string kSample = "<DUZUZUVU><NPTL>Zeitung</NPTL></DUZUZUVU>\n";

// The new stored length, or 0 when the file was not normalised.
size_t normaliseFile(const std::string &path, size_t size) {
    size_t length = 0;
    return normaliseEditionFile(path.c_str(), size, length) == FileOutcome::done ? length : 0;
}

// Lets the first `left` guarded allocations through and refuses the rest.
int g_allocationsLeft = 0;
void *countedAllocator(size_t bytes) { return g_allocationsLeft-- > 0 ? malloc(bytes) : nullptr; }

TEST(EditionFormat, BinaryTestNeedsAControlByteAndAZlibHeader) {
    struct Case {
        const char *name;
        std::string data;
        bool compressed;
    };
    const Case cases[] = {
        {"tab, CR and LF are text", "<DUZUZUVU>\ta\r\nb</DUZUZUVU>", false},
        {"stray escape in a plain file", "<DUZUZUVU>\x1B[1m</DUZUZUVU>", false},
        {"stray 0x85 in a plain file", "<DUZUZUVU>\x85</DUZUZUVU>", false},
        {"zlib header but only text", "x\xDA plain words", false},
        {"real stream", compressed(kSample), true},
        {"real stream of a long edition", compressed(std::string(100000, 'a') + kSample), true},
        {"too short", "x", false},
    };
    for (const Case &c : cases) EXPECT_EQ(looksCompressed(c.data), c.compressed) << c.name;
}

TEST(EditionFormat, NormalisationKeepsKnownTagsAndSevenBitText) {
    struct Case {
        const char *name, *in, *out;
    };
    const Case cases[] = {
        {"prolog kept byte for byte",
         "<!ENTITY x CDATA \"\xE4&\">\r\n<!-- c -->\n<DUZUZUVU></DUZUZUVU>",
         "<!ENTITY x CDATA \"\xE4&\">\r\n<!-- c -->\n<DUZUZUVU></DUZUZUVU>"},
        {"tags upper-cased, unknown ones dropped",
         "<duzuzuvu><p>a<b>b</b><i>c</i><br>d</p></duzuzuvu>", "<DUZUZUVU><P>abcd</P></DUZUZUVU>"},
        {"a paragraph tag with attributes is dropped", "<DUZUZUVU><P class=\"x\">t</P></DUZUZUVU>",
         "<DUZUZUVU>t</P></DUZUZUVU>"},
        {"> in text and control bytes become blanks", "<DUZUZUVU>a > b\r\n\x01\xE4\x7F</DUZUZUVU>",
         "<DUZUZUVU>a   b    \x7F</DUZUZUVU>"},
        {"bare ampersand before a blank", "<DUZUZUVU>A & B and more text</DUZUZUVU>",
         "<DUZUZUVU>A &amper; B and more text</DUZUZUVU>"},
        {"no semicolon within 14 bytes", "<DUZUZUVU>M&S Sohn und Tochter AG</DUZUZUVU>",
         "<DUZUZUVU>M&amper;S Sohn und Tochter AG</DUZUZUVU>"},
        {"a tag comes first", "<DUZUZUVU>M&S<P>x;</P> and more</DUZUZUVU>",
         "<DUZUZUVU>M&amper;S<P>x;</P> and more</DUZUZUVU>"},
        {"reference kept", "<DUZUZUVU>M&uuml;ller und S&ouml;hne</DUZUZUVU>",
         "<DUZUZUVU>M&uuml;ller und S&ouml;hne</DUZUZUVU>"},
        {"near the end the ampersand stays", "<DUZUZUVU>a&b</DUZUZUVU>",
         "<DUZUZUVU>a&b</DUZUZUVU>"},
        {"unfinished tag ends at the next", "<DUZUZUVU><P a<P>x</P></DUZUZUVU>",
         "<DUZUZUVU><P>x</P></DUZUZUVU>"},
        {"unfinished known tag kept with case", "<DUZUZUVU><GROUP<grtitle>x</GRTITLE></DUZUZUVU>",
         "<DUZUZUVU><GROUP><GRTITLE>x</GRTITLE></DUZUZUVU>"},
        {"open tag at the end dropped", "<DUZUZUVU>x</DUZUZUVU><P", "<DUZUZUVU>x</DUZUZUVU>"},
        {"no root", "<NEWSPAPER>x</NEWSPAPER>", "<none>"},
    };
    for (const Case &c : cases) {
        std::string once = normalised(c.in);
        EXPECT_EQ(once, c.out) << c.name;
        if (once != "<none>") {
            EXPECT_EQ(normalised(once), once) << c.name << ": not stable";
        }
    }
}

TEST(EditionFormat, NormalisedAmpersandsReadBackAsOneCharacter) {
    std::string stored =
        normalised("<DUZUZUVU>A & B, M&S AG und Partner, S&ouml;hne &x;</DUZUZUVU>");
    ASSERT_EQ(parseEdition(stored.data(), stored.size()), nullptr);
    EXPECT_STREQ(nodeText(leftOf(g_reader.root)),
                 "A & B, M&S AG und Partner, S\xF6hne ");  // trimmed before decoding
    freeSgmlTree();
}

class EditionFileTest : public LibraryTest {};

TEST_F(EditionFileTest, NormalisingAFileKeepsItsForm) {
    std::string plain = readWholeFile(testDataPath("editions/tageblatt-2026-12-07.eif"));
    std::string packed = readWholeFile(testDataPath("editions/tageblatt-2026-12-05.eif"));
    ASSERT_TRUE(looksCompressed(packed));
    std::string plainPath = dir() + "plain.eif", packedPath = dir() + "packed.eif";
    writeWholeFile(plainPath, plain);
    writeWholeFile(packedPath, packed);

    size_t plainLength = normaliseFile(plainPath, plain.size());
    std::string storedPlain = readWholeFile(plainPath);
    EXPECT_EQ(plainLength, storedPlain.size());
    EXPECT_EQ(storedPlain, normalised(plain));
    EXPECT_FALSE(looksCompressed(storedPlain));

    size_t packedLength = normaliseFile(packedPath, packed.size());
    std::string storedPacked = readWholeFile(packedPath);
    EXPECT_EQ(packedLength, storedPacked.size());
    ASSERT_TRUE(looksCompressed(storedPacked));
    EXPECT_EQ(static_cast<unsigned char>(storedPacked[1]), 0xDAu) << "level 9";
    EditionText text;
    ASSERT_TRUE(loadEditionText(packedPath.c_str(), storedPacked.size(), text));
    std::string expanded(text.data, text.length);
    EXPECT_NE(expanded.find("<CD YEAR=\"2026\" MONTH=\"12\" DAY=\"5\">"), std::string::npos);
    EXPECT_EQ(expanded.find('\n', expanded.find("<DUZUZUVU")), std::string::npos)
        << "line breaks in the document become blanks";

    // A second run changes nothing.
    EXPECT_EQ(normaliseFile(plainPath, storedPlain.size()), storedPlain.size());
    EXPECT_EQ(readWholeFile(plainPath), storedPlain);
    EXPECT_FALSE(fileExists(plainPath + ".tmp"));
}

// Only content the reader refuses is called refused; a file the library may
// not rewrite, a full disk or a shortage of memory fails, and says nothing
// about the edition. Either way the file is as it was, with no temporary
// file beside it.
TEST_F(EditionFileTest, FailuresLeaveTheFileAsItWas) {
    using platform::knobs::FileFault;
    std::string broken = compressed(kSample);
    broken.resize(broken.size() / 2);
    const std::string packed = compressed(kSample);
    struct Case {
        const char *name;
        std::string content;
        FileFault fault;
        int allocations;  // guarded allocations that succeed; -1: all
        FileOutcome outcome;
    } cases[] = {
        {"no root", "<NEWSPAPER>x</NEWSPAPER>", FileFault::none, -1, FileOutcome::refused},
        {"broken stream", broken, FileFault::none, -1, FileOutcome::refused},
        {"empty", "", FileFault::none, -1, FileOutcome::refused},
        {"not to be rewritten", kSample, FileFault::openForUpdate, -1, FileOutcome::failed},
        {"no temporary file", kSample, FileFault::createTemporary, -1, FileOutcome::failed},
        {"disk full half-way", packed, FileFault::writeHalfway, -1, FileOutcome::failed},
        {"no memory to read", kSample, FileFault::none, 0, FileOutcome::failed},
        {"no memory to expand", packed, FileFault::none, 1, FileOutcome::failed},
        {"no memory to normalise", packed, FileFault::none, 2, FileOutcome::failed},
    };
    for (const Case &c : cases) {
        std::string path = dir() + "edition.eif";
        writeWholeFile(path, c.content);
        platform::knobs::setFileFault(c.fault);
        g_allocationsLeft = c.allocations;
        if (c.allocations >= 0) knobs::setAllocator(countedAllocator);
        size_t length = 0;
        EXPECT_EQ(normaliseEditionFile(path.c_str(), c.content.size(), length), c.outcome)
            << c.name;
        knobs::setAllocator(nullptr);
        platform::knobs::setFileFault(FileFault::none);
        EXPECT_EQ(readWholeFile(path), c.content) << c.name;
        EXPECT_FALSE(fileExists(path + ".tmp")) << c.name;
    }
    size_t length = 0;
    EXPECT_EQ(normaliseEditionFile((dir() + "missing.eif").c_str(), 10, length),
              FileOutcome::failed);

    // A short edition whose stream is longer than its text still normalises.
    std::string path = dir() + "tiny.eif";
    writeWholeFile(path, packed);
    EXPECT_GT(normaliseFile(path, packed.size()), 0u);
    EXPECT_TRUE(looksCompressed(readWholeFile(path)));
}

// Paragraphs of eight words drawn from the first `vocabulary` of a few, in
// a fixed order of our own.
std::string wordyEdition(int paragraphs, int vocabulary) {
    static const char *const kWords[] = {"Wetter", "Schnee", "Regen",  "Stadt",
                                         "Rat",    "Markt",  "Schule", "Bahn"};
    std::string text = "<DUZUZUVU><NPTL>Zeitung</NPTL><GROUP><ARTICLE>";
    uint32_t state = 12345;
    for (int p = 0; p < paragraphs; ++p) {
        text += "<P>";
        for (int w = 0; w < 8; ++w) {
            state = state * 1103515245u + 12345u;
            text += std::string(w ? " " : "") + kWords[(state >> 16) % vocabulary];
        }
        text += "</P>";
    }
    return text + "</ARTICLE></GROUP></DUZUZUVU>";
}

// Rewriting a compressed edition never makes a file that loading refuses:
// the best level when it keeps within the expansion limit, a faster one
// when not, and the plain text when every level would pass the limit.
TEST_F(EditionFileTest, RewritingKeepsWithinTheExpansionLimit) {
    auto ratio = [](const std::string &text, int level) {
        return double(text.size()) / double(compressed(text, level).size());
    };
    struct Case {
        const char *name;
        std::string text;
        int serverLevel;
        int storedHeader;  // the stream's second byte, or -1 for plain text
    } cases[] = {
        {"the best level is within the limit", wordyEdition(3000, 8), 1, 0xDA},
        {"only a faster level is", wordyEdition(3000, 5), 1, 0x01},
        {"no level is", wordyEdition(20000, 1), 0, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stored = normalised(c.text);
        // What the case stands for.
        EXPECT_EQ(ratio(stored, 9) <= kExpansionLimit, c.storedHeader == 0xDA);
        EXPECT_EQ(ratio(stored, 1) <= kExpansionLimit, c.storedHeader != -1);
        std::string path = dir() + "edition.eif", server = compressed(c.text, c.serverLevel);
        writeWholeFile(path, server);
        ASSERT_GT(normaliseFile(path, server.size()), 0u);
        std::string written = readWholeFile(path);
        EXPECT_EQ(looksCompressed(written) ? static_cast<unsigned char>(written[1]) : -1,
                  c.storedHeader);
        EditionText text;
        ASSERT_TRUE(loadEditionText(path.c_str(), written.size(), text));
        EXPECT_EQ(std::string(text.data, text.length), stored);
    }
}

TEST_F(EditionFileTest, LoadingBoundsTheExpansion) {
    std::string text = kSample + std::string(200000, ' ');
    std::string packed = compressed(text);
    ASSERT_GT(text.size(), packed.size() * kExpansionLimit);
    std::string path = dir() + "big.eif";
    writeWholeFile(path, packed);
    EditionText out;
    EXPECT_FALSE(loadEditionText(path.c_str(), packed.size(), out)) << "more than ten times";

    // Exactly ten times its stored size still fits.
    std::string exact(10000, 'a');
    EditionText fits, tooBig;
    std::string exactPacked = compressed(exact);
    ASSERT_TRUE(expandEdition(reinterpret_cast<const unsigned char *>(exactPacked.data()),
                              exactPacked.size(), exact.size(), fits));
    EXPECT_EQ(fits.length, exact.size());
    EXPECT_FALSE(expandEdition(reinterpret_cast<const unsigned char *>(exactPacked.data()),
                               exactPacked.size(), exact.size() - 1, tooBig));

    std::string modest = compressed(kSample);
    writeWholeFile(path, modest);
    ASSERT_TRUE(loadEditionText(path.c_str(), modest.size(), out));
    EXPECT_EQ(std::string(out.data, out.length), kSample);

    writeWholeFile(path, kSample);
    ASSERT_TRUE(loadEditionText(path.c_str(), 10, out));
    EXPECT_EQ(std::string(out.data, out.length), kSample.substr(0, 10)) << "the recorded size";
    EXPECT_FALSE(loadEditionText((dir() + "missing").c_str(), 10, out));
}

}  // namespace
