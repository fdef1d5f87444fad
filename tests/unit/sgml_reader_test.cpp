// The SGML reader: trees, entity decoding, every failure message, searches
// and the attribute reader.
#include <string>
#include <vector>

#include "documents/edition_format.h"
#include "documents/entity_table.h"
#include "documents/sgml_reader.h"
#include "reference_reader.h"
#include "test_env.h"

namespace {

// The tree as text: an element's content in brackets, then its closing tag.
std::string dump(NodeRef n) { return reference::dumpLibraryTree(n); }

struct Parsed {
    std::string message;  // empty on success
    std::string tree;
};

Parsed parse(std::string text) {
    const char *message = parseEdition(&text[0], text.size());
    Parsed p{message ? message : "", g_reader.root ? dump(g_reader.root) : ""};
    freeSgmlTree();
    return p;
}

TEST(SgmlReader, BuildsTheTreeOfAnEdition) {
    struct Case {
        const char *name, *text, *tree;
    };
    const Case cases[] = {
        {"simple", "<DUZUZUVU><NPTL>Titel</NPTL></DUZUZUVU>",
         "<DUZUZUVU>[<NPTL>[Titel]</NPTL>]</DUZUZUVU>"},
        {"lower-case root, prolog skipped",
         "<!DOCTYPE x><<>\n<duzuzuvu language=\"de\">x</duzuzuvu>",
         "<DUZUZUVU LANGUAGE=\"DE\">[x]</DUZUZUVU>"},
        {"blank runs vanish, line breaks fold",
         "<DUZUZUVU> \r\n <P>  a\r\n\r\nb   c </P>\n</DUZUZUVU>",
         "<DUZUZUVU>[<P>[a b c]</P>]</DUZUZUVU>"},
        {"line breaks inside tags", "<DUZUZUVU\nlanguage=\"de\"><CD\r\nYEAR=\"1\"></CD></DUZUZUVU>",
         "<DUZUZUVU LANGUAGE=\"DE\">[<CD YEAR=\"1\">[]</CD>]</DUZUZUVU>"},
        {"implicitly closed P", "<DUZUZUVU><ARTICLE><P>a<P>b</ARTICLE><X>t</X></DUZUZUVU>",
         "<DUZUZUVU>[<ARTICLE>[<P>[a|<P>[b]]]</ARTICLE>|<X>[t]</X>]</DUZUZUVU>"},
        {"stray closing tag is ignored", "<DUZUZUVU><NPTL>a</P>b</NPTL></DUZUZUVU>",
         "<DUZUZUVU>[<NPTL>[a|b]</NPTL>]</DUZUZUVU>"},
        {"text after the root is linked", "<DUZUZUVU>a</DUZUZUVU> trailing <X>",
         "<DUZUZUVU>[a]</DUZUZUVU>|trailing|<X>[]"},
        {"text after the last tag is dropped", "<DUZUZUVU>a</DUZUZUVU> gone",
         "<DUZUZUVU>[a]</DUZUZUVU>"},
        {"entities",
         "<DUZUZUVU>M&uuml;ller &amp; S&ouml;hne &lt;b&gt; &unknown; &amper;</DUZUZUVU>",
         "<DUZUZUVU>[M\xFCller & S\xF6hne <b> &]</DUZUZUVU>"},
        // The text "<P>x" stays one text item with nothing below it.
        {"reference to lt opens nothing", "<DUZUZUVU>&lt;P&gt;x</DUZUZUVU>",
         "<DUZUZUVU>[<P>x]</DUZUZUVU>"},
        {"ampersand without semicolon takes the next byte", "<DUZUZUVU>A&B C&</DUZUZUVU>",
         "<DUZUZUVU>[A C]</DUZUZUVU>"},
        {"8-bit bytes only count as blank", "<DUZUZUVU>\xE4\xF6<P>x</P></DUZUZUVU>",
         "<DUZUZUVU>[<P>[x]</P>]</DUZUZUVU>"},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.text);
        EXPECT_EQ(p.message, "") << c.name;
        EXPECT_EQ(p.tree, c.tree) << c.name;
    }
}

