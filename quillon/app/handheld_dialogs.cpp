// The handheld commands: the copy progress dialog with its copy thread, and
// the installation of the handheld reader from the images in the resources.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>

#include <atomic>

#include "device_api.h"
#include "device_sync.h"

namespace {

// Sets the dialog's title to the text lParam points to.
constexpr UINT WM_SETCOPYTITLE = WM_USER + 12;

// What the dialog and its copy thread share. Once the dialog is closed the
// thread sends it nothing more and stops before its next file.
class CopyJob : public CopyHost {
  public:
    void *window() override { return dialog; }
    void pause(unsigned milliseconds) override { Sleep(milliseconds); }
    bool stopped() override { return closed; }
    void setProgress(int percent) override {
        if (!closed)
            SendDlgItemMessageA(dialog, IDC_COPYPROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent),
                                0);
    }
    void setTitle(const char *title) override {
        if (!closed) SendMessageA(dialog, WM_SETCOPYTITLE, 0, reinterpret_cast<LPARAM>(title));
    }
    void finish() override {
        if (!closed) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }

    HWND dialog = nullptr;
    HANDLE thread = nullptr;
    std::atomic<bool> closed{false};
};

DWORD WINAPI copyThread(void *job) {
    copyNewspapersToDevice(g_device, g_binding, *static_cast<CopyJob *>(job));
    return 0;
}

INT_PTR CALLBACK copyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    CopyJob *job = reinterpret_cast<CopyJob *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            job = reinterpret_cast<CopyJob *>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            job->dialog = dialog;
            job->thread = CreateThread(nullptr, 0, copyThread, job, 0, nullptr);
            if (!job->thread) EndDialog(dialog, -1);
            return TRUE;
        case WM_SETCOPYTITLE:
            SetWindowTextA(dialog, reinterpret_cast<const char *>(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                job->closed = true;
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

// Waits for a copy thread that may still be finishing its file after an
// early close. Messages it sends to this thread's windows are answered
// meanwhile; nothing else is taken from the queue.
void waitForCopyThread(HANDLE thread) {
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(thread);
}

}  // namespace

INT_PTR runCopyProgressDialog(HWND owner) {
    CopyJob job;
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_COPYPROGRESS), owner,
                                     copyDialogProc, reinterpret_cast<LPARAM>(&job));
    job.closed = true;
    if (job.thread) waitForCopyThread(job.thread);
    return result;
}

DeviceImage carriedImage(HandheldImage which) {
    int id = which == HandheldImage::A ? IDR_HANDHELD_IMAGE_A : IDR_HANDHELD_IMAGE_B;
    HRSRC resource = FindResourceA(g_instance, MAKEINTRESOURCEA(id), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(g_instance, resource) : nullptr;
    if (!loaded) return {nullptr, 0};
    return {LockResource(loaded), SizeofResource(g_instance, resource)};
}

void runInstallation(HWND owner) { installHandheldReader(g_device, owner, carriedImage); }
