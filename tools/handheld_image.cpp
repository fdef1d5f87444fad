// Writes one device image of the handheld reader, for the build to carry.
//
//   make_handheld_image a|b OUTPUT
#include <cstdio>
#include <cstring>

#include "handheld_image.h"

int main(int argc, char **argv) {
    if (argc != 3 || (strcmp(argv[1], "a") != 0 && strcmp(argv[1], "b") != 0)) {
        fprintf(stderr, "usage: make_handheld_image a|b OUTPUT\n");
        return 2;
    }
    std::vector<uint8_t> image =
        buildHandheldImage(argv[1][0] == 'a' ? HandheldImage::A : HandheldImage::B);
    FILE *out = fopen(argv[2], "wb");
    bool written = out && fwrite(image.data(), 1, image.size(), out) == image.size();
    if (out && fclose(out) != 0) written = false;
    if (!written) {
        fprintf(stderr, "make_handheld_image: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
