// Writes edition containers: the data file the subscription server hands
// out, holding edition files and perhaps an update program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ContainerItem {
    std::string name;   // file name without folder; editions without extension
    int32_t kind = 0;   // 0 edition file, anything else update program
    std::string bytes;  // the file's content
};

// The container, little-endian: the entry count, the entries (data offset
// from the container's start, data size, kind, NUL-terminated name) one
// after the other, then the data of every entry in the same order.
std::string packContainer(const std::vector<ContainerItem> &items);

// Reads a file into an item: the name is the file name without its folder
// and, for editions (kind 0), without its extension. False when unreadable.
bool loadContainerItem(const std::string &path, int32_t kind, ContainerItem &out);
