#include "download/container.h"

#include <cstdio>
#include <cstring>

#include "core/text_util.h"
#include "platform/platform.h"

static uint32_t readLe32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool isPlainFileName(const std::string &name) {
    if (name.empty() || name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || strchr("<>:\"/\\|?*", c)) return false;
    // Windows opens a device for these, whatever extension follows.
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char *device : kDevices)
        if (compareNoCase(stem.c_str(), device) == 0) return false;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
        (compareNoCase(stem.substr(0, 3).c_str(), "COM") == 0 ||
         compareNoCase(stem.substr(0, 3).c_str(), "LPT") == 0))
        return false;
    return true;
}

bool readContainer(const unsigned char *body, size_t size, std::vector<ContainerEntry> &entries,
                   std::string &why) {
    entries.clear();
    if (size < 4) {
        why = "the container is shorter than its entry count";
        return false;
    }
    int32_t count = static_cast<int32_t>(readLe32(body));
    size_t at = 4;
    for (int32_t i = 0; i < count; ++i) {
        std::string entry = "entry " + std::to_string(i + 1);
        if (size - at < 13) {
            why = entry + " lies past the end of the container";
            return false;
        }
        uint64_t offset = readLe32(body + at);
        uint64_t length = readLe32(body + at + 4);
        ContainerEntry e;
        e.kind = static_cast<int32_t>(readLe32(body + at + 8));
        const unsigned char *name = body + at + 12;
        const void *end = memchr(name, '\0', size - at - 12);
        if (!end) {
            why = entry + " has a name without an end";
            return false;
        }
        e.name.assign(reinterpret_cast<const char *>(name),
                      static_cast<const unsigned char *>(end) - name);
        if (!isPlainFileName(e.name)) {
            why = entry + " is not named as a plain file";
            return false;
        }
        if (offset > size || length > size - offset) {
            why = entry + " has data outside the container";
            return false;
        }
        e.data = body + offset;
        e.size = static_cast<size_t>(length);
        entries.push_back(std::move(e));
        at = static_cast<const unsigned char *>(end) - body + 1;
    }
    return true;
}

bool writeFileInPlace(const std::string &path, const unsigned char *data, size_t size) {
    return platform::writeFileReplacing(path.c_str(), (path + ".part").c_str(), data, size);
}
