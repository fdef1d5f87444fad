// "Automatisch abholen": at start, at a daily time, and through the Task
// Scheduler while Quillon is not running.
#include <cstdio>
#include <string>

#include "auto_fetch.h"
#include "dialogs.h"
#include "fetch_registry.h"
#include "fetch_task.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

std::string fieldText(HWND dialog, int id) {
    char text[16] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void setNumberField(HWND dialog, int id, int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    SetDlgItemTextA(dialog, id, text);
}

// Back to a control, as the dialog manager moves there with Tab.
void focusOn(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageA(control, EM_SETSEL, 0, -1);
}

// The task follows the choice: registered at the chosen time, or removed.
// False (and told) when the scheduler refused.
bool applyTask(HWND dialog, const FetchSettings &chosen, const FetchSettings &before) {
    if (chosen.scheduledTask == before.scheduledTask &&
        (!chosen.scheduledTask || (chosen.hour == before.hour && chosen.minute == before.minute)))
        return true;
    HRESULT r = chosen.scheduledTask ? registerFetchTask(programPath(), chosen.hour, chosen.minute)
                                     : removeFetchTask();
    if (SUCCEEDED(r)) return true;
    messageBox(dialog, formatText(userText(IDS_FETCH_TASK_FAILED), static_cast<unsigned long>(r)),
               userText(IDS_ERROR_CAPTION), MB_OK | MB_ICONWARNING);
    return false;
}

void save(HWND dialog) {
    FetchSettings before = readFetchSettings(), chosen = before;
    chosen.atStart = IsDlgButtonChecked(dialog, IDC_FETCH_AT_START) == BST_CHECKED;
    chosen.daily = IsDlgButtonChecked(dialog, IDC_FETCH_DAILY) == BST_CHECKED;
    chosen.scheduledTask = IsDlgButtonChecked(dialog, IDC_FETCH_TASK) == BST_CHECKED;
    // The time counts for the daily fetch and for the task; otherwise what
    // is typed there does not stop the other choices.
    if (chosen.daily || chosen.scheduledTask) {
        int hour = 0, minute = 0, bad = 0;
        if (int error = parseFetchTime(fieldText(dialog, IDC_FETCH_HOUR),
                                       fieldText(dialog, IDC_FETCH_MINUTE), hour, minute, bad)) {
            messageBox(dialog, userText(error), userText(IDS_ERROR_CAPTION),
                       MB_OK | MB_ICONWARNING);
            focusOn(dialog, bad == 0 ? IDC_FETCH_HOUR : IDC_FETCH_MINUTE);
            return;
        }
        chosen.hour = hour;
        chosen.minute = minute;
    }
    if (!applyTask(dialog, chosen, before)) {
        // The rest is kept; the check box shows what the scheduler holds.
        chosen.scheduledTask = before.scheduledTask;
        writeFetchSettings(chosen);
        applyFetchSettings(chosen);
        CheckDlgButton(dialog, IDC_FETCH_TASK, before.scheduledTask ? BST_CHECKED : BST_UNCHECKED);
        focusOn(dialog, IDC_FETCH_TASK);
        return;
    }
    writeFetchSettings(chosen);
    applyFetchSettings(chosen);
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK autoFetchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            FetchSettings s = readFetchSettings();
            CheckDlgButton(dialog, IDC_FETCH_AT_START, s.atStart ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(dialog, IDC_FETCH_DAILY, s.daily ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(dialog, IDC_FETCH_TASK, s.scheduledTask ? BST_CHECKED : BST_UNCHECKED);
            setNumberField(dialog, IDC_FETCH_HOUR, s.hour);
            setNumberField(dialog, IDC_FETCH_MINUTE, s.minute);
            SendDlgItemMessageA(dialog, IDC_FETCH_HOUR, EM_LIMITTEXT, 2, 0);
            SendDlgItemMessageA(dialog, IDC_FETCH_MINUTE, EM_LIMITTEXT, 2, 0);
            return TRUE;  // the focus on the first check box
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    save(dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR runAutoFetchDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_AUTOFETCH), owner, autoFetchProc, 0);
}
