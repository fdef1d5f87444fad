// The store's report to the host: one list of events per kind, in the
// order they happened, handed over once.
#include "documents/store_report.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/library_state.h"
#include "documents/edition_header.h"
#include "documents/store.h"

namespace {

struct Event {
    std::string title, date, path;
};

// A host that never asks must not make the library grow without end.
constexpr size_t kEventsKept = 256;

std::vector<Event> &events(int kind) {
    static std::vector<Event> trimmed, refused;
    return kind == QL_REPORT_TRIMMED ? trimmed : refused;
}

bool knownKind(int kind) { return kind == QL_REPORT_TRIMMED || kind == QL_REPORT_REFUSED; }

// An entry as QL_GetNewspaperListFromHD makes them; null when memory ran out.
EditionEntry *newEntry(const Event &event) {
    auto *entry = static_cast<EditionEntry *>(guardedAlloc(sizeof(EditionEntry)));
    if (!entry) return nullptr;
    memset(entry, 0, sizeof *entry);
    entry->info.id = 0x01000000;
    entry->info.title = guardedCopy(event.title.c_str());
    entry->info.date = guardedCopy(event.date.c_str());
    entry->path = guardedCopy(event.path.c_str());
    if (!entry->info.title || !entry->info.date || !entry->path) {
        freeEditionEntry(entry);
        return nullptr;
    }
    return entry;
}

}  // namespace

void reportEvent(int kind, const char *path, const EditionEntry *edition) {
    if (!knownKind(kind)) return;
    try {
        std::vector<Event> &list = events(kind);
        if (list.size() >= kEventsKept) list.erase(list.begin());
        Event event;
        event.path = path ? path : "";
        if (edition) {
            event.title = edition->info.title ? edition->info.title : "";
            event.date = edition->info.date ? edition->info.date : "";
        }
        list.push_back(std::move(event));
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
}

void clearStoreReport() {
    LibraryLock hold;
    events(QL_REPORT_TRIMMED).clear();
    events(QL_REPORT_REFUSED).clear();
}

extern "C" {

QLAPI_EXPORT EditionEntry *QLAPI_CALL QL_TakeNewspaperReport(int kind) {
    LibraryLock hold;
    if (!knownKind(kind) || events(kind).empty()) {
        setLastError(QL_ERR_NOT_FOUND);
        return nullptr;
    }
    std::vector<Event> &list = events(kind);
    EditionEntry *head = nullptr, **tail = &head;
    for (const Event &event : list) {
        EditionEntry *entry = newEntry(event);
        if (!entry) {  // nothing is forgotten that was not handed over
            QL_RemoveNewspaperTree(head);
            setLastError(QL_ERR_NO_MEMORY);
            return nullptr;
        }
        *tail = entry;
        tail = &entry->next;
    }
    list.clear();
    setLastError(QL_OK);
    return head;
}

}  // extern "C"
