// The library's process-wide state, its error code, the host registration
// and the guarded allocation.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>

#include "qlapi.h"

struct LibraryState {
    std::atomic<int> initialised{0};
    std::atomic<int> lastError{QL_OK};
    std::atomic<int> enhancedInterface{0};  // set by QL_UseEnhancedInterface, never cleared
    std::atomic<int> wantUpdate{0};         // QL_WantUpdate; cleared after an update ran
    std::atomic<int> cancelRequested{0};    // QL_CancelDownload; cleared when a transfer starts
    std::atomic<int32_t> updateSize{0};     // the last update size a server announced
    // Computed once on the host's thread during initialisation, read-only
    // afterwards, freed only when the library is unloaded.
    char *clientKey = nullptr;
};

extern LibraryState g_library;

inline void setLastError(int code) { g_library.lastError.store(code); }

// The window (and message number) that receives notifications.
struct HostRegistration {
    QL_HostWindow window = nullptr;
    unsigned message = 0;
};
void setHostRegistration(QL_HostWindow window, unsigned message);
HostRegistration hostRegistration();

// Sends one notification to the registered window and waits for it; sends
// nothing while no window is registered. A thread that holds the library
// lock sends when it releases it (see LibraryLock).
void notifyHost(int category, int code);

// One thread at a time in the store and the reader. Every export that reads
// or changes the edition list, the open tree, the reader's state or the
// newspaper folder holds it for the length of the call, and so does the
// fetch thread while it writes an edition there; a host that calls from two
// threads at once waits instead of breaking the library's state. A thread
// may take it again while it holds it. Notifications wait until the
// outermost hold ends: no host code runs inside the lock, so a host window
// that lives on another thread, itself waiting for the lock, cannot block
// the thread that holds it.
class LibraryLock {
  public:
    LibraryLock();
    ~LibraryLock();
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;
};

// Allocates bytes. Keeps QL_OK on success; on failure reports the shortage
// (reportOutOfMemory) and returns null. Blocks are released with free().
void *guardedAlloc(size_t bytes);

// Memory ran out (in guardedAlloc, zlib or a container): keeps
// QL_ERR_NO_MEMORY, tells the host (QL_NOTIFY_LIBRARYERROR, QL_ERR_NO_MEMORY)
// and counts the shortage for AllocationWatch.
void reportOutOfMemory();

// Runs the body of an export, so that no exception leaves the library: out
// of memory the shortage is reported and the export gives fallback.
template <typename Result, typename Body>
Result exportCall(Result fallback, Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    } catch (const std::exception &) {
    }
    return fallback;
}

// Whether memory ran out, on any thread, since the watch was made. An
// edition that fails while memory is short says nothing about its content,
// so the store keeps it instead of deleting it.
class AllocationWatch {
  public:
    AllocationWatch();
    bool failed() const;

  private:
    unsigned start_;
};

// A guarded copy of text, cut to limit characters; null when memory ran out.
char *guardedCopy(const char *text, size_t limit = SIZE_MAX);
