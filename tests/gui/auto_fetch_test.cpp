// Fetching by itself against our subscription server: the start fetch, the
// daily time on a clock the test sets, the retry, the reader told only when
// no dialog is open, "quillon.exe /abholen" with its exit codes and log
// lines, and the settings dialog with the scheduled task.
#include "window_driver.h"  // windows.h first

#include <objbase.h>

#include <filesystem>
#include <memory>

#include "accessible_reader.h"
#include "auto_fetch.h"
#include "fetch_registry.h"
#include "fetch_task.h"
#include "library_binding.h"
#include "subscription_server.h"

namespace fs = std::filesystem;

namespace {

Moment g_now;
Moment testClock() { return g_now; }

const char kFetchKey[] = "Software\\VKT\\Quillon\\Fetch";

void setFetchNumber(const char *name, DWORD value) {
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, kFetchKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(k);
}

DWORD fetchNumber(const char *name) {
    DWORD value = 0xDEAD, size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, kFetchKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

const char kNew[] = "Hinweis | Neue Zeitungen: Quillon Tageblatt vom 5.12.2026. | no icon";

class AutoFetchWindows : public ProgramWindows {
  protected:
    void SetUp() override {
        ProgramWindows::SetUp();
        std::string served = s_dir + "served\\";
        fs::remove_all(served);
        fs::create_directories(served);
        fs::copy_file(std::string(QL_TEST_DATA) + "/editions/tageblatt-2026-12-05.eif",
                      served + "tageblatt-2026-12-05.eif");
        ServerOptions options;
        options.editionsDir = served;
        options.accounts = {{"leser", ""}};
        server_ = std::make_unique<SubscriptionServer>(options);
        ASSERT_TRUE(server_->start()) << server_->error();
        configure("leser");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI\\Newspapers");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
        char base[MAX_PATH] = "";
        GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
        log_ = std::string(base) + "\\Quillon\\abholen.log";
        fs::remove(log_);
        g_now = Moment{2026, 12, 8, 5, 0};
        setFetchClock(testClock);
    }
    void TearDown() override {
        // Every fetch of the test has ended: the window was told, or the
        // process returned.
        if (IsWindow(main_)) DestroyWindow(main_);
        setFetchClock(nullptr);
        server_.reset();
        for (const char *extension : {".eif", ".ehd"})
            fs::remove(s_dir + "news\\tageblatt-2026-12-05" + extension);
        WritePrivateProfileStringA("VKT", "url", "127.0.0.1:1/q", "qlapi.ini");
        WritePrivateProfileStringA("VKT", "login", "leser", "qlapi.ini");
        g_binding.resyncNewspaper();
        ProgramWindows::TearDown();
    }
    void configure(const char *login) {
        std::string url = "127.0.0.1:" + std::to_string(server_->port()) + "/cgi-bin/query";
        WritePrivateProfileStringA("VKT", "url", url.c_str(), "qlapi.ini");
        WritePrivateProfileStringA("VKT", "login", login, "qlapi.ini");
        ASSERT_EQ(g_binding.resyncNewspaper(), 0);
    }
    // The queries of the script; a delivery adds the container's request.
    size_t queries() {
        size_t n = 0;
        for (const ReceivedRequest &r : server_->requests()) n += r.path == "/cgi-bin/query";
        return n;
    }
    std::string title() { return textOf(main_); }
    // Runs "quillon.exe /abholen" to its end; its exit code.
    static DWORD runFetchCommandProcess(HANDLE *started = nullptr) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        char line[] = "quillon.exe /abholen";
        if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return 0xDEAD;
        CloseHandle(pi.hThread);
        if (started) {
            *started = pi.hProcess;
            return 0;
        }
        return exitCodeOf(pi.hProcess);
    }
    static DWORD exitCodeOf(HANDLE process) {
        DWORD code = 0xDEAD;
        if (WaitForSingleObject(process, 120000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        CloseHandle(process);
        return code;
    }
    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        std::string text = readFile(log_), line;
        for (char c : text) {
            if (c == '\n') {
                // The date and time are the moment's; the rest is checked.
                lines.push_back(line.size() > 17 ? line.substr(17) : line);
                line.clear();
            } else if (c != '\r') {
                line += c;
            }
        }
        return lines;
    }

    std::unique_ptr<SubscriptionServer> server_;
    std::string log_;
};

TEST_F(AutoFetchWindows, TheStartFetchAsksWithoutAKeyAndTellsOnce) {
    setFetchNumber("AtStart", 1);
    server_->holdQueries();
    drive(
        [&] {
            EXPECT_TRUE(waitFor([&] { return server_->heldQueries() > 0; }, 60000));
            // The reader's window stays in front, with the state in its title.
            EXPECT_EQ(GetForegroundWindow(), main_);
            EXPECT_EQ(title(), "Vantrel Quillon - Zeitungen werden abgeholt");
            EXPECT_EQ(promptCount(), 0u);
            server_->releaseQueries();
            EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 60000));
        },
        [&] { startAutoFetching(main_); });
    EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{kNew});
    EXPECT_EQ(title(), "Vantrel Quillon");
    EXPECT_EQ(queries(), 1u);
    EXPECT_EQ(fetchNumber("LastDay"), 0xDEADu);  // 5:00 comes before the daily time
}

