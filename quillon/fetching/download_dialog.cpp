// The download dialog: a progress bar while the library fetches, and a
// message for everything the library reports.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>

#include "auto_fetch.h"
#include "download.h"
#include "settings_store.h"
#include "user_texts.h"

namespace {

class DownloadDialog : public DownloadHost {
  public:
    explicit DownloadDialog(HWND dialog) : dialog_(dialog), controller_(g_binding, *this) {}

    QL_HostWindow hostWindow() override { return dialog_; }
    void *window() const override { return dialog_; }
    unsigned long updateOffer() override {
        DWORD size = 0;
        return readUserNumber("Software\\VKT\\Quillon\\", "UPDATE", size, true) ? size : 0;
    }
    void setProgress(int percent) override {
        SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    }
    void end(int result) override { EndDialog(dialog_, result); }
    int paperLimit() const override { return storedPaperCount(); }

    DownloadController &controller() { return controller_; }
    // The dialog shows an automatic fetch that was running already.
    bool watching = false;

  private:
    HWND dialog_;
    DownloadController controller_;
};

DownloadDialog *dialogOf(HWND dialog) {
    return reinterpret_cast<DownloadDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK downloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DownloadDialog *d = dialogOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            d = new DownloadDialog(dialog);
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
            setAccessibleName(GetDlgItem(dialog, IDC_PROGRESS), userText(IDS_NAME_PROGRESS));
            d->watching = watchAutoFetch(dialog);
            // The questions come before the dialog shows; a refused start
            // ends it unseen.
            if (!d->watching) d->controller().start();
            return TRUE;
        case kHostNotifyMessage:
            if (d) d->controller().notify(wParam, lParam);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                if (d->watching) cancelWatchedFetch();
                d->controller().cancel();
                return TRUE;
            }
            break;
        case WM_DESTROY:
            clearAccessibleName(GetDlgItem(dialog, IDC_PROGRESS));
            if (d) {
                if (d->watching)
                    stopWatchingAutoFetch(dialog);
                else
                    d->controller().destroyed();
                delete d;
                SetWindowLongPtrA(dialog, DWLP_USER, 0);
            }
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runDownloadDialog(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DOWNLOAD), owner, downloadDialogProc,
                           0);
}
