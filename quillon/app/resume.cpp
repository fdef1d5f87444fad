// Finding the place the reader stopped at.
#include "resume.h"

#include <cstring>

namespace {

bool same(const char *a, const std::string &b) { return (a ? a : "") == b; }

// The data file names of the stored editions, in the order of the
// newspaper list (both list the folder newest first, as the scan does);
// empty when the library cannot list them.
std::vector<std::string> editionFiles(const LibraryBinding &library) {
    std::vector<std::string> files;
    if (!library.getNewspaperListFromHD || !library.removeNewspaperTree) return files;
    EditionEntry *list = library.getNewspaperListFromHD();
    for (const EditionEntry *e = list; e; e = e->next) files.push_back(fileNamePart(e->path));
    library.removeNewspaperTree(list);
    return files;
}

bool sameFile(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;  // file names of Windows are alike in any case
    }
    return true;
}

}  // namespace

std::string fileNamePart(const char *path) {
    if (!path) return std::string();
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

ResumePlace findResumePlace(const LibraryBinding &library, const ResumeRecord &record) {
    ResumePlace place;
    std::vector<std::string> files = editionFiles(library);
    ItemId edition = 0;
    bool editionFound = false;
    int n = 0;
    for (const NewspaperRecord *p = library.findFirstNewspaper(); p;
         p = library.findNextNewspaper(), ++n) {
        bool fileMatches = files.empty() || (static_cast<size_t>(n) < files.size() &&
                                             sameFile(files[static_cast<size_t>(n)], record.file));
        if (fileMatches && same(p->title, record.title) && same(p->date, record.date)) {
            place.newspaper = n;
            edition = p->id;
            editionFound = true;
            break;
        }
    }
    if (!editionFound || record.resorts.empty()) return place;
    place.outcome = ResumePlace::articleGone;

    // Resorts of the same title are tried in turn; so are articles of the
    // same headline, the one with the recorded id first.
    int r = 0;
    for (const ItemRecord *resort = library.findFirstResort(edition); resort;
         resort = library.findNextResort(edition), ++r) {
        if (!same(resort->title, record.resorts[0])) continue;
        ItemId resortId = resort->id;
        int a = 0, byHeadline = -1;
        for (const ItemRecord *article = library.findFirstArticle(resortId); article;
             article = library.findNextArticle(resortId), ++a) {
            bool headlineMatches = record.hasHeadline ? same(article->headline, record.headline)
                                                      : article->headline == nullptr;
            if (!headlineMatches) continue;
            if (article->id == record.articleId) {
                byHeadline = a;
                break;
            }
            if (byHeadline < 0) byHeadline = a;
        }
        if (byHeadline >= 0) {
            place.outcome = ResumePlace::found;
            place.resort = r;
            place.article = byHeadline;
            return place;
        }
        // findFirstArticle ran its own enumeration; the resort enumeration
        // goes on where it was.
    }
    return place;
}
