// The handheld commands under Wine against our handheld emulator: the
// emulator's ceutil.dll and rapi.dll bound as the program binds them, the
// real library's stored editions, the copy progress dialog and its thread,
// and the installation from the images in the program's resources.
#include "window_driver.h"  // windows.h first

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "device_api.h"
#include "handheld_image.h"
#include "library_binding.h"
#include "startup.h"

namespace fs = std::filesystem;

namespace {

bool menuEnabled(HWND window, UINT command) {
    return !(GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
}

// Nine older editions beside the three of the store, listed from their
// header files: twelve in all, "Archiv" 20 to 28 November the oldest.
std::vector<std::string> archiveFiles(const std::string &news) {
    std::vector<std::string> out;
    for (int day = 20; day <= 28; ++day) {
        std::string base = news + "archiv-2026-11-" + std::to_string(day);
        out.push_back(base + ".eif");
        out.push_back(base + ".ehd");
    }
    return out;
}

class HandheldWindows : public ProgramWindows {
  protected:
    void SetUp() override {
        ProgramWindows::SetUp();
        handheld_ = s_dir + "handheld\\";
        fs::remove_all(handheld_);
        fs::create_directories(handheld_ + "files\\Zeitungen");
        fs::create_directories(handheld_ + "files\\Windows\\Start Menu\\Programs");
        configure("connected=yes");
        SetEnvironmentVariableA("QUILLON_HANDHELD", handheld_.c_str());
        bindDeviceApi();
        applyHandheldRule(main_);
    }
    void TearDown() override {
        // No thread of a job may outlive the handheld and the binding it uses.
        endDeviceJobs(main_);
        for (const std::string &file : archiveFiles(s_dir + "news\\")) fs::remove(file);
        SetEnvironmentVariableA("QUILLON_HANDHELD", nullptr);
        g_device = {};
        ProgramWindows::TearDown();
    }
    void configure(const std::string &settings) {
        std::ofstream(handheld_ + "handheld.ini")
            << settings << "\n[HKEY_CURRENT_USER\\Software\\VKT\\QLAPI]\nPATH=\\Zeitungen\\\n";
    }
    void storeTwelve() {
        std::vector<std::string> files = archiveFiles(s_dir + "news\\");
        for (size_t i = 0; i < files.size(); i += 2) {
            int day = 20 + static_cast<int>(i / 2);
            std::ofstream(files[i], std::ios::binary) << "archive edition " << day;
            std::ofstream(files[i + 1]) << "49\nArchiv\n"
                                        << day << ".11.2026\n"
                                        << day << "\n11\n2026\n";
        }
    }
    // Runs the copy from the menu; the script sees its dialog.
    void synchronise(const std::function<void(HWND)> &whileOpen) {
        drive([&] {
            PostMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
            HWND dialog = waitForDialog("Kopiere Zeitungen");
            ASSERT_TRUE(dialog);
            whileOpen(dialog);
            EXPECT_TRUE(waitUntilGone(dialog));
        });
    }
    std::string onHandheld(const std::string &path) const { return handheld_ + "files\\" + path; }
    // The stored editions' file names without extension, in the library's
    // order (newest first), as the copy walks them.
    static std::vector<std::string> storedBases() {
        std::vector<std::string> out;
        EditionEntry *list = g_binding.getNewspaperListFromHD();
        for (EditionEntry *e = list; e; e = e->next)
            if (e->path) out.push_back(fs::path(e->path).stem().string());
        g_binding.removeNewspaperTree(list);
        return out;
    }
    static uintmax_t storedSize(const std::string &name) {
        return fs::file_size(s_dir + "news\\" + name);
    }
    // Every file in the reader's folder is a whole copy of the desktop's,
    // but for the temporary file of a write the cable cut (removed by the
    // next copy).
    void expectOnlyWholeFiles(const std::string &leftover = "") {
        for (const auto &file : fs::directory_iterator(onHandheld("Zeitungen"))) {
            std::string name = file.path().filename().string();
            if (name == leftover) continue;
            ASSERT_TRUE(fs::exists(s_dir + "news\\" + name)) << name;
            EXPECT_EQ(readFile(file.path().string()), readFile(s_dir + "news\\" + name)) << name;
        }
    }
    void waitForHandheldFile(const std::string &path) {
        ASSERT_TRUE(waitFor([&] { return fs::exists(onHandheld(path)); }, 30000)) << path;
    }
    // The prompts, each cut to the length of what is expected of it: the
    // sizes in a text are not restated here.
    static void expectTold(std::vector<std::string> expected) {
        std::vector<std::string> told = describeAll(takePrompts());
        ASSERT_EQ(told.size(), expected.size()) << (told.empty() ? "" : told[0]);
        for (size_t i = 0; i < told.size(); ++i)
            EXPECT_EQ(told[i].substr(0, expected[i].size()), expected[i]);
    }

    std::string handheld_;
};

TEST_F(HandheldWindows, TheMenuFollowsTheHandheld) {
    EXPECT_TRUE(menuEnabled(main_, IDM_SYNC));
    EXPECT_TRUE(menuEnabled(main_, IDM_INSTALL));
    // A device change waits before it asks; absent greys both, present
    // enables both again.
    setDeviceChangeWait(300);
    for (const char *state : {"connected=no", "connected=yes"}) {
        configure(state);
        ULONGLONG before = GetTickCount64();
        SendMessageA(main_, WM_DEVICECHANGE, 0x8000, 0);
        EXPECT_GE(GetTickCount64() - before, 290u);
        bool present = std::string(state) == "connected=yes";
        EXPECT_EQ(menuEnabled(main_, IDM_SYNC), present) << state;
        EXPECT_EQ(menuEnabled(main_, IDM_INSTALL), present) << state;
    }
    setDeviceChangeWait(50);
    // Without the stored-edition list the library offers nothing to copy.
    auto list = std::exchange(g_binding.getNewspaperListFromHD, nullptr);
    SendMessageA(main_, WM_DEVICECHANGE, 0x8000, 0);
    EXPECT_FALSE(menuEnabled(main_, IDM_SYNC));
    g_binding.getNewspaperListFromHD = list;
    // Without rapi.dll there is no handheld, connected or not.
    bindDeviceLibraries(g_device, "ceutil.dll", "missing-rapi.dll", loadSystemLibrary,
                        systemExport);
    applyHandheldRule(main_);
    EXPECT_FALSE(menuEnabled(main_, IDM_INSTALL));
    EXPECT_EQ(devicePresent(), 0);
}

// handheld_ctl, run beside the program as a reader runs it by hand, reaches
// the main window through the system's broadcast of a device change.
TEST_F(HandheldWindows, HandheldCtlUnplugsAndPlugsThroughTheBroadcast) {
    setDeviceChangeWait(50);
    drive([&] {
        for (std::string verb : {"unplug", "plug"}) {
            std::string command = "handheld_ctl.exe " + verb;
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process = {};
            ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &startup, &process));
            WaitForSingleObject(process.hProcess, 10000);
            DWORD code = 1;
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            EXPECT_EQ(code, 0u) << verb;
            bool present = verb == "plug";
            EXPECT_TRUE(waitFor([&] { return menuEnabled(main_, IDM_SYNC) == present; })) << verb;
        }
    });
}

