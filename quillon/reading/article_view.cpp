// The article view: the whole article in one read-only text field, which a
// screen reader reads line by line. Ctrl+F and F3 search in it, Ctrl+S
// saves it, Ctrl+PageDown and Ctrl+PageUp read on in the newspaper,
// Ctrl+Alt+P tells the caret's line and Ctrl+Alt+M sets or removes a
// bookmark there.
#include "dialogs.h"
#include "prompt.h"
#include "reading.h"
#include "save_article.h"
#include "search.h"
#include "selection.h"
#include "user_texts.h"

namespace {

constexpr WPARAM kTextLimit = 1048576;

struct ArticleView {
    const std::string *text;
    const char *headline;
    ArticleStart start;
    ArticleNavigator *navigator = nullptr;
    std::string replaced;  // the text of an article read on to
    HWND dialog = nullptr, field = nullptr;
    WNDPROC fieldProc = nullptr;
    DWORD selectionStart = 0, selectionEnd = 0;  // kept while the field has no focus
};

HWND g_openView = nullptr;

// The caret's line, from 0, and the field's number of lines.
int caretLine(const ArticleView &view) {
    return static_cast<int>(SendMessageA(view.field, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0));
}

// The text of the caret's line, as the field shows it.
std::string caretLineText(const ArticleView &view) {
    LRESULT start = SendMessageA(view.field, EM_LINEINDEX, static_cast<WPARAM>(-1), 0);
    LRESULT length = SendMessageA(view.field, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    if (start < 0 || length <= 0) return std::string();
    std::string line(static_cast<size_t>(length) + sizeof(WORD), '\0');
    *reinterpret_cast<WORD *>(&line[0]) = static_cast<WORD>(length);  // EM_GETLINE's room
    LRESULT copied = SendMessageA(view.field, EM_GETLINE, static_cast<WPARAM>(caretLine(view)),
                                  reinterpret_cast<LPARAM>(&line[0]));
    line.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return line;
}

void tellLine(ArticleView &view) {
    int lines = static_cast<int>(SendMessageA(view.field, EM_GETLINECOUNT, 0, 0));
    messageBox(view.dialog, formatText(userText(IDS_WHERE_LINE), caretLine(view) + 1, lines),
               userText(IDS_POSITION_CAPTION), MB_OK | MB_ICONINFORMATION);
}

// Puts the text in the field and the caret where the article starts: on a
// line, or on the first occurrence of a searched text.
void showText(ArticleView &view, const std::string &text, const ArticleStart &start) {
    SetWindowTextA(view.field, text.c_str());
    DWORD from = 0, to = 0;
    size_t found = start.find.empty() ? std::string::npos : findInArticle(text, 0, start.find);
    if (found != std::string::npos) {
        from = static_cast<DWORD>(found);
        to = static_cast<DWORD>(found + start.find.size());
    } else if (start.line > 0) {
        LRESULT index = SendMessageA(view.field, EM_LINEINDEX, static_cast<WPARAM>(start.line), 0);
        if (index < 0)  // the article is shorter now: its last line
            index = SendMessageA(
                view.field, EM_LINEINDEX,
                static_cast<WPARAM>(SendMessageA(view.field, EM_GETLINECOUNT, 0, 0) - 1), 0);
        from = to = static_cast<DWORD>(index < 0 ? 0 : index);
    }
    SendMessageA(view.field, EM_SETSEL, from, to);
    SendMessageA(view.field, EM_SCROLLCARET, 0, 0);
    view.selectionStart = from;
    view.selectionEnd = to;
}

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
            if (wParam == 16) return 0;  // Ctrl+Alt+P's character: no beep
            if (wParam == 13 && (GetKeyState(VK_CONTROL) & 0x8000)) return 0;  // Ctrl+Alt+M's
            if (wParam == 6) {                                                 // Ctrl+F
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
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (isControlAltKey(message, wParam, 'P')) {
                tellLine(view);
                return 0;
            }
            if (isControlAltKey(message, wParam, 'M') && view.navigator) {
                view.navigator->bookmark(caretLine(view), caretLineText(view));
                return 0;
            }
            if ((wParam == VK_NEXT || wParam == VK_PRIOR) && (GetKeyState(VK_CONTROL) & 0x8000) &&
                !(GetKeyState(VK_MENU) & 0x8000) && view.navigator) {
                view.navigator->readOn(wParam == VK_NEXT ? 1 : -1);
                return 0;
            }
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
            g_openView = dialog;
            setAccessibleName(view->field, userText(IDS_NAME_ARTICLE_TEXT));
            if (!view->text) return TRUE;
            SendMessageA(view->field, EM_SETLIMITTEXT, kTextLimit, 0);
            showText(*view, *view->text, view->start);
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
            // However it closes, the place is kept for reading on later.
            if (view && view->navigator && view->text) view->navigator->closed(caretLine(*view));
            if (view) clearAccessibleName(view->field);
            if (view && view->fieldProc)
                SetWindowLongPtrA(view->field, GWLP_WNDPROC,
                                  reinterpret_cast<LONG_PTR>(view->fieldProc));
            if (g_openView == dialog) g_openView = nullptr;
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runArticleView(HWND owner, const std::string &text, const char *headline,
                       const ArticleStart &start, ArticleNavigator *navigator) {
    ArticleView view;
    view.text = &text;
    view.headline = headline;
    view.start = start;
    view.navigator = navigator;
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ARTICLEVIEW), owner, articleViewProc,
                           reinterpret_cast<LPARAM>(&view));
}

void replaceArticleView(HWND dialog, const std::string &text, const char *headline) {
    ArticleView *view = dialog ? viewOf(dialog) : nullptr;
    if (!view) return;
    view->replaced = text;
    view->text = &view->replaced;
    SetWindowTextA(dialog, headline ? headline : userText(IDS_ARTICLE_VIEW_TITLE));
    showText(*view, view->replaced, ArticleStart{});
}

HWND openArticleView() { return g_openView; }

bool isControlAltKey(UINT message, WPARAM key, char letter) {
    return (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) &&
           key == static_cast<WPARAM>(letter) && (GetKeyState(VK_CONTROL) & 0x8000) &&
           (GetKeyState(VK_MENU) & 0x8000);
}
