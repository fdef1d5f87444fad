// The SGML reader: a small, strict, single-pass reader for edition texts.
#include "documents/sgml_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "documents/arena.h"
#include "documents/edition_format.h"
#include "documents/entity_table.h"
#include "frame/library_state.h"

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

// Nodes and their texts go all at once with the tree.
Arena g_arena;
std::string g_decoded;  // reused for every text run

char *g_attributeName = nullptr;
char *g_attributeValue = nullptr;

bool isOpeningTag(const char *text) { return text[0] == '<' && text[1] != '/'; }

// Links a closing tag: it closes the innermost open element of its kind and,
// implicitly, every element opened inside that one. A closing tag that
// matches nothing, or only the outermost element while others are still
// open, changes nothing.
bool closeElement(SgmlNode *node) {
    SgmlReader &r = g_reader;
    r.undoStack.clear();
    r.undoStack.push_back(r.currentNode);
    if (r.openStack.empty()) return false;
    SgmlNode *element = popOpenStack();
    r.currentNode = element;
    r.undoStack.push_back(element);
    bool matchedFirst = element->tagIndex == node->tagIndex;
    if (!matchedFirst) {
        while (!r.openStack.empty()) {
            element = popOpenStack();
            r.currentNode = element;
            r.undoStack.push_back(element);
            if (element->tagIndex == node->tagIndex) break;
        }
    }
    if (!r.openStack.empty() || matchedFirst) {
        element->right = node;
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

// AddToTree: normalises the item's text and links it after currentNode.
bool addToTree(const char *text, size_t length, int32_t tagIndex, bool isTag) {
    SgmlNode *node = static_cast<SgmlNode *>(g_arena.allocate(sizeof(SgmlNode)));
    char *out = node ? static_cast<char *>(g_arena.allocate(length + 1)) : nullptr;
    if (!out) return false;
    // Line breaks become blanks and runs of blanks one blank.
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') c = ' ';
        if (c == ' ' && n > 0 && out[n - 1] == ' ') continue;
        out[n++] = c;
    }
    out[n] = '\0';
    if (isTag)
        for (size_t i = 0; i < n; ++i)
            if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
    *node = SgmlNode{out, tagIndex, nullptr, nullptr};

    SgmlReader &r = g_reader;
    bool opening = isTag && isOpeningTag(out);
    if (!r.root) {
        if (!opening) return false;
        r.root = r.currentNode = node;
        r.openStack.push_back(node);
        return true;
    }
    if (isTag && !opening) return closeElement(node);
    r.currentNode->left = node;
    r.currentNode = node;
    if (opening) r.openStack.push_back(node);
    return true;
}

// A text run between two tags: trimmed, dropped when blank, its entity
// references decoded.
const char *finishTextRun(const char *p, size_t n) {
    while (n && *p == ' ') ++p, --n;
    while (n && p[n - 1] == ' ') --n;
    bool blank = true;
    for (size_t i = 0; i < n && blank; ++i)
        blank =
            !(static_cast<unsigned char>(p[i]) >= 0x21 && static_cast<unsigned char>(p[i]) <= 0x7F);
    if (blank) return nullptr;

    std::string &out = g_decoded;
    out.clear();
    for (size_t k = 0; k < n;) {
        const char *amp = static_cast<const char *>(memchr(p + k, '&', n - k));
        if (!amp) {
            out.append(p + k, n - k);
            break;
        }
        size_t at = static_cast<size_t>(amp - p);
        out.append(p + k, at - k);
        const char *semi = static_cast<const char *>(memchr(p + at + 1, ';', n - at - 1));
        size_t nameEnd = semi ? static_cast<size_t>(semi - p) : n;
        if (nameEnd - at - 1 > kEntityNameLimit) return sgml::kEntityError;
        if (semi) {
            out += lookupEntity(std::string(p + at + 1, nameEnd - at - 1));
            k = nameEnd + 1;
        } else {
            if (at + 1 >= n) break;  // an "&" at the very end
            out += lookupEntity(std::string());
            k = at + 2;  // the byte after the "&" goes with it
        }
    }
    return addToTree(out.data(), out.size(), -1, false) ? nullptr : sgml::kAddToTreeFailed;
}

const char *scan(const char *data, size_t length, size_t root) {
    size_t runStart = root;  // first byte after the last tag
    size_t tagStart = 0;
    bool inTag = false;
    for (size_t i = root; i < length; ++i) {
        char c = data[i];
        if (c != '<' && c != '>') continue;
        if (c == '>') {
            if (!inTag) return sgml::kClosingTag;
            size_t len = i - tagStart + 1;
            if (!addToTree(data + tagStart, len, lookupTagIndex(data + tagStart, len), true))
                return sgml::kAddToTreeFailed;
            inTag = false;
            runStart = i + 1;
        } else {
            if (inTag) return sgml::kTagInsideTag;
            if (i > runStart)
                if (const char *message = finishTextRun(data + runStart, i - runStart))
                    return message;
            inTag = true;
            tagStart = i;
        }
    }
    if (inTag) return sgml::kTagOpen;
    return nullptr;  // a text run after the last tag is dropped
}

const char *checkRoot() {
    const SgmlNode *root = g_reader.root;
    if (!root) return sgml::kRootMissing;
    if (!root->text) return sgml::kRootText;
    if (!strstr(root->text, "<DUZUZUVU")) return sgml::kRootString;
    if (!root->right) return sgml::kRootNotClosed;
    if (!root->right->text) return sgml::kRootClosingText;
    if (!strstr(root->right->text, "</DUZUZUVU")) return sgml::kRootClosingString;
    return nullptr;
}

bool matches(const SgmlNode *node, const char *pattern) {
    return node->text && node->text[0] == '<' && strstr(node->text, pattern);
}

}  // namespace

size_t locateRoot(const char *data, size_t length) {
    size_t root = findRootTag(data, length);
    if (root < length) {
        resetEntityTable();
        readEntityDeclarations(data, root);
    }
    return root;
}

const char *parseEdition(const char *data, size_t length) {
    g_reader.openStack.clear();
    try {
        size_t root = locateRoot(data, length);
        if (root == length) return sgml::kRootNotFound;
        if (const char *message = scan(data, length, root)) return message;
        return checkRoot();
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
        return sgml::kAddToTreeFailed;
    }
}

void freeSgmlTree() {
    g_arena.release();
    g_reader.root = g_reader.currentNode = nullptr;
    g_reader.openStack.clear();
    g_reader.undoStack.clear();
    g_reader.reverseStack.clear();
    // A huge edition's text buffer is not kept for the next one.
    std::string().swap(g_decoded);
}

// Visits left, then right, then the node itself, with a stack of its own:
// a content chain can be millions of items long.
void findTags(SgmlNode *node, const char *pattern) {
    std::vector<SgmlNode *> path;
    SgmlNode *last = nullptr;
    try {
        while (node || !path.empty()) {
            if (node) {
                path.push_back(node);
                node = node->left;
                continue;
            }
            SgmlNode *top = path.back();
            if (top->right && last != top->right) {
                node = top->right;
            } else {
                if (matches(top, pattern)) g_reader.openStack.push_back(top);
                last = top;
                path.pop_back();
            }
        }
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
}

void findTagsBelow(SgmlNode *node, const char *pattern) {
    if (!node) return;
    findTags(node->left, pattern);
    if (matches(node, pattern)) g_reader.openStack.push_back(node);
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
