// The automatic fetches of the running program, around the main window.
#include "auto_fetch.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "download.h"
#include "fetch_lock.h"
#include "fetch_registry.h"
#include "library_binding.h"
#include "prompt.h"
#include "quiet_fetch.h"
#include "user_texts.h"

namespace {

// The clock is looked at twice a minute; the plan works in whole minutes.
constexpr UINT_PTR kFetchTimer = 0x5132;
constexpr UINT kFetchTimerMs = 30000;
// Posted to the main window when the reader may be told what arrived.
constexpr UINT WM_FETCHTELL = WM_APP + 820;

struct AutoFetch {
    HWND main = nullptr;
    HWND host = nullptr;     // receives the library's notifications
    HWND watcher = nullptr;  // the download dialog, while it watches
    std::unique_ptr<FetchPlan> plan;
    std::unique_ptr<QuietFetch> fetch;
    FetchLock lock;
    Moment began;
    bool asked = false;            // the reader watched: nothing new is told too
    bool resyncPending = false;    // the store is re-read once no dialog is open
    std::string pending;           // what the reader is still to hear
    std::vector<HWND> requesters;  // "/abholen" calls waiting for the outcome
    bool handFetching = false;     // the reader's own download dialog is open
};

AutoFetch g_auto;
FetchClock g_clock = nullptr;

Moment now() { return g_clock ? g_clock() : localNow(); }

void setTitle(int text) {
    SetWindowTextA(g_auto.main, text ? userText(text) : userText(IDS_APP_TITLE));
}

// Whether the reader could be told now: the main window in front, no
// dialog open (a modal dialog disables its owner).
bool readerFree() {
    return g_auto.main && IsWindowEnabled(g_auto.main) && GetForegroundWindow() == g_auto.main;
}

void tell() {
    if (!g_auto.main || !IsWindowEnabled(g_auto.main)) return;
    // Reading is over: the lists may be re-read without pulling them from
    // under an open dialog.
    if (g_auto.resyncPending) {
        g_auto.resyncPending = false;
        g_binding.resyncNewspaper();
    }
    if (g_auto.pending.empty() || !readerFree()) return;
    std::string text;
    text.swap(g_auto.pending);
    setTitle(0);
    messageBox(g_auto.main, text, userText(IDS_NOTICE_CAPTION), MB_OK);
}

void ended() {
    FetchOutcome outcome = g_auto.fetch->outcome();
    g_auto.fetch.reset();
    g_auto.lock.release();
    Moment at = now();
    std::string next;
    bool tomorrow = false;
    bool cancelled = outcome.failureText == IDS_FETCH_CANCELLED;
    if (cancelled) {
        g_auto.plan->handFetch();  // the reader stopped it: no retry
    } else if (outcome.result == FetchResult::Failed) {
        Moment retry;
        if (g_auto.plan->failed(at, retry)) {
            next = clockText(retry);
            tomorrow = dayStamp(retry) != dayStamp(at);
        }
    } else {
        g_auto.plan->succeeded(g_auto.began);
    }
    noteLastDailyDay(g_auto.plan->lastDailyDay());
    int code = outcomeExitCode(outcome);
    writeLastFetchCode(code);
    for (HWND requester : g_auto.requesters) {
        appendFetchLog(outcomeLogLine(logStamp(g_auto.began), outcome));
        PostMessageA(requester, fetchReplyMessage(), static_cast<WPARAM>(code), 0);
    }
    g_auto.requesters.clear();
    std::string sentence = outcomeSentence(outcome, g_auto.asked, next, tomorrow);
    g_auto.asked = false;
    g_auto.resyncPending = true;
    if (g_auto.watcher) EndDialog(g_auto.watcher, 0);
    if (!sentence.empty() && !cancelled) {
        g_auto.pending = sentence;
        setTitle(outcome.result == FetchResult::Failed ? IDS_TITLE_FAILED : IDS_TITLE_FETCHED);
    } else {
        setTitle(0);
    }
    PostMessageA(g_auto.main, WM_FETCHTELL, 0, 0);
}

void notified(WPARAM category, LPARAM code) {
    if (!g_auto.fetch) return;
    if (category == QL_NOTIFY_PROGRESS && g_auto.watcher)
        SendDlgItemMessageA(g_auto.watcher, IDC_PROGRESS, PBM_SETPOS, code & 0xFFFF, 0);
    if (g_auto.fetch->notify(category, code)) ended();
}

// Starts an automatic fetch unless one runs or another process fetches
// (then the clock tries again at its next tick).
void begin() {
    // While the reader's own fetch runs, the clock tries again at its next
    // tick; the lock would not tell (this thread holds it already).
    if (g_auto.fetch || !g_auto.main || g_auto.handFetching) return;
    bool waited = false;
    if (!g_auto.lock.take(0, waited)) return;
    g_auto.began = now();
    g_auto.fetch = std::make_unique<QuietFetch>(g_binding, g_auto.host, kHostNotifyMessage);
    setTitle(IDS_TITLE_FETCHING);
    if (!g_auto.fetch->start()) ended();
}

LRESULT CALLBACK fetchHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kHostNotifyMessage) {
        auto notify = reinterpret_cast<FetchNotify>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (notify) notify(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND createFetchHostWindow(FetchNotify notify) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = fetchHostProc;
    wc.hInstance = g_instance;
    wc.lpszClassName = "QuillonFetchHost";
    RegisterClassA(&wc);  // a second registration fails harmlessly
    HWND window = CreateWindowExA(0, wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, g_instance, nullptr);
    if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(notify));
    return window;
}

