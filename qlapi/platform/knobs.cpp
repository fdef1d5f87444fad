// The clock, the HTTP idle limit and file faults, replaceable by the tests.
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

static std::atomic<knobs::FileFault> g_fileFault{knobs::FileFault::none};
void knobs::setFileFault(FileFault fault) { g_fileFault.store(fault); }
knobs::FileFault knobs::fileFault() { return g_fileFault.load(); }

}  // namespace platform