TEST_F(HandheldWindows, TwelveStoredEditionsCopyTheTenNewestThenNothing) {
    storeTwelve();
    synchronise([&](HWND dialog) {
        expectLayout(dialog, 186, 18,
                     {{IDC_COPYPROGRESS,
                       {7, 5, 172, 9},
                       "msctls_progress32",
                       nullptr,
                       WS_CHILD | WS_VISIBLE}});
        EXPECT_FALSE(GetDlgItem(dialog, IDOK));
    });
    EXPECT_EQ(promptBars(), std::vector<int>{100});
    // The title names the last edition copied, the archive of 22 November.
    EXPECT_EQ(promptOwnerTitles(), std::vector<std::string>{"Archiv"});
    EXPECT_EQ(describeAll(takePrompts()),
              std::vector<std::string>{
                  "Hinweis | Synchronisation beendet. 10 Zeitungen wurden kopiert | no icon"});
    std::vector<std::string> copied;
    for (const auto &file : fs::directory_iterator(onHandheld("Zeitungen"))) {
        std::string name = file.path().filename().string();
        copied.push_back(name);
        EXPECT_EQ(readFile(file.path().string()), readFile(s_dir + "news\\" + name)) << name;
    }
    std::sort(copied.begin(), copied.end());
    ASSERT_EQ(copied.size(), 20u);
    EXPECT_EQ(copied.front(), "archiv-2026-11-22.ehd");
    EXPECT_EQ(copied.back(), "tageblatt-2026-12-07.eif");

    synchronise([](HWND) {});
    EXPECT_EQ(describeAll(takePrompts()),
              std::vector<std::string>{
                  "Hinweis | Synchronisation beendet. 0 Zeitungen wurden kopiert | no icon"});
    EXPECT_EQ(readFile(handheld_ + "connection.log"), "init\nuninit\ninit\nuninit\n");
}

