// What the reader marks from the selection: bookmarks set in the article
// view and opened from their list, and editions kept from trimming.
#include "prompt.h"
#include "reading.h"
#include "selection.h"
#include "user_texts.h"

void SelectionController::bookmarkKey(int line, const std::string &lineText) {
    Bookmark mark;
    if (!bookmarkStore_ || !currentPlace(line, mark.place)) return;
    mark.excerpt = bookmarkExcerpt(lineText);
    std::vector<Bookmark> bookmarks = bookmarkStore_->load();
    bool added = toggleBookmark(bookmarks, mark);
    void *owner = host_.articleWindow();
    if (!bookmarkStore_->save(bookmarks)) {
        messageBox(owner, userText(IDS_BOOKMARK_NOT_SAVED), userText(IDS_ERROR_CAPTION),
                   MB_OK | MB_ICONERROR);
        return;
    }
    keepForBookmarks(library_, mark.place.file, bookmarks);
    messageBox(owner,
               formatText(userText(added ? IDS_BOOKMARK_SET : IDS_BOOKMARK_REMOVED), line + 1),
               userText(IDS_NOTICE_CAPTION), MB_OK | MB_ICONINFORMATION);
}

bool SelectionController::openBookmark(const Bookmark &mark) {
    if (!open()) return false;
    openPlace(mark.place, IDS_BOOKMARK_EDITION_GONE, IDS_BOOKMARK_ARTICLE_GONE);
    return true;
}

bool SelectionController::keepKey() {
    if (memory_.level != NewspaperLevel) return false;
    int i = host_.selectedEntry();
    if (i < 0) {
        tellNothingSelected();
        return true;
    }
    const NewspaperRecord *paper = walkToNewspaper(i);
    if (!paper || !library_.keepNewspaper) return true;
    ItemId id = paper->id;
    std::string title = paper->title ? paper->title : "", date = paper->date ? paper->date : "";
    int reasons = library_.keepNewspaper(id, 0, 0);
    if (reasons >= 0)
        reasons = library_.keepNewspaper(id, QL_KEEP_READER, (reasons & QL_KEEP_READER) ? 0 : 1);
    host_.clearList();
    fillNewspapers();
    select(i);
    int text = reasons < 0                    ? IDS_KEEP_FAILED
               : (reasons & QL_KEEP_READER)   ? IDS_KEPT
               : (reasons & QL_KEEP_BOOKMARK) ? IDS_KEPT_FOR_BOOKMARKS
                                              : IDS_NOT_KEPT;
    messageBox(host_.window(), formatText(userText(text), title.c_str(), date.c_str()),
               userText(reasons < 0 ? IDS_ERROR_CAPTION : IDS_NOTICE_CAPTION),
               MB_OK | (reasons < 0 ? MB_ICONERROR : MB_ICONINFORMATION));
    return true;
}
