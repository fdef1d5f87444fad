// The current user's registry as the reader uses it. The library keeps the
// settings the reader changes as values of Software\VKT\QLAPI\ when its
// `Method` is "PHP", otherwise as entries of the settings file qlapi.ini.
#ifndef QUILLON_SETTINGS_STORE_H
#define QUILLON_SETTINGS_STORE_H

#include <windows.h>

#include <string>

// True when `Method` under Software\VKT\QLAPI\ equals "PHP" in any case.
bool settingsInRegistry();

// A 32-bit value of the current user's key `path` (created first when
// `createKey`); false when it is missing or of another type.
bool readUserNumber(const char *path, const char *name, DWORD &value, bool createKey);

// Values under Software\VKT\QLAPI\ of the current user.
bool readLibraryNumber(const char *name, DWORD &value);
void writeLibraryNumber(const char *name, DWORD value);
std::string readLibraryText(const char *name, DWORD limit);
void writeLibraryText(const char *name, const std::string &value);

// How many editions the library keeps, as its settings say (10 where they
// say nothing usable).
int storedPaperCount();

#endif
