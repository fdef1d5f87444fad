// Everything the subscription server sends that the library reads: the
// query reply as text and the data file as a container.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "download/container.h"
#include "download/server_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    parseServerReply(text.c_str());
    ServerAddress address;
    splitServerUrl(text.c_str(), address);

    std::vector<ContainerEntry> entries;
    std::string why;
    if (readContainer(data, size, entries, why)) {
        for (const ContainerEntry &e : entries) {
            // Every accepted entry lies inside the input and is plainly named.
            if (e.data < data || e.data + e.size > data + size || !isPlainFileName(e.name))
                __builtin_trap();
        }
    }
    return 0;
}