TEST_F(HandheldWindows, ClosingTheDialogEarlyStopsTheCopy) {
    // Closed while the connection settles: the thread copies nothing, tells
    // nothing, and has ended when the command returns.
    synchronise([](HWND dialog) { press(dialog, IDCANCEL); });
    EXPECT_TRUE(takePrompts().empty());
    EXPECT_TRUE(fs::is_empty(onHandheld("Zeitungen")));
    EXPECT_EQ(readFile(handheld_ + "connection.log"), "init\nuninit\n");
}

// Closed while its thread is stuck in the connection software, the dialog
// lets the window go on at once. A thread waiting for a handheld is released
// by ending the connection from the window; one in a long write finishes
// that file by itself, so no half file stays.
TEST_F(HandheldWindows, ClosingNeverFreezesTheWindow) {
    const std::string first = storedBases().front();
    struct Case {
        std::string settings;
        std::string held;      // the file the thread writes when the dialog closes
        const char *released;  // in the connection log once the thread is free
        std::vector<std::string> told;
    } cases[] = {
        {"init=block", "", "init released", {}},
        // The file being written is finished; the count follows through the
        // main window.
        {"block=" + first + ".ei~",
         "Zeitungen\\" + first + ".ei~",
         "uninit",
         {"Hinweis | Synchronisation beendet. 0 Zeitungen wurden kopiert | no icon"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        configure("connected=yes\n" + c.settings);
        fs::remove(handheld_ + "connection.log");
        synchronise([&](HWND dialog) {
            if (!c.held.empty()) waitForHandheldFile(c.held);
            press(dialog, IDCANCEL);
            // Wine alone takes up to two seconds to take a window away.
            EXPECT_TRUE(waitUntilGone(dialog));
            // The write stays held until the test lifts it: a window that
            // waited for the copy's thread would not answer at all.
            DWORD_PTR ignored;
            EXPECT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored));
            EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(main_); }, 30000));
            if (!c.held.empty()) configure("connected=yes");  // the held write goes on
            EXPECT_TRUE(waitFor(
                [&] {
                    return readFile(handheld_ + "connection.log").find(c.released) !=
                           std::string::npos;
                },
                30000));
            EXPECT_TRUE(waitFor([&] { return promptCount() >= c.told.size(); }, 30000));
        });
        expectTold(c.told);
        expectOnlyWholeFiles();
    }
}

