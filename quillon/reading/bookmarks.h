// Bookmarks ("Lesezeichen"): a line of an article the reader wants to find
// again, kept by the article's stable identity (its edition's file, resort,
// number in the file and headline, as for Weiterlesen), so that it survives
// the library numbering its editions anew. An edition with a bookmark is
// kept by the library's trimming.
#ifndef QUILLON_BOOKMARKS_H
#define QUILLON_BOOKMARKS_H

#include <string>
#include <vector>

#include "library_binding.h"
#include "resume.h"

struct Bookmark {
    ResumeRecord place;   // the article and the line, from 0
    std::string excerpt;  // the start of the line, as the list shows it
};

// Where bookmarks are kept, newest first: the current user's registry on
// Windows, a stand-in in the tests.
class BookmarkStore {
  public:
    virtual ~BookmarkStore() = default;
    // The bookmarks that read back whole; a damaged one is left out.
    virtual std::vector<Bookmark> load() = 0;
    // False when they could not be written.
    virtual bool save(const std::vector<Bookmark> &bookmarks) = 0;
};

// The excerpt of a line: blanks trimmed, cut after at most 60 characters at
// a word's end, with "…" where it was cut.
std::string bookmarkExcerpt(const std::string &line);

// Adds mark in front, or removes the bookmark on the same line of the same
// article. True when it was added.
bool toggleBookmark(std::vector<Bookmark> &bookmarks, const Bookmark &mark);

// "Paper vom Datum, Ressort: Schlagzeile – Auszug", as the list shows it.
std::string bookmarkEntryText(const Bookmark &mark);

// Tells the library whether the edition of `file` is kept for bookmarks:
// as long as one of `bookmarks` lies in it. Nothing happens when the
// library cannot keep editions or no longer lists that file.
void keepForBookmarks(const LibraryBinding &library, const std::string &file,
                      const std::vector<Bookmark> &bookmarks);

#endif
