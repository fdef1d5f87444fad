// The clock and the HTTP idle limit, replaceable by the tests.
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

static std::atomic<unsigned> g_httpIdleLimit{0};
void knobs::setHttpIdleLimit(unsigned milliseconds) { g_httpIdleLimit.store(milliseconds); }
unsigned knobs::httpIdleLimit() {
    unsigned limit = g_httpIdleLimit.load();
    return limit ? limit : 60000;
}

}  // namespace platform
