// The XHTML documents of a book. Resorts and sub-resorts are headings,
// articles plain sections under them, so that a reader moves by headings
// and a reading system sees no landmark per article; a resort too long for
// a phone continues in further parts, in order.
#include "epub_documents.h"

namespace {

const char kXhtmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n";
const char kGerman[] = " xml:lang=\"de\" lang=\"de\"";

std::string htmlStart(const std::string &lang, const std::string &title) {
    return std::string(kXhtmlHead) +
           "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\" xml:lang=\"" +
           lang + "\" lang=\"" + lang + "\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" + title +
           "</title>\n</head>\n";
}

// Headings and contents entries need text: a title that decodes to nothing
// (or only to bytes XML cannot carry) gets the library's own word for none,
// marked as German in a book of another language.
std::string visible(const std::string &latin1, const EpubLook &look) {
    std::string text = xmlText(latin1);
    if (text.find_first_not_of(" \t\r\n") != std::string::npos) return text;
    return look.german ? "kein Titel" : std::string("<span") + kGerman + ">kein Titel</span>";
}
std::string plain(const std::string &latin1) {
    std::string text = xmlText(latin1);
    return text.find_first_not_of(" \t\r\n") == std::string::npos ? "kein Titel" : text;
}

std::string tag(const char *name, int level) {
    return name + std::to_string(level < 6 ? level : 6);
}

// A resort as pieces that may end a part: its heading, each article, then
// its sub-resorts one level further down.
void collectUnits(const EpubResort &r, const std::string &id, int level, const EpubLook &look,
                  std::vector<std::string> &units) {
    std::string h = tag("h", level), ah = tag("h", level + 1);
    units.push_back("<" + h + " id=\"" + id + "\">" + visible(r.title, look) + "</" + h + ">\n");
    for (size_t a = 0; a < r.articles.size(); ++a) {
        const EpubArticle &article = r.articles[a];
        std::string unit = "<section id=\"" + id + "-a" + std::to_string(a + 1) + "\">\n<" + ah +
                           ">" + visible(article.headline, look) + "</" + ah + ">\n";
        for (const std::string &p : article.paragraphs) unit += "<p>" + xmlText(p) + "</p>\n";
        unit += "</section>\n";
        units.push_back(std::move(unit));
    }
    for (size_t s = 0; s < r.subResorts.size(); ++s)
        collectUnits(r.subResorts[s], id + "-" + std::to_string(s + 1), level + 1, look, units);
}

// The contents entries in the order of collectUnits, each unit's file taken
// from `files` as it goes.
void writeTocEntries(const EpubResort &r, const std::string &id, const EpubLook &look,
                     const std::vector<std::string> &files, size_t &unit, std::string &out) {
    out += "<li><a href=\"" + files[unit++] + "#" + id + "\">" + visible(r.title, look) + "</a>";
    if (!r.articles.empty() || !r.subResorts.empty()) {
        out += "\n<ol>\n";
        for (size_t a = 0; a < r.articles.size(); ++a)
            out += "<li><a href=\"" + files[unit++] + "#" + id + "-a" + std::to_string(a + 1) +
                   "\">" + visible(r.articles[a].headline, look) + "</a></li>\n";
        for (size_t s = 0; s < r.subResorts.size(); ++s)
            writeTocEntries(r.subResorts[s], id + "-" + std::to_string(s + 1), look, files, unit,
                            out);
        out += "</ol>\n";
    }
    out += "</li>\n";
}

}  // namespace

std::string xmlText(const std::string &text) {
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

std::string resortHeading(const EpubResort &r, const EpubLook &look) {
    return visible(r.title, look);
}

std::vector<EpubDocument> writeResortDocuments(const std::vector<EpubResort> &resorts,
                                               const EpubLook &look, std::string &toc,
                                               size_t partSize) {
    std::vector<EpubDocument> documents;
    for (size_t i = 0; i < resorts.size(); ++i) {
        std::string id = "r" + std::to_string(i + 1);
        std::vector<std::string> units, files;
        collectUnits(resorts[i], id, 1, look, units);
        std::string body;
        int part = 0;
        auto finishPart = [&] {
            std::string file = "resort" + std::to_string(i + 1) +
                               (part > 1 ? "-" + std::to_string(part) : "") + ".xhtml";
            std::string title = plain(resorts[i].title) +
                                (part > 1 ? " (Teil " + std::to_string(part) + ")" : "") + " - " +
                                look.title;
            documents.push_back(
                {file, htmlStart(look.lang, title) + "<body>\n" + body + "</body>\n</html>\n"});
            body.clear();
        };
        for (std::string &unit : units) {
            if (part == 0 || (!body.empty() && body.size() + unit.size() > partSize)) {
                if (part > 0) finishPart();
                ++part;
            }
            files.push_back("resort" + std::to_string(i + 1) +
                            (part > 1 ? "-" + std::to_string(part) : "") + ".xhtml");
            body += unit;
            std::string().swap(unit);
        }
        finishPart();
        size_t unit = 0;
        writeTocEntries(resorts[i], id, look, files, unit, toc);
    }
    return documents;
}

std::string writeNavigation(const EpubLook &look, const std::string &toc,
                            const std::string &firstFile, const std::string &firstTitle) {
    const char *german = look.german ? "" : kGerman;
    return htmlStart(look.lang, look.title) + "<body>\n<nav epub:type=\"toc\" role=\"doc-toc\" " +
           "id=\"toc\">\n<h1" + german + ">" + look.title + "</h1>\n<ol>\n" + toc +
           "</ol>\n</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"\">\n<h2" +
           german + ">Orientierung</h2>\n<ol>\n<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\"" +
           german + ">Inhalt</a></li>\n<li><a epub:type=\"bodymatter\" href=\"" + firstFile +
           "\">" + firstTitle + "</a></li>\n</ol>\n</nav>\n</body>\n</html>\n";
}
