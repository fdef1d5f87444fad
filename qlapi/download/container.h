// The EditionContainer: the data file of the internal transfer, holding
// edition files and perhaps an update program. Little-endian: an entry
// count, then entries of data offset, data size, kind and a NUL-terminated
// name, one after the other; the data lies anywhere in the container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ContainerEntry {
    std::string name;
    int32_t kind = 0;  // 0 edition file, anything else update program
    const unsigned char *data = nullptr;
    size_t size = 0;
};

// Reads and checks the whole container before anything is written: every
// entry's header and data lie inside it, and every name is a plain file
// name. An entry count of zero or less yields no entries. False, with the
// reason in why, when any part is bad.
bool readContainer(const unsigned char *body, size_t size, std::vector<ContainerEntry> &entries,
                   std::string &why);

// A name that names a file in the folder it is put in: not empty, no path
// separator, drive colon, "..", control character or character Windows
// forbids in names, and no device name (CON, NUL, COM1, ...).
bool isPlainFileName(const std::string &name);

// Writes size bytes to a temporary file beside path and then puts it in
// place in one step. False when it could not; path is untouched then.
bool writeFileInPlace(const std::string &path, const unsigned char *data, size_t size);
