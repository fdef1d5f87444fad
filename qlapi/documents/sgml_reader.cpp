// The SGML reader: a small, strict, single-pass reader for edition texts.
#include "documents/sgml_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/library_state.h"
#include "documents/arena.h"
#include "documents/byte_scan.h"
#include "documents/edition_format.h"
#include "documents/entity_table.h"

SgmlReader g_reader;

namespace sgml {
const char kRootNotFound[] = "API: file is corrupt (<DUZUZUVU not found)\n";
const char kClosingTag[] = "API: file is corrupt (closing tag error)\n";
const char kTagInsideTag[] = "API: file is corrupt (tag inside tag error)\n";
const char kAddToTreeFailed[] = "API: AddToTree failed!\n";
const char kEntityError[] = "API: Entity error\n";
const char kTagOpen[] = "API: file is corrupt (tag open error)\n";
const char kRootMissing[] = "API: file is corrupt (sgml root error)\n";
const char kRootText[] = "API: file is corrupt (sgml root text error)\n";
const char kRootString[] = "API: file is corrupt (<DUZUZUVU string error)\n";
const char kRootNotClosed[] = "API: file is corrupt (</DUZUZUVU left ptr error)\n";
const char kRootClosingText[] = "API: file is corrupt (</DUZUZUVU left->text ptr error)\n";
const char kRootClosingString[] = "API: file is corrupt (</DUZUZUVU string error)\n";
}  // namespace sgml

namespace {

// The items, in blocks of 65536 (a megabyte), numbered from 1.
constexpr unsigned kBlockBits = 16;
constexpr NodeRef kBlockItems = NodeRef(1) << kBlockBits;
std::vector<SgmlNode *> g_blocks;
NodeRef g_nodeCount = 0;  // items made, item 0 included

char *g_text = nullptr;  // the buffer the tree's texts live in

// Decoded texts that grew beyond their source (a declared entity longer
// than its reference): rare, kept apart.
Arena g_spillArena;
std::vector<char *> g_spilled;
std::string g_spill;  // the text being spilled

char *g_attributeName = nullptr;
char *g_attributeValue = nullptr;

SgmlNode *newNode() {
    if (g_nodeCount == 0) g_nodeCount = 1;  // item 0 stands for none
    if (g_nodeCount == UINT32_MAX) return nullptr;
    if ((g_nodeCount >> kBlockBits) >= g_blocks.size()) {
        auto *block = static_cast<SgmlNode *>(guardedAlloc(sizeof(SgmlNode) * kBlockItems));
        if (!block) return nullptr;
        try {
            g_blocks.push_back(block);
        } catch (const std::bad_alloc &) {
            free(block);
            throw;
        }
    }
    return &sgmlNode(g_nodeCount++);
}

// Links a closing tag: it closes the innermost open element of its kind and,
// implicitly, every element opened inside that one. A closing tag that
// matches nothing, or only the outermost element while others are still
// open, changes nothing.
bool closeElement(NodeRef node, int32_t tagIndex) {
    SgmlReader &r = g_reader;
    r.undoStack.clear();
    r.undoStack.push_back(r.currentNode);
    if (r.openStack.empty()) return false;
    NodeRef element = popOpenStack();
    r.currentNode = element;
    r.undoStack.push_back(element);
    bool matchedFirst = sgmlNode(element).tagIndex == tagIndex;
    if (!matchedFirst) {
        while (!r.openStack.empty()) {
            element = popOpenStack();
            r.currentNode = element;
            r.undoStack.push_back(element);
            if (sgmlNode(element).tagIndex == tagIndex) break;
        }
    }
    if (!r.openStack.empty() || matchedFirst) {
        sgmlNode(element).right = node;
        r.currentNode = node;
        return true;
    }
    while (r.undoStack.size() > 1) {
        r.openStack.push_back(r.undoStack.back());
        r.undoStack.pop_back();
    }
    r.currentNode = r.undoStack.back();
    r.undoStack.pop_back();
    return true;
}

// AddToTree: links an item, whose text is already in its final form, after
// currentNode. A closing tag that closes nothing leaves no item behind.
bool addToTree(uint64_t text, int32_t tagIndex, NodeKind kind, bool cut = false) {
    SgmlNode *made = newNode();
    if (!made) return false;
    NodeRef node = g_nodeCount - 1;
    uint8_t bracket;
    if (kind == kOpeningTag || kind == kClosingTag)
        bracket = g_text[text] ? static_cast<uint8_t>(g_text[text]) : '>';
    else
        bracket = (kind == kTextItem ? g_text[text] : g_spilled[text][0]) == '<';
    *made = SgmlNode{
        0,   0,       static_cast<uint32_t>(text),   static_cast<uint8_t>((text >> 32) & 0x7F),
        cut, bracket, static_cast<int8_t>(tagIndex), kind};
    SgmlReader &r = g_reader;
    if (!r.root) {
        if (kind != kOpeningTag) return false;
        r.root = r.currentNode = node;
        r.openStack.push_back(node);
        return true;
    }
    if (kind == kClosingTag) {
        bool linked = closeElement(node, tagIndex);
        if (r.currentNode != node) --g_nodeCount;  // not linked: the item goes again
        return linked;
    }
    sgmlNode(r.currentNode).left = node;
    r.currentNode = node;
    if (kind == kOpeningTag) r.openStack.push_back(node);
    return true;
}

// A tag from "<" to ">": its row from the text as it stands, then its text
// folded (line breaks to blanks, blank runs to one) and upper-cased where it
// stands. The "<" itself may already hold the end of the text before.
bool addTag(char *open, char *close) {
    char *inner = open + 1;
    int32_t tagIndex = lookupTagIndexAfterBracket(inner, static_cast<size_t>(close - open));
    char *w = inner;
    char previous = '<';
    for (const char *r = inner; r < close; ++r) {
        char c = *r;
        if (c == '\r' || c == '\n') c = ' ';
        if (c == ' ' && previous == ' ') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        *w++ = previous = c;
    }
    *w = '\0';
    bool cut = memchr(inner, 0, static_cast<size_t>(w - inner)) != nullptr;
    return addToTree(static_cast<uint64_t>(inner - g_text), tagIndex,
                     inner[0] == '/' ? kClosingTag : kOpeningTag, cut);
}

// Where a text run's decoded bytes go: over the run itself, behind the
// reading, or (once a replacement outgrows its reference) into g_spill.
class RunOutput {
  public:
    RunOutput(char *start, char *at) : start_(start), w_(at), previous_(at > start ? at[-1] : 0) {}
    // One decoded byte; next is the first byte not read yet.
    void put(char c, const char *next) {
        if (c == '\r' || c == '\n') c = ' ';
        if (c == ' ' && previous_ == ' ') return;
        previous_ = c;
        if (!spilled_ && w_ < next) {
            *w_++ = c;
            return;
        }
        if (!spilled_) {
            g_spill.assign(start_, w_);
            spilled_ = true;
        }
        g_spill += c;
    }
    // Bytes that need no rewriting (as unchangedRunLength finds them), read
    // from the run itself: only the first may fold into a blank before it.
    void putUnchanged(const char *p, size_t n) {
        put(p[0], p + 1);
        if (n == 1) return;
        if (spilled_)
            g_spill.append(p + 1, n - 1);
        else if (w_ != p + 1)
            memmove(w_, p + 1, n - 1);
        if (!spilled_) w_ += n - 1;
        previous_ = p[n - 1];
    }
    bool spilled() const { return spilled_; }
    char *end() const { return w_; }

