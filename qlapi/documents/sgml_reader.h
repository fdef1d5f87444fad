// The SGML reader: turns an edition's text into a parse tree, and searches
// it. One edition at a time; the state is the library's own.
//
// The reader works in the edition's own buffer: every text of the tree is
// rewritten where it stands (line breaks folded, references decoded, tags
// upper-cased) and ended with a zero byte, so the tree holds no copies and
// the buffer must outlive it. Items are small records numbered in reading
// order, kept in blocks that go all at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An item's number; 0 is none.
using NodeRef = uint32_t;

enum NodeKind : uint8_t {
    kTextItem,     // decoded text, in the buffer
    kOpeningTag,   // a tag's text between "<" and ">", in the buffer
    kClosingTag,   // the same, beginning with "/"
    kSpilledText,  // decoded text longer than its source, kept beside the buffer
};

// One item of the parse tree.
//  - an opening tag: left is its first content item, right the item of the
//    closing tag that closed it (0 while open or when closed implicitly);
//  - a text item or a closing tag: left is the next item at the same level,
//    right is 0.
struct SgmlNode {
    NodeRef left;
    NodeRef right;
    uint32_t textLow;      // where the text starts in the buffer (low and
    uint8_t textHigh : 7;  // high part), or which spilled text it is
    // A tag whose text holds a zero byte ends there, without its ">".
    uint8_t cut : 1;
    // Whether the text as written begins with "<", which is all a search
    // looks at first: 0 for most text items, 1 for the rare one decoded
    // from a reference to "<"; for a tag the byte after its "<" (never 0),
    // so that a search passes over tags of other names without reading
    // their texts.
    uint8_t bracket;
    int8_t tagIndex;  // row of the tag table, -1 for text and unknown tags
    NodeKind kind;
};
static_assert(sizeof(SgmlNode) == 16, "an item is sixteen bytes");

struct SgmlReader {
    NodeRef root = 0;
    NodeRef currentNode = 0;  // the next item is linked after it
    // The open elements while parsing; afterwards the results of the searches.
    std::vector<NodeRef> openStack;
    std::vector<NodeRef> undoStack;
    std::vector<NodeRef> reverseStack;  // for the newspaper builder's own use
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

// Parses an edition into g_reader's tree, rewriting the text in place.
// Returns null on success or one of the messages above. Either way the
// caller reads what was built and then calls freeSgmlTree(), before the
// text goes.
const char *parseEdition(char *text, size_t length);

// Frees the tree and empties the stacks.
void freeSgmlTree();

// An item of the tree.
SgmlNode &sgmlNode(NodeRef ref);
inline NodeRef leftOf(NodeRef ref) { return ref ? sgmlNode(ref).left : 0; }
inline NodeRef rightOf(NodeRef ref) { return ref ? sgmlNode(ref).right : 0; }
inline bool isTag(NodeRef ref) {
    NodeKind k = sgmlNode(ref).kind;
    return k == kOpeningTag || k == kClosingTag;
}

// An item's text as the tree keeps it: a text item's whole text, a tag's
// text between its "<" and ">" (or its end, when it is cut).
const char *nodeText(NodeRef ref);

// An item's text as the edition wrote it (a tag with "<" and ">"), cut to
// limit characters, in memory from allocate; null when that gives none.
char *copyNodeText(NodeRef ref, size_t limit, void *(*allocate)(size_t));
std::string fullNodeText(NodeRef ref);

// Whether the item's text as the edition wrote it begins with "<" and
// contains pattern: the test of the searches.
bool nodeMatches(NodeRef ref, const char *pattern);

// Push every item whose text begins with "<" and contains pattern on
// g_reader.openStack: findTags visits left, then right, then the item;
// findTagsBelow visits the item's left side, then the item. Callers pop,
// so they see the reverse.
void findTags(NodeRef node, const char *pattern);
void findTagsBelow(NodeRef node, const char *pattern);

// Several searches in one walk: for each pattern, how many items
// findTags(node, pattern) would push, and the last of them in visiting
// order. The stack is left as it is.
void countTags(NodeRef node, const char *const patterns[], size_t count, size_t counts[],
               NodeRef found[]);

inline NodeRef popOpenStack() {
    NodeRef n = g_reader.openStack.back();
    g_reader.openStack.pop_back();
    return n;
}

// The value of the attribute NAME="value" in a tag's text (with or without
// its "<" and ">"), or null. The text stays valid until the next call.
const char *readAttribute(const char *tagText, const char *name);

// Releases what readAttribute keeps.
void releaseAttributeReader();
