// Editions the reader keeps: a mark beside the data file that the store's
// trimming respects, written by QL_KeepNewspaper.
#pragma once

// The reasons (QL_KEEP_*) the edition whose data file is dataPath is kept
// for; 0 when it has no mark. A mark that cannot be read, or names no
// reason the library knows, still keeps the edition (as the reader's own
// choice): keeping too much is the safe side.
int keepReasons(const char *dataPath);

// Removes the edition's mark, with the edition.
void removeKeepMark(const char *dataPath);