  private:
    char *start_, *w_;
    char previous_;
    bool spilled_ = false;
};

// A text run between two tags: trimmed, dropped when blank, its entity
// references decoded and its blanks folded, all where it stands.
const char *finishTextRun(char *p, char *end) {
    while (p < end && *p == ' ') ++p;
    while (end > p && end[-1] == ' ') --end;
    const char *visible = p;
    while (visible < end && !(static_cast<unsigned char>(*visible) >= 0x21 &&
                              static_cast<unsigned char>(*visible) <= 0x7F))
        ++visible;
    if (visible == end) return nullptr;

    // Most runs need no rewriting at all.
    char *r = p + unchangedRunLength(p, static_cast<size_t>(end - p));
    RunOutput out(p, r);
    while (r < end) {
        char c = *r;
        if (c != '&') {
            out.put(c, ++r);
            if (size_t n = unchangedRunLength(r, static_cast<size_t>(end - r))) {
                out.putUnchanged(r, n);
                r += n;
            }
            continue;
        }
        size_t rest = static_cast<size_t>(end - r - 1);
        const char *semi =
            static_cast<const char *>(memchr(r + 1, ';', std::min(rest, kEntityNameLimit + 1)));
        if (!semi && rest > kEntityNameLimit) return sgml::kEntityError;
        const std::string *value;
        if (semi) {
            value = &lookupEntity(r + 1, static_cast<size_t>(semi - r - 1));
            r = const_cast<char *>(semi) + 1;
        } else {
            if (rest == 0) break;  // an "&" at the very end
            value = &lookupEntity("", 0);
            r += 2;  // the byte after the "&" goes with it
        }
        for (char v : *value) out.put(v, r);
        if (size_t n = unchangedRunLength(r, static_cast<size_t>(end - r))) {
            out.putUnchanged(r, n);
            r += n;
        }
    }
    if (!out.spilled()) {
        *out.end() = '\0';
        return addToTree(static_cast<uint64_t>(p - g_text), -1, kTextItem) ? nullptr
                                                                           : sgml::kAddToTreeFailed;
    }
    char *kept = static_cast<char *>(g_spillArena.allocate(g_spill.size() + 1));
    if (!kept) return sgml::kAddToTreeFailed;
    memcpy(kept, g_spill.c_str(), g_spill.size() + 1);
    g_spilled.push_back(kept);
    return addToTree(g_spilled.size() - 1, -1, kSpilledText) ? nullptr : sgml::kAddToTreeFailed;
}

const char *scan(char *data, size_t length, size_t root) {
    char *const end = data + length;
    char *p = data + root;  // the text run since the last tag begins here
    for (;;) {
        char *open = findMarkup(p, end);
        if (open == end) return nullptr;  // a text run after the last tag is dropped
        if (*open == '>') return sgml::kClosingTag;
        if (open > p)
            if (const char *message = finishTextRun(p, open)) return message;
        char *close = findMarkup(open + 1, end);
        if (close == end) return sgml::kTagOpen;
        if (*close == '<') return sgml::kTagInsideTag;
        if (!addTag(open, close)) return sgml::kAddToTreeFailed;
        p = close + 1;
    }
}

const char *checkRoot() {
    NodeRef root = g_reader.root;
    if (!root) return sgml::kRootMissing;
    if (!nodeMatches(root, "<DUZUZUVU")) return sgml::kRootString;
    NodeRef closing = rightOf(root);
    if (!closing) return sgml::kRootNotClosed;
    if (!nodeMatches(closing, "</DUZUZUVU")) return sgml::kRootClosingString;
    return nullptr;
}

// A search pattern, taken apart once for the many tags it is tried on. A
// tag's text has its "<" first and its ">" last and neither anywhere else,
// so a pattern "<name" matches a tag whose text after "<" begins with name,
// and "<name>" one whose text is exactly name.
struct Pattern {
    const char *text;
    const char *name = nullptr;  // null: the pattern can match no tag this way
    size_t nameLength = 0;
    bool exact = false;
    explicit Pattern(const char *pattern) : text(pattern) {
        if (pattern[0] != '<') return;
        const char *n = pattern + 1;
        const char *bad = strpbrk(n, "<>");
        if (bad && (*bad == '<' || bad[1] != '\0')) return;
        name = n;
        nameLength = bad ? static_cast<size_t>(bad - n) : strlen(n);
        exact = bad != nullptr;
    }
    bool matches(NodeRef ref) const {
        const SgmlNode &n = sgmlNode(ref);
        if (!n.bracket) return false;
        bool tag = n.kind == kOpeningTag || n.kind == kClosingTag;
        if (tag && name && nameLength && n.bracket != static_cast<unsigned char>(name[0]))
            return false;
        const char *t = nodeText(ref);
        if (!tag) return strstr(t, text) != nullptr;
        if (text[0] != '<') return strstr(fullNodeText(ref).c_str(), text) != nullptr;
        if (!name) return false;
        // Names are a few letters: a plain loop beats a call.
        for (size_t k = 0; k < nameLength; ++k)
            if (t[k] != name[k]) return false;
        return !exact || (t[nameLength] == '\0' && !n.cut);
    }
};

}  // namespace

