// Switches for the test suite, linked into the library but not exported:
// only code built against the static library can reach them. The core's
// switches come with them.
#pragma once

#include "core/knobs.h"

namespace knobs {

// Puts the library back into its state at load: uninitialised, no error, no
// host window, every switch off, corrupt editions deleted. The client key
// stays, as it would for the life of the process.
void resetLibrary();

}  // namespace knobs