// Each fault while copying: nothing partial stays on the handheld, the
// first failure is told by its cause, and editions count only when both of
// their files arrived. A held write waits for the test's word.
TEST_F(HandheldWindows, FaultsLeaveNoPartialFileAndAreToldByTheirCause) {
    const std::vector<std::string> bases = storedBases();
    ASSERT_EQ(bases.size(), 3u);
    const std::string lost =
        "Fehler | Die Verbindung zum Handheld wurde getrennt. Bitte schlie\xDF"
        "en Sie es wieder an";
    const std::string oneCopied = "Hinweis | Synchronisation beendet. 1 Zeitung wurde kopiert |";
    const std::string noneCopied =
        "Hinweis | Synchronisation beendet. 0 Zeitungen wurden kopiert |";
    const uintmax_t firstEdition = storedSize(bases[0] + ".eif") + storedSize(bases[0] + ".ehd");
    struct Case {
        const char *name;
        std::string settings;
        std::string held;  // unplugged once the thread writes this file
        std::vector<std::string> told;
        std::vector<std::string> whole;  // the files left on the handheld
        std::string again;               // told when copied again, plugged in
    } cases[] = {
        {"unplugged during data",
         "block=" + bases[1] + ".ei~",
         bases[1] + ".ei~",
         {lost, oneCopied},
         {bases[0] + ".eif", bases[0] + ".ehd"},
         "Hinweis | Synchronisation beendet. 2 Zeitungen wurden kopiert |"},
        {"unplugged during the header",
         "block=" + bases[0] + ".eh~",
         bases[0] + ".eh~",
         {lost, noneCopied},
         {bases[0] + ".eif"},
         "Hinweis | Synchronisation beendet. 3 Zeitungen wurden kopiert |"},
        {"full",
         "free=100",
         "",
         {"Fehler | Auf dem Handheld ist nicht genug Platz. Frei sind 100 Bytes, gebraucht werden ",
          noneCopied},
         {}},
        {"a write fault",
         "writefail=" + std::to_string(firstEdition + 10),
         "",
         {"Fehler | Die Datei konnte nicht kopiert werden. | warning", oneCopied},
         {bases[0] + ".eif", bases[0] + ".ehd"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(onHandheld("Zeitungen"));
        fs::create_directories(onHandheld("Zeitungen"));
        fs::remove(handheld_ + "connection.log");
        configure("connected=yes\n" + c.settings);
        synchronise([&](HWND) {
            if (c.held.empty()) return;
            waitForHandheldFile("Zeitungen\\" + c.held);
            configure("connected=no");
        });
        expectTold(c.told);
        std::vector<std::string> left;
        for (const auto &file : fs::directory_iterator(onHandheld("Zeitungen")))
            left.push_back(file.path().filename().string());
        std::sort(left.begin(), left.end());
        std::vector<std::string> whole = c.whole;
        // The temporary file of the cut write may stay: it is never counted,
        // never read, and the next copy removes it.
        if (!c.held.empty() && fs::exists(onHandheld("Zeitungen\\" + c.held)))
            whole.push_back(c.held);
        std::sort(whole.begin(), whole.end());
        EXPECT_EQ(left, whole);
        expectOnlyWholeFiles(c.held);
        if (c.held.empty()) {
            EXPECT_EQ(readFile(handheld_ + "connection.log"), "init\nuninit\n");
            continue;
        }
        // Plugged in again and copied again: everything arrives whole.
        configure("connected=yes");
        synchronise([](HWND) {});
        expectTold({c.again});
        EXPECT_EQ(std::distance(fs::directory_iterator(onHandheld("Zeitungen")), {}), 6);
        expectOnlyWholeFiles();
    }
}

// Ending the program while a file is written: the program waits for that
// file (answering, taking no input), tells nothing more and disconnects.
TEST_F(HandheldWindows, EndingTheProgramDuringAWrite) {
    const std::string held = storedBases().front() + ".ei~";
    configure("connected=yes\nblock=" + held);
    answer({IDYES});
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
        HWND dialog = waitForDialog("Kopiere Zeitungen");
        ASSERT_TRUE(dialog);
        waitForHandheldFile("Zeitungen\\" + held);
        press(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));
        PostMessageA(main_, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return promptCount() == 1 && !IsWindowEnabled(main_); }));
        DWORD_PTR ignored;
        EXPECT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored));
        configure("connected=yes");
        EXPECT_TRUE(waitUntilGone(main_));
    });
    EXPECT_TRUE(quit_);
    expectTold({"Vantrel Quillon | Programm wirklich beenden?"});
    expectOnlyWholeFiles();
    EXPECT_EQ(readFile(handheld_ + "connection.log"), "init\nuninit\n");
    ASSERT_EQ(g_binding.initialize(1), 0);  // for the tests that follow
}

