// An accessible EPUB 3 of one stored edition, read through the library's
// finds: the package document with accessibility metadata, a navigation
// document (contents and landmarks), and one XHTML document per top-level
// resort whose headings mirror resorts, sub-resorts and articles. Portable
// C++; no Win32.
#ifndef QUILLON_EPUB_H
#define QUILLON_EPUB_H

#include <string>

#include "library_binding.h"

struct EpubEdition {
    ItemId id = 0;            // the edition's ItemId
    std::string title, date;  // as the newspaper list gives them
    int countryCode = 0;
    std::string language;  // the edition's LANGUAGE value, "" when unknown
};

// An edition as the newspaper list gives it, its language read from its
// data file at `path` (none when empty).
EpubEdition epubEditionOf(const NewspaperRecord &paper, const std::string &path);

struct EpubResult {
    bool written = false;
    int resorts = 0, articles = 0;
    std::string error;  // why nothing was written
};

// Writes the edition to `path`: first beside it, then moved into place, so
// that the file is whole or not there at all.
EpubResult writeEpub(const LibraryBinding &library, const EpubEdition &edition,
                     const std::string &path);

// The LANGUAGE value of an edition file's root tag (read from its start,
// expanded when the file is compressed); "" when there is none.
std::string editionLanguage(const std::string &path);

// The language of the publication: "de" for country code 49, otherwise the
// edition's value where it is a language tag, else "und".
std::string epubLanguage(int countryCode, const std::string &language);

// A file name proposed for the edition: "<paper> <date>.epub", made safe
// as article names are.
std::string epubFileName(const std::string &title, const std::string &date);

#endif
