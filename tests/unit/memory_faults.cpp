// Allocations that fail on request.
#include "memory_faults.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "frame/knobs.h"
#include "test_env.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // our new takes from malloc
#endif

namespace {

std::atomic<long> g_failAt{-1};
std::thread::id g_askingThread;

bool failsNow() {
    return g_failAt.load(std::memory_order_relaxed) >= 0 && !t_inHostCallback &&
           std::this_thread::get_id() != g_askingThread && g_failAt.fetch_sub(1) == 0;
}

void *guarded(size_t bytes) { return failsNow() ? nullptr : malloc(bytes); }

}  // namespace

void failAllocation(long n) {
    g_askingThread = std::this_thread::get_id();
    knobs::setAllocator(guarded);
    g_failAt = n;
}

bool stopFailingAllocation() {
    knobs::setAllocator(nullptr);
    return g_failAt.exchange(-1) < 0;
}

void *operator new(size_t size) {
    if (failsNow()) throw std::bad_alloc();
    if (void *block = malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }
