// The clock the library reads, replaceable by the tests.
#include <atomic>

#include "platform/knobs.h"
#include "platform/platform.h"

namespace platform {

static std::atomic<knobs::ClockFunction> g_clock{nullptr};

time_t currentTime() {
    knobs::ClockFunction clock = g_clock.load();
    return clock ? clock() : std::time(nullptr);
}

void knobs::setClock(ClockFunction clock) { g_clock.store(clock); }

}  // namespace platform
