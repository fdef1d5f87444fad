// Finding the place the reader stopped at.
#include "resume.h"

#include <cstring>

namespace {

bool same(const char *a, const std::string &b) { return (a ? a : "") == b; }

// Whether two file names name the same file, as the file system compares
// them: in any case on Windows.
bool sameFile(const std::string &a, const std::string &b) {
#ifdef _WIN32
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
#else
    return a == b;
#endif
}

}  // namespace

std::string fileNamePart(const char *path) {
    if (!path) return std::string();
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

std::string editionPath(const LibraryBinding &library, ItemId item) {
    const char *path = library.getNewspaperFile ? library.getNewspaperFile(item) : nullptr;
    return path ? path : "";
}

ResumePlace findResumePlace(const LibraryBinding &library, const ResumeRecord &record) {
    ResumePlace place;
    bool byFile = library.getNewspaperFile && !record.file.empty();
    ItemId edition = 0;
    bool editionFound = false;
    int n = 0;
    for (const NewspaperRecord *p = library.findFirstNewspaper(); p;
         p = library.findNextNewspaper(), ++n) {
        if (byFile && !sameFile(fileNamePart(editionPath(library, p->id).c_str()), record.file))
            continue;
        if (same(p->title, record.title) && same(p->date, record.date)) {
            place.newspaper = n;
            edition = p->id;
            editionFound = true;
            break;
        }
    }
    if (!editionFound || record.resorts.empty()) return place;
    place.outcome = ResumePlace::articleGone;

    // The article's number is unique in its file: one article can match,
    // and only when its resort and headline are still the recorded ones.
    const ItemId number = record.articleId & kArticleNumberMask;
    int r = 0;
    for (const ItemRecord *resort = library.findFirstResort(edition); resort;
         resort = library.findNextResort(edition), ++r) {
        if (!same(resort->title, record.resorts[0])) continue;
        ItemId resortId = resort->id;
        int a = 0;
        for (const ItemRecord *article = library.findFirstArticle(resortId); article;
             article = library.findNextArticle(resortId), ++a) {
            if ((article->id & kArticleNumberMask) != number) continue;
            bool headlineMatches = record.hasHeadline ? same(article->headline, record.headline)
                                                      : article->headline == nullptr;
            if (!headlineMatches) return place;
            place.outcome = ResumePlace::found;
            place.resort = r;
            place.article = a;
            return place;
        }
        // findFirstArticle ran its own enumeration; the resort enumeration
        // goes on where it was.
    }
    return place;
}
