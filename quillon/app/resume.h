// Where the reader stopped: the last article opened and the line the caret
// was on, kept from one run of the program to the next, and found again in
// the stored editions by their file, resort titles and headline (ids change
// when the editions are numbered anew).
#ifndef QUILLON_RESUME_H
#define QUILLON_RESUME_H

#include <string>
#include <vector>

#include "library_binding.h"

struct ResumeRecord {
    std::string file;  // the edition's data file name, without its folder
    std::string title, date;
    // Resort titles from the top down; the library's resorts have no
    // sub-resorts, so there is one.
    std::vector<std::string> resorts;
    ItemId articleId = 0;
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

// Finds the record's article again: the edition by its file (by title and
// date when the library cannot list its files), the resort by its titles,
// the article by its headline, preferring the one with the recorded id.
ResumePlace findResumePlace(const LibraryBinding &library, const ResumeRecord &record);

// The file name part of a path, after its last "\" or "/".
std::string fileNamePart(const char *path);

#endif
