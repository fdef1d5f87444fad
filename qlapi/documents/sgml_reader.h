// The SGML reader: turns an edition's text into a parse tree, and searches
// it. One edition at a time; the state is the library's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One item of the parse tree.
//  - an opening tag: left is its first content item, right the node of the
//    closing tag that closed it (null while open or when closed implicitly);
//  - a text item or a closing tag: left is the next item at the same level,
//    right is null.
struct SgmlNode {
    char *text;        // the tag from "<" to ">" upper-cased, or the decoded text
    int32_t tagIndex;  // row of the tag table, -1 for text and unknown tags
    SgmlNode *left;
    SgmlNode *right;
};

struct SgmlReader {
    SgmlNode *root = nullptr;
    SgmlNode *currentNode = nullptr;  // the next item is linked after it
    // The open elements while parsing; afterwards the results of the searches.
    std::vector<SgmlNode *> openStack;
    std::vector<SgmlNode *> undoStack;
    std::vector<SgmlNode *> reverseStack;  // for the newspaper builder's own use
};

extern SgmlReader g_reader;

// The reader's messages; parseEdition returns one of them, or null.
namespace sgml {
extern const char kRootNotFound[];
extern const char kClosingTag[];
extern const char kTagInsideTag[];
extern const char kAddToTreeFailed[];
extern const char kEntityError[];
extern const char kTagOpen[];
extern const char kRootMissing[];
extern const char kRootText[];
extern const char kRootString[];
extern const char kRootNotClosed[];
extern const char kRootClosingText[];
extern const char kRootClosingString[];
}  // namespace sgml

// The longest entity name a reference may use.
constexpr size_t kEntityNameLimit = 64;

// Finds the first "<DUZUZUVU" (any case) and builds the entity table for
// this text; gives the position, or length when there is none.
size_t locateRoot(const char *data, size_t length);

// Parses an edition into g_reader's tree. Returns null on success or one of
// the messages above. Either way the caller reads what was built and then
// calls freeSgmlTree().
const char *parseEdition(const char *data, size_t length);

// Frees the tree and empties the stacks.
void freeSgmlTree();

// Push every tag node whose text contains pattern on g_reader.openStack:
// findTags visits left, then right, then the node; findTagsBelow visits the
// node's left side, then the node. Callers pop, so they see the reverse.
void findTags(SgmlNode *node, const char *pattern);
void findTagsBelow(SgmlNode *node, const char *pattern);

inline SgmlNode *popOpenStack() {
    SgmlNode *n = g_reader.openStack.back();
    g_reader.openStack.pop_back();
    return n;
}

// The value of the attribute NAME="value" in a tag, or null. The text stays
// valid until the next call.
const char *readAttribute(const char *tagText, const char *name);

// Releases what readAttribute keeps.
void releaseAttributeReader();
