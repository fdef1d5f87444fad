// The XHTML of a book: one document per top-level resort, split into parts
// a phone handles well, and the navigation document. Internal to the EPUB
// writer.
#ifndef QUILLON_EPUB_DOCUMENTS_H
#define QUILLON_EPUB_DOCUMENTS_H

#include <string>
#include <vector>

struct EpubArticle {
    std::string headline;  // ISO 8859-1, as the library gives it
    std::vector<std::string> paragraphs;
};
struct EpubResort {
    std::string title;
    std::vector<EpubResort> subResorts;
    std::vector<EpubArticle> articles;
};

struct EpubDocument {
    std::string file, body;  // name in the book's folder, whole XHTML
};

// A resort's document passes to a new part before this many bytes; an
// article is never divided, so a part holds at least one.
constexpr size_t kEpubPartSize = 192 * 1024;

// Everything the documents share: the book's language and title (UTF-8),
// and whether generated German words need a language of their own.
struct EpubLook {
    std::string lang, title;
    bool german = true;
};

// ISO 8859-1 to UTF-8, escaped for XML text and attribute values; bytes
// XML does not allow (controls) are left out.
std::string xmlText(const std::string &latin1);

// The documents of all resorts in reading order, the contents list of the
// navigation document in `toc` (list items), and each resort's first file.
std::vector<EpubDocument> writeResortDocuments(const std::vector<EpubResort> &resorts,
                                               const EpubLook &look, std::string &toc,
                                               size_t partSize = kEpubPartSize);

// The navigation document: contents and landmarks.
std::string writeNavigation(const EpubLook &look, const std::string &toc,
                            const std::string &firstFile, const std::string &firstTitle);

// A resort's title as its heading shows it (UTF-8, escaped).
std::string resortHeading(const EpubResort &r, const EpubLook &look);

#endif
