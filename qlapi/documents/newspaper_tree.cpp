// Building the newspaper tree of an edition from its parse tree.
#include "documents/newspaper_tree.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "documents/arena.h"
#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "documents/store.h"
#include "frame/configuration.h"
#include "frame/text_util.h"

const char kNoTitle[] = "kein Titel";

namespace {

// The one open tree: its memory, and its resorts and articles by item
// number, so that attaching and finding take constant time instead of a
// walk over the whole tree.
struct OpenTree {
    Arena arena;
    EditionEntry *entry = nullptr;  // whose tree this is
    struct Item {
        ResortNode *resort = nullptr;
        ArticleNode *article = nullptr;
    };
    std::vector<Item> items;           // by item number
    ResortNode *lastResort = nullptr;  // where the next resort is appended
};
OpenTree g_open;

constexpr ItemId kItemMask = 0x00ffffff;

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

// One node found by a search that must find exactly one.
SgmlNode *findOne(const char *pattern) {
    findTags(g_reader.root, pattern);
    if (g_reader.openStack.size() != 1) return nullptr;
    return popOpenStack();
}

}  // namespace

void *treeAlloc(size_t bytes) { return g_open.arena.allocate(bytes); }

char *treeCopy(const char *text, size_t limit) { return copyText(text, limit, treeAlloc); }

void formatEditionDate(char (&out)[12], int32_t countryCode, int32_t year, int32_t month,
                       int32_t day) {
    // Numbers too long for the field are cut with it.
    char text[48];
    if (countryCode == 49)
        snprintf(text, sizeof text, "%ld.%ld.%ld", long(day), long(month), long(year));
    else
        snprintf(text, sizeof text, "%ld/%ld/%ld", long(month), long(day), long(year));
    copyField(out, text);
}

EditionEntry *readEditionHeader() {
    if (!g_reader.openStack.empty()) return nullptr;
    EditionEntry *entry = nullptr;
    auto fail = [&entry]() -> EditionEntry * {
        g_reader.openStack.clear();
        if (entry) freeEditionEntry(entry);
        return nullptr;
    };
    SgmlNode *root = findOne("<DUZUZUVU");
    if (!root || !root->right || !strstr(root->right->text, "</DUZUZUVU>")) return fail();
    int32_t countryCode = lookupCountryCode(readAttribute(root->text, "LANGUAGE"));
    SgmlNode *title = findOne("<NPTL");
    if (!title || !title->left || !title->left->text) return fail();
    SgmlNode *date = findOne("<CD ");
    if (!date || !date->text) return fail();
    int32_t year = parseLeadingInt(readAttribute(date->text, "YEAR"));
    int32_t month = parseLeadingInt(readAttribute(date->text, "MONTH"));
    int32_t day = parseLeadingInt(readAttribute(date->text, "DAY"));
    releaseAttributeReader();

    entry = static_cast<EditionEntry *>(guardedAlloc(sizeof(EditionEntry)));
    if (!entry) return fail();
    memset(entry, 0, sizeof *entry);
    char dateText[12];
    formatEditionDate(dateText, countryCode, year, month, day);
    entry->info.countryCode = countryCode;
    entry->info.title = guardedCopy(title->left->text);
    entry->info.date = guardedCopy(dateText);
    if (!entry->info.title || !entry->info.date) return fail();
    entry->year = year;
    entry->month = month;
    entry->day = day;
    return entry;
}

ItemId attachResort(ItemId editionId, ResortNode *resort) {
    EditionEntry *entry = findEdition(editionId);
    if (!entry || entry != g_open.entry) return -1;
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
    g_open.items.clear();
    g_open.entry = nullptr;
    g_open.lastResort = nullptr;
}

void releaseTrees() {
    freeSgmlTree();
    for (EditionEntry *e = g_editionList; e; e = e->next) {
        if (!e->parsed) continue;
        e->itemCounter = 0;
        e->parsed = 0;
        e->tree = nullptr;
    }
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

// The paragraphs that follow an article's headline, in document order.
bool buildParagraphs(SgmlNode *atl, ItemId articleId) {
    size_t f = g_reader.openStack.size();
    if (atl->right) findTagsBelow(atl->right, "<P>");
    while (g_reader.openStack.size() > f) g_reader.reverseStack.push_back(popOpenStack());
    while (!g_reader.reverseStack.empty()) {
        SgmlNode *p = g_reader.reverseStack.back();
        g_reader.reverseStack.pop_back();
        if (!p->left || p->left->tagIndex != -1) continue;
        ParagraphNode *paragraph = newNode<ParagraphNode>();
        if (!paragraph || !(paragraph->text = treeCopy(p->left->text))) return false;
        attachParagraph(articleId, paragraph);
    }
    return true;
}

bool buildResort(SgmlNode *group, ItemId editionId) {
    size_t c = g_reader.openStack.size();
    ResortNode *resort = newNode<ResortNode>();
    if (!resort) return false;
    // The GRTITLE's text, found without checking the names of the two items.
    SgmlNode *first = group->left;
    SgmlNode *second = first ? first->left : nullptr;
    resort->info.title = treeCopy(second && second->text ? second->text : kNoTitle, kTitleLimit);
    if (!resort->info.title) return false;
    ItemId resortId = attachResort(editionId, resort);
    if (resortId < 0) return false;

    findTagsBelow(group, "<ATL");
    while (g_reader.openStack.size() > c) {
        SgmlNode *atl = popOpenStack();
        ArticleNode *article = newNode<ArticleNode>();
        if (!article) return false;
        const char *headline = atl->left && atl->left->tagIndex == -1 ? atl->left->text : kNoTitle;
        article->info.headline = treeCopy(headline, kTitleLimit);
        if (!article->info.headline) return false;
        ItemId articleId = attachArticle(resortId, article);
        if (articleId < 0 || !buildParagraphs(atl, articleId)) return false;
    }
    return true;
}

}  // namespace

void buildNewspaperTree(const char *path, int32_t fileSize, ItemId editionId, int32_t countryCode,
                        EditionEntry *entry) {
    EditionText text;
    if (fileSize < 0 || !loadEditionText(path, static_cast<size_t>(fileSize), text)) return;
    g_open.entry = entry;
    const char *message = parseEdition(text.data, text.length);
    text = EditionText();  // the parse tree holds copies of everything needed
    if (!message) {
        g_reader.openStack.clear();
        findTags(g_reader.root, "<GROUP");
        if (g_reader.openStack.empty()) {
            entry->tree = makeNoticeTree(editionId, countryCode);
        } else {
            // Out of memory ends the build where it stands.
            while (!g_reader.openStack.empty()) {
                SgmlNode *group = popOpenStack();
                if (!buildResort(group, editionId)) break;
            }
        }
    }
    freeSgmlTree();
}
