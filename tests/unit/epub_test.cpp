// The EPUB export, unzipped with zlib and parsed back with libxml2: the
// container, the package's metadata, and headings and paragraphs one to one
// with the library's tree.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <regex>

#include "epub.h"
#include "epub_documents.h"
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
                int inLen = xmlStrlen(t), outLen = inLen;
                std::vector<unsigned char> latin(static_cast<size_t>(inLen) + 1);
                UTF8Toisolat1(latin.data(), &outLen, t, &inLen);
                out += std::string(tag) + ":" +
                       std::string(reinterpret_cast<char *>(latin.data()), outLen) + "\n";
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

// The content documents in reading order: the spine's linear items.
std::vector<std::string> readingOrder(const std::string &opf) {
    std::map<std::string, std::string> hrefs;
    std::smatch m;
    std::regex item("<item id=\"([^\"]+)\" href=\"([^\"]+)\"");
    for (auto it = opf.cbegin(); std::regex_search(it, opf.cend(), m, item); it = m.suffix().first)
        hrefs[m[1]] = m[2];
    std::vector<std::string> out;
    std::regex ref("<itemref idref=\"([^\"]+)\"(/| linear=\"yes\")");
    for (auto it = opf.cbegin(); std::regex_search(it, opf.cend(), m, ref); it = m.suffix().first)
        out.push_back("EPUB/" + hrefs[m[1]]);
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
        EpubEdition e{p->id,
                      p->title,
                      p->date,
                      p->countryCode,
                      p->countryCode == 33 ? "fr-CA" : (p->countryCode == 1 ? "en" : ""),
                      ""};
        std::string path = news_ + "out" + std::to_string(checked++) + ".epub";
        EpubResult r = writeEpub(library, e, path);
        ASSERT_TRUE(r.written) << e.title << " " << r.message();
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
        // The book starts with the first resort; the contents are reached
        // as the reading system's, outside the reading order.
        std::vector<std::string> order = readingOrder(opf);
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(order[0], "EPUB/resort1.xhtml");
        EXPECT_NE(opf.find("<itemref idref=\"nav\" linear=\"no\"/>"), std::string::npos);
        // Headings and paragraphs one to one with the finds, in order.
        std::string got;
        for (const std::string &document : order) got += headings(files[document]);
        EXPECT_EQ(got, tree(p->id)) << e.title;
        const std::string &nav = files["EPUB/nav.xhtml"];
        EXPECT_NE(headings(nav), "not well-formed");
        EXPECT_NE(nav.find("<nav epub:type=\"toc\" role=\"doc-toc\""), std::string::npos);
        // Landmarks are a few regions, never one per article.
        for (const std::string &document : order)
            EXPECT_EQ(files[document].find("aria-label"), std::string::npos) << document;
        // Conformance only where the language is known; the German summary
        // says so itself in a book of another language.
        bool known = languages.back() != "und", german = languages.back() == "de";
        EXPECT_EQ(opf.find("dcterms:conformsTo") != std::string::npos, known) << opf;
        EXPECT_NE(
            opf.find(std::string("accessibilitySummary\"") + (german ? "" : " xml:lang=\"de\"") +
                     ">Die Zeitung als reiner Text: "
                     "jedes Ressort ist eine \xC3\x9C"
                     "berschrift"),
            std::string::npos)
            << opf;
    }
    EXPECT_EQ(checked, 6);
    EXPECT_NE(std::find(languages.begin(), languages.end(), "de"), languages.end());
    EXPECT_NE(std::find(languages.begin(), languages.end(), "en"), languages.end());
    EXPECT_NE(std::find(languages.begin(), languages.end(), "und"), languages.end());
    EXPECT_EQ(epubFileName("Quillon Tageblatt", "7.12.2026"), "Quillon Tageblatt 7.12.2026.epub");
    EXPECT_EQ(epubFileName("A/B", "12/7/2026"), "AB 1272026.epub");
}