UINT fetchRequestMessage() {
    static UINT message = RegisterWindowMessageA("Quillon.Abholen");
    return message;
}

UINT fetchReplyMessage() {
    static UINT message = RegisterWindowMessageA("Quillon.Abholen.Ergebnis");
    return message;
}

void setFetchClock(FetchClock clock) { g_clock = clock; }

bool autoFetchRunning() { return g_auto.fetch != nullptr; }

void startAutoFetching(HWND mainWindow) {
    g_auto.main = mainWindow;
    g_auto.pending.clear();
    g_auto.resyncPending = g_auto.asked = false;
    if (!g_auto.host) g_auto.host = createFetchHostWindow(notified);
    g_auto.plan = std::make_unique<FetchPlan>(readFetchSettings(), readLastDailyDay());
    SetTimer(mainWindow, kFetchTimer, kFetchTimerMs, nullptr);
    if (g_auto.plan->atStart(now()) != FetchReason::None) begin();
}

void autoFetchTick() {
    if (!g_auto.plan || g_auto.fetch) return;
    // "/abholen" of a scheduled task may have fetched today's papers.
    g_auto.plan->noteDailyDone(readLastDailyDay());
    if (g_auto.plan->due(now()) != FetchReason::None) begin();
}

void applyFetchSettings(const FetchSettings &settings) {
    if (g_auto.plan) g_auto.plan->setSettings(settings);
}

bool autoFetchMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT &result) {
    if (window != g_auto.main) return false;
    result = 0;
    if (message == WM_TIMER && wParam == kFetchTimer) {
        autoFetchTick();
        return true;
    }
    if (message == WM_FETCHTELL) {
        tell();
        return true;
    }
    if (message == fetchRequestMessage()) {
        // A scheduled "/abholen" while the reader's program runs: the fetch
        // is done here, and its caller gets the outcome.
        HWND requester = reinterpret_cast<HWND>(wParam);
        if (!IsWindow(requester)) return true;
        if (!g_auto.fetch) begin();
        if (g_auto.fetch)
            g_auto.requesters.push_back(requester);
        else  // another process fetches: that caller waits for it
            PostMessageA(requester, fetchReplyMessage(), 3, 0);
        return true;
    }
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(window, WM_FETCHTELL, 0, 0);
            break;
        case WM_ENABLE:
            if (wParam) PostMessageA(window, WM_FETCHTELL, 0, 0);
            break;
        case WM_DESTROY:
            KillTimer(window, kFetchTimer);
            if (g_auto.fetch) g_binding.registerCallback(nullptr, 0);
            g_auto.fetch.reset();
            g_auto.lock.release();
            g_auto.main = nullptr;
            break;
    }
    return false;
}

void runHandFetch(HWND mainWindow) {
    if (g_auto.fetch) {
        runDownloadDialog(mainWindow);  // it watches the running fetch
        return;
    }
    bool waited = false;
    if (!g_auto.lock.take(0, waited)) {
        messageBox(mainWindow, userText(IDS_FETCH_ELSEWHERE), userText(IDS_APP_TITLE),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    if (g_auto.plan) g_auto.plan->handFetch();
    g_auto.handFetching = true;
    runDownloadDialog(mainWindow);
    g_auto.handFetching = false;
    g_auto.lock.release();
}

bool watchAutoFetch(HWND dialog) {
    if (!g_auto.fetch) return false;
    g_auto.watcher = dialog;
    g_auto.asked = true;
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, g_auto.fetch->progress(), 0);
    return true;
}

void cancelWatchedFetch() {
    if (g_auto.fetch) g_auto.fetch->cancel();
}

void stopWatchingAutoFetch(HWND dialog) {
    if (g_auto.watcher == dialog) g_auto.watcher = nullptr;
}
