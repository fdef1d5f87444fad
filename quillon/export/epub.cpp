// Writing an EPUB 3 of one edition.
#include "epub.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "epub_documents.h"
#include "output_file.h"
#include "reading.h"
#include "zip_writer.h"

namespace {

const char kUnreadable[] = "Die Zeitung konnte nicht gelesen werden; es wurde nichts gespeichert.";

const char *orEmpty(const char *s) { return s ? s : ""; }

// The edition's tree through the finds. A resort's articles and its
// sub-resorts are read one after the other, never interleaved: the library
// keys both enumerations by the resort's id.
EpubResort readResort(const LibraryBinding &library, const ItemRecord &record, int &articles) {
    EpubResort r;
    r.title = orEmpty(record.title);
    ItemId id = record.id;
    for (const ItemRecord *a = library.findFirstArticle(id); a; a = library.findNextArticle(id)) {
        EpubArticle article{orEmpty(a->headline), {}};
        for (const char *p = library.findFirstParagraph(a->id); p;
             p = library.findNextParagraph(a->id))
            article.paragraphs.push_back(p);
        r.articles.push_back(std::move(article));
        ++articles;
    }
    return r;
}

std::vector<EpubResort> readResorts(const LibraryBinding &library, ItemId parent, int &articles,
                                    int depth) {
    std::vector<ItemRecord> records;  // copied: a record stays valid, but be plain
    for (const ItemRecord *r = library.findFirstResort(parent); r;
         r = library.findNextResort(parent))
        records.push_back(*r);
    std::vector<EpubResort> out;
    for (const ItemRecord &record : records) {
        EpubResort r = readResort(library, record, articles);
        if (depth < 4) r.subResorts = readResorts(library, record.id, articles, depth + 1);
        out.push_back(std::move(r));
    }
    return out;
}

// "yyyy-mm-dd" from the list's date text: day.month.year for country 49,
// month/day/year otherwise; "" when it does not read as a date.
std::string isoDate(const std::string &date, int countryCode, int &year, int &month, int &day) {
    int a = 0, b = 0, c = 0;
    char sep = countryCode == 49 ? '.' : '/';
    char format[16];
    snprintf(format, sizeof format, "%%d%c%%d%c%%d", sep, sep);
    if (sscanf(date.c_str(), format, &a, &b, &c) != 3) return std::string();
    day = countryCode == 49 ? a : b;
    month = countryCode == 49 ? b : a;
    year = c;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::string();
    char out[16];
    snprintf(out, sizeof out, "%04d-%02d-%02d", year, month, day);
    return out;
}

// A stable identifier from paper and date, in the form of a UUID (version
// 8: our own derivation, two FNV-1a hashes).
std::string identifier(const std::string &title, const std::string &date) {
    std::string key = title + '\n' + date;
    uint64_t h[2] = {14695981039346656037ull, 0x9E3779B97F4A7C15ull};
    for (uint64_t &v : h)
        for (unsigned char c : key) v = (v ^ c) * 1099511628211ull;
    unsigned char b[16];
    for (int i = 0; i < 8; ++i) {
        b[i] = static_cast<unsigned char>(h[0] >> (8 * i));
        b[8 + i] = static_cast<unsigned char>(h[1] >> (8 * i));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x80);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char out[40];
    snprintf(out, sizeof out,
             "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
             b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
             b[15]);
    return std::string("urn:uuid:") + out;
}

}  // namespace

EpubEdition epubEditionOf(const NewspaperRecord &paper, const std::string &path) {
    EpubEdition edition;
    edition.id = paper.id;
    edition.title = orEmpty(paper.title);
    edition.date = orEmpty(paper.date);
    edition.countryCode = paper.countryCode;
    edition.path = path;
    if (!path.empty()) edition.language = editionLanguage(path);
    return edition;
}

std::string epubFileName(const std::string &title, const std::string &date) {
    std::string name = safeFileName((title + " " + date).c_str());
    return name + ".epub";
}

std::string epubTitle(const EpubEdition &edition) {
    int year = 0, month = 0, day = 0;
    // One form whatever the settings give the list, so that one edition
    // makes one book: the German one, like the words around it.
    std::string date = edition.date;
    if (!isoDate(edition.date, edition.countryCode, year, month, day).empty())
        date = std::to_string(day) + "." + std::to_string(month) + "." + std::to_string(year);
    return edition.title + " vom " + date;
}

std::string epubIdentifier(const EpubEdition &edition) {
    int year = 0, month = 0, day = 0;
    std::string date = isoDate(edition.date, edition.countryCode, year, month, day);
    return identifier(edition.title, date.empty() ? edition.date : date);
}

std::string EpubResult::message(bool utf8) const { return describe(failure, utf8); }

