// Where the reader stopped: the last article opened and the line the caret
// was on, kept from one run of the program to the next, and found again in
// the stored editions. An edition is its data file; an article is its
// edition, its resort's title and its number within the edition (the low
// 24 bits of its id, which stay the same for the same file while the top
// byte changes whenever the editions are numbered anew), with its headline
// as a check.
#ifndef QUILLON_RESUME_H
#define QUILLON_RESUME_H

#include <string>
#include <vector>

#include "library_binding.h"

// The part of an article's id that numbers it within its edition's file.
constexpr ItemId kArticleNumberMask = 0x00ffffff;

struct ResumeRecord {
    std::string file;  // the edition's data file name, without its folder
    std::string title, date;
    // Resort titles from the top down; the library's resorts have no
    // sub-resorts, so there is one.
    std::vector<std::string> resorts;
    ItemId articleId = 0;  // its low 24 bits number the article in its file
    std::string headline;
    bool hasHeadline = true;
    int line = 0;  // of the caret in the article view, from 0
};

// Where the record is kept: the current user's registry on Windows, a
// stand-in in the tests.
class ResumeStore {
  public:
    virtual ~ResumeStore() = default;
    // False when there is no record or it cannot be read whole.
    virtual bool load(ResumeRecord &record) = 0;
    virtual void save(const ResumeRecord &record) = 0;
};

// The record's place in the stored editions, as list positions.
struct ResumePlace {
    enum Outcome { found, editionGone, articleGone } outcome = editionGone;
    int newspaper = 0, resort = 0, article = 0;
};

// Finds the record's article again: the edition by its file, title and
// date (by title and date alone when the library cannot name its files),
// the article by its number in a resort of the recorded title, whose
// headline must be the recorded one. Never another article.
ResumePlace findResumePlace(const LibraryBinding &library, const ResumeRecord &record);

// The file name part of a path, after its last "\" or "/".
std::string fileNamePart(const char *path);

// The path of the data file of the listed edition that an id belongs to, as
// the library tells it; empty when it cannot.
std::string editionPath(const LibraryBinding &library, ItemId item);

#endif
