// The local newspaper store: the newspaper folder and the list of the
// editions in it.
#include "documents/store.h"

#include <cstdlib>

#include "frame/library_state.h"

EditionEntry *g_editionList = nullptr;
static int g_editionCounter = -1;

// The folder is read once the edition reader can open what it finds there;
// until then the store holds no edition.
void scanStore() { g_editionList = nullptr; }

void freeEditionEntry(EditionEntry *entry) {
    free(entry->info.title);
    free(entry->info.date);
    free(entry->path);
    free(entry);
}

void releaseEditionList() {
    while (EditionEntry *entry = g_editionList) {
        g_editionList = entry->next;
        freeEditionEntry(entry);
    }
}

void resetEditionList() { g_editionList = nullptr; }

void resetEditionCounter() { g_editionCounter = -1; }

extern "C" {

QLAPI_EXPORT EditionEntry *QLAPI_CALL QL_GetNewspaperListFromHD(void) { return nullptr; }

QLAPI_EXPORT void QLAPI_CALL QL_RemoveNewspaperTree(EditionEntry *list) {
    while (list) {
        EditionEntry *next = list->next;
        freeEditionEntry(list);
        list = next;
    }
}

QLAPI_EXPORT int QLAPI_CALL QL_DeleteNewspaper(ItemId newspaper) {
    if (!g_library.initialised.load()) {
        setLastError(QL_ERR_NOT_INITIALIZED);
        return QL_ERR_NOT_INITIALIZED;
    }
    (void)newspaper;  // the store lists no edition yet, so none can match
    setLastError(QL_ERR_NOT_FOUND);
    return QL_ERR_NOT_FOUND;
}

}  // extern "C"
