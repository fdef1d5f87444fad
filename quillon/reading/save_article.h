// Saving the open article as a plain text file.
#ifndef QUILLON_SAVE_ARTICLE_H
#define QUILLON_SAVE_ARTICLE_H

#include <string>

#include "prompt.h"  // kSaveNameSize

// Asks for a file name (proposing `proposedName`), asks before overwriting,
// and writes `text` byte for byte. Questions and notices are owned by
// `owner`. A cancelled dialog or a refused overwrite writes nothing.
void saveArticle(const std::string &proposedName, void *owner, const std::string &text);

// False when `path` exists and the user (asked in a box owned by `owner`)
// does not want it overwritten.
bool mayOverwrite(const char *path, void *owner);

#endif