TEST(SgmlReader, DeclaredEntitiesOverrideBuiltInsForOneEditionOnly) {
    std::string edition =
        "<!ENTITY auml CDATA \"ae\">\n<!entity logo\tcdata   \"[Logo]\">\n<!ENTITY bare \"x\">\n"
        "<DUZUZUVU>&auml;&logo;&bare;.</DUZUZUVU><!ENTITY late CDATA \"no\">";
    // The declaration after the root is an unknown tag like any other there.
    EXPECT_EQ(parse(edition).tree,
              "<DUZUZUVU>[ae[Logo].]</DUZUZUVU>|<!ENTITY LATE CDATA \"NO\">[]");
    EXPECT_EQ(lookupEntity("late"), "");
    EXPECT_EQ(parse("<DUZUZUVU>&auml;&logo;</DUZUZUVU>").tree, "<DUZUZUVU>[\xE4]</DUZUZUVU>");

    // Over-long names and values are cut to 255 characters.
    std::string longName(300, 'n'), longValue(300, 'v');
    parse("<!ENTITY " + longName + " CDATA \"" + longValue + "\"><DUZUZUVU>x</DUZUZUVU>");
    EXPECT_EQ(lookupEntity(longName.substr(0, 255)), longValue.substr(0, 255));
}

TEST(SgmlReader, BuiltInEntityTable) {
    resetEntityTable();
    const std::pair<const char *, unsigned char> samples[] = {
        {"quot", '"'},   {"amper", '&'},   {"nbsp", 0xA0},  {"brkbar", 0xA6}, {"die", 0xA8},
        {"hibar", 0xAF}, {"Dstrok", 0xD0}, {"ETH", 0xD0},   {"szlig", 0xDF},  {"yuml", 0xFF},
        {"Auml", 0xC4},  {"auml", 0xE4},   {"times", 0xD7}, {"divide", 0xF7},
    };
    for (const auto &[name, code] : samples)
        EXPECT_EQ(lookupEntity(name), std::string(1, char(code))) << name;
    EXPECT_EQ(lookupEntity("AUML"), "") << "names are case-sensitive";
    EXPECT_EQ(lookupEntity("euro"), "");
}

TEST(SgmlReader, EveryFailureHasItsMessage) {
    struct Case {
        const char *file;
        const char *message;
    };
    const Case cases[] = {
        {"no-root.eif", sgml::kRootNotFound},
        {"closing-tag.eif", sgml::kClosingTag},
        {"tag-inside-tag.eif", sgml::kTagInsideTag},
        {"closing-after-root.eif", sgml::kAddToTreeFailed},
        {"entity-name.eif", sgml::kEntityError},
        {"tag-open.eif", sgml::kTagOpen},
        {"root-not-closed.eif", sgml::kRootNotClosed},
        {"root-closing-string.eif", sgml::kRootClosingString},
    };
    for (const Case &c : cases) {
        std::string data = readWholeFile(testDataPath("editions/broken/") + c.file);
        ASSERT_FALSE(data.empty()) << c.file;
        EXPECT_EQ(parse(data).message, c.message) << c.file;
    }
    EXPECT_EQ(parse("").message, sgml::kRootNotFound);
    EXPECT_EQ(parse("<DUZUZUV").message, sgml::kRootNotFound);
    EXPECT_EQ(parse("<DUZUZUVU").message, sgml::kTagOpen);
    EXPECT_EQ(std::string(sgml::kRootNotClosed),
              "API: file is corrupt (</DUZUZUVU left ptr error)\n");
    // Sixty-four bytes of name are allowed, sixty-five are not.
    EXPECT_EQ(parse("<DUZUZUVU>&" + std::string(64, 'x') + ";</DUZUZUVU>").message, "");
    EXPECT_EQ(parse("<DUZUZUVU>&" + std::string(65, 'x') + ";</DUZUZUVU>").message,
              sgml::kEntityError);
}

std::vector<std::string> popAll() {
    std::vector<std::string> out;
    while (!g_reader.openStack.empty()) out.push_back(fullNodeText(popOpenStack()));
    return out;
}

