// The client key, computed once per process from the account that runs it.
#include "config/client_key.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/library_state.h"

bool formatClientKey(const platform::UserSid &sid, char *out) {
    // Room for "S-1-", an authority in hex and 12 bytes a sub-authority.
    if (12 * sid.subAuthorities.size() + 28 > kClientKeySize) return false;
    const uint8_t *a = sid.authority;
    int n = 0;
    if (a[0] || a[1]) {
        n = snprintf(out, kClientKeySize, "S-1-0x%02x%02x%02x%02x%02x%02x", a[0], a[1], a[2], a[3],
                     a[4], a[5]);
    } else {
        unsigned long value = static_cast<unsigned long>(a[2]) << 24 |
                              static_cast<unsigned long>(a[3]) << 16 |
                              static_cast<unsigned long>(a[4]) << 8 | a[5];
        n = snprintf(out, kClientKeySize, "S-1-%lu", value);
    }
    for (size_t i = 0; i + 1 < sid.subAuthorities.size(); ++i)
        n += snprintf(out + n, kClientKeySize - static_cast<size_t>(n), "-%lu",
                      static_cast<unsigned long>(sid.subAuthorities[i]));
    return true;
}

void computeClientKey() {
    platform::UserSid sid;
    if (!platform::readProcessUserSid(sid)) return;
    char *block = static_cast<char *>(calloc(1, kClientKeySize));
    if (!block) return;
    if (!formatClientKey(sid, block)) {
        free(block);
        return;
    }
    g_library.clientKey = block;
}