SgmlNode &sgmlNode(NodeRef ref) { return g_blocks[ref >> kBlockBits][ref & (kBlockItems - 1)]; }

const char *nodeText(NodeRef ref) {
    const SgmlNode &n = sgmlNode(ref);
    if (n.kind == kSpilledText) return g_spilled[n.textLow];
    return g_text + (uint64_t{n.textHigh} << 32 | n.textLow);
}

std::string fullNodeText(NodeRef ref) {
    if (!isTag(ref)) return nodeText(ref);
    return std::string("<") + nodeText(ref) + (sgmlNode(ref).cut ? "" : ">");
}

char *copyNodeText(NodeRef ref, size_t limit, void *(*allocate)(size_t)) {
    const char *text = nodeText(ref);
    size_t n = strlen(text);
    size_t brackets = isTag(ref) ? 2 - sgmlNode(ref).cut : 0;
    size_t length = std::min(n + brackets, limit);
    char *copy = static_cast<char *>(allocate(length + 1));
    if (!copy) return nullptr;
    if (brackets) {
        std::string full = fullNodeText(ref);
        memcpy(copy, full.data(), length);
    } else {
        memcpy(copy, text, length);
    }
    copy[length] = '\0';
    return copy;
}

bool nodeMatches(NodeRef ref, const char *pattern) { return Pattern(pattern).matches(ref); }