// A copy started right after an early close waits for the old one, says
// so in its title, and then copies what is missing; the two never share
// the connection.
TEST_F(HandheldWindows, CloseEarlyAndStartAgainAtOnce) {
    const std::string held = storedBases().front() + ".ei~";
    configure("connected=yes\nblock=" + held);
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
        HWND dialog = waitForDialog("Kopiere Zeitungen");
        ASSERT_TRUE(dialog);
        waitForHandheldFile("Zeitungen\\" + held);
        press(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));
        PostMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
        HWND waiting = waitForDialog(
            "Die vorige \xDC"
            "bertragung wird noch beendet.");
        ASSERT_TRUE(waiting);
        configure("connected=yes");
        EXPECT_TRUE(waitUntilGone(waiting));
        EXPECT_TRUE(waitFor([] { return promptCount() >= 2; }));
    });
    std::vector<std::string> told = describeAll(takePrompts());
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told,
              (std::vector<std::string>{
                  "Hinweis | Synchronisation beendet. 0 Zeitungen wurden kopiert | no icon",
                  "Hinweis | Synchronisation beendet. 3 Zeitungen wurden kopiert | no icon"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(onHandheld("Zeitungen")), {}), 6);
    expectOnlyWholeFiles();
    EXPECT_EQ(readFile(handheld_ + "connection.log"), "init\nuninit\ninit\nuninit\n");
}

// The reading dialog opens at once after the copy dialog closed, while the
// copy's thread is still held in the connection software; that thread then
// ends without asking the library for anything.
TEST_F(HandheldWindows, ReadingRightAfterClosingTheCopy) {
    configure("connected=yes\ninit=block");
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
        HWND dialog = waitForDialog("Kopiere Zeitungen");
        ASSERT_TRUE(dialog);
        press(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));
        PostMessageA(main_, WM_COMMAND, IDM_READ, 0);
        HWND list = waitForDialog("Zeitungsauswahl");
        ASSERT_TRUE(list);
        EXPECT_EQ(entriesOf(GetDlgItem(list, IDC_ENTRYLIST)).size(), 3u);
        press(list, IDCANCEL);
        EXPECT_TRUE(waitUntilGone(list));
    });
    EXPECT_TRUE(takePrompts().empty());
    EXPECT_EQ(readFile(handheld_ + "connection.log"), "uninit\ninit released\n");
    EXPECT_TRUE(fs::is_empty(onHandheld("Zeitungen")));
}

// The installation runs behind its progress dialog: the window answers
// while the connection blocks or a write is held, Escape cancels, and no
// half reader stays.
TEST_F(HandheldWindows, InstallingNeverFreezesTheWindowAndLeavesNoHalfReader) {
    const char *reader = "Windows\\Start Menu\\Programs\\QuillonCE.exe";
    const char *temporary = "Windows\\Start Menu\\Programs\\QuillonCE.ex~";
    struct Case {
        const char *settings;
        bool cancel;  // Escape while the connection blocks; else unplugged mid-write
        const char *log;
        std::vector<std::string> told;
    } cases[] = {
        {"init=block", true, "uninit\ninit released\n", {}},
        {"block=QuillonCE.ex~",
         false,
         "init\nuninit\n",
         {"Fehler | Die Verbindung zum Handheld wurde getrennt."}},
    };
    const std::vector<uint8_t> image = buildHandheldImage(HandheldImage::B);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        configure(std::string("connected=yes\n") + c.settings);
        fs::remove(handheld_ + "connection.log");
        drive([&] {
            PostMessageA(main_, WM_COMMAND, IDM_INSTALL, 0);
            HWND dialog = waitForDialog("Installiere Quillon CE");
            ASSERT_TRUE(dialog);
            if (!c.cancel) waitForHandheldFile(temporary);
            DWORD_PTR ignored;
            EXPECT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored));
            if (c.cancel)
                press(dialog, IDCANCEL);
            else
                configure("connected=no");
            EXPECT_TRUE(waitUntilGone(dialog));
            EXPECT_TRUE(waitFor([&] { return readFile(handheld_ + "connection.log") == c.log; }));
        });
        expectTold(c.told);
        EXPECT_FALSE(fs::exists(onHandheld(reader)));
        EXPECT_FALSE(fs::exists(handheld_ + "processes.log"));
        // Installed again, plugged in: the whole reader, and no leftover.
        configure("connected=yes");
        drive([&] { SendMessageA(main_, WM_COMMAND, IDM_INSTALL, 0); });
        expectTold({"Frage | Quillon CE wurde kopiert"});
        EXPECT_TRUE(readFile(onHandheld(reader)) == std::string(image.begin(), image.end()));
        EXPECT_FALSE(fs::exists(onHandheld(temporary)));
        fs::remove(onHandheld(reader));
        fs::remove(handheld_ + "processes.log");
    }
}

