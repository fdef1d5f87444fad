// Reads out the open dialog of the desktop reader as a screen reader gets
// it: through the accessibility interface (oleacc), control by control,
// marking what that interface cannot give (list entries under Wine), which
// is then read with window messages. A development tool for the demo,
// which has no one to listen.
#include <windows.h>

#include <cstdio>
#include <string>

#include "accessible_reader.h"

namespace {

// The dialog a modal loop runs for: visible and enabled.
BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    if (!isDialogWindow(window) || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

}  // namespace

int main() {
    HWND dialog = nullptr;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) {
        printf("(no dialog is open)\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const std::string &line : describeAccessibly(dialog)) printf("%s\n", line.c_str());
    CoUninitialize();
    return 0;
}
