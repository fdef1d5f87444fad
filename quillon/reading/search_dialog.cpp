// The search dialog: one field that offers the last text searched for.
#include "dialogs.h"
#include "search.h"
#include "user_texts.h"

namespace {

INT_PTR CALLBACK searchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    HWND field = GetDlgItem(dialog, IDC_SEARCHTEXT);
    switch (message) {
        case WM_INITDIALOG:
            setAccessibleName(field, userText(IDS_NAME_SEARCH_TEXT));
            SendMessageA(field, EM_LIMITTEXT, kSearchTextLimit, 0);
            SetWindowTextA(field, searchText().c_str());
            SendMessageA(field, EM_SETSEL, 0, -1);
            SetFocus(field);
            return FALSE;  // the focus is set
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: {
                    char text[kSearchTextLimit + 1] = "";
                    GetWindowTextA(field, text, sizeof text);
                    setSearchText(text);
                    EndDialog(dialog, searchText().empty() ? 0 : 1);
                    return TRUE;
                }
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            break;
        case WM_DESTROY:
            clearAccessibleName(field);
            break;
    }
    return FALSE;
}

}  // namespace

bool askSearchText(HWND owner) {
    g_helpContext = kHelpSearch;
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SEARCH), owner, searchDialogProc, 0) ==
           1;
}
