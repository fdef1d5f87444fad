// Helpers shared by the POSIX side of the platform layer.
#pragma once

#include <string>

namespace platform {

// Writes the file through a temporary file beside it, so that readers see the
// old or the new content; creates the file's folder when missing.
bool writeFileAtomically(const std::string &path, const std::string &content);

// Trims blanks, tabs and carriage returns at both ends.
std::string trimBlanks(const std::string &text);

}  // namespace platform
