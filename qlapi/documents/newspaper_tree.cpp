// Building the newspaper tree of an edition from its parse tree.
#include "documents/newspaper_tree.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/text_util.h"
#include "documents/arena.h"
#include "documents/edition_format.h"
#include "documents/sgml_reader.h"

const char kNoTitle[] = "kein Titel";

namespace {

// The one open tree: its memory, and its resorts and articles by item
// number, so that attaching and finding take constant time instead of a
// walk over the whole tree.
struct OpenTree {
    Arena arena;
    // The edition's text: the paragraphs (and most titles) are read where
    // the reader left them in it.
    EditionText text;
    EditionEntry *entry = nullptr;  // whose tree this is
    struct Item {
        ResortNode *resort = nullptr;
        ArticleNode *article = nullptr;
    };
    std::vector<Item> items;           // by item number
    ResortNode *lastResort = nullptr;  // where the next resort is appended
};
OpenTree g_open;

// The next item number of the open edition, indexed.
ItemId number(EditionEntry *entry, const OpenTree::Item &item) {
    if ((entry->itemCounter & kItemMask) == kItemMask) return -1;  // 16 million items
    entry->itemCounter += 1;
    if (g_open.items.size() <= static_cast<size_t>(entry->itemCounter))
        g_open.items.resize(static_cast<size_t>(entry->itemCounter) + 1);
    g_open.items[static_cast<size_t>(entry->itemCounter)] = item;
    return (entry->info.id & kEditionMask) | entry->itemCounter;
}

OpenTree::Item *itemOf(ItemId id) {
    if (!g_open.entry || (g_open.entry->info.id & kEditionMask) != (id & kEditionMask))
        return nullptr;
    size_t n = static_cast<size_t>(id & kItemMask);
    return n < g_open.items.size() ? &g_open.items[n] : nullptr;
}

}  // namespace

void *treeAlloc(size_t bytes) { return g_open.arena.allocate(bytes); }

char *treeCopy(const char *text, size_t limit) { return copyText(text, limit, treeAlloc); }

ItemId attachResort(ItemId editionId, ResortNode *resort) {
    EditionEntry *entry = g_open.entry;
    if (!entry || (entry->info.id & kEditionMask) != (editionId & kEditionMask)) return -1;
    ItemId id = number(entry, {resort, nullptr});
    if (id < 0) return -1;
    resort->info.id = id;
    if (g_open.lastResort)
        g_open.lastResort->next = resort;
    else
        entry->tree = resort;
    g_open.lastResort = resort;
    return id;
}

ItemId attachArticle(ItemId resortId, ArticleNode *article) {
    ResortNode *resort = findResort(resortId);
    if (!resort) return -1;
    ItemId id = number(g_open.entry, {nullptr, article});
    if (id < 0) return -1;
    article->info.id = id;
    resort->info.hasArticles = 1;
    article->next = resort->articles;
    resort->articles = article;
    return id;
}

bool attachParagraph(ItemId articleId, ParagraphNode *paragraph) {
    ArticleNode *article = findArticle(articleId);
    if (!article) return false;
    paragraph->next = article->paragraphs;
    article->paragraphs = paragraph;
    return true;
}

void indexItem(ItemId id, ResortNode *resort, ArticleNode *article) {
    size_t n = static_cast<size_t>(id & kItemMask);
    if (g_open.items.size() <= n) g_open.items.resize(n + 1);
    g_open.items[n] = {resort, article};
}

ResortNode *findResort(ItemId id) {
    OpenTree::Item *item = itemOf(id);
    return item ? item->resort : nullptr;
}

ArticleNode *findArticle(ItemId id) {
    OpenTree::Item *item = itemOf(id);
    return item ? item->article : nullptr;
}

void freeNewspaperTree(ResortNode *) {
    g_open.arena.release();
    recycleEditionText(g_open.text);
    g_open.items.clear();
    g_open.entry = nullptr;
    g_open.lastResort = nullptr;
}

void closeOpenTree() {
    freeSgmlTree();
    freeNewspaperTree(nullptr);
}

namespace {

// A new node from the tree's memory, zeroed.
template <typename T>
T *newNode() {
    T *node = static_cast<T *>(treeAlloc(sizeof(T)));
    if (node) memset(node, 0, sizeof(T));
    return node;
}

// An item's text for the tree, cut to limit: where the reader left it when
// that is in the edition's text and needs no cut, else a copy.
char *treeText(NodeRef ref, size_t limit = SIZE_MAX) {
    if (sgmlNode(ref).kind == kTextItem) {
        const char *text = nodeText(ref);
        if (limit == SIZE_MAX || strnlen(text, limit + 1) <= limit) return const_cast<char *>(text);
    }
    return copyNodeText(ref, limit, treeAlloc);
}

// The paragraphs that follow an article's headline, in document order.
bool buildParagraphs(NodeRef atl, ItemId articleId) {
    size_t f = g_reader.openStack.size();
    if (rightOf(atl)) findTagsBelow(rightOf(atl), "<P>");
    while (g_reader.openStack.size() > f) g_reader.reverseStack.push_back(popOpenStack());
    while (!g_reader.reverseStack.empty()) {
        NodeRef p = g_reader.reverseStack.back();
        g_reader.reverseStack.pop_back();
        NodeRef text = leftOf(p);
        if (!text || sgmlNode(text).tagIndex != -1) continue;
        ParagraphNode *paragraph = newNode<ParagraphNode>();
        if (!paragraph || !(paragraph->text = treeText(text))) return false;
        attachParagraph(articleId, paragraph);
    }
    return true;
}

bool buildResort(NodeRef group, ItemId editionId) {
    size_t c = g_reader.openStack.size();
    ResortNode *resort = newNode<ResortNode>();
    if (!resort) return false;
    // The GRTITLE's text, found without checking the kinds of the two items.
    NodeRef second = leftOf(leftOf(group));
    resort->info.title = second ? treeText(second, kTitleLimit) : treeCopy(kNoTitle);
    if (!resort->info.title) return false;
    ItemId resortId = attachResort(editionId, resort);
    if (resortId < 0) return false;

    findTagsBelow(group, "<ATL");
    while (g_reader.openStack.size() > c) {
        NodeRef atl = popOpenStack();
        ArticleNode *article = newNode<ArticleNode>();
        if (!article) return false;
        NodeRef first = leftOf(atl);
        article->info.headline = first && sgmlNode(first).tagIndex == -1
                                     ? treeText(first, kTitleLimit)
                                     : treeCopy(kNoTitle);
        if (!article->info.headline) return false;
        ItemId articleId = attachArticle(resortId, article);
        if (articleId < 0 || !buildParagraphs(atl, articleId)) return false;
    }
    return true;
}

}  // namespace

void buildNewspaperTree(const char *path, int32_t fileSize, ItemId editionId, int32_t countryCode,
                        EditionEntry *entry) {
    EditionText &text = g_open.text;
    if (fileSize < 0 || !loadEditionText(path, static_cast<size_t>(fileSize), text)) return;
    g_open.entry = entry;
    bool built = false;
    if (!parseEdition(text.data, text.length)) {
        g_reader.openStack.clear();
        findTags(g_reader.root, "<GROUP");
        if (g_reader.openStack.empty()) {
            entry->tree = makeNoticeTree(editionId, countryCode);
        } else {
            built = true;
            // Out of memory ends the build where it stands.
            while (!g_reader.openStack.empty()) {
                NodeRef group = popOpenStack();
                if (!buildResort(group, editionId)) break;
            }
        }
    }
    freeSgmlTree();
    if (!built) recycleEditionText(text);  // a notice tree reads nothing from it
}