TEST_F(AutoFetchWindows, AReaderInADialogHearsNothingUntilItCloses) {
    setFetchNumber("AtStart", 1);
    server_->holdQueries();
    int before = 0;
    drive(
        [&] {
            EXPECT_TRUE(waitFor([&] { return server_->heldQueries() > 0; }, 60000));
            PostMessageA(main_, WM_COMMAND, IDM_READ, 0);
            HWND list = waitForDialog("Zeitungsauswahl");
            ASSERT_TRUE(list);
            before = static_cast<int>(entriesOf(GetDlgItem(list, IDC_ENTRYLIST)).size());
            server_->releaseQueries();
            // The fetch has ended once the title says so; the list is as it was.
            EXPECT_TRUE(
                waitFor([&] { return title() == "Vantrel Quillon - Neue Zeitungen"; }, 60000));
            EXPECT_EQ(promptCount(), 0u);
            EXPECT_EQ(static_cast<int>(entriesOf(GetDlgItem(list, IDC_ENTRYLIST)).size()), before);
            press(list, IDCANCEL);
            EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 10000));
        },
        [&] { startAutoFetching(main_); });
    EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{kNew});
    int now = 0;
    for (const NewspaperRecord *p = g_binding.findFirstNewspaper(); p;
         p = g_binding.findNextNewspaper())
        ++now;
    EXPECT_EQ(now, before + 1);  // read again once the list had closed
}

// Ctrl+Alt+N during an automatic fetch watches it instead of refusing, and
// the reader, having asked, hears "nothing new" too.
TEST_F(AutoFetchWindows, TheDownloadDialogWatchesTheRunningFetch) {
    setFetchNumber("AtStart", 1);
    for (const char *told : {kNew, "Hinweis | Keine neuen Zeitungen. | no icon"}) {
        server_->holdQueries();
        drive(
            [&] {
                EXPECT_TRUE(waitFor([&] { return server_->heldQueries() > 0; }, 60000));
                PostMessageA(main_, WM_COMMAND, IDM_FETCH_NEW, 0);
                HWND dialog = waitForDialog("Lade Zeitungen");
                EXPECT_TRUE(dialog);
                EXPECT_EQ(promptCount(), 0u);
                server_->releaseQueries();
                // The dialog closes with the fetch, and the reader hears it.
                EXPECT_TRUE(waitFor([&] { return !IsWindow(dialog); }, 60000));
                EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 60000));
            },
            [&] { startAutoFetching(main_); });
        EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{told});
    }
    EXPECT_EQ(queries(), 2u);
}

TEST_F(AutoFetchWindows, TheDailyTimeAndARetryOnTheTestsClock) {
    setFetchNumber("Daily", 1);  // at 6:30, the default
    ServerFaults down;
    down.queryStatus = 503;
    server_->setFaults(down);
    std::vector<std::string> told;
    drive(
        [&] {
            // Each tick is handled before the clock moves on.
            auto tickAt = [&](int hour, int minute) {
                g_now.hour = hour;
                g_now.minute = minute;
                SendMessageA(main_, WM_TIMER, 0x5132, 0);
            };
            tickAt(6, 29);
            EXPECT_EQ(title(), "Vantrel Quillon");
            tickAt(6, 30);
            EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 60000));
            told = describeAll(takePrompts());
            EXPECT_EQ(queries(), 1u);
            tickAt(6, 34);
            EXPECT_EQ(queries(), 1u);
            server_->setFaults(ServerFaults());
            tickAt(6, 35);
            EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 60000));
        },
        [&] { startAutoFetching(main_); });
    told.push_back(describeAll(takePrompts()).at(0));
    EXPECT_EQ(told, (std::vector<std::string>{"Hinweis | Abholen fehlgeschlagen: Bei der Daten\xFC"
                                              "bertragung trat ein Fehler auf. N\xE4"
                                              "chster Versuch um 6:35 Uhr. | no icon",
                                              kNew}));
    EXPECT_EQ(fetchNumber("LastDay"), 20261208u);
}

