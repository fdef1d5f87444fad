// Switches that let the test suite replace slow or external pieces. They are
// linked into the library but not exported from it: only code built against
// the static library (the tests, the benchmarks) can reach them.
#pragma once

#include <ctime>

namespace platform::knobs {

// Replaces the clock behind platform::currentTime(); null restores it.
using ClockFunction = time_t (*)();
void setClock(ClockFunction clock);

// How long an HTTP transfer may go without a byte before it fails, in
// milliseconds; 0 restores the default (60 seconds).
void setHttpIdleLimit(unsigned milliseconds);
unsigned httpIdleLimit();

// Makes the library's file writes fail at one step, as a locked file, a
// folder without room or a full disk would, even for a test run as root;
// none restores them.
enum class FileFault { none, openForUpdate, createTemporary, writeHalfway };
void setFileFault(FileFault fault);
FileFault fileFault();

}  // namespace platform::knobs