size_t locateRoot(const char *data, size_t length) {
    size_t root = findRootTag(data, length);
    if (root < length) {
        resetEntityTable();
        readEntityDeclarations(data, root);
    }
    return root;
}

const char *parseEdition(char *text, size_t length) {
    // Whatever an earlier parse left, also one cut short by memory running
    // out, goes first: the root and the items must be this text's own.
    freeSgmlTree();
    g_text = text;
    try {
        size_t root = locateRoot(text, length);
        if (root == length) return sgml::kRootNotFound;
        if (const char *message = scan(text, length, root)) return message;
        return checkRoot();
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
        return sgml::kAddToTreeFailed;
    }
}

void freeSgmlTree() {
    for (SgmlNode *block : g_blocks) free(block);
    g_blocks.clear();
    g_blocks.shrink_to_fit();
    g_nodeCount = 0;
    g_text = nullptr;
    g_spillArena.release();
    g_spilled.clear();
    std::string().swap(g_spill);
    g_reader.root = g_reader.currentNode = 0;
    // The stacks of a huge edition are not kept for the next one.
    std::vector<NodeRef>().swap(g_reader.openStack);
    std::vector<NodeRef>().swap(g_reader.undoStack);
    std::vector<NodeRef>().swap(g_reader.reverseStack);
}

namespace {

// Visits left, then right, then the item itself, with a stack of its own:
// a content chain can be millions of items long.
template <typename Visit>
void visitTree(NodeRef node, Visit visit) {
    std::vector<NodeRef> path;
    NodeRef last = 0;
    try {
        while (node || !path.empty()) {
            if (node) {
                path.push_back(node);
                node = sgmlNode(node).left;
                continue;
            }
            NodeRef top = path.back();
            NodeRef right = sgmlNode(top).right;
            if (right && last != right) {
                node = right;
            } else {
                visit(top);
                last = top;
                path.pop_back();
            }
        }
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
}

}  // namespace

void findTags(NodeRef node, const char *pattern) {
    Pattern wanted(pattern);
    visitTree(node, [&wanted](NodeRef n) {
        if (wanted.matches(n)) g_reader.openStack.push_back(n);
    });
}

void countTags(NodeRef node, const char *const patterns[], size_t count, size_t counts[],
               NodeRef found[]) {
    std::vector<Pattern> wanted(patterns, patterns + count);
    std::fill(counts, counts + count, 0);
    visitTree(node, [&](NodeRef n) {
        if (!sgmlNode(n).bracket) return;
        for (size_t i = 0; i < count; ++i)
            if (wanted[i].matches(n)) ++counts[i], found[i] = n;
    });
}

void findTagsBelow(NodeRef node, const char *pattern) {
    if (!node) return;
    findTags(sgmlNode(node).left, pattern);
    if (nodeMatches(node, pattern)) g_reader.openStack.push_back(node);
}

static char *duplicate(const char *p, size_t n) {
    char *copy = static_cast<char *>(guardedAlloc(n + 1));
    if (copy) {
        memcpy(copy, p, n);
        copy[n] = '\0';
    }
    return copy;
}

const char *readAttribute(const char *tagText, const char *name) {
    releaseAttributeReader();
    const char *p = strchr(tagText, ' ');
    if (!p) return nullptr;
    size_t wanted = strlen(name);
    for (;;) {
        while (*p == ' ') ++p;
        const char *nameStart = p;
        while (*p && *p != '=' && *p != ' ') ++p;
        if (!*p) return nullptr;
        size_t nameLength = static_cast<size_t>(p - nameStart);
        const char *open = strchr(p + 1, '"');
        if (!open) return nullptr;
        const char *close = strchr(open + 1, '"');
        if (!close) return nullptr;
        if (nameLength == wanted && memcmp(nameStart, name, wanted) == 0) {
            g_attributeName = duplicate(nameStart, nameLength);
            g_attributeValue = duplicate(open + 1, static_cast<size_t>(close - open - 1));
            return g_attributeValue;
        }
        p = close + 1;
    }
}

void releaseAttributeReader() {
    free(g_attributeName);
    free(g_attributeValue);
    g_attributeName = nullptr;
    g_attributeValue = nullptr;
}