// Until the library has started, the Mobil entries stay grey: a start-up
// that fails shows its message with nothing of the handheld to choose.
TEST_F(HandheldWindows, TheMobilEntriesWaitForTheLibrary) {
    HWND window = createMainWindow();
    ASSERT_TRUE(window);
    EXPECT_FALSE(menuEnabled(window, IDM_SYNC));
    EXPECT_FALSE(menuEnabled(window, IDM_INSTALL));
    EXPECT_FALSE(startLibrary(nullptr, systemExport));
    EXPECT_EQ(takePrompts().size(), 2u);  // no library, and the fatal message
    EXPECT_FALSE(menuEnabled(window, IDM_SYNC));
    EXPECT_FALSE(menuEnabled(window, IDM_INSTALL));
    DestroyWindow(window);
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the closed window's
}

TEST_F(HandheldWindows, NoReaderOnTheHandheld) {
    std::ofstream(handheld_ + "handheld.ini") << "connected=yes\n";
    synchronise([](HWND) {});
    EXPECT_EQ(describeAll(takePrompts()),
              std::vector<std::string>{"Synchronisieren | Kommunikationsfehler mit mobilem "
                                       "Ger\xE4t\roder Quillon CE nicht installiert. | warning"});
    EXPECT_TRUE(fs::is_empty(onHandheld("Zeitungen")));
}

TEST_F(HandheldWindows, InstallingCarriesTheImageForTheHandheldsVersion) {
    const std::string reader = onHandheld("Windows\\Start Menu\\Programs\\QuillonCE.exe");
    const char question[] =
        "Frage | Quillon CE wurde kopiert und initialisiert. M\xF6"
        "chten Sie das ich Quillon CE jetzt f\xFCr Sie starte? | question";
    struct Case {
        const char *version;
        HandheldImage image;
        int answer;
        const char *processes;
    } cases[] = {
        {"4.20", HandheldImage::A, IDYES,
         "\\Windows\\Start Menu\\Programs\\QuillonCE.exe|firstrun\n"
         "\\Windows\\Start Menu\\Programs\\QuillonCE.exe|\n"},
        {"5.01", HandheldImage::B, IDNO,
         "\\Windows\\Start Menu\\Programs\\QuillonCE.exe|firstrun\n"},
    };
    for (const Case &c : cases) {
        configure(std::string("connected=yes\nversion=") + c.version);
        fs::remove(handheld_ + "processes.log");
        answer({c.answer});
        drive([&] { SendMessageA(main_, WM_COMMAND, IDM_INSTALL, 0); });
        EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{question});
        std::vector<uint8_t> built = buildHandheldImage(c.image);
        std::string onDevice = readFile(reader);
        EXPECT_TRUE(onDevice == std::string(built.begin(), built.end())) << c.version;
        EXPECT_EQ(readFile(handheld_ + "processes.log"), c.processes);
    }
    configure("connected=yes\nversion=6.00");
    fs::remove(reader);
    drive([&] { SendMessageA(main_, WM_COMMAND, IDM_INSTALL, 0); });
    EXPECT_EQ(describeAll(takePrompts()),
              std::vector<std::string>{"Fehler | Die auf dem mobilen Ger\xE4t installierte Version "
                                       "von Windows wird nicht unterst\xFCtzt. | warning"});
    EXPECT_FALSE(fs::exists(reader));
}

}  // namespace