TEST_F(AutoFetchWindows, TheFetchCommandEndsWithItsOutcome) {
    DestroyWindow(main_);  // no reader runs: the command fetches itself
    struct Case {
        const char *name;
        std::function<void()> before;
        DWORD code;
        const char *line;
    } cases[] = {
        {"new editions", [] {}, 0, "neu: Quillon Tageblatt vom 5.12.2026"},
        {"nothing new", [] {}, 1, "nichts neu"},
        {"an unknown subscriber", [&] { configure("fremd"); }, 2,
         "Fehler: Der Server lehnte die Verbindung ab. Keine Berechtigung."},
        {"the server down",
         [&] {
             configure("leser");
             ServerFaults down;
             down.queryStatus = 503;
             server_->setFaults(down);
         },
         2,
         "Fehler: Bei der Daten\xFC"
         "bertragung trat ein Fehler auf."},
    };
    std::vector<std::string> expected;
    for (const Case &c : cases) {
        c.before();
        EXPECT_EQ(runFetchCommandProcess(), c.code) << c.name;
        expected.push_back(c.line);
        EXPECT_EQ(logLines(), expected) << c.name;
    }
}

TEST_F(AutoFetchWindows, TwoFetchCommandsFetchOnce) {
    DestroyWindow(main_);
    server_->holdQueries();
    HANDLE first = nullptr, second = nullptr;
    runFetchCommandProcess(&first);
    ASSERT_TRUE(waitFor([&] { return server_->heldQueries() > 0; }, 60000));
    runFetchCommandProcess(&second);
    // The second says that it waits, and waits.
    EXPECT_TRUE(waitFor([&] { return !logLines().empty(); }, 60000));
    // The reader's own fetch meanwhile is told to wait too.
    main_ = createMainWindow();
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_FETCH_NEW, 0);
        EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 10000));
    });
    EXPECT_EQ(describeAll(takePrompts()),
              std::vector<std::string>{
                  "Vantrel Quillon | Es werden gerade Zeitungen abgeholt. | warning"});
    server_->releaseQueries();
    EXPECT_EQ(exitCodeOf(first), 0u);
    EXPECT_EQ(exitCodeOf(second), 0u);
    EXPECT_EQ(queries(), 1u);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Es werden gerade Zeitungen abgeholt.",
                                                    "neu: Quillon Tageblatt vom 5.12.2026"}));
}

TEST_F(AutoFetchWindows, TheFetchCommandHandsOverToTheRunningReader) {
    DWORD code = 0xDEAD;
    drive(
        [&] {
            code = runFetchCommandProcess();
            EXPECT_TRUE(waitFor([&] { return promptCount() > 0; }, 10000));
        },
        [&] { startAutoFetching(main_); });
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(queries(), 1u);
    EXPECT_EQ(logLines(), std::vector<std::string>{"neu: Quillon Tageblatt vom 5.12.2026"});
    EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{kNew});
}

// The keyboard's road through the dialog and what a screen reader names.
TEST_F(AutoFetchWindows, TheSettingsDialogByKeyboardAndScreenReader) {
    std::vector<int> order;
    std::vector<std::string> named;
    drive([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        PostMessageA(main_, WM_COMMAND, IDM_AUTOFETCH, 0);
        HWND dialog = waitForDialog("Automatisch abholen");
        ASSERT_TRUE(dialog);
        HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE), c = first;
        do {
            order.push_back(GetDlgCtrlID(c));
            c = GetNextDlgTabItem(dialog, c, FALSE);
        } while (c && c != first && order.size() < 10);
        for (const AccessibleControl &a : readAccessibly(dialog))
            if (!a.name.empty())
                named.push_back(a.name + (a.shortcut.empty() ? "" : " [" + a.shortcut + "]"));
        CoUninitialize();
    });
    EXPECT_EQ(order, (std::vector<int>{IDC_FETCH_AT_START, IDC_FETCH_DAILY, IDC_FETCH_HOUR,
                                       IDC_FETCH_MINUTE, IDC_FETCH_TASK, IDOK, IDCANCEL}));
    // Each field is named by its label, with the label's access key.
    EXPECT_EQ(named, (std::vector<std::string>{
                         "Automatisch abholen", "Beim Programmstart abholen [Alt+P]",
                         "T\xE4glich abholen um [Alt+T]", "Stunde: [Alt+S]", "Stunde: [Alt+S]",
                         "Minute: [Alt+M]", "Minute: [Alt+M]",
                         "Auch wenn Quillon nicht l\xE4uft (Aufgabenplanung) [Alt+A]", "OK",
                         "Abbrechen"}));
}

