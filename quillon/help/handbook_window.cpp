// The handbook in the program: the text of the resources in a read-only
// field, as the article view shows an article, the caret at the section of
// the window the reader came from. Ctrl+F and F3 search it; Escape closes.
#include "dialogs.h"
#include "handbook.h"
#include "prompt.h"
#include "search.h"
#include "user_texts.h"

namespace {

constexpr WPARAM kTextLimit = 1048576;

struct HandbookView {
    std::string text;
    size_t start = 0;  // the section's heading
    HWND dialog = nullptr, field = nullptr;
    WNDPROC fieldProc = nullptr;
    DWORD selectionStart = 0, selectionEnd = 0;  // kept while the field has no focus
    int helpContext = 0;                         // of the window it was opened from
};

HWND g_openHandbook = nullptr;

// The handbook's text, Windows-1252 with CR LF, as the build put it in.
bool loadHandbook(std::string &text) {
    HRSRC found = FindResourceA(g_instance, MAKEINTRESOURCEA(IDR_HANDBOOK),
                                reinterpret_cast<LPCSTR>(RT_RCDATA));
    HGLOBAL loaded = found ? LoadResource(g_instance, found) : nullptr;
    const char *bytes = loaded ? static_cast<const char *>(LockResource(loaded)) : nullptr;
    if (!bytes) return false;
    text.assign(bytes, SizeofResource(g_instance, found));
    return !text.empty();
}

HandbookView *viewOf(HWND dialog) {
    return reinterpret_cast<HandbookView *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Caret and selection as in the article view: kept when the field loses
// the focus, given back when it gets it again.
LRESULT CALLBACK fieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND dialog = GetParent(field);
    HandbookView &view = *viewOf(dialog);
    switch (message) {
        case WM_GETDLGCODE:
            return CallWindowProcA(view.fieldProc, field, message, wParam, lParam) &
                   ~DLGC_HASSETSEL;
        case WM_KILLFOCUS:
            SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&view.selectionStart),
                         reinterpret_cast<LPARAM>(&view.selectionEnd));
            break;
        case WM_SETFOCUS: {
            LRESULT r = CallWindowProcA(view.fieldProc, field, message, wParam, lParam);
            SendMessageA(field, EM_SETSEL, view.selectionStart, view.selectionEnd);
            return r;
        }
        case WM_CHAR:
            if (wParam == 6) {  // Ctrl+F
                if (askSearchText(field)) PostMessageA(dialog, kFindTextMessage, 0, 0);
                g_helpContext = view.helpContext;
                return 0;
            }
            break;
        case WM_KEYUP:
            if (wParam == VK_F3 && !searchText().empty())
                PostMessageA(dialog, kFindTextMessage, 0, 0);
            break;
    }
    return CallWindowProcA(view.fieldProc, field, message, wParam, lParam);
}

void findInHandbook(HandbookView &view) {
    DWORD from = 0, to = 0;
    SendMessageA(view.field, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    const std::string &needle = searchText();
    size_t p = findInArticle(view.text, to, needle);
    if (p == std::string::npos) {
        messageBox(view.dialog, userText(IDS_NOTHING_FOUND), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return;
    }
    SendMessageA(view.field, EM_SETSEL, p, p + needle.size());
    SendMessageA(view.field, EM_SCROLLCARET, 0, 0);
}

INT_PTR CALLBACK handbookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HandbookView *view = viewOf(dialog);
    switch (message) {
        case WM_INITDIALOG: {
            view = reinterpret_cast<HandbookView *>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            view->dialog = dialog;
            view->field = GetDlgItem(dialog, IDC_HANDBOOKTEXT);
            g_openHandbook = dialog;
            setAccessibleName(view->field, userText(IDS_NAME_HANDBOOK_TEXT));
            SendMessageA(view->field, EM_SETLIMITTEXT, kTextLimit, 0);
            SetWindowTextA(view->field, view->text.c_str());
            // The section's heading on the first line shown, the caret on it.
            WPARAM at = static_cast<WPARAM>(view->start);
            SendMessageA(view->field, EM_SETSEL, at, at);
            LRESULT line = SendMessageA(view->field, EM_LINEFROMCHAR, at, 0);
            LRESULT first = SendMessageA(view->field, EM_GETFIRSTVISIBLELINE, 0, 0);
            SendMessageA(view->field, EM_LINESCROLL, 0, line - first);
            SendMessageA(view->field, EM_SCROLLCARET, 0, 0);
            view->selectionStart = view->selectionEnd = static_cast<DWORD>(at);
            view->fieldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                view->field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fieldProc)));
            return TRUE;  // the focus goes to the field, the first tab stop
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 2);
                return TRUE;
            }
            break;
        case kFindTextMessage:
            if (view) findInHandbook(*view);
            return TRUE;
        case WM_DESTROY:
            if (view) clearAccessibleName(view->field);
            if (view && view->fieldProc)
                SetWindowLongPtrA(view->field, GWLP_WNDPROC,
                                  reinterpret_cast<LONG_PTR>(view->fieldProc));
            if (g_openHandbook == dialog) g_openHandbook = nullptr;
            return TRUE;
    }
    return FALSE;
}

}  // namespace

bool showHandbook(HWND owner, int topic) {
    if (g_openHandbook) {  // F1 inside the handbook: it is already there
        SetFocus(GetDlgItem(g_openHandbook, IDC_HANDBOOKTEXT));
        return true;
    }
    HandbookView view;
    if (!loadHandbook(view.text)) return false;
    view.start = handbookSectionStart(view.text, handbookSectionOf(topic));
    view.helpContext = g_helpContext;
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_HANDBOOK), owner, handbookProc,
                    reinterpret_cast<LPARAM>(&view));
    g_helpContext = view.helpContext;
    return true;
}

HWND openHandbook() { return g_openHandbook; }
