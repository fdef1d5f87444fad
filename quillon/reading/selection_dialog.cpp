// The newspaper selection: one list box and two buttons. The levels and
// positions live in SelectionController; this file connects it to the
// list box, the caption, the keys and the article view.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>
#include <windowsx.h>

#include "prompt.h"
#include "resume_registry.h"
#include "selection.h"
#include "settings_store.h"
#include "user_texts.h"

namespace {

// Posted to open the place the reader stopped once the list stands.
constexpr UINT kResumeMessage = WM_USER + 12;
// Posted to open a bookmark's article once the list stands.
constexpr UINT kBookmarkMessage = WM_USER + 13;

// How the selection opens: at the newspapers, at the place the reader
// stopped, or with the hits of a search over every newspaper.
struct SelectionStart {
    enum Mode { atNewspapers, atResume, atHits, atBookmark } mode = atNewspapers;
    std::vector<SearchHit> hits;
    std::string needle;
    Bookmark bookmark;
};

class SelectionDialog : public SelectionHost, public ArticleNavigator {
  public:
    SelectionDialog(HWND dialog)
        : dialog_(dialog), list_(GetDlgItem(dialog, IDC_ENTRYLIST)), controller_(g_binding, *this) {
        controller_.setResumeStore(&registryResumeStore());
        controller_.setBookmarkStore(&registryBookmarkStore());
    }

    void clearList() override { SendMessageA(list_, LB_RESETCONTENT, 0, 0); }
    void addEntry(const std::string &text) override {
        SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    int entryCount() const override {
        return static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
    }
    int selectedEntry() const override {
        LRESULT i = SendMessageA(list_, LB_GETCURSEL, 0, 0);
        return i == LB_ERR ? -1 : static_cast<int>(i);
    }
    void selectEntry(int position) override {
        SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    }
    void setCaption(const std::string &caption) override {
        SetWindowTextA(dialog_, caption.c_str());
    }
    void *window() const override { return dialog_; }
    void showArticle(const std::string &text, const char *headline,
                     const ArticleStart &start) override {
        g_helpContext = kHelpArticle;
        runArticleView(dialog_, text, headline, start, this);
        g_helpContext = kHelpSelection;
    }
    void replaceArticle(const std::string &text, const char *headline) override {
        replaceArticleView(openArticleView(), text, headline);
    }
    void *articleWindow() const override {
        HWND view = openArticleView();
        return view ? view : dialog_;
    }
    void levelChanged(SelectionLevel level) override {
        static const int kNames[] = {IDS_NAME_NEWSPAPERS, IDS_NAME_RESORTS, IDS_NAME_ARTICLES,
                                     IDS_NAME_HITS, IDS_NAME_HEADLINES};
        setAccessibleName(list_, userText(kNames[level]));
    }

    int paperLimit() const override { return storedPaperCount(); }

    void readOn(int direction) override { controller_.readOn(direction); }
    void closed(int line) override { controller_.articleClosed(line); }
    void bookmark(int line, const std::string &lineText) override {
        controller_.bookmarkKey(line, lineText);
    }

    HWND list() const { return list_; }
    SelectionController &controller() { return controller_; }
    WNDPROC listProc = nullptr;

  private:
    HWND dialog_, list_;
    SelectionController controller_;
};

HWND g_openSelection = nullptr;

SelectionDialog *dialogOf(HWND dialog) {
    return reinterpret_cast<SelectionDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The list's keys: Ctrl+F asks for a search at the resort and article
// levels, Ctrl+Alt+P tells where the list is; every other key then gets
// the list's own processing.
LRESULT CALLBACK listKeyProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND dialog = GetParent(list);
    SelectionDialog *d = dialogOf(dialog);
    if (message == WM_CHAR && wParam == 6 && d->controller().searchAllowed()) {
        if (askSearchText(list)) PostMessageA(dialog, kFindTextMessage, 0, 0);
        g_helpContext = kHelpSelection;
    }
    if (message == WM_CHAR && (wParam == 16 || wParam == 19)) return 0;  // Ctrl+Alt+P, S
    if (isControlAltKey(message, wParam, 'S') && d->controller().showHeadlines()) return 0;
    if (message == WM_CHAR && wParam == 5 && d->controller().saveEbook()) return 0;  // Ctrl+E
    if (message == WM_CHAR && wParam == 2 && d->controller().keepKey()) return 0;    // Ctrl+B
    if (message == WM_CONTEXTMENU) {
        // The list's menu entries, for those who look for them there.
        HMENU menu = CreatePopupMenu();
        bool here = d->controller().memory().level == NewspaperLevel;
        AppendMenuA(menu, MF_STRING | (here ? MF_ENABLED : MF_GRAYED), 1, userText(IDS_EBOOK_MENU));
        AppendMenuA(menu, MF_STRING | (here ? MF_ENABLED : MF_GRAYED), 2, userText(IDS_KEEP_MENU));
        POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (at.x == -1 && at.y == -1) {  // from the keyboard: at the list
            RECT r;
            GetWindowRect(list, &r);
            at = {r.left + 8, r.top + 8};
        }
        int chosen =
            TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, dialog, nullptr);
        DestroyMenu(menu);
        if (chosen == 1) d->controller().saveEbook();
        if (chosen == 2) d->controller().keepKey();
        return 0;
    }
    if (isControlAltKey(message, wParam, 'P')) {
        messageBox(dialog, d->controller().whereAmI(), userText(IDS_POSITION_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    return CallWindowProcA(d->listProc, list, message, wParam, lParam);
}

INT_PTR CALLBACK selectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    SelectionDialog *d = dialogOf(dialog);
    switch (message) {
        case WM_INITDIALOG: {
            d = new SelectionDialog(dialog);
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
            g_openSelection = dialog;
            d->listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                d->list(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listKeyProc)));
            SetFocus(d->list());
            auto *start = reinterpret_cast<SelectionStart *>(lParam);
            bool opened = false;
            switch (start->mode) {
                case SelectionStart::atNewspapers:
                    opened = d->controller().open();
                    break;
                case SelectionStart::atResume:
                    // The article opens over the list once the list is shown.
                    opened = d->controller().open();
                    if (opened) PostMessageA(dialog, kResumeMessage, 0, 0);
                    break;
                case SelectionStart::atBookmark:
                    opened = d->controller().open();
                    if (opened) PostMessageA(dialog, kBookmarkMessage, 0, lParam);
                    break;
                case SelectionStart::atHits:
                    opened = d->controller().openHitsOfAllNewspapers(std::move(start->hits),
                                                                     start->needle);
                    break;
            }
            if (!opened) EndDialog(dialog, 0);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    d->controller().choose();
                    return TRUE;
                case IDCANCEL:
                    if (!d->controller().goBack()) EndDialog(dialog, 2);
                    return TRUE;
                case IDC_ENTRYLIST:
                    if (HIWORD(wParam) == LBN_DBLCLK) d->controller().choose();
                    return TRUE;
            }
            break;
        case WM_VKEYTOITEM:
            // Answered directly, not through DWLP_MSGRESULT: -1 is the
            // list's default action, -2 a key taken here.
            if (LOWORD(wParam) == VK_DELETE) {
                switch (d->controller().deleteKey()) {
                    case SelectionController::KeyResult::NotTaken:
                        return -1;
                    case SelectionController::KeyResult::Consumed:
                        return -2;
                    case SelectionController::KeyResult::EndDialog:
                        EndDialog(dialog, 0);
                        return -2;
                }
            }
            return -1;
        case WM_CHARTOITEM:
            return -1;  // otherwise the list jumps to its first entry
        case kFindTextMessage:
            d->controller().search();
            return TRUE;
        case kResumeMessage:
            if (!d->controller().resume()) EndDialog(dialog, 0);
            return TRUE;
        case kBookmarkMessage:
            // The start record lives until the dialog has ended.
            if (!d->controller().openBookmark(reinterpret_cast<SelectionStart *>(lParam)->bookmark))
                EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY:
            if (d && d->listProc)
                SetWindowLongPtrA(d->list(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(d->listProc));
            if (d) clearAccessibleName(d->list());
            if (g_openSelection == dialog) g_openSelection = nullptr;
            delete d;
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            return TRUE;
    }
    return FALSE;
}

INT_PTR runSelection(HWND owner, SelectionStart &start) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SELECTION), owner, selectionDialogProc,
                           reinterpret_cast<LPARAM>(&start));
}

