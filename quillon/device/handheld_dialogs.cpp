// The handheld commands: the copy and the installation of the handheld
// reader, each on a thread of its own behind the progress dialog, one device
// job at a time.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <vector>

#include "device_api.h"
#include "device_sync.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

// Sets the dialog's title to the text lParam points to.
constexpr UINT WM_SETCOPYTITLE = WM_USER + 12;

// How long a new job waits quietly for the previous one before it says so.
constexpr DWORD kQuietWait = 300;

// How long the window waits for a job that was closed early. It never
// waits longer: the thread holds its job and ends by itself, after the file
// it is writing, so that no half file stays on the handheld.
constexpr DWORD kCopyStopWait = 800;

// How long the ending program waits for a job's file to arrive.
constexpr DWORD kEndWait = 20000;

enum class JobKind { copy, install };

// A box a job closed early still has to tell; the main window shows it.
struct DeviceNotice {
    std::string text;
    int captionId;
    unsigned style;
};

// What the dialog and its thread share. Once the dialog is closed the
// thread sends it nothing more, stops before its next file and tells what
// it did through the main window; once the program ends it tells nothing.
class DeviceJob : public CopyHost {
  public:
    ~DeviceJob() override {
        if (thread) CloseHandle(thread);
    }
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
    void setTitle(const char *text) override {
        if (!closed) SendMessageA(dialog, WM_SETCOPYTITLE, 0, reinterpret_cast<LPARAM>(text));
    }
    void finish() override {
        if (!closed) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    void connecting(bool inProgress) override { waitingForHandheld = inProgress; }
    void tell(const std::string &text, int captionId, unsigned style) override {
        if (!closed) {
            CopyHost::tell(text, captionId, style);
            return;
        }
        if (ending) return;
        auto *notice = new DeviceNotice{text, captionId, style};
        if (!PostMessageA(owner, WM_DEVICENOTICE, 0, reinterpret_cast<LPARAM>(notice)))
            delete notice;
    }
    int ask(const std::string &text, int captionId, unsigned style) override {
        return closed ? IDNO : CopyHost::ask(text, captionId, style);
    }
    bool running() const { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

    JobKind kind = JobKind::copy;
    HWND owner = nullptr;
    HWND dialog = nullptr;
    HANDLE thread = nullptr;
    std::string title;  // the dialog's own title
    // The job before this one: this one starts when its thread has ended.
    std::shared_ptr<DeviceJob> previous;
    std::atomic<bool> closed{false};
    std::atomic<bool> ending{false};
    std::atomic<bool> waitingForHandheld{false};
};

// The jobs whose threads may still run (GUI thread only).
std::vector<std::shared_ptr<DeviceJob>> g_jobs;

// Waits for the previous job's thread, saying so in the title when that
// takes more than a moment. False when the dialog was closed meanwhile.
bool waitForPrevious(DeviceJob &job) {
    std::shared_ptr<DeviceJob> previous = std::move(job.previous);
    if (!previous || !previous->thread) return !job.stopped();
    if (WaitForSingleObject(previous->thread, kQuietWait) != WAIT_OBJECT_0) {
        job.setTitle(userText(IDS_DEVICE_BUSY));
        while (WaitForSingleObject(previous->thread, 50) != WAIT_OBJECT_0)
            if (job.stopped()) return false;
        job.setTitle(job.title.c_str());
    }
    return !job.stopped();
}

// The thread holds the job as long as it runs: after an early close the
// window may stop waiting for it.
DWORD WINAPI deviceThread(void *parameter) {
    auto *held = static_cast<std::shared_ptr<DeviceJob> *>(parameter);
    std::shared_ptr<DeviceJob> job = std::move(*held);
    delete held;
    if (!waitForPrevious(*job))
        job->finish();
    else if (job->kind == JobKind::copy)
        copyNewspapersToDevice(g_device, g_binding, *job);
    else
        installHandheldReader(g_device, *job, carriedImage);
    return 0;
}

INT_PTR CALLBACK deviceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DeviceJob *job = reinterpret_cast<DeviceJob *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            auto &shared = *reinterpret_cast<std::shared_ptr<DeviceJob> *>(lParam);
            job = shared.get();
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(job));
            job->dialog = dialog;
            if (job->kind == JobKind::install) SetWindowTextA(dialog, userText(IDS_INSTALL_TITLE));
            char title[kUserTextSize] = "";
            GetWindowTextA(dialog, title, sizeof title);
            job->title = title;
            setAccessibleName(GetDlgItem(dialog, IDC_COPYPROGRESS), userText(IDS_NAME_PROGRESS));
            auto *held = new std::shared_ptr<DeviceJob>(shared);
            job->thread = CreateThread(nullptr, 0, deviceThread, held, 0, nullptr);
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

// Waits up to milliseconds for a job's thread. Messages it sends to this
// thread's windows are answered meanwhile; nothing else is taken from the
// queue. True when it has ended.
bool waitForJobThread(HANDLE thread, DWORD milliseconds) {
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

// A thread waiting for the connection software to connect waits for a
// handheld for ever: ending the connection from here releases it.
void releaseWaitingThread(DeviceJob &job, DWORD milliseconds) {
    if (!waitForJobThread(job.thread, milliseconds) && job.waitingForHandheld &&
        g_device.rapiUninit) {
        g_device.rapiUninit();
        waitForJobThread(job.thread, milliseconds);
    }
}

INT_PTR runDeviceJob(HWND owner, JobKind kind) {
    auto job = std::make_shared<DeviceJob>();
    job->kind = kind;
    job->owner = owner;
    // Only one job talks to the handheld: a new one waits for the last.
    std::vector<std::shared_ptr<DeviceJob>> running;
    for (auto &earlier : g_jobs)
        if (earlier->running()) running.push_back(earlier);
    g_jobs.swap(running);
    if (!g_jobs.empty()) job->previous = g_jobs.back();
    g_jobs.push_back(job);
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_COPYPROGRESS), owner,
                                     deviceDialogProc, reinterpret_cast<LPARAM>(&job));
    job->closed = true;
    if (job->thread) releaseWaitingThread(*job, kCopyStopWait);
    return result;
}

}  // namespace

