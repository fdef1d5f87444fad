// Bookmarks: the list's rules, apart from where it is kept and shown.
#include "bookmarks.h"

#include "user_texts.h"

namespace {

constexpr size_t kExcerptLength = 60;

bool sameArticle(const ResumeRecord &a, const ResumeRecord &b) {
    return a.file == b.file && a.title == b.title && a.date == b.date && a.resorts == b.resorts &&
           (a.articleId & kArticleNumberMask) == (b.articleId & kArticleNumberMask) &&
           a.hasHeadline == b.hasHeadline && a.headline == b.headline;
}

}  // namespace

std::string bookmarkExcerpt(const std::string &line) {
    size_t from = line.find_first_not_of(" \t\r\n");
    if (from == std::string::npos) return std::string();
    size_t to = line.find_last_not_of(" \t\r\n");
    std::string text = line.substr(from, to - from + 1);
    if (text.size() <= kExcerptLength) return text;
    size_t cut = text.rfind(' ', kExcerptLength);
    if (cut == std::string::npos || cut < kExcerptLength / 2) cut = kExcerptLength;
    return text.substr(0, cut) + userText(IDS_BOOKMARK_ELLIPSIS);
}

bool toggleBookmark(std::vector<Bookmark> &bookmarks, const Bookmark &mark) {
    for (auto it = bookmarks.begin(); it != bookmarks.end(); ++it) {
        if (it->place.line == mark.place.line && sameArticle(it->place, mark.place)) {
            bookmarks.erase(it);
            return false;
        }
    }
    bookmarks.insert(bookmarks.begin(), mark);
    return true;
}

std::string bookmarkEntryText(const Bookmark &mark) {
    const ResumeRecord &p = mark.place;
    return formatText(userText(IDS_BOOKMARK_ENTRY), p.title.c_str(), p.date.c_str(),
                      p.resorts.empty() ? "" : p.resorts[0].c_str(), p.headline.c_str(),
                      mark.excerpt.c_str());
}

void keepForBookmarks(const LibraryBinding &library, const std::string &file,
                      const std::vector<Bookmark> &bookmarks) {
    if (!library.keepNewspaper || file.empty()) return;
    bool any = false;
    for (const Bookmark &b : bookmarks) any = any || b.place.file == file;
    // The file's name as the library gave it when the bookmark was set.
    for (const NewspaperRecord *p = library.findFirstNewspaper(); p;
         p = library.findNextNewspaper()) {
        if (fileNamePart(editionPath(library, p->id).c_str()) != file) continue;
        library.keepNewspaper(p->id, QL_KEEP_BOOKMARK, any ? 1 : 0);
        return;
    }
}
