// An accessible EPUB 3 of one stored edition, read through the library's
// finds: the package document with accessibility metadata, a navigation
// document (contents and landmarks, outside the linear reading order), and
// the top-level resorts' XHTML documents, a long one in parts, whose
// headings mirror resorts, sub-resorts and articles. Portable C++; no Win32.
#ifndef QUILLON_EPUB_H
#define QUILLON_EPUB_H

#include <string>

#include "library_binding.h"
#include "output_file.h"

struct EpubEdition {
    ItemId id = 0;            // the edition's ItemId
    std::string title, date;  // as the newspaper list gives them
    int countryCode = 0;
    std::string language;  // the edition's LANGUAGE value, "" when unknown
    std::string path;      // its data file, never replaced by the book; may be ""
};

// An edition as the newspaper list gives it, its language read from its
// data file at `path` (none when empty).
EpubEdition epubEditionOf(const NewspaperRecord &paper, const std::string &path);

struct EpubResult {
    bool written = false;
    int resorts = 0, articles = 0;
    WriteFailure failure;  // why nothing was written
    // The reason as one sentence: ISO 8859-1 for the reader, UTF-8 for a
    // terminal.
    std::string message(bool utf8 = false) const;
};

// Writes the edition to `path`: into a part file of its own beside it, then
// moved into place, so that the file is whole or not there at all. Refused,
// with nothing written, when `path` is the edition's own file, a folder or
// read-only.
EpubResult writeEpub(const LibraryBinding &library, const EpubEdition &edition,
                     const std::string &path);

// The LANGUAGE value of an edition file's root tag (read from its start,
// expanded when the file is compressed); "" when there is none.
std::string editionLanguage(const std::string &path);

// The language of the book as a tag from our table: the country code's
// language ("de" for 49, "en" for 1, ...), the edition's own value instead
// where it names that language more precisely ("fr-CA" for 33) or where the
// country has none of its own, else "und".
std::string epubLanguage(int countryCode, const std::string &language);

// The book's title and identifier. Both depend on the edition alone (its
// title and date), not on the form the settings give the date in.
std::string epubTitle(const EpubEdition &edition);
std::string epubIdentifier(const EpubEdition &edition);

// A file name proposed for the edition: "<paper> <date>.epub", made safe
// as article names are.
std::string epubFileName(const std::string &title, const std::string &date);

#endif
