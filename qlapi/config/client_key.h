// The client key: the account's security identifier without its last part,
// which names the machine (or domain) towards the subscription server.
#pragma once

#include <cstddef>

#include "platform/platform.h"

constexpr size_t kClientKeySize = 128;

// Writes "S-1-<authority>-<sub>-..." for every sub-authority but the last
// into out (kClientKeySize bytes). False when the identifier is too long for
// the block (more than eight sub-authorities).
bool formatClientKey(const platform::UserSid &sid, char *out);

// Sets g_library.clientKey, or leaves it null when the account cannot be read.
void computeClientKey();
