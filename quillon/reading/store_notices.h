// What the library's store did on its own, told to the reader once: the
// downloads it did not take because they did not read, and the editions it
// removed to keep the number of kept newspapers.
#ifndef QUILLON_STORE_NOTICES_H
#define QUILLON_STORE_NOTICES_H

#include <string>

#include "library_binding.h"

// The sentence naming the editions of a trimmed report (a list of the
// library's), with the number of newspapers kept.
std::string trimmedNotice(const EditionEntry *removed, int paperLimit);
// One sentence for each download of a refused report, on lines of their own.
std::string refusedNotice(const EditionEntry *refused);

// Takes both reports from the library and shows one box for each that is
// not empty, owned by `owner`. Nothing happens with a library that does
// not report.
void tellStoreReport(const LibraryBinding &library, void *owner, int paperLimit);

#endif
