// The about box: program and handheld versions, and the maker's notice.
#include "dialogs.h"

namespace {

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR runAboutDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, aboutDialogProc, 0);
}
