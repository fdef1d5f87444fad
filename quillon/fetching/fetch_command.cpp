// The command line's jobs. "quillon.exe /abholen", as the Task Scheduler
// starts it: the day's fetch without a window, told in
// %LOCALAPPDATA%\Quillon\abholen.log and by the exit code. A running
// reader is handed the fetch; a second call waits for the first and ends
// with its outcome. "/aufgabe" and "/aufgabe-entfernen" serve the installer.
#include <cstring>
#include <string>

#include "auto_fetch.h"
#include "dialogs.h"
#include "download.h"
#include "fetch_lock.h"
#include "fetch_registry.h"
#include "fetch_task.h"
#include "prompt.h"
#include "quiet_fetch.h"
#include "startup.h"
#include "user_texts.h"

namespace {

// A fetch ends by the library's watchdog after fifteen minutes at the
// latest; a little more covers the waits around it.
constexpr DWORD kFetchLimitMs = 20 * 60 * 1000;

// What a box would have said while nobody watches: the reason of a
// failure, kept for the log.
std::string g_boxText;

int quietPrompt(Prompt &p) {
    if (g_boxText.empty()) g_boxText = p.text;
    return (p.style & MB_YESNO) ? IDNO : IDOK;
}

// Waits for `done`, answering this thread's messages; false after `limitMs`.
template <typename Done>
bool pumpUntil(Done done, DWORD limitMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        DWORD spent = GetTickCount() - start;
        if (spent >= limitMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  limitMs - spent < 1000 ? limitMs - spent : 1000, QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    return true;
}

int g_reply = -1;
QuietFetch *g_fetch = nullptr;
bool g_ended = false;

LRESULT CALLBACK replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == fetchReplyMessage()) {
        g_reply = static_cast<int>(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The running reader fetches; its answer is the exit code, or -1 when it
// ended first or another process was fetching (then this call fetches or
// waits itself).
int handOver(HWND reader) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = replyProc;
    wc.hInstance = g_instance;
    wc.lpszClassName = "QuillonFetchReply";
    RegisterClassA(&wc);
    HWND reply = CreateWindowExA(0, wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 g_instance, nullptr);
    if (!reply) return -1;
    g_reply = -1;
    if (PostMessageA(reader, fetchRequestMessage(), reinterpret_cast<WPARAM>(reply), 0))
        pumpUntil([&] { return g_reply >= 0 || !IsWindow(reader); }, kFetchLimitMs);
    DestroyWindow(reply);
    return g_reply >= 0 && g_reply <= 2 ? g_reply : -1;
}

void notified(WPARAM category, LPARAM code) {
    if (g_fetch && g_fetch->notify(category, code)) g_ended = true;
}

FetchOutcome failure(int text) {
    FetchOutcome outcome;
    outcome.result = FetchResult::Failed;
    outcome.failureText = text;
    return outcome;
}

// The fetch of this process, under the lock.
FetchOutcome fetchHere() {
    setPromptFunction(quietPrompt);
    if (!startLibrary(loadSystemLibrary("qlapi.dll"), systemExport)) {
        FetchOutcome outcome = failure(IDS_FETCH_NOT_STARTED);
        outcome.refusal = g_binding.dllError ? g_binding.dllError() : 0;
        return outcome;
    }
    HWND host = createFetchHostWindow(notified);
    QuietFetch fetch(g_binding, host, kHostNotifyMessage);
    g_fetch = &fetch;
    if (fetch.start() && !pumpUntil([] { return g_ended; }, kFetchLimitMs)) fetch.cancel();
    FetchOutcome outcome = fetch.outcome();
    if (!g_ended && fetch.running()) outcome = failure(IDS_STATUS_TRANSMISSIONERROR);
    g_fetch = nullptr;
    g_binding.initialize(0);
    return outcome;
}

}  // namespace

CommandJob commandJob(const char *commandLine) {
    if (!commandLine) return CommandJob::None;
    while (*commandLine == ' ') ++commandLine;
    std::string word(commandLine, strcspn(commandLine, " "));
    if (_stricmp(word.c_str(), "/abholen") == 0) return CommandJob::Fetch;
    if (_stricmp(word.c_str(), "/aufgabe") == 0) return CommandJob::Task;
    if (_stricmp(word.c_str(), "/aufgabe-entfernen") == 0) return CommandJob::RemoveTask;
    return CommandJob::None;
}

int runTaskCommand(bool remove) {
    FetchSettings s = readFetchSettings();
    HRESULT r = !remove && s.scheduledTask ? registerFetchTask(programPath(), s.hour, s.minute)
                                           : removeFetchTask();
    return SUCCEEDED(r) ? 0 : 2;
}

int runFetchCommand() {
    Moment began = localNow();
    if (HWND reader = FindWindowA(userText(IDS_WINDOW_CLASS), nullptr)) {
        int code = handOver(reader);
        if (code >= 0) return code;  // the reader wrote the log line
    }
    FetchLock lock;
    bool waited = false;
    unsigned long fetches = readFetchCount();
    if (!lock.take(0, waited)) {
        // Said at once, so that the log shows this call waiting for another.
        appendFetchLog(logStamp(began) + " " + userText(IDS_FETCH_ELSEWHERE));
        if (!lock.take(kFetchLimitMs, waited)) return 2;
        // The fetch waited for kept its outcome: it is this call's too.
        if (readFetchCount() != fetches) return readLastFetchCode();
    }
    FetchOutcome outcome = fetchHere();
    int code = outcomeExitCode(outcome);
    if (code != 2) {
        FetchPlan plan(readFetchSettings(), readLastDailyDay());
        plan.succeeded(began);
        noteLastDailyDay(plan.lastDailyDay());
    }
    if (outcome.result == FetchResult::Failed && outcome.failureText == IDS_FETCH_NOT_STARTED &&
        !g_boxText.empty()) {
        appendFetchLog(
            formatText(userText(IDS_FETCH_LOG_FAILED), logStamp(began).c_str(), g_boxText.c_str()));
    } else {
        appendFetchLog(outcomeLogLine(logStamp(began), outcome));
    }
    writeLastFetchCode(code);
    return code;
}
