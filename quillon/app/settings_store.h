// Where the library keeps the settings the reader changes: values of the
// registry key Software\VKT\QLAPI\ when its `Method` is "PHP", otherwise
// entries of the settings file qlapi.ini.
#ifndef QUILLON_SETTINGS_STORE_H
#define QUILLON_SETTINGS_STORE_H

#include <windows.h>

#include <string>

// True when `Method` under Software\VKT\QLAPI\ equals "PHP" in any case.
bool settingsInRegistry();

// Values under Software\VKT\QLAPI\ of the current user.
bool readLibraryNumber(const char *name, DWORD &value);
void writeLibraryNumber(const char *name, DWORD value);
std::string readLibraryText(const char *name, DWORD limit);
void writeLibraryText(const char *name, const std::string &value);

#endif
