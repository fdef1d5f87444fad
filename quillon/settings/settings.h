// The two settings the reader changes for the library: how many editions
// it keeps, and the user identifier.
#ifndef QUILLON_SETTINGS_H
#define QUILLON_SETTINGS_H

#include <string>

// The number of kept editions the dialog offered last; 100 at start.
extern int g_paperCount;

// One of the three choices for a stored count: 10, 50 or 100.
int paperCountChoice(long stored);

// A user identifier is exactly eight characters of any kind.
bool validUserId(const std::string &id);
constexpr int kUserIdLength = 8;

#endif
