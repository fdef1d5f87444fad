// The handheld commands: the copy progress dialog with its copy thread, and
// the installation of the handheld reader from the images in the resources.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>

#include <atomic>
#include <memory>

#include "device_api.h"
#include "device_sync.h"
#include "user_texts.h"

namespace {

// Sets the dialog's title to the text lParam points to.
constexpr UINT WM_SETCOPYTITLE = WM_USER + 12;

// What the dialog and its copy thread share. Once the dialog is closed the
// thread sends it nothing more and stops before its next file.
class CopyJob : public CopyHost {
  public:
    void *window() override { return dialog; }
    // Cut short when the dialog closes.
    void pause(unsigned milliseconds) override {
        for (unsigned slept = 0; slept < milliseconds && !closed; slept += 20) Sleep(20);
    }
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
    void connecting(bool inProgress) override { waitingForHandheld = inProgress; }

    HWND dialog = nullptr;
    HANDLE thread = nullptr;
    std::atomic<bool> closed{false};
    std::atomic<bool> waitingForHandheld{false};
};

// The thread holds the job as long as it runs: after an early close the
// window may stop waiting for it.
DWORD WINAPI copyThread(void *parameter) {
    auto *held = static_cast<std::shared_ptr<CopyJob> *>(parameter);
    std::shared_ptr<CopyJob> job = std::move(*held);
    delete held;
    copyNewspapersToDevice(g_device, g_binding, *job);
    return 0;
}

INT_PTR CALLBACK copyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    CopyJob *job = reinterpret_cast<CopyJob *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            auto &shared = *reinterpret_cast<std::shared_ptr<CopyJob> *>(lParam);
            job = shared.get();
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(job));
            job->dialog = dialog;
            setAccessibleName(GetDlgItem(dialog, IDC_COPYPROGRESS), userText(IDS_NAME_PROGRESS));
            auto *held = new std::shared_ptr<CopyJob>(shared);
            job->thread = CreateThread(nullptr, 0, copyThread, held, 0, nullptr);
            if (!job->thread) {
                delete held;
                EndDialog(dialog, -1);
            }
            return TRUE;
        }
        case WM_DESTROY:
            clearAccessibleName(GetDlgItem(dialog, IDC_COPYPROGRESS));
            break;
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

// Waits up to milliseconds for the copy thread. Messages it sends to this
// thread's windows are answered meanwhile; nothing else is taken from the
// queue. True when it has ended.
bool waitForCopyThread(HANDLE thread, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - start;
        if (waited >= milliseconds) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        DWORD result =
            MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds - waited, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1) return result == WAIT_OBJECT_0;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

// How long the window waits for a copy that was closed early. It never
// waits longer: the thread holds its job and ends by itself, after the file
// it is writing, so that no half file stays on the handheld.
constexpr DWORD kCopyStopWait = 800;

INT_PTR runCopyProgressDialog(HWND owner) {
    auto job = std::make_shared<CopyJob>();
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_COPYPROGRESS), owner,
                                     copyDialogProc, reinterpret_cast<LPARAM>(&job));
    job->closed = true;
    if (!job->thread) return result;
    // A thread waiting for the connection software to connect waits for a
    // handheld for ever: ending the connection from here releases it.
    if (!waitForCopyThread(job->thread, kCopyStopWait) && job->waitingForHandheld &&
        g_device.rapiUninit) {
        g_device.rapiUninit();
        waitForCopyThread(job->thread, kCopyStopWait);
    }
    CloseHandle(job->thread);
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
