// libFuzzer target: the one-time normalisation of an edition file's bytes,
// plain or compressed, as the store meets them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "documents/edition_format.h"
#include "documents/sgml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    EditionText text;
    const char *bytes = reinterpret_cast<const char *>(data);
    if (isCompressed(data, size)) {
        if (!expandEdition(data, size, size * kExpansionLimit, text)) return 0;
    } else {
        text.data = static_cast<char *>(malloc(size + 1));
        if (!text.data) return 0;
        memcpy(text.data, bytes, size);
        text.length = size;
    }
    EditionText stored;
    if (normaliseEditionText(text.data, text.length, stored)) {
        // Over the text's own block, with a little or no room before it,
        // the same text comes out.
        for (size_t front : {size_t(0), size_t(3)}) {
            EditionText block, over;
            block.data = static_cast<char *>(malloc(front + text.length + 1));
            if (!block.data) return 0;
            memcpy(block.data + front, text.data, text.length);
            block.length = front + text.length;
            if (!normaliseEditionInPlace(block, front, over) || over.length != stored.length ||
                memcmp(over.data, stored.data, stored.length) != 0)
                abort();
        }
        // What normalisation stores must itself read and normalise cleanly.
        EditionText again;
        normaliseEditionText(stored.data, stored.length, again);
        parseEdition(stored.data, stored.length);
        freeSgmlTree();
    }
    return 0;
}
