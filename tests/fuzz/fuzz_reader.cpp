// libFuzzer target: the reader as the newspaper builder drives it: load
// (expanding a stream), parse, search the tree, read attributes, free. The
// tree and the message must be the plain model's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "reference_reader.h"

static void drain() {
    while (!g_reader.openStack.empty()) {
        NodeRef node = popOpenStack();
        readAttribute(nodeText(node), "LANGUAGE");
        readAttribute(nodeText(node), "YEAR");
        if (leftOf(node)) (void)strlen(nodeText(leftOf(node)));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The reader rewrites the text where it stands: it gets a copy.
    std::string text(reinterpret_cast<const char *>(data), size);
    if (isCompressed(data, size)) {
        EditionText expanded;
        if (!expandEdition(data, size, size * kExpansionLimit, expanded)) return 0;
        text.assign(expanded.data, expanded.length);
    }
    std::string modelMessage;
    std::string modelTree = reference::dumpTree(text, modelMessage);
    const char *message = parseEdition(&text[0], text.size());
    if (modelMessage != (message ? message : "") ||
        modelTree != reference::dumpLibraryTree(g_reader.root))
        abort();
    g_reader.openStack.clear();
    if (!message) {
        findTags(g_reader.root, "<DUZUZUVU");
        drain();
        findTags(g_reader.root, "<GROUP");
        while (!g_reader.openStack.empty()) {
            NodeRef group = popOpenStack();
            size_t mark = g_reader.openStack.size();
            findTagsBelow(group, "<ATL");
            while (g_reader.openStack.size() > mark) {
                NodeRef atl = popOpenStack();
                size_t f = g_reader.openStack.size();
                findTagsBelow(rightOf(atl), "<P>");
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
