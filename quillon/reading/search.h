// The search text and the two searches: over the articles of a newspaper or
// a resort, and inside one article's text. Matching is exact and
// case-sensitive, byte for byte.
#ifndef QUILLON_SEARCH_H
#define QUILLON_SEARCH_H

#include <string>
#include <vector>

#include "library_binding.h"

// Window message posted to a reading dialog to run a search with the
// current search text.
constexpr unsigned kFindTextMessage = 0x0400 + 11;  // WM_USER + 11
// The search text holds at most this many characters.
constexpr size_t kSearchTextLimit = 99;

// The text last searched for; kept for the whole run of the program.
const std::string &searchText();
void setSearchText(const char *text);

// One article found by a list search, with a copy of its headline. A search
// over every stored newspaper also names where the article stands.
struct SearchHit {
    ItemId id = 0;
    bool hasHeadline = false;
    std::string headline;
    std::string paper, date, resort;
};

// Articles of every resort of `newspaper` whose headline or one of whose
// paragraphs contains `needle`, in the order of the newspaper.
std::vector<SearchHit> searchNewspaper(const LibraryBinding &library, ItemId newspaper,
                                       const std::string &needle);
// Articles of `resort` one of whose paragraphs contains `needle`.
std::vector<SearchHit> searchResort(const LibraryBinding &library, ItemId resort,
                                    const std::string &needle);

// Articles of every stored newspaper, newest first, whose headline or one
// of whose paragraphs contains `needle`. One edition is opened at a time;
// `progress` hears after each (done, of how many) and stops the search by
// giving false; the hits found so far are kept.
using SearchProgress = bool (*)(void *context, int done, int total);
std::vector<SearchHit> searchAllNewspapers(const LibraryBinding &library, const std::string &needle,
                                           SearchProgress progress, void *context);

// The first occurrence of `needle` in `text` starting at `from` or later;
// std::string::npos when there is none. No wrap-around.
size_t findInArticle(const std::string &text, size_t from, const std::string &needle);

#endif
