// The list of stored editions and the state that the find functions keep.
#pragma once

#include <cstdint>
#include <string>

#include "documents/edition_format.h"
#include "documents/item_id.h"
#include "qlapi.h"

// The library's own list of stored editions, newest first.
extern EditionEntry *g_editionList;

// The first listed edition whose number is the top byte of id, or null.
EditionEntry *findEdition(ItemId id);

// Builds g_editionList from the newspaper folder.
void scanStore();

// Removes what an interrupted write of the library left in the newspaper
// folder (a normalised edition, a header or a download not yet in place).
// Only while no fetch of this process is writing there.
void removeStoreLeftovers();

// Frees the list with its parsed trees and empties it.
void releaseEditionList();
// Forgets the list without freeing it (shutdown has freed it already).
void resetEditionList();
// The numbering of editions starts again at 0.
void resetEditionCounter();
// Ends every running enumeration of the find functions.
void releaseCursors();

// Frees the open tree and marks every edition unparsed.
void releaseTrees();

// A file beside an edition: the data file's path with its extension
// replaced by `extension` (".ehd" for the header).
std::string companionPath(const std::string &dataPath, const char *extension);

// Reads the bytes of an edition file as the scan reads a new one (expanded,
// normalised, parsed for its header) without writing anything: done when
// they read, refused when their content is no edition, failed when memory
// ran out.
FileOutcome readEditionBytes(const unsigned char *data, size_t size);

// The edition as its header file describes it, or null (no header, or no
// memory). The entry is the caller's.
EditionEntry *readStoredHeader(const std::string &dataPath);
