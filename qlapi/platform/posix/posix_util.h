// Helpers shared by the POSIX side of the platform layer.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Writes the file through a temporary file beside it, so that readers see the
// old or the new content; creates the file's folder when missing.
bool writeFileAtomically(const std::string &path, const std::string &content);

// The lines of a text file (none when it is missing); false when it could
// not be read to its end, so that a part is never written back as the
// whole. Running out of memory throws.
bool readTextLines(const std::string &path, std::vector<std::string> &lines);

// Trims blanks, tabs and carriage returns at both ends.
std::string trimBlanks(const std::string &text);

}  // namespace platform
