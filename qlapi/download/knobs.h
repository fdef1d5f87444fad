// Switches for the test suite, linked into the library but not exported:
// only code built against the static library can reach them.
#pragma once

#include "download/fetch_state.h"

namespace knobs {

// Shortens the fixed waits of a fetch; the defaults are restored by
// setFetchWaits(FetchWaits()).
void setFetchWaits(const FetchWaits &waits);

// Names the shared block, so that test runs side by side do not meet.
void setSharedBlockName(const char *name);

}  // namespace knobs
