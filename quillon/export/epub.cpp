// Writing an EPUB 3 of one edition.
#include "epub.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include "reading.h"
#include "zip_writer.h"

namespace {

struct Article {
    std::string headline;
    std::vector<std::string> paragraphs;
};
struct Resort {
    std::string title;
    std::vector<Resort> subResorts;
    std::vector<Article> articles;
};

const char *orEmpty(const char *s) { return s ? s : ""; }

// The edition's tree through the finds. A resort's articles and its
// sub-resorts are read one after the other, never interleaved: the library
// keys both enumerations by the resort's id.
Resort readResort(const LibraryBinding &library, const ItemRecord &record, int &articles) {
    Resort r;
    r.title = orEmpty(record.title);
    ItemId id = record.id;
    for (const ItemRecord *a = library.findFirstArticle(id); a; a = library.findNextArticle(id)) {
        Article article{orEmpty(a->headline), {}};
        for (const char *p = library.findFirstParagraph(a->id); p;
             p = library.findNextParagraph(a->id))
            article.paragraphs.push_back(p);
        r.articles.push_back(std::move(article));
        ++articles;
    }
    return r;
}

std::vector<Resort> readResorts(const LibraryBinding &library, ItemId parent, int &articles,
                                int depth) {
    std::vector<ItemRecord> records;  // copied: a record stays valid, but be plain
    for (const ItemRecord *r = library.findFirstResort(parent); r;
         r = library.findNextResort(parent))
        records.push_back(*r);
    std::vector<Resort> out;
    for (const ItemRecord &record : records) {
        Resort r = readResort(library, record, articles);
        if (depth < 4) r.subResorts = readResorts(library, record.id, articles, depth + 1);
        out.push_back(std::move(r));
    }
    return out;
}

// ISO 8859-1 to UTF-8, escaped for XML text and attribute values; bytes
// XML does not allow (controls) are left out.
std::string xml(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (unsigned char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
                if (c >= 0x7F && c < 0xA0) break;
                if (c < 0x80) {
                    out += static_cast<char>(c);
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
        }
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

const char kXhtmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n";

std::string htmlStart(const std::string &lang, const std::string &title) {
    return std::string(kXhtmlHead) +
           "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\" xml:lang=\"" +
           lang + "\" lang=\"" + lang + "\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" +
           xml(title) + "</title>\n</head>\n";
}

// Headings and contents entries need text: a title that decodes to nothing
// (or only to bytes XML cannot carry) gets the library's own word for none.
std::string visible(const std::string &text, const char *instead) {
    return xml(text).find_first_not_of(" \t\r\n") == std::string::npos ? instead : text;
}
std::string resortTitle(const Resort &r) { return visible(r.title, "kein Titel"); }
std::string headline(const Article &a) { return visible(a.headline, "kein Titel"); }

// A resort's section: its heading at `level`, its articles one level
// below, its sub-resorts as sections of their own.
void writeSection(const Resort &r, const std::string &id, int level, std::string &out) {
    int h = level < 6 ? level : 6, ah = level + 1 < 6 ? level + 1 : 6;
    out += "<section id=\"" + id + "\" aria-labelledby=\"" + id + "-h\">\n<h" + std::to_string(h) +
           " id=\"" + id + "-h\">" + xml(resortTitle(r)) + "</h" + std::to_string(h) + ">\n";
    for (size_t a = 0; a < r.articles.size(); ++a) {
        const Article &article = r.articles[a];
        std::string aid = id + "-a" + std::to_string(a + 1);
        out += "<section id=\"" + aid + "\" aria-labelledby=\"" + aid + "-h\">\n<h" +
               std::to_string(ah) + " id=\"" + aid + "-h\">" + xml(headline(article)) + "</h" +
               std::to_string(ah) + ">\n";
        for (const std::string &p : article.paragraphs) out += "<p>" + xml(p) + "</p>\n";
        out += "</section>\n";
    }
    for (size_t s = 0; s < r.subResorts.size(); ++s)
        writeSection(r.subResorts[s], id + "-" + std::to_string(s + 1), level + 1, out);
    out += "</section>\n";
}

void writeTocEntries(const Resort &r, const std::string &file, const std::string &id,
                     std::string &out) {
    out += "<li><a href=\"" + file + "#" + id + "\">" + xml(resortTitle(r)) + "</a>";
    if (!r.articles.empty() || !r.subResorts.empty()) {
        out += "\n<ol>\n";
        for (size_t a = 0; a < r.articles.size(); ++a)
            out += "<li><a href=\"" + file + "#" + id + "-a" + std::to_string(a + 1) + "\">" +
                   xml(headline(r.articles[a])) + "</a></li>\n";
        for (size_t s = 0; s < r.subResorts.size(); ++s)
            writeTocEntries(r.subResorts[s], file, id + "-" + std::to_string(s + 1), out);
        out += "</ol>\n";
    }
    out += "</li>\n";
}

bool looksLikeLanguageTag(const std::string &tag) {
    size_t i = 0, n = 0;
    while (i < tag.size() && isalpha(static_cast<unsigned char>(tag[i]))) ++i, ++n;
    if (n < 2 || n > 8) return false;
    while (i < tag.size()) {
        if (tag[i++] != '-') return false;
        n = 0;
        while (i < tag.size() && isalnum(static_cast<unsigned char>(tag[i]))) ++i, ++n;
        if (n < 1 || n > 8) return false;
    }
    return true;
}

}  // namespace

EpubEdition epubEditionOf(const NewspaperRecord &paper, const std::string &path) {
    EpubEdition edition;
    edition.id = paper.id;
    edition.title = orEmpty(paper.title);
    edition.date = orEmpty(paper.date);
    edition.countryCode = paper.countryCode;
    if (!path.empty()) edition.language = editionLanguage(path);
    return edition;
}

std::string epubLanguage(int countryCode, const std::string &language) {
    if (countryCode == 49) return "de";
    return looksLikeLanguageTag(language) ? language : "und";
}

std::string epubFileName(const std::string &title, const std::string &date) {
    std::string name = safeFileName((title + " " + date).c_str());
    return name + ".epub";
}

std::string editionLanguage(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(65536, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const unsigned char *b = reinterpret_cast<const unsigned char *>(head.data());
    if (head.size() > 2 && (b[0] & 0x0F) == 8 && ((b[0] << 8) | b[1]) % 31 == 0) {
        std::string text(262144, '\0');  // the start of a compressed edition
        z_stream z{};
        if (inflateInit(&z) == Z_OK) {
            z.next_in = reinterpret_cast<Bytef *>(&head[0]);
            z.avail_in = static_cast<uInt>(head.size());
            z.next_out = reinterpret_cast<Bytef *>(&text[0]);
            z.avail_out = static_cast<uInt>(text.size());
            inflate(&z, Z_SYNC_FLUSH);
            text.resize(z.total_out);
            inflateEnd(&z);
            head = text;
        }
    }
    std::string upper = head;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    size_t root = upper.find("<DUZUZUVU");
    if (root == std::string::npos) return std::string();
    size_t end = upper.find('>', root);
    size_t at = upper.find("LANGUAGE=\"", root);
    if (at == std::string::npos || at > end) return std::string();
    at += 10;
    size_t close = head.find('"', at);
    if (close == std::string::npos || close > end) return std::string();
    return head.substr(at, close - at);
}

EpubResult writeEpub(const LibraryBinding &library, const EpubEdition &edition,
                     const std::string &path) {
    EpubResult result;
    std::vector<Resort> resorts = readResorts(library, edition.id, result.articles, 0);
    result.resorts = static_cast<int>(resorts.size());
    if (resorts.empty()) {
        result.error = "Die Zeitung konnte nicht gelesen werden; es wurde nichts gespeichert.";
        return result;
    }
    std::string lang = epubLanguage(edition.countryCode, edition.language);
    int year = 1980, month = 1, day = 1;
    std::string date = isoDate(edition.date, edition.countryCode, year, month, day);
    std::string title = edition.title + " vom " + edition.date;
    char modified[32];
    time_t now = time(nullptr);
    struct tm utc = *gmtime(&now);
    strftime(modified, sizeof modified, "%Y-%m-%dT%H:%M:%SZ", &utc);

    std::string manifest, spine, toc;
    std::vector<std::pair<std::string, std::string>> documents;
    for (size_t i = 0; i < resorts.size(); ++i) {
        std::string file = "resort" + std::to_string(i + 1) + ".xhtml";
        std::string id = "r" + std::to_string(i + 1);
        std::string body = htmlStart(lang, resortTitle(resorts[i]) + " - " + title) + "<body>\n";
        writeSection(resorts[i], id, 1, body);
        body += "</body>\n</html>\n";
        documents.emplace_back(file, std::move(body));
        manifest += "    <item id=\"" + id + "\" href=\"" + file +
                    "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "    <itemref idref=\"" + id + "\"/>\n";
        writeTocEntries(resorts[i], file, id, toc);
    }
    std::string nav = htmlStart(lang, title) + "<body>\n<nav epub:type=\"toc\" id=\"toc\">\n<h1>" +
                      xml(title) + "</h1>\n<ol>\n" + toc +
                      "</ol>\n</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"\">\n"
                      "<h2>Orientierung</h2>\n<ol>\n"
                      "<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\">Inhalt</a></li>\n"
                      "<li><a epub:type=\"bodymatter\" href=\"resort1.xhtml\">" +
                      xml(resortTitle(resorts[0])) + "</a></li>\n</ol>\n</nav>\n</body>\n</html>\n";
    std::string opf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"id\" "
        "xml:lang=\"" +
        lang +
        "\">\n  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "    <dc:identifier id=\"id\">" +
        identifier(edition.title, edition.date) + "</dc:identifier>\n    <dc:title>" + xml(title) +
        "</dc:title>\n    <dc:language>" + lang + "</dc:language>\n" +
        (date.empty() ? "" : "    <dc:date>" + date + "</dc:date>\n") +
        "    <meta property=\"dcterms:modified\">" + modified +
        "</meta>\n"
        "    <meta property=\"schema:accessMode\">textual</meta>\n"
        "    <meta property=\"schema:accessModeSufficient\">textual</meta>\n"
        "    <meta property=\"schema:accessibilityFeature\">structuralNavigation</meta>\n"
        "    <meta property=\"schema:accessibilityFeature\">tableOfContents</meta>\n"
        "    <meta property=\"schema:accessibilityHazard\">none</meta>\n"
        "    <meta property=\"schema:accessibilitySummary\">Die Zeitung als reiner Text: jedes "
        "Ressort ist eine \xC3\xBC"
        "berschrift der ersten Ebene, jeder Artikel eine der zweiten, das "
        "Inhaltsverzeichnis f\xC3\xBChrt zu beiden.</meta>\n"
        "    <meta property=\"dcterms:conformsTo\">EPUB Accessibility 1.1 - WCAG 2.1 Level "
        "AA</meta>\n"
        "  </metadata>\n  <manifest>\n"
        "    <item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
        "properties=\"nav\"/>\n" +
        manifest + "  </manifest>\n  <spine>\n    <itemref idref=\"nav\"/>\n" + spine +
        "  </spine>\n</package>\n";
    const std::string container =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
        "  <rootfiles>\n    <rootfile full-path=\"EPUB/package.opf\" "
        "media-type=\"application/oebps-package+xml\"/>\n  </rootfiles>\n</container>\n";

    // Beside the file first, then into its place: whole, or not there.
    std::string temp = path + ".part";
    FILE *out = fopen(temp.c_str(), "wb");
    if (!out) {
        result.error = "Die Datei konnte nicht angelegt werden.";
        return result;
    }
    ZipWriter zip(out, dosTime(utc.tm_hour, utc.tm_min, utc.tm_sec),
                  dosDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday));
    bool ok = zip.add("mimetype", "application/epub+zip", false) &&
              zip.add("META-INF/container.xml", container, true) &&
              zip.add("EPUB/package.opf", opf, true) && zip.add("EPUB/nav.xhtml", nav, true);
    for (const auto &[file, body] : documents) ok = ok && zip.add("EPUB/" + file, body, true);
    ok = ok && zip.finish();
    ok = (fclose(out) == 0) && ok;
    std::error_code error;
    if (ok) std::filesystem::rename(temp, path, error);
    if (!ok || error) {
        std::remove(temp.c_str());
        result.error = "Die Datei konnte nicht geschrieben werden.";
        return result;
    }
    result.written = true;
    return result;
}
