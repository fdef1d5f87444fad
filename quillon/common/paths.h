// Small functions on Windows paths ("\" separators), for the handheld copy.
// Each returns nothing (an empty optional) where the description says so.
#ifndef QUILLON_PATHS_H
#define QUILLON_PATHS_H

#include <optional>
#include <string>

// "C:\a\b.c.txt" -> "b.c"; nothing when the result is empty.
std::optional<std::string> baseNameWithoutExtension(const char *path);
// "C:\a\b.c.txt" -> "b.c.txt"; nothing when the result is empty.
std::optional<std::string> baseName(const char *path);
// "C:\a\b.c.txt" -> "C:\a\"; the whole path when it has no "\".
std::optional<std::string> folderOf(const char *path);
// "C:\a\b.c.txt" -> ".txt"; nothing when the path has no ".".
std::optional<std::string> extensionOf(const char *path);

#endif
