// The eight find functions that walk the stored editions for the host.
#include <new>
#include <unordered_map>

#include "core/library_state.h"
#include "documents/newspaper_tree.h"
#include "documents/sgml_reader.h"
#include "documents/store.h"

namespace {

// The next node each running enumeration gives, by the id it was started
// with. The kind is kept with the node: a resort's id keys both its
// sub-resorts and its articles, and a Next call must never take the one for
// the other.
struct Cursor {
    enum Kind { resort, article, paragraph } kind;
    void *node;
};
std::unordered_map<ItemId, Cursor> g_cursors;
EditionEntry *g_newspaperCursor = nullptr;

void setCursor(ItemId id, Cursor::Kind kind, void *node) {
    if (node)
        g_cursors[id] = {kind, node};
    else
        g_cursors.erase(id);
}

// Takes the cursor of id when it is of the wanted kind.
void *takeCursor(ItemId id, Cursor::Kind kind) {
    auto it = g_cursors.find(id);
    return it != g_cursors.end() && it->second.kind == kind ? it->second.node : nullptr;
}

bool checkInitialised() {
    if (g_library.initialised.load()) return true;
    setLastError(QL_ERR_NOT_INITIALIZED);
    return false;
}

template <typename T>
T *found(T *record) {
    setLastError(record ? QL_OK : QL_ERR_NOT_FOUND);
    return record;
}

// Drops what a build left behind: no tree, no numbers, not parsed.
void dropOpenTree(EditionEntry *entry) {
    freeSgmlTree();
    freeNewspaperTree(nullptr);
    entry->tree = nullptr;
    entry->itemCounter = 0;
    entry->parsed = 0;
}

// Builds the edition's tree on first use; only one edition is open at a time.
// Memory running out leaves no edition open, so the next call starts the
// build afresh, and the shortage is reported by the export's frame.
void openEdition(EditionEntry *entry) {
    if (entry->parsed) return;
    g_cursors.clear();  // they point into the tree that goes
    releaseTrees();
    AllocationWatch memory;
    try {
        buildNewspaperTree(entry->path, entry->fileSize, entry->info.id, entry->info.countryCode,
                           entry);
    } catch (const std::bad_alloc &) {
        dropOpenTree(entry);
        throw;
    }
    if (memory.failed()) {
        dropOpenTree(entry);
        throw std::bad_alloc();
    }
    entry->parsed = 1;
}

const ItemRecord *nextResort(ItemId id) {
    auto *resort = static_cast<ResortNode *>(takeCursor(id, Cursor::resort));
    if (!resort) return found<const ItemRecord>(nullptr);
    setCursor(id, Cursor::resort, resort->next);
    return found<const ItemRecord>(&resort->info);
}

// Gives the article, lining up its paragraphs and the next article.
const ItemRecord *giveArticle(ItemId resortId, ArticleNode *article) {
    setCursor(article->info.id, Cursor::paragraph, article->paragraphs);
    setCursor(resortId, Cursor::article, article->next);
    return found<const ItemRecord>(&article->info);
}

const char *nextParagraph(ItemId id) {
    auto *paragraph = static_cast<ParagraphNode *>(takeCursor(id, Cursor::paragraph));
    if (!paragraph) return found<const char>(nullptr);
    setCursor(id, Cursor::paragraph, paragraph->next);
    return found<const char>(paragraph->text);
}

}  // namespace

void releaseCursors() {
    g_cursors.clear();
    g_newspaperCursor = nullptr;
}

extern "C" {

QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindFirstNewspaper(void) {
    LibraryLock hold;
    if (!checkInitialised()) return nullptr;
    if (!g_editionList) return found<const NewspaperRecord>(nullptr);
    g_newspaperCursor = g_editionList->next;
    return found<const NewspaperRecord>(&g_editionList->info);
}

QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindNextNewspaper(void) {
    LibraryLock hold;
    if (!checkInitialised()) return nullptr;
    EditionEntry *entry = g_newspaperCursor;
    if (entry) g_newspaperCursor = entry->next;
    return found<const NewspaperRecord>(entry ? &entry->info : nullptr);
}

QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstResort(ItemId parent) {
    LibraryLock hold;
    return exportCall<const ItemRecord *>(nullptr, [parent]() -> const ItemRecord * {
        if (!checkInitialised()) return nullptr;
        g_cursors.erase(parent);
        EditionEntry *entry = findEdition(parent);
        if (!entry) return found<const ItemRecord>(nullptr);
        openEdition(entry);
        ResortNode *start = entry->tree;
        if (parent != entry->info.id) {
            ResortNode *resort = findResort(parent);
            start = resort ? resort->subResorts : nullptr;
        }
        setCursor(parent, Cursor::resort, start);
        return nextResort(parent);
    });
}

QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextResort(ItemId parent) {
    LibraryLock hold;
    return exportCall<const ItemRecord *>(nullptr, [parent]() -> const ItemRecord * {
        if (!checkInitialised()) return nullptr;
        return nextResort(parent);
    });
}

QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstArticle(ItemId resort) {
    LibraryLock hold;
    return exportCall<const ItemRecord *>(nullptr, [resort]() -> const ItemRecord * {
        if (!checkInitialised()) return nullptr;
        g_cursors.erase(resort);
        // Edition numbers are unique in the list, so the one edition of the id
        // must already be open.
        EditionEntry *entry = findEdition(resort);
        ResortNode *node = entry && entry->tree ? findResort(resort) : nullptr;
        if (!node || !node->articles) return found<const ItemRecord>(nullptr);
        return giveArticle(resort, node->articles);
    });
}

QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextArticle(ItemId resort) {
    LibraryLock hold;
    return exportCall<const ItemRecord *>(nullptr, [resort]() -> const ItemRecord * {
        if (!checkInitialised()) return nullptr;
        auto *article = static_cast<ArticleNode *>(takeCursor(resort, Cursor::article));
        if (!article) return found<const ItemRecord>(nullptr);
        return giveArticle(resort, article);
    });
}

QLAPI_EXPORT const char *QLAPI_CALL QL_FindFirstParagraph(ItemId article) {
    LibraryLock hold;
    return exportCall<const char *>(nullptr, [article]() -> const char * {
        if (!checkInitialised()) return nullptr;
        EditionEntry *entry = findEdition(article);
        if (entry) {
            openEdition(entry);
            ArticleNode *node = entry->tree ? findArticle(article) : nullptr;
            if (!node) return found<const char>(nullptr);
            setCursor(article, Cursor::paragraph, node->paragraphs);
        }
        return nextParagraph(article);
    });
}

QLAPI_EXPORT const char *QLAPI_CALL QL_FindNextParagraph(ItemId article) {
    LibraryLock hold;
    return exportCall<const char *>(nullptr, [article]() -> const char * {
        if (!checkInitialised()) return nullptr;
        return nextParagraph(article);
    });
}

}  // extern "C"