TEST_F(AutoFetchWindows, TheSettingsDialogRefusesABadTimeAndKeepsTheTask) {
    auto focusedIn = [](HWND dialog) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        return GetDlgCtrlID(info.hwndFocus);
    };
    struct Case {
        const char *hour, *minute;
        bool task;
        const char *told;  // "" when the dialog closes
        int focus;
    } cases[] = {
        {"25", "30", false,
         "Fehler | Die Stunde muss eine Zahl von 0 bis 23 sein; bitte korrigieren Sie sie. | "
         "warning",
         IDC_FETCH_HOUR},
        {"7", "6O", false,
         "Fehler | Die Minute muss eine Zahl von 0 bis 59 sein; bitte korrigieren Sie sie. | "
         "warning",
         IDC_FETCH_MINUTE},
        {"7", "05", true, "", 0},
        {"7", "05", false, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.hour) + ":" + c.minute);
        drive([&] {
            PostMessageA(main_, WM_COMMAND, IDM_AUTOFETCH, 0);
            HWND dialog = waitForDialog("Automatisch abholen");
            ASSERT_TRUE(dialog);
            EXPECT_EQ(focusedIn(dialog), IDC_FETCH_AT_START);
            SendDlgItemMessageA(dialog, IDC_FETCH_DAILY, BM_SETCHECK, BST_CHECKED, 0);
            SendDlgItemMessageA(dialog, IDC_FETCH_TASK, BM_SETCHECK,
                                c.task ? BST_CHECKED : BST_UNCHECKED, 0);
            SetDlgItemTextA(dialog, IDC_FETCH_HOUR, c.hour);
            SetDlgItemTextA(dialog, IDC_FETCH_MINUTE, c.minute);
            pressAndWait(dialog, IDOK);
            if (*c.told) {
                EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{c.told});
                EXPECT_EQ(focusedIn(dialog), c.focus);
            } else {
                EXPECT_TRUE(waitUntilGone(dialog));
                EXPECT_EQ(promptCount(), 0u);
            }
        });
    }
    EXPECT_EQ(fetchNumber("Daily"), 1u);
    EXPECT_EQ(fetchNumber("Hour"), 7u);
    EXPECT_EQ(fetchNumber("Minute"), 5u);
    EXPECT_EQ(fetchNumber("Task"), 0u);
    FetchTaskView view;
    EXPECT_EQ(registeredFetchTask(view), S_FALSE);  // registered, then removed again
}

// The task as the scheduler keeps it, read back through the same interface.
// Wine 8 keeps the settings but drops the trigger, the principal's logon
// type and the program of the action (the unit test reads the definition
// the program gives it for those).
TEST_F(AutoFetchWindows, TheTaskIsRegisteredReadBackAndRemoved) {
    std::wstring program = programPath();
    ASSERT_EQ(registerFetchTask(program, 6, 30), S_OK);
    FetchTaskView view;
    ASSERT_EQ(registeredFetchTask(view), S_OK);
    EXPECT_TRUE(view.startWhenAvailable);
    EXPECT_FALSE(view.disallowOnBatteries);
    EXPECT_TRUE(view.ignoreNew);
    EXPECT_TRUE(view.enabled);
    bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!wine || view.triggers > 0) {
        EXPECT_EQ(view.triggers, 1);
        EXPECT_EQ(view.start.substr(10), L"T06:30:00");
        EXPECT_EQ(view.daysInterval, 1);
        EXPECT_EQ(view.program, program);
        EXPECT_EQ(view.arguments, L"/abholen");
        EXPECT_EQ(view.logonType, 3);  // TASK_LOGON_INTERACTIVE_TOKEN
    }
    ASSERT_EQ(registerFetchTask(program, 7, 5), S_OK);  // replaced, not doubled
    EXPECT_EQ(removeFetchTask(), S_OK);
    EXPECT_EQ(registeredFetchTask(view), S_FALSE);
    EXPECT_EQ(removeFetchTask(), S_OK);  // gone is gone
}

}  // namespace
