// Switches that let the test suite replace slow or external pieces. They are
// linked into the library but not exported from it: only code built against
// the static library (the tests, the benchmarks) can reach them.
#pragma once

#include <ctime>

namespace platform::knobs {

// Replaces the clock behind platform::currentTime(); null restores it.
using ClockFunction = time_t (*)();
void setClock(ClockFunction clock);

}  // namespace platform::knobs
