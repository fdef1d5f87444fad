// The newspaper selection: one list box and two buttons. The levels and
// positions live in SelectionController; this file connects it to the
// list box, the caption and the keys.
#include "dialogs.h"
#include "selection.h"

namespace {

class SelectionDialog : public SelectionHost {
  public:
    SelectionDialog(HWND dialog)
        : dialog_(dialog),
          list_(GetDlgItem(dialog, IDC_ENTRYLIST)),
          controller_(g_binding, *this) {}

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
    void showArticle(const std::string &text, const char *headline) override {
        g_helpContext = kHelpArticle;
        runArticleView(dialog_, text, headline);
        g_helpContext = kHelpSelection;
    }

    HWND list() const { return list_; }
    SelectionController &controller() { return controller_; }
    WNDPROC listProc = nullptr;

  private:
    HWND dialog_, list_;
    SelectionController controller_;
};

SelectionDialog *dialogOf(HWND dialog) {
    return reinterpret_cast<SelectionDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The list's keys: Ctrl+F asks for a search at the resort and article
// levels; every key then gets the list's own processing.
LRESULT CALLBACK listKeyProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND dialog = GetParent(list);
    SelectionDialog *d = dialogOf(dialog);
    if (message == WM_CHAR && wParam == 6 && d->controller().searchAllowed()) {
        if (askSearchText(list)) PostMessageA(dialog, kFindTextMessage, 0, 0);
        g_helpContext = kHelpSelection;
    }
    return CallWindowProcA(d->listProc, list, message, wParam, lParam);
}

INT_PTR CALLBACK selectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    SelectionDialog *d = dialogOf(dialog);
    switch (message) {
        case WM_INITDIALOG: {
            d = new SelectionDialog(dialog);
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
            if (!d->controller().open()) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            d->listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                d->list(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listKeyProc)));
            SetFocus(d->list());
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
        case WM_DESTROY:
            if (d && d->listProc)
                SetWindowLongPtrA(d->list(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(d->listProc));
            delete d;
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runSelectionDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SELECTION), owner, selectionDialogProc,
                           0);
}