// The search over every newspaper: a small window with a progress bar,
// kept alive between editions; Escape or its close box stops the search.
struct SearchProgressWindow {
    HWND window = nullptr;
    bool stopped = false;
};

INT_PTR CALLBACK searchProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        auto *w = reinterpret_cast<SearchProgressWindow *>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (w) w->stopped = true;
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

bool searchProgress(void *context, int done, int total) {
    auto *w = static_cast<SearchProgressWindow *>(context);
    if (w->window) {
        SendDlgItemMessageA(w->window, IDC_COPYPROGRESS, PBM_SETPOS,
                            static_cast<WPARAM>(total ? done * 100 / total : 100), 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(w->window, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    return !w->stopped;
}

}  // namespace

HWND openSelectionDialog() { return g_openSelection; }

INT_PTR runSelectionDialog(HWND owner) {
    SelectionStart start;
    return runSelection(owner, start);
}

INT_PTR runResumeDialog(HWND owner) {
    SelectionStart start;
    start.mode = SelectionStart::atResume;
    return runSelection(owner, start);
}

INT_PTR runBookmarkSelection(HWND owner, const Bookmark &mark) {
    SelectionStart start;
    start.mode = SelectionStart::atBookmark;
    start.bookmark = mark;
    return runSelection(owner, start);
}

void runSearchAllNewspapers(HWND owner) {
    if (!askSearchText(owner)) return;
    std::string needle = searchText();
    SearchProgressWindow progress;
    progress.window = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_COPYPROGRESS), owner,
                                         searchProgressProc, 0);
    if (progress.window) {
        SetWindowLongPtrA(progress.window, DWLP_USER, reinterpret_cast<LONG_PTR>(&progress));
        SetWindowTextA(progress.window, userText(IDS_SEARCH_ALL_PROGRESS));
        HWND bar = GetDlgItem(progress.window, IDC_COPYPROGRESS);
        setAccessibleName(bar, userText(IDS_NAME_PROGRESS));
        EnableWindow(owner, FALSE);  // as a modal dialog would
        ShowWindow(progress.window, SW_SHOW);
        SetFocus(progress.window);
    }
    SelectionStart start;
    start.mode = SelectionStart::atHits;
    start.needle = needle;
    start.hits = searchAllNewspapers(g_binding, needle, searchProgress, &progress);
    if (progress.window) {
        clearAccessibleName(GetDlgItem(progress.window, IDC_COPYPROGRESS));
        EnableWindow(owner, TRUE);
        DestroyWindow(progress.window);
    }
    if (start.hits.empty()) {
        if (!progress.stopped)
            messageBox(owner, userText(IDS_NOTHING_FOUND), userText(IDS_NOTICE_CAPTION),
                       MB_OK | MB_ICONINFORMATION);
        return;
    }
    g_helpContext = kHelpSelection;
    runSelection(owner, start);
}
