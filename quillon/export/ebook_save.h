// Saving a stored edition as an e-book: the save dialog, the overwrite
// question, the EPUB, and one box that says what was written or why not.
#ifndef QUILLON_EBOOK_SAVE_H
#define QUILLON_EBOOK_SAVE_H

#include "epub.h"

void saveEditionAsEbook(const LibraryBinding &library, const EpubEdition &edition, void *owner);

#endif
