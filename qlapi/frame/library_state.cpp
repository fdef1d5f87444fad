// The library's process-wide state, its error code, the host registration,
// the guarded allocation, and the order of initialisation and shutdown.
#include "frame/library_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "documents/entity_table.h"
#include "documents/sgml_reader.h"
#include "documents/store.h"
#include "documents/store_report.h"
#include "download/fetch_state.h"
#include "frame/client_key.h"
#include "frame/configuration.h"
#include "frame/knobs.h"
#include "frame/log.h"
#include "frame/text_util.h"
#include "platform/platform.h"

LibraryState g_library;

// The key lives as long as the library is loaded; a host that unloads the
// library gets its memory back.
static struct ClientKeyRelease {
    ~ClientKeyRelease() {
        free(g_library.clientKey);
        g_library.clientKey = nullptr;
    }
} g_clientKeyRelease;

// The window and its message number change together; the fetch thread must
// never send one registration's message to another's window.
static std::mutex g_hostLock;
static HostRegistration g_host;

static std::atomic<knobs::Allocator> g_allocator{nullptr};

void setHostRegistration(QL_HostWindow window, unsigned message) {
    std::lock_guard<std::mutex> hold(g_hostLock);
    g_host.window = window;
    g_host.message = message;
}

HostRegistration hostRegistration() {
    std::lock_guard<std::mutex> hold(g_hostLock);
    return g_host;
}

static void sendToHost(int category, int code) {
    HostRegistration host = hostRegistration();
    if (host.window)
        platform::sendHostMessage(host.window, host.message, static_cast<uintptr_t>(category),
                                  code);
}

static std::mutex g_libraryLock;
static thread_local int t_lockDepth = 0;
// What a holder of the lock asked to send, in order; a call sends a few at
// most (one shortage, one DORESYNC), so a repeat is dropped, and a fixed
// table needs no memory when memory is what ran out.
struct PendingNotification {
    int category, code;
};
static thread_local PendingNotification t_pending[4];
static thread_local int t_pendingCount = 0;

LibraryLock::LibraryLock() {
    if (t_lockDepth++ == 0) g_libraryLock.lock();
}

LibraryLock::~LibraryLock() {
    if (--t_lockDepth != 0) return;
    g_libraryLock.unlock();
    PendingNotification pending[4];
    int count = t_pendingCount;
    std::copy(t_pending, t_pending + count, pending);
    t_pendingCount = 0;
    for (int i = 0; i < count; ++i) sendToHost(pending[i].category, pending[i].code);
}

void notifyHost(int category, int code) {
    if (t_lockDepth == 0) {
        sendToHost(category, code);
        return;
    }
    for (int i = 0; i < t_pendingCount; ++i)
        if (t_pending[i].category == category && t_pending[i].code == code) return;
    if (t_pendingCount < 4) t_pending[t_pendingCount++] = {category, code};
}

static std::atomic<unsigned> g_memoryShortages{0};

void reportOutOfMemory() {
    g_memoryShortages.fetch_add(1);
    setLastError(QL_ERR_NO_MEMORY);
    notifyHost(QL_NOTIFY_LIBRARYERROR, QL_ERR_NO_MEMORY);
}

AllocationWatch::AllocationWatch() : start_(g_memoryShortages.load()) {}
bool AllocationWatch::failed() const { return g_memoryShortages.load() != start_; }

void *guardedAlloc(size_t bytes) {
    knobs::Allocator allocate = g_allocator.load();
    void *block = allocate ? allocate(bytes) : std::malloc(bytes);
    if (block) {
        setLastError(QL_OK);
        return block;
    }
    reportOutOfMemory();
    return nullptr;
}

char *guardedCopy(const char *text, size_t limit) { return copyText(text, limit, guardedAlloc); }

int initialiseLibrary() {
    if (!g_library.clientKey) computeClientKey();
    releaseCursors();
    resetEditionList();
    clearServerNames();
    resetEditionCounter();
    if (!readConfiguration()) {
        setLastError(QL_ERR_CONFIG);
        return QL_ERR_CONFIG;
    }
    if (g_library.clientKey) writeLog("SID: %s\n", g_library.clientKey);
    if (!g_fetchRunning.load()) removeStoreLeftovers();
    scanStore();
    g_library.initialised.store(1);
    return QL_OK;
}

void shutdownLibrary() {
    releaseAttributeReader();
    releaseEditionList();
    releaseCursors();
    resetEditionCounter();
    g_library.initialised.store(0);
    clearEntityTable();
}

void knobs::setAllocator(Allocator allocator) { g_allocator.store(allocator); }

void knobs::resetLibrary() {
    LibraryLock hold;
    if (g_library.initialised.load()) shutdownLibrary();
    g_library.lastError.store(QL_OK);
    g_library.enhancedInterface.store(0);
    g_library.wantUpdate.store(0);
    g_library.cancelRequested.store(0);
    g_library.updateSize.store(0);
    setHostRegistration(nullptr, 0);
    g_config.deleteCorrupt = 1;
    clearStoreReport();
}
