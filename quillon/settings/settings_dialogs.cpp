// The two settings dialogs: the number of kept editions and the user
// identifier.
#include "dialogs.h"
#include "prompt.h"
#include "settings.h"
#include "settings_store.h"
#include "user_texts.h"

namespace {

// The library's settings file, named bare as the library names it: the
// system looks for it in the Windows folder.
const char kSettingsFile[] = "qlapi.ini";

int choiceButton(int count) {
    return count == 10 ? IDC_COUNT10 : count == 50 ? IDC_COUNT50 : IDC_COUNT100;
}

INT_PTR CALLBACK paperCountProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            DWORD stored = 0;
            if (settingsInRegistry()) {
                if (readLibraryNumber("maxpapers", stored))
                    g_paperCount = static_cast<int>(stored > 0x7FFFFFFF ? 0x7FFFFFFF : stored);
            } else {
                g_paperCount = static_cast<int>(
                    GetPrivateProfileIntA("NEWSPAPERS", "maxpapers", 10, kSettingsFile));
            }
            g_paperCount = paperCountChoice(g_paperCount);
            CheckRadioButton(dialog, IDC_COUNT10, IDC_COUNT100, choiceButton(g_paperCount));
            SetDlgItemTextA(dialog, IDC_PAPERCOUNT_NOTE, userText(IDS_PAPERCOUNT_NOTE));
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_COUNT10:
                case IDC_COUNT50:
                case IDC_COUNT100:
                    if (HIWORD(wParam) == BN_CLICKED)
                        g_paperCount = LOWORD(wParam) == IDC_COUNT10   ? 10
                                       : LOWORD(wParam) == IDC_COUNT50 ? 50
                                                                       : 100;
                    return TRUE;
                case IDOK:
                    if (settingsInRegistry()) {
                        writeLibraryNumber("maxpapers", static_cast<DWORD>(g_paperCount));
                    } else {
                        WritePrivateProfileStringA("NEWSPAPERS", "maxpapers",
                                                   std::to_string(g_paperCount).c_str(),
                                                   kSettingsFile);
                    }
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK userIdProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    HWND field = GetDlgItem(dialog, IDC_USERID);
    switch (message) {
        case WM_INITDIALOG:
            setAccessibleName(field, userText(IDS_NAME_USERID));
            // Only the registry settings know a user identifier.
            if (!settingsInRegistry()) return TRUE;
            SendMessageA(field, EM_LIMITTEXT, kUserIdLength, 0);
            SetWindowTextA(field, readLibraryText("Login", 100).c_str());
            SendMessageA(field, EM_SETSEL, 0, -1);
            SetFocus(field);
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: {
                    char text[kUserIdLength + 1] = "";
                    GetWindowTextA(field, text, sizeof text);
                    if (!validUserId(text)) {
                        messageBox(dialog, userText(IDS_USERID_LENGTH), userText(IDS_ERROR_CAPTION),
                                   MB_OK | MB_ICONWARNING);
                        return TRUE;
                    }
                    writeLibraryText("Login", text);
                    messageBox(dialog, userText(IDS_RESTART_NOTICE), userText(IDS_NOTICE_CAPTION),
                               MB_OK);
                    EndDialog(dialog, 0);
                    return TRUE;
                }
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            break;
    }
    if (message == WM_DESTROY) clearAccessibleName(field);
    return FALSE;
}

}  // namespace

INT_PTR runPaperCountDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PAPERCOUNT), owner, paperCountProc, 0);
}

INT_PTR runUserIdDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_USERID), owner, userIdProc, 0);
}
