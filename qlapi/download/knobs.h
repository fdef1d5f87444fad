// Switches for the test suite, linked into the library but not exported:
// only code built against the static library can reach them.
#pragma once

#include <cstdint>

#include "download/fetch_state.h"
#include "platform/platform.h"

namespace knobs {

// Shortens the fixed waits of a fetch; the defaults are restored by
// setFetchWaits(FetchWaits()).
void setFetchWaits(const FetchWaits &waits);

// Names the shared block, so that test runs side by side do not meet.
void setSharedBlockName(const char *name);
// Closes the shared block and removes its name (a test's own block), once
// g_detachedThreads is 0: an abandoned fetch may still poll the block.
void removeSharedBlock();

// Replaces the system's dial-up service; null members restore it.
struct DialUp {
    uint32_t (*dial)(const char *profile, uintptr_t &handle) = nullptr;
    void (*hangUp)(uintptr_t handle) = nullptr;
};
void setDialUp(const DialUp &dialUp);

// Replaces the proxy-authentication dialog of the internal transfer; null
// restores it.
using ProxyPrompt = void (*)(platform::HttpRequest *request);
void setProxyPrompt(ProxyPrompt prompt);

}  // namespace knobs
