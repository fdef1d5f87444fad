// A downloaded edition takes the place of the stored one of its name only
// once it reads.
#pragma once

#include <cstddef>
#include <string>

enum class IntakeResult { taken, refused };

// Reads the bytes as the store's scan reads a new edition and, only when
// they read, puts them in dataPath's place (written beside it first; its
// header goes, so the next scan reads the new edition). Otherwise nothing
// is written, whatever was stored under dataPath stays, the log says why
// and the store's report names the file (QL_REPORT_REFUSED). Called with
// the library lock held.
IntakeResult takeInDownloadedEdition(const std::string &dataPath, const unsigned char *data,
                                     size_t size);
