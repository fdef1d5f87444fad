// The EPUB export, unzipped with zlib and parsed back with libxml2: the
// container, the package's metadata, and headings and paragraphs one to one
// with the library's tree.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <cstring>
#include <map>

#include "epub.h"
#include "static_binding.h"
#include "store_fixture.h"
#include "zip_writer.h"

namespace {

// The entries of a zip, inflated and checked against their CRC-32; the
// first entry's name and method come back in `first`.
std::map<std::string, std::string> unzip(const std::string &zip, std::string &first) {
    std::map<std::string, std::string> out;
    auto u16 = [&](size_t at) { return unsigned(uint8_t(zip[at]) | uint8_t(zip[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return uint32_t(u16(at) | u16(at + 2) << 16); };
    size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos) return out;
    size_t at = u32(end + 16);
    for (unsigned i = 0; i < u16(end + 10); ++i) {
        EXPECT_EQ(u32(at), 0x02014b50u);
        unsigned method = u16(at + 10), nameLength = u16(at + 28);
        uint32_t crc = u32(at + 16), packed = u32(at + 20), size = u32(at + 24);
        size_t local = u32(at + 42);
        std::string name = zip.substr(at + 46, nameLength);
        EXPECT_EQ(u32(local), 0x04034b50u) << name;
        size_t data = local + 30 + u16(local + 26) + u16(local + 28);
        std::string body(size, '\0');
        if (method == 0) {
            body = zip.substr(data, packed);
        } else {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zip.data() + data));
            z.avail_in = packed;
            z.next_out = reinterpret_cast<Bytef *>(&body[0]);
            z.avail_out = size;
            EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << name;
            inflateEnd(&z);
        }
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size())), crc)
            << name;
        if (i == 0) first = name + (method == 0 ? " stored" : " deflated");
        out[name] = body;
        at += 46 + nameLength + u16(at + 30) + u16(at + 32);
    }
    return out;
}

// The texts of h1, h2 and p elements in document order, as "h1:...",
// back in ISO 8859-1 as the library gives them; "not well-formed" if so.
void collect(xmlNode *n, std::string &out) {
    for (; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE) {
            const char *tag = reinterpret_cast<const char *>(n->name);
            if (!strcmp(tag, "h1") || !strcmp(tag, "h2") || !strcmp(tag, "p")) {
                xmlChar *t = xmlNodeGetContent(n);
                unsigned char latin[4096];
                int outLen = sizeof latin - 1, inLen = xmlStrlen(t);
                UTF8Toisolat1(latin, &outLen, t, &inLen);
                out += std::string(tag) + ":" +
                       std::string(reinterpret_cast<char *>(latin), outLen) + "\n";
                xmlFree(t);
            }
            collect(n->children, out);
        }
    }
}

