// Packs edition files, and perhaps an update program, into a container as
// the subscription server hands it out.
//
//   pack_container OUTPUT [--update FILE] EDITION...
#include <cstdio>
#include <string>
#include <vector>

#include "container_writer.h"

namespace {

int usage() {
    fprintf(stderr, "usage: pack_container OUTPUT [--update FILE] EDITION...\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    const char *output = nullptr;
    const char *update = nullptr;
    std::vector<const char *> editions;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--update" && i + 1 < argc && !update)
            update = argv[++i];
        else if (a.empty() || a[0] == '-')
            return usage();
        else if (!output)
            output = argv[i];
        else
            editions.push_back(argv[i]);
    }
    if (!output || (editions.empty() && !update)) return usage();

    // The update program goes last, as the server packs it.
    std::vector<ContainerItem> items;
    auto add = [&items](const char *path, int32_t kind) {
        items.emplace_back();
        if (loadContainerItem(path, kind, items.back())) return true;
        fprintf(stderr, "pack_container: cannot read %s\n", path);
        return false;
    };
    for (const char *path : editions)
        if (!add(path, 0)) return 1;
    if (update && !add(update, 1)) return 1;
    std::string container = packContainer(items);
    FILE *file = fopen(output, "wb");
    if (!file || fwrite(container.data(), 1, container.size(), file) != container.size() ||
        fclose(file) != 0) {
        fprintf(stderr, "pack_container: cannot write %s\n", output);
        return 1;
    }
    printf("%s: %zu items, %zu bytes\n", output, items.size(), container.size());
    return 0;
}