TEST_F(EpubTest, NothingIsLeftWhenNothingCanBeWritten) {
    copySamples();
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    const NewspaperRecord *p = QL_FindFirstNewspaper();
    ASSERT_TRUE(p);
    EpubEdition e{p->id, p->title, p->date, p->countryCode, "", ""};
    // A folder that is not there, and an edition the library cannot open.
    EXPECT_FALSE(writeEpub(library, e, news_ + "missing/out.epub").written);
    e.id = 0x7f000000;
    EpubResult refused = writeEpub(library, e, news_ + "out.epub");
    EXPECT_FALSE(refused.written);
    EXPECT_FALSE(refused.message().empty());
    EXPECT_FALSE(fileExists(news_ + "out.epub"));
    // The reader's road refuses what would destroy a file, before writing:
    // the edition itself, a read-only file, a folder. Each stays as it was.
    e = epubEditionOf(*p, news_ + kSamples[0]);
    writeWholeFile(news_ + "ro.epub", "old");
    chmod((news_ + "ro.epub").c_str(), 0444);
    makeFolder("news/dir.epub");
    const struct {
        std::string target;
        const char *says;
    } refusals[] = {{news_ + kSamples[0], "ist die Zeitung selbst"},
                    {news_ + "ro.epub", "ist schreibgesch\xFCtzt"},
                    {news_ + "dir.epub", "ist ein Ordner"},
                    {news_ + "missing/out.epub", "Der Ordner f\xFCr"}};
    for (const auto &refusal : refusals) {
        std::string before = fileExists(refusal.target) ? readWholeFile(refusal.target) : "";
        EpubResult r = writeEpub(library, e, refusal.target);
        EXPECT_FALSE(r.written) << refusal.target;
        EXPECT_NE(r.message().find(refusal.says), std::string::npos) << r.message();
        EXPECT_NE(r.message().find(refusal.target), std::string::npos) << r.message();
        if (!before.empty()) {
            EXPECT_EQ(readWholeFile(refusal.target), before);
        }
    }
    struct stat st;
    ASSERT_EQ(stat((news_ + "ro.epub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    // No part file is left by any of the writes above.
    for (const auto &entry : std::filesystem::directory_iterator(news_))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    // A zip entry too large for a zip without its 64-bit extension is
    // refused, never cut; a name longer than its field likewise.
    FILE *f = fopen((news_ + "z.zip").c_str(), "wb");
    ZipWriter zip(f, 0, 0);
    EXPECT_FALSE(zip.add(std::string(70000, 'n'), "x", false));
    EXPECT_TRUE(zip.failed());
    fclose(f);
}

// The book's language from the country code, refined or replaced by the
// edition's own value; title and identifier alike for one edition whatever
// form the settings give its date in.
TEST(EpubLanguage, OnlyTagsThatAreLanguages) {
    const struct {
        int country;
        const char *value, *tag;
    } cases[] = {
        {49, "", "de"},     {49, "en", "de"},       {49, "AT", "de"},        {43, "AT", "de-AT"},
        {1, "", "en"},      {1, "en-us", "en-US"},  {33, "fr-CA", "fr-CA"},  {33, "fr-XX", "fr"},
        {0, "AT", "und"},   {0, "EN", "en"},        {0, "en_gb", "en-GB"},   {41, "fr", "fr"},
        {41, "", "und"},    {0, "deutsch!", "und"}, {0, "x-klingon", "und"}, {0, "", "und"},
        {-5, "de-", "und"}, {0, "d\xE9", "und"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(epubLanguage(c.country, c.value), c.tag) << c.country << " " << c.value;

    const EpubEdition forms[] = {{1, "Blatt", "5.2.2021", 49, "", ""},
                                 {2, "Blatt", "2/5/2021", 1, "", ""},
                                 {3, "Blatt", "2/5/2021", 0, "", ""}};
    for (const EpubEdition &e : forms) {
        EXPECT_EQ(epubTitle(e), "Blatt vom 5.2.2021") << e.date;
        EXPECT_EQ(epubIdentifier(e), epubIdentifier(forms[0])) << e.date;
    }
    EXPECT_NE(epubIdentifier({1, "Blatt", "6.2.2021", 49, "", ""}), epubIdentifier(forms[0]));
    EXPECT_NE(epubIdentifier({1, "Blatt2", "5.2.2021", 49, "", ""}), epubIdentifier(forms[0]));
}

// A resort too long for a phone continues in parts of at most the part size
// (one article each at least), in order, and every contents entry leads to
// its heading in the right part.
TEST_F(EpubTest, ALongResortIsSplitInOrder) {
    std::string body = "<GROUP><GRTITLE>Lang</GRTITLE>";
    for (int a = 0; a < 1500; ++a)
        body += "<ARTICLE><ATL>Artikel " + std::to_string(a) + "</ATL><P>" +
                std::string(static_cast<size_t>(300 + a % 7 * 50), 'x') + "</P></ARTICLE>";
    body += "<ARTICLE><ATL>Riesig</ATL><P>" + std::string(kEpubPartSize + 5000, 'y') +
            "</P></ARTICLE></GROUP><GROUP><GRTITLE>Kurz</GRTITLE><ARTICLE><ATL>Ende</ATL><P>z"
            "</P></ARTICLE></GROUP>";
    add("long.eif", edition("Lang", 2026, 12, 8, body));
    configure();
    ASSERT_EQ(QL_Initialize(1), QL_OK);
    const NewspaperRecord *p = QL_FindFirstNewspaper();
    ASSERT_TRUE(p);
    EpubResult r = writeEpub(library, epubEditionOf(*p, ""), news_ + "long.epub");
    ASSERT_TRUE(r.written) << r.message();
    std::string first;
    auto files = unzip(readWholeFile(news_ + "long.epub"), first);
    std::vector<std::string> order = readingOrder(files["EPUB/package.opf"]);
    ASSERT_GT(order.size(), 4u);
    EXPECT_EQ(order.back(), "EPUB/resort2.xhtml");
    std::string got;
    for (const std::string &document : order) {
        got += headings(files[document]);
        bool giant = files[document].find("Riesig") != std::string::npos;
        if (!giant) {
            EXPECT_LE(files[document].size(), kEpubPartSize + 1024) << document;
        }
    }
    EXPECT_TRUE(got == tree(p->id)) << "the parts differ from the tree";
    std::smatch m;
    std::regex link("href=\"(resort[^\"#]+)#([^\"]+)\"");
    const std::string &nav = files["EPUB/nav.xhtml"];
    int links = 0;
    for (auto it = nav.cbegin(); std::regex_search(it, nav.cend(), m, link);
         it = m.suffix().first) {
        ++links;
        EXPECT_NE(files["EPUB/" + m[1].str()].find("id=\"" + m[2].str() + "\""), std::string::npos)
            << m[1] << "#" << m[2];
    }
    EXPECT_EQ(links, 2 + 1501 + 1);
}

}  // namespace
