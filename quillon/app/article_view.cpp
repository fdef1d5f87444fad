// The article view: the whole article in one read-only text field, which a
// screen reader reads line by line. Ctrl+F and F3 search in it, Ctrl+S
// saves it.
#include "dialogs.h"
#include "prompt.h"
#include "reading.h"
#include "save_article.h"
#include "search.h"
#include "user_texts.h"

namespace {

constexpr WPARAM kTextLimit = 1048576;

struct ArticleView {
    const std::string *text;
    const char *headline;
    HWND dialog = nullptr, field = nullptr;
    WNDPROC fieldProc = nullptr;
    DWORD selectionStart = 0, selectionEnd = 0;  // kept while the field has no focus
};

ArticleView *viewOf(HWND dialog) {
    return reinterpret_cast<ArticleView *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void saveFromView(ArticleView &view) {
    char title[256] = "";
    GetWindowTextA(view.dialog, title, sizeof title);
    saveArticle(safeFileName(title), view.field, *view.text);
}

// The field's keys, then its own processing. It also gives back the
// selection it had when it lost the focus, so that a message box or the
// search dialog leaves the caret and a found text where they were.
LRESULT CALLBACK fieldKeyProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND dialog = GetParent(field);
    ArticleView &view = *viewOf(dialog);
    switch (message) {
        case WM_GETDLGCODE:
            // Without this the dialog selects the whole text on each focus.
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
                g_helpContext = kHelpArticle;
            } else if (wParam == 19) {  // Ctrl+S
                saveFromView(view);
            }
            break;
        case WM_KEYUP:
            if (wParam == VK_F3 && !searchText().empty())
                PostMessageA(dialog, kFindTextMessage, 0, 0);
            break;
    }
    return CallWindowProcA(view.fieldProc, field, message, wParam, lParam);
}

void findInView(ArticleView &view) {
    DWORD start = 0, end = 0;
    SendMessageA(view.field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    const std::string &needle = searchText();
    size_t p = findInArticle(*view.text, end, needle);
    if (p == std::string::npos) {
        messageBox(view.dialog, userText(IDS_NOTHING_FOUND), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return;
    }
    SendMessageA(view.field, EM_SETSEL, p, p + needle.size());
    SendMessageA(view.field, EM_SCROLLCARET, 0, 0);
}

INT_PTR CALLBACK articleViewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    ArticleView *view = viewOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            view = reinterpret_cast<ArticleView *>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            view->dialog = dialog;
            view->field = GetDlgItem(dialog, IDC_ARTICLETEXT);
            if (!view->text) return TRUE;
            SendMessageA(view->field, EM_SETLIMITTEXT, kTextLimit, 0);
            SetWindowTextA(view->field, view->text->c_str());
            SendMessageA(view->field, EM_SETSEL, 0, 0);
            if (view->headline) SetWindowTextA(dialog, view->headline);
            view->fieldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                view->field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fieldKeyProc)));
            return TRUE;  // the focus goes to the field, the first tab stop
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 2);
                return TRUE;
            }
            break;
        case kFindTextMessage:
            if (view && view->text) findInView(*view);
            return TRUE;
        case WM_DESTROY:
            if (view && view->fieldProc)
                SetWindowLongPtrA(view->field, GWLP_WNDPROC,
                                  reinterpret_cast<LONG_PTR>(view->fieldProc));
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runArticleView(HWND owner, const std::string &text, const char *headline) {
    ArticleView view;
    view.text = &text;
    view.headline = headline;
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ARTICLEVIEW), owner, articleViewProc,
                           reinterpret_cast<LPARAM>(&view));
}
