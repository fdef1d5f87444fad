// The texts the reading dialogs show: list entries, captions, the article
// text and the file name an article is saved under.
#ifndef QUILLON_READING_H
#define QUILLON_READING_H

#include <string>

#include "library_binding.h"

// "<date> / <title>" for one stored newspaper.
std::string newspaperEntryText(const NewspaperRecord &paper);
// Dialog captions of the resort and the article level.
std::string resortLevelCaption(const NewspaperRecord &paper);
std::string articleLevelCaption(const ItemRecord &resort, const NewspaperRecord &paper);
// The caption of a search's hits: searched from the resort list (no
// resort) or from the article list of `resort`.
std::string searchResultCaption(const std::string &needle, const ItemRecord *resort,
                                const NewspaperRecord &paper);

// The article as the view shows and the save writes it: each paragraph
// followed by CR LF, then "Artikelende" CR LF.
std::string buildArticleText(const LibraryBinding &library, ItemId article);

// A file name proposed from a view's title (read with at most 255
// characters): the characters Windows refuses in names are removed, and so
// are control characters; a name left empty becomes "Artikelansicht".
std::string safeFileName(const char *title);

// The position a list should select when asked for `wanted` with `count`
// entries: past the end means the last entry, so that a screen reader
// always finds a selection; -1 for an empty list.
int selectablePosition(int wanted, int count);

#endif
