// Switches of the core for the test suite, linked into the library but not
// exported: only code built against the static library can reach them.
#pragma once

#include <cstddef>

namespace knobs {

// Replaces the allocator behind guardedAlloc; null restores malloc.
using Allocator = void *(*)(size_t);
void setAllocator(Allocator allocator);

}  // namespace knobs