std::string headings(const std::string &xhtml) {
    xmlDocPtr doc = xmlReadMemory(xhtml.data(), int(xhtml.size()), nullptr, "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return "not well-formed";
    std::string out;
    collect(xmlDocGetRootElement(doc), out);
    xmlFreeDoc(doc);
    return out;
}

class EpubTest : public StoreTest {
  protected:
    LibraryBinding library = staticLibraryBinding();
    // The library's tree of the edition in the same form as headings().
    std::string tree(ItemId edition) {
        std::string out;
        for (const ItemRecord *r = QL_FindFirstResort(edition); r; r = QL_FindNextResort(edition)) {
            out += std::string("h1:") + r->title + "\n";
            for (const ItemRecord *a = QL_FindFirstArticle(r->id); a;
                 a = QL_FindNextArticle(r->id)) {
                out += std::string("h2:") + a->headline + "\n";
                for (const char *p = QL_FindFirstParagraph(a->id); p;
                     p = QL_FindNextParagraph(a->id))
                    out += std::string("p:") + p + "\n";
            }
        }
        return out;
    }
};

TEST_F(EpubTest, EveryEditionReadsBackAsTheLibrarysTree) {
    const std::string awkward = edition(
        "Zeitung &amp; &lt;Blatt&gt;", 2026, 12, 8,
        "<GROUP><GRTITLE>Leer</GRTITLE></GROUP>"
        "<GROUP><GRTITLE>" +
            std::string(100, 'T') +
            "</GRTITLE>"
            "<ARTICLE><ATL>&quot;A&quot; &amp; B &lt;C&gt; &auml;&ouml;&uuml;&szlig; &copy; "
            "&yuml;</ATL>"
            "</ARTICLE><ARTICLE><ATL>Mit Text</ATL><P>1 &lt; 2 &amp;&amp; 3 &gt; 2 &nbsp;&laquo;"
            "&euro;&raquo;</P></ARTICLE></GROUP>",
        "fr-CA");
    add("awkward.eif", awkward);
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    int checked = 0;
    std::vector<std::string> languages;
    for (const NewspaperRecord *p = QL_FindFirstNewspaper(); p; p = QL_FindNextNewspaper()) {
        EpubEdition e{p->id, p->title, p->date, p->countryCode,
                      p->countryCode == 33 ? "fr-CA" : (p->countryCode == 1 ? "en" : "")};
        std::string path = news_ + "out" + std::to_string(checked++) + ".epub";
        EpubResult r = writeEpub(library, e, path);
        ASSERT_TRUE(r.written) << e.title << " " << r.error;
        std::string first;
        auto files = unzip(readWholeFile(path), first);
        EXPECT_EQ(first, "mimetype stored");
        EXPECT_EQ(files["mimetype"], "application/epub+zip");
        EXPECT_NE(files["META-INF/container.xml"].find("EPUB/package.opf"), std::string::npos);
        const std::string &opf = files["EPUB/package.opf"];
        EXPECT_NE(headings(opf), "not well-formed");
        for (const char *needed :
             {"schema:accessMode\">textual", "schema:accessModeSufficient\">textual",
              "structuralNavigation", "tableOfContents", "schema:accessibilityHazard\">none",
              "schema:accessibilitySummary", "dcterms:modified",
              "dc:identifier id=\"id\">urn:uuid:"})
            EXPECT_NE(opf.find(needed), std::string::npos) << needed;
        size_t lang = opf.find("<dc:language>");
        languages.push_back(opf.substr(lang + 13, opf.find('<', lang + 13) - lang - 13));
        // Headings and paragraphs one to one with the finds, in order.
        std::string got;
        for (int i = 1; files.count("EPUB/resort" + std::to_string(i) + ".xhtml"); ++i)
            got += headings(files["EPUB/resort" + std::to_string(i) + ".xhtml"]);
        EXPECT_EQ(got, tree(p->id)) << e.title;
        EXPECT_NE(headings(files["EPUB/nav.xhtml"]), "not well-formed");
        EXPECT_FALSE(fileExists(path + ".part"));
    }
    EXPECT_EQ(checked, 6);
    // de for country 49, the edition's own tag, und when there is none.
    EXPECT_NE(std::find(languages.begin(), languages.end(), "de"), languages.end());
    EXPECT_NE(std::find(languages.begin(), languages.end(), "en"), languages.end());
    EXPECT_EQ(epubLanguage(33, "fr-CA"), "fr-CA");
    EXPECT_EQ(epubLanguage(0, "deutsch!"), "und");
    EXPECT_EQ(epubLanguage(49, "en"), "de");
    EXPECT_EQ(epubFileName("Quillon Tageblatt", "7.12.2026"), "Quillon Tageblatt 7.12.2026.epub");
    EXPECT_EQ(epubFileName("A/B", "12/7/2026"), "AB 1272026.epub");
}

TEST_F(EpubTest, NothingIsLeftWhenNothingCanBeWritten) {
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    const NewspaperRecord *p = QL_FindFirstNewspaper();
    ASSERT_TRUE(p);
    EpubEdition e{p->id, p->title, p->date, p->countryCode, ""};
    // A folder that is not there, and an edition the library cannot open.
    EXPECT_FALSE(writeEpub(library, e, news_ + "missing/out.epub").written);
    e.id = 0x7f000000;
    EpubResult refused = writeEpub(library, e, news_ + "out.epub");
    EXPECT_FALSE(refused.written);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_FALSE(fileExists(news_ + "out.epub"));
    EXPECT_FALSE(fileExists(news_ + "out.epub.part"));
    // A zip entry too large for a zip without its 64-bit extension is
    // refused, never cut; a name longer than its field likewise.
    FILE *f = fopen((news_ + "z.zip").c_str(), "wb");
    ZipWriter zip(f, 0, 0);
    EXPECT_FALSE(zip.add(std::string(70000, 'n'), "x", false));
    EXPECT_TRUE(zip.failed());
    fclose(f);
}

}  // namespace
