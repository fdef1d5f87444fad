// The program's user texts: loaded once at start from the string table into
// fixed buffers, then read by every dialog.
#ifndef QUILLON_USER_TEXTS_H
#define QUILLON_USER_TEXTS_H

#include <string>

#include "resource.h"

// Each text is kept in a buffer of this many characters; longer texts are cut.
constexpr int kUserTextSize = 250;

// Copies the text `id` into `buffer` (at most `size` characters with the
// terminator) and returns its length, 0 when the table has no such text.
using UserTextLoader = int (*)(int id, char *buffer, int size);

// Loads every text from IDS_FIRST to IDS_LAST through `loader`.
void loadUserTexts(UserTextLoader loader);

// The loaded text `id`; "" for an id outside the table or not loaded.
const char *userText(int id);

// printf-style formatting of a user text into a string of any length.
std::string formatText(const char *format, ...);

#endif
