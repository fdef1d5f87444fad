// What a screen reader gets from a dialog through Microsoft Active
// Accessibility (oleacc): each control's client object, walked by window
// handle, asked for its role, name, value, keyboard shortcut and state.
// Lines the interface cannot give are marked, and for lists the entries
// are then read with window messages, marked as such. Used by the demo's
// screen_reader.exe and by the window tests (Windows only).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct AccessibleControl {
    HWND window = nullptr;
    bool readable = false;  // the accessibility interface gave an object
    std::string role, name, value, shortcut;
    bool focused = false;
};

// Whether the window is a dialog (of the system's dialog class).
bool isDialogWindow(HWND window);

// The dialog's own object (its name is the title), then its controls in
// window order. Needs COM on the calling thread.
std::vector<AccessibleControl> readAccessibly(HWND dialog);

// The lines screen_reader.exe prints for a dialog.
std::vector<std::string> describeAccessibly(HWND dialog);
