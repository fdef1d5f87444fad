// The eight find functions that walk the stored editions for the host.
#include "documents/store.h"
#include "frame/library_state.h"

// The cursors of running enumerations; a newspaper enumeration keeps the
// next entry of the edition list.
static EditionEntry *g_newspaperCursor = nullptr;

void releaseCursors() { g_newspaperCursor = nullptr; }

namespace {

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

// Resorts, articles and paragraphs live in an edition's tree, which is built
// once the edition reader exists; until then no id has any.
template <typename T>
T *findInTree(ItemId) {
    if (!checkInitialised()) return nullptr;
    return found<T>(nullptr);
}

}  // namespace

extern "C" {

QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindFirstNewspaper(void) {
    if (!checkInitialised()) return nullptr;
    g_newspaperCursor = g_editionList;
    return QL_FindNextNewspaper();
}

QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindNextNewspaper(void) {
    if (!checkInitialised()) return nullptr;
    EditionEntry *entry = g_newspaperCursor;
    if (entry) g_newspaperCursor = entry->next;
    return found<const NewspaperRecord>(entry ? &entry->info : nullptr);
}

QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstResort(ItemId parent) {
    return findInTree<const ItemRecord>(parent);
}
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextResort(ItemId parent) {
    return findInTree<const ItemRecord>(parent);
}
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstArticle(ItemId resort) {
    return findInTree<const ItemRecord>(resort);
}
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextArticle(ItemId resort) {
    return findInTree<const ItemRecord>(resort);
}
QLAPI_EXPORT const char *QLAPI_CALL QL_FindFirstParagraph(ItemId article) {
    return findInTree<const char>(article);
}
QLAPI_EXPORT const char *QLAPI_CALL QL_FindNextParagraph(ItemId article) {
    return findInTree<const char>(article);
}

}  // extern "C"
