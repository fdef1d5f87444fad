#include "container_writer.h"

#include <filesystem>
#include <fstream>

namespace {

void putInt32(std::string &out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xff);
}

}  // namespace

std::string packContainer(const std::vector<ContainerItem> &items) {
    size_t headerSize = 4;
    for (const ContainerItem &item : items) headerSize += 12 + item.name.size() + 1;

    std::string out;
    putInt32(out, static_cast<uint32_t>(items.size()));
    size_t offset = headerSize;
    for (const ContainerItem &item : items) {
        putInt32(out, static_cast<uint32_t>(offset));
        putInt32(out, static_cast<uint32_t>(item.bytes.size()));
        putInt32(out, static_cast<uint32_t>(item.kind));
        out += item.name;
        out += '\0';
        offset += item.bytes.size();
    }
    out.reserve(offset);
    for (const ContainerItem &item : items) out += item.bytes;
    return out;
}

bool loadContainerItem(const std::string &path, int32_t kind, ContainerItem &out) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    if (size < 0) return false;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!file.seekg(0) || !file.read(bytes.data(), size)) return false;

    std::string name = path.substr(path.find_last_of("/\\") + 1);
    size_t dot = name.rfind('.');
    if (kind == 0 && dot != std::string::npos && dot > 0) name.erase(dot);
    out.name = std::move(name);
    out.kind = kind;
    out.bytes = std::move(bytes);
    return true;
}