TEST(SgmlReader, SearchesGiveTheirResultsInTheBindingOrders) {
    std::string text =
        "<DUZUZUVU><GROUP><GRTITLE>A</GRTITLE>"
        "<ARTICLE><ATL>1</ATL><P>p1</P><P>p2</P></ARTICLE>"
        "<ARTICLE><ATL>2</ATL></ARTICLE></GROUP>"
        "<GROUP><GRTITLE>B</GRTITLE></GROUP><GROUP><GRTITLE>C</GRTITLE></GROUP></DUZUZUVU>";
    ASSERT_EQ(parseEdition(text.data(), text.size()), nullptr);
    findTags(g_reader.root, "<GROUP");
    EXPECT_EQ(popAll(), (std::vector<std::string>{"<GROUP>", "<GROUP>", "<GROUP>"}));

    // Siblings pop in document order; first children of siblings reversed.
    findTags(g_reader.root, "<GR");
    std::vector<std::string> got = popAll();
    ASSERT_EQ(got.size(), 6u);
    findTags(g_reader.root, "<ATL");
    EXPECT_EQ(popAll().size(), 2u);

    NodeRef group = leftOf(g_reader.root);
    findTagsBelow(group, "<ATL");
    std::vector<std::string> headlines;
    while (!g_reader.openStack.empty()) headlines.push_back(nodeText(leftOf(popOpenStack())));
    EXPECT_EQ(headlines, (std::vector<std::string>{"2", "1"}));

    NodeRef atl = leftOf(leftOf(rightOf(leftOf(group))));  // GRTITLE's closing, ARTICLE, ATL
    ASSERT_EQ(fullNodeText(atl), "<ATL>");
    findTagsBelow(rightOf(atl), "<P>");
    std::vector<std::string> paragraphs;
    while (!g_reader.openStack.empty()) paragraphs.push_back(nodeText(leftOf(popOpenStack())));
    EXPECT_EQ(paragraphs, (std::vector<std::string>{"p1", "p2"}));
    freeSgmlTree();
}

TEST(SgmlReader, DeepAndLongTreesNeedNoDeepStack) {
    const int n = 1000000;
    std::string longText = "<DUZUZUVU>";
    for (int i = 0; i < n; ++i) longText += "<P>x</P>";
    longText += "</DUZUZUVU>";
    ASSERT_EQ(parseEdition(longText.data(), longText.size()), nullptr);
    findTags(g_reader.root, "<P>");
    EXPECT_EQ(g_reader.openStack.size(), size_t(n));
    freeSgmlTree();

    std::string deep = "<DUZUZUVU>";
    for (int i = 0; i < n; ++i) deep += "<ARTICLE>";
    deep += "</DUZUZUVU>";
    EXPECT_EQ(parseEdition(deep.data(), deep.size()), sgml::kRootNotClosed);
    EXPECT_EQ(g_reader.openStack.size(), size_t(n) + 1) << "every element is still open";
    g_reader.openStack.clear();
    findTags(g_reader.root, "<ARTICLE");
    EXPECT_EQ(g_reader.openStack.size(), size_t(n));
    freeSgmlTree();
}

TEST(SgmlReader, ReadAttributeFindsQuotedValuesByExactName) {
    struct Case {
        const char *tag, *name, *value;  // value null: none
    };
    const Case cases[] = {
        {"<CD YEAR=\"2026\" MONTH=\"12\" DAY=\"7\">", "DAY", "7"},
        {"<CD YEAR=\"2026\" MONTH=\"12\" DAY=\"7\">", "YEAR", "2026"},
        {"<CD  YEAR \"2026\">", "YEAR", "2026"},
        {"<CD YEAR=2026>", "YEAR", nullptr},
        {"<CD>", "YEAR", nullptr},
        {"<CD XYEAR=\"1\" YEAR=\"2\">", "YEAR", "2"},
        {"<DUZUZUVU LANGUAGE=\"\">", "LANGUAGE", ""},
        {"<CD YEAR=\"2026>", "YEAR", nullptr},
    };
    for (const Case &c : cases) {
        const char *v = readAttribute(c.tag, c.name);
        if (c.value)
            EXPECT_STREQ(v, c.value) << c.tag;
        else
            EXPECT_EQ(v, nullptr) << c.tag;
    }
    releaseAttributeReader();
}

}  // namespace