INT_PTR runCopyProgressDialog(HWND owner) { return runDeviceJob(owner, JobKind::copy); }

void runInstallation(HWND owner) { runDeviceJob(owner, JobKind::install); }

void showDeviceNotice(HWND owner, LPARAM lParam) {
    std::unique_ptr<DeviceNotice> notice(reinterpret_cast<DeviceNotice *>(lParam));
    messageBox(owner, notice->text, userText(notice->captionId), notice->style);
}

void endDeviceJobs(HWND window) {
    bool anyRunning = false;
    for (auto &job : g_jobs) anyRunning = anyRunning || job->running();
    if (!anyRunning) {
        g_jobs.clear();
        return;
    }
    for (auto &job : g_jobs) {
        job->ending = true;
        job->closed = true;
    }
    // The window keeps answering while the file being written arrives, but
    // takes no input.
    EnableWindow(window, FALSE);
    DWORD start = GetTickCount();
    for (auto &job : g_jobs) {
        if (!job->thread) continue;
        releaseWaitingThread(*job, kCopyStopWait);
        while (job->running() && GetTickCount() - start < kEndWait) {
            if (MsgWaitForMultipleObjects(1, &job->thread, FALSE, 100, QS_ALLINPUT) !=
                WAIT_OBJECT_0 + 1)
                continue;
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_DEVICENOTICE) {  // nobody is there to read it
                    delete reinterpret_cast<DeviceNotice *>(message.lParam);
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    g_jobs.clear();
    EnableWindow(window, TRUE);
}

DeviceImage carriedImage(HandheldImage which) {
    int id = which == HandheldImage::A ? IDR_HANDHELD_IMAGE_A : IDR_HANDHELD_IMAGE_B;
    HRSRC resource = FindResourceA(g_instance, MAKEINTRESOURCEA(id), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(g_instance, resource) : nullptr;
    if (!loaded) return {nullptr, 0};
    return {LockResource(loaded), SizeofResource(g_instance, resource)};
}
