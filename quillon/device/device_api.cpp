// The handheld's remote interface. This build carries no remote interface
// yet, so the presence test always answers "no handheld" and the handheld
// commands stay greyed.
#include "device_api.h"

namespace {

int (*g_presenceTest)() = noDevicePresent;

}  // namespace

int noDevicePresent() { return 0; }

void bindDeviceApi() { g_presenceTest = noDevicePresent; }

int devicePresent() { return g_presenceTest(); }
