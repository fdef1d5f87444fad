// libFuzzer target: the reader as the newspaper builder drives it: load
// (expanding a stream), parse, search the tree, read attributes, free.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "documents/edition_format.h"
#include "documents/sgml_reader.h"

static void drain() {
    while (!g_reader.openStack.empty()) {
        SgmlNode *node = popOpenStack();
        readAttribute(node->text, "LANGUAGE");
        readAttribute(node->text, "YEAR");
        if (node->left && node->left->text) (void)strlen(node->left->text);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    EditionText expanded;
    const char *text = reinterpret_cast<const char *>(data);
    size_t length = size;
    if (isCompressed(data, size)) {
        if (!expandEdition(data, size, size * kExpansionLimit, expanded)) return 0;
        text = expanded.data;
        length = expanded.length;
    }
    const char *message = parseEdition(text, length);
    g_reader.openStack.clear();
    if (!message) {
        findTags(g_reader.root, "<DUZUZUVU");
        drain();
        findTags(g_reader.root, "<GROUP");
        while (!g_reader.openStack.empty()) {
            SgmlNode *group = popOpenStack();
            size_t mark = g_reader.openStack.size();
            findTagsBelow(group, "<ATL");
            while (g_reader.openStack.size() > mark) {
                SgmlNode *atl = popOpenStack();
                size_t f = g_reader.openStack.size();
                findTagsBelow(atl->right, "<P>");
                while (g_reader.openStack.size() > f) {
                    g_reader.reverseStack.push_back(popOpenStack());
                }
                g_reader.reverseStack.clear();
            }
        }
    }
    freeSgmlTree();
    releaseAttributeReader();
    return 0;
}
