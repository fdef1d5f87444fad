// The SharedBlock between the fetch thread and the transfer sides.
#include "download/shared_block.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "download/knobs.h"
#include "platform/platform.h"

const char kDefaultSharedBlockName[] = "qlapi_shared_mem";

static platform::SharedMemory g_block;
static std::mutex g_blockLock;  // opening and closing only
static std::string g_blockName = kDefaultSharedBlockName;
static std::atomic<bool> g_firstReceiptTaken{false};
// A library-side transfer may replace its own progress receipt while the
// fetch thread reads it: within this process the message area is written
// and read under this lock, so no reader sees half of two receipts.
// (Another process, a postmaster, paces itself by the handshake byte.)
static std::mutex g_messageLock;

static unsigned char *area() { return static_cast<unsigned char *>(g_block.view); }

bool openSharedBlock() {
    std::lock_guard<std::mutex> hold(g_blockLock);
    if (g_block.view) return true;
    return platform::openSharedMemory(g_blockName.c_str(), kSharedBlockSize, g_block);
}

void closeSharedBlock() {
    std::lock_guard<std::mutex> hold(g_blockLock);
    platform::closeSharedMemory(g_block);
}

bool sharedBlockOpen() { return g_block.view != nullptr; }

Handshake handshake() {
    return static_cast<Handshake>(__atomic_load_n(area() + kMessageArea, __ATOMIC_ACQUIRE));
}

void setHandshake(Handshake value) {
    __atomic_store_n(area() + kMessageArea, static_cast<unsigned char>(value), __ATOMIC_RELEASE);
}

void placeBytes(const void *data, size_t size, Handshake then) {
    std::lock_guard<std::mutex> hold(g_messageLock);
    memcpy(area(), data, size < kMessageArea ? size : kMessageArea);
    setHandshake(then);
}

void placeText(const char *text, Handshake then) {
    std::lock_guard<std::mutex> hold(g_messageLock);
    size_t n = strnlen(text, kMessageArea - 1);
    memcpy(area(), text, n);
    area()[n] = '\0';
    setHandshake(then);
}

std::string messageText() {
    std::lock_guard<std::mutex> hold(g_messageLock);
    const char *text = reinterpret_cast<const char *>(area());
    return std::string(text, strnlen(text, kMessageArea));
}

std::string messageBytes(size_t n) {
    std::lock_guard<std::mutex> hold(g_messageLock);
    return std::string(reinterpret_cast<const char *>(area()), n < kMessageArea ? n : kMessageArea);
}

void resetFirstReceipt() { g_firstReceiptTaken.store(false); }
void firstReceiptTaken() { g_firstReceiptTaken.store(true); }

// Both waits give false for an abandoned fetch even when what they wait for
// is there already: a transfer the watchdog killed must not place its end,
// nor the fetch take it.
bool waitForHandshake(Handshake value, unsigned pollMs, const std::atomic<bool> &abandoned) {
    while (handshake() != value) {
        if (abandoned.load()) return false;
        platform::sleepMs(pollMs);
    }
    return !abandoned.load();
}

bool waitForFirstReceiptTaken(const std::atomic<bool> &abandoned) {
    while (!g_firstReceiptTaken.load()) {
        if (abandoned.load()) return false;
        platform::sleepMs(1);
    }
    return !abandoned.load();
}

bool waitToPlaceReceipt(const std::atomic<bool> &abandoned) {
    return waitForFirstReceiptTaken(abandoned) && waitForHandshake(SHM_IDLE, 1, abandoned);
}

void knobs::removeSharedBlock() {
    closeSharedBlock();
    platform::removeSharedMemory(g_blockName.c_str());
}

void knobs::setSharedBlockName(const char *name) {
    closeSharedBlock();
    g_blockName = name ? name : kDefaultSharedBlockName;
}
