// The user's library settings, read once, and a copy of them for a private
// library home whose newspaper folder holds only copies: quillon-epub's way
// of reading a store without changing it.
#ifndef QUILLON_PRIVATE_SETTINGS_H
#define QUILLON_PRIVATE_SETTINGS_H

#include <string>
#include <vector>

struct UserSettings {
    std::string path;                // the settings file
    bool exists = false;             // false: there is none
    std::vector<std::string> lines;  // its lines, without line ends
    std::string storeFolder;         // [FILES] PATH, "" when not set
    std::string dataSuffix;          // [FILES] extension with its ".", ".eif" by default
};

UserSettings readUserSettings(const std::string &path);

// Writes the user's settings to `path` with the newspaper folder `news`, no
// log file of the user's, a server named when there is none (the library
// wants one, though nothing is fetched), and for a single edition file
// unreadable editions deleted (so that a refused one tells itself from one
// that could not be written). Without user settings the country codes of
// German and English editions are set. Returns 0, or the errno of the write.
int writePrivateSettings(const UserSettings &user, const std::string &path, const std::string &news,
                         bool singleFile);

#endif
