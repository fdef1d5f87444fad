// handheld_ctl: plugs our emulated handheld in or out by hand.
//
//   handheld_ctl plug|unplug
//
// The handheld is the folder named by QUILLON_HANDHELD. Plugging changes its
// "connected" setting, then tells every top-level window that the devices
// changed, as the system does when a real handheld's cable comes or goes;
// nothing else sends that message under Wine. The reader's "Mobil" menu
// follows three seconds later.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "handheld_emulator.h"

namespace {

constexpr WPARAM kDevicesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

int usage() {
    fprintf(stderr, "usage: handheld_ctl plug|unplug  (the handheld: %%QUILLON_HANDHELD%%)\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return usage();
    bool plug = strcmp(argv[1], "plug") == 0;
    if (!plug && strcmp(argv[1], "unplug") != 0) return usage();
    if (!setHandheldConnected(plug)) {
        fprintf(stderr, "handheld_ctl: no handheld.ini to change in %%QUILLON_HANDHELD%%\n");
        return 1;
    }
    // Posted, not sent: the reader waits three seconds in its handler.
    if (!PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, kDevicesChanged, 0)) {
        fprintf(stderr, "handheld_ctl: the device change could not be announced (%lu)\n",
                GetLastError());
        return 1;
    }
    printf("handheld %s\n", plug ? "plugged in" : "unplugged");
    return 0;
}