namespace {

std::string packageDocument(const EpubEdition &edition, const EpubLook &look,
                            const std::vector<EpubDocument> &documents, const char *modified) {
    int year = 0, month = 0, day = 0;
    std::string date = isoDate(edition.date, edition.countryCode, year, month, day);
    std::string manifest, spine;
    for (size_t i = 0; i < documents.size(); ++i) {
        std::string id = "d" + std::to_string(i + 1);
        manifest += "    <item id=\"" + id + "\" href=\"" + documents[i].file +
                    "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "    <itemref idref=\"" + id + "\"/>\n";
    }
    // Only a book whose language is known meets what the claim promises.
    std::string conformance =
        look.lang == "und"
            ? ""
            : "    <meta property=\"dcterms:conformsTo\">EPUB Accessibility 1.1 - WCAG 2.1 "
              "Level AA</meta>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
           "unique-identifier=\"id\" xml:lang=\"" +
           look.lang +
           "\">\n  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
           "    <dc:identifier id=\"id\">" +
           epubIdentifier(edition) + "</dc:identifier>\n    <dc:title>" + look.title +
           "</dc:title>\n    <dc:language>" + look.lang + "</dc:language>\n" +
           (date.empty() ? "" : "    <dc:date>" + date + "</dc:date>\n") +
           "    <meta property=\"dcterms:modified\">" + modified +
           "</meta>\n"
           "    <meta property=\"schema:accessMode\">textual</meta>\n"
           "    <meta property=\"schema:accessModeSufficient\">textual</meta>\n"
           "    <meta property=\"schema:accessibilityFeature\">structuralNavigation</meta>\n"
           "    <meta property=\"schema:accessibilityFeature\">tableOfContents</meta>\n"
           "    <meta property=\"schema:accessibilityHazard\">none</meta>\n"
           "    <meta property=\"schema:accessibilitySummary\"" +
           (look.german ? "" : " xml:lang=\"de\"") +
           ">Die Zeitung als reiner Text: jedes Ressort ist eine \xC3\x9C"
           "berschrift der ersten Ebene, jeder Artikel eine der zweiten, das "
           "Inhaltsverzeichnis f\xC3\xBChrt zu beiden.</meta>\n" +
           conformance +
           "  </metadata>\n  <manifest>\n"
           "    <item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
           "properties=\"nav\"/>\n" +
           manifest + "  </manifest>\n  <spine>\n" + spine +
           "    <itemref idref=\"nav\" linear=\"no\"/>\n  </spine>\n</package>\n";
}

const char kContainer[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
    "  <rootfiles>\n    <rootfile full-path=\"EPUB/package.opf\" "
    "media-type=\"application/oebps-package+xml\"/>\n  </rootfiles>\n</container>\n";

}  // namespace

EpubResult writeEpub(const LibraryBinding &library, const EpubEdition &edition,
                     const std::string &path) {
    EpubResult result;
    // Nothing the user has is touched before the book is whole: the
    // edition itself, a folder, a read-only file are refused at once.
    if (!edition.path.empty() && sameFile(edition.path, path)) {
        result.failure.text = kSameFile;
        result.failure.file = path;
    } else {
        result.failure = checkTarget(path);
    }
    if (result.failure) return result;
    std::vector<EpubResort> resorts = readResorts(library, edition.id, result.articles, 0);
    result.resorts = static_cast<int>(resorts.size());
    if (resorts.empty()) {
        result.failure.text = kUnreadable;
        result.failure.file = path;
        return result;
    }
    EpubLook look;
    look.lang = epubLanguage(edition.countryCode, edition.language);
    look.german = look.lang == "de" || look.lang.compare(0, 3, "de-") == 0;
    look.title = xmlText(epubTitle(edition));
    char modified[32];
    time_t now = time(nullptr);
    struct tm utc = *gmtime(&now);
    strftime(modified, sizeof modified, "%Y-%m-%dT%H:%M:%SZ", &utc);

    std::string toc;
    std::vector<EpubDocument> documents = writeResortDocuments(resorts, look, toc);
    std::string nav =
        writeNavigation(look, toc, documents[0].file, resortHeading(resorts[0], look));
    std::string opf = packageDocument(edition, look, documents, modified);

    // Beside the file first, then into its place: whole, or not there.
    std::string part;
    FILE *out = createPartFile(path, part, result.failure);
    if (!out) return result;
    errno = 0;
    ZipWriter zip(out, dosTime(utc.tm_hour, utc.tm_min, utc.tm_sec),
                  dosDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday));
    bool ok = zip.add("mimetype", "application/epub+zip", false) &&
              zip.add("META-INF/container.xml", kContainer, true) &&
              zip.add("EPUB/package.opf", opf, true) && zip.add("EPUB/nav.xhtml", nav, true);
    for (const EpubDocument &d : documents) ok = ok && zip.add("EPUB/" + d.file, d.body, true);
    ok = ok && zip.finish() && fflush(out) == 0;
    int error = errno;
    ok = (fclose(out) == 0) && ok;
    if (!ok) {
        if (!error) error = errno ? errno : EFBIG;  // no system error: beyond what a zip holds
        removePartFile(part);
        result.failure.text = kCannotWrite;
        result.failure.file = path;
        result.failure.reason = systemReason(error);
        return result;
    }
    result.failure = putInPlace(part, path);
    result.written = !result.failure;
    return result;
}
