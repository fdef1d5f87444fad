// The main window: a menu bar and nothing else. Its commands open the
// dialogs; it keeps three menu entries up to date, answers help requests and
// ends the program after asking.
#include <cstring>

#include "../device/device_api.h"
#include "auto_fetch.h"
#include "dialogs.h"
#include "download.h"
#include "library_binding.h"
#include "prompt.h"
#include "settings_store.h"
#include "user_texts.h"

HINSTANCE g_instance;
int g_helpContext = kHelpMainWindow;

namespace {

DWORD g_deviceChangeWait = 3000;

void setEntry(HMENU menu, UINT command, bool enabled, const char *text) {
    ModifyMenuA(menu, command, MF_BYCOMMAND | MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED),
                command, text);
}

// False for a command whose menu entry is greyed: it then does nothing,
// whichever way it comes (menu, accelerator, message).
bool commandAvailable(HWND window, UINT command) {
    UINT state = GetMenuState(GetMenu(window), command, MF_BYCOMMAND);
    return state == static_cast<UINT>(-1) || !(state & (MF_DISABLED | MF_GRAYED));
}

// Each command keeps the help topic of the dialog it opens while it is open.
void runWithHelp(int topic, INT_PTR (*run)(HWND), HWND window) {
    g_helpContext = topic;
    run(window);
    g_helpContext = kHelpMainWindow;
}

void leave(HWND window) {
    if (messageBox(window, userText(IDS_LEAVE_QUESTION), userText(IDS_APP_TITLE),
                   MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    endDeviceJobs(window);  // they use the library and the connection
    g_binding.initialize(0);
    DestroyWindow(window);
}

void onCommand(HWND window, UINT command) {
    switch (command) {
        case IDM_READ:
            runWithHelp(kHelpSelection, runSelectionDialog, window);
            break;
        case IDM_RESUME:
            runWithHelp(kHelpSelection, runResumeDialog, window);
            break;
        case IDM_BOOKMARKS:
            runWithHelp(kHelpSelection, runBookmarksDialog, window);
            break;
        case IDM_SEARCH_ALL:
            runSearchAllNewspapers(window);
            g_helpContext = kHelpMainWindow;
            break;
        case IDM_FETCH_NEW:
        case IDM_FETCH_ALL:
            g_downloadMode = command == IDM_FETCH_ALL ? 1 : 0;
            runHandFetch(window);
            break;
        case IDM_PAPERCOUNT:
            runWithHelp(kHelpSettings, runPaperCountDialog, window);
            break;
        case IDM_USERID:
            runWithHelp(kHelpSettings, runUserIdDialog, window);
            break;
        case IDM_AUTOFETCH:
            runWithHelp(kHelpSettings, runAutoFetchDialog, window);
            break;
        case IDM_SYNC:
            runCopyProgressDialog(window);
            break;
        case IDM_INSTALL:
            runInstallation(window);
            break;
        case IDM_HELP_CONTENTS:
            showHelp(window, 0);
            break;
        case IDM_HANDBOOK:
            showHandbook(window, g_helpContext);
            break;
        case IDM_ABOUT:
            runAboutDialog(window);
            break;
        case IDM_EXIT:
            leave(window);
            break;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT handled = 0;
    if (autoFetchMessage(window, message, wParam, lParam, handled)) return handled;
    switch (message) {
        case WM_PAINT:
            applyUserIdRule(window);
            break;  // the default painting follows
        case WM_CLOSE:
            leave(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_DEVICENOTICE:
            showDeviceNotice(window, lParam);
            return 0;
        case WM_HELP:
            showHelp(window, g_helpContext);
            return TRUE;
        case WM_DEVICECHANGE:
            if (g_binding.getNewspaperListFromHD) Sleep(g_deviceChangeWait);
            applyHandheldRule(window);
            return TRUE;
        case WM_COMMAND: {
            UINT command = LOWORD(wParam);
            if (!commandAvailable(window, command)) return 0;
            onCommand(window, command);
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int loadStringTableText(int id, char *buffer, int size) {
    return LoadStringA(g_instance, static_cast<UINT>(id), buffer, size);
}

void setDeviceChangeWait(DWORD milliseconds) { g_deviceChangeWait = milliseconds; }

HWND createMainWindow() {
    const char *className = userText(IDS_WINDOW_CLASS);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = g_instance;
    wc.hIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_QUILLON));
    wc.hIconSm = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_SMALL));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_QUILLON);
    wc.lpszClassName = className;
    RegisterClassExA(&wc);  // a second registration (tests) fails harmlessly
    HWND window =
        CreateWindowExA(0, className, userText(IDS_APP_TITLE), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        0, CW_USEDEFAULT, 0, nullptr, nullptr, g_instance, nullptr);
    startKeyDescriber();
    return window;
}

void applyUserIdRule(HWND window) {
    setEntry(GetMenu(window), IDM_USERID, settingsInRegistry(), userText(IDS_MENU_USERID));
}

void applyHandheldRule(HWND window) {
    bool enabled = g_binding.getNewspaperListFromHD && devicePresent() != 0;
    HMENU menu = GetMenu(window);
    setEntry(menu, IDM_SYNC, enabled, userText(IDS_MENU_SYNC));
    setEntry(menu, IDM_INSTALL, enabled, userText(IDS_MENU_INSTALL));
}
