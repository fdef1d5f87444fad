// Switches for the test suite, linked into the library but not exported:
// only code built against the static library can reach them.
#pragma once

#include <cstddef>

namespace knobs {

// Replaces the allocator behind guardedAlloc; null restores malloc.
using Allocator = void *(*)(size_t);
void setAllocator(Allocator allocator);

// Puts the frame back into its state at load: uninitialised, no error, no
// host window, every switch off, corrupt editions deleted. The client key
// stays, as it would for the life of the process.
void resetLibrary();

}  // namespace knobs
