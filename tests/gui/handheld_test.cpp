// The handheld commands under Wine against our handheld emulator: the
// emulator's ceutil.dll and rapi.dll bound as the program binds them, the
// real library's stored editions, the copy progress dialog and its thread,
// and the installation from the images in the program's resources.
#include "window_driver.h"  // windows.h first

#include <commctrl.h>

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
    struct Case {
        const char *settings;
        DWORD closeAfter;
        const char *released;  // in the connection log once the thread is free
    } cases[] = {{"init=block", 300, "init released"}, {"writedelay=3000", 1500, "uninit"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        configure(std::string("connected=yes\n") + c.settings);
        fs::remove(handheld_ + "connection.log");
        synchronise([&](HWND dialog) {
            Sleep(c.closeAfter);
            press(dialog, IDCANCEL);
            // Wine alone takes up to two seconds to take a window away.
            EXPECT_TRUE(waitUntilGone(dialog));
            ULONGLONG gone = GetTickCount64();
            DWORD_PTR ignored;
            EXPECT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored));
            EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(main_); }, 2000));
            EXPECT_LT(GetTickCount64() - gone, 2000u);
        });
        EXPECT_TRUE(waitFor(
            [&] {
                return readFile(handheld_ + "connection.log").find(c.released) != std::string::npos;
            },
            6000));
        EXPECT_TRUE(takePrompts().empty()) << "a closed dialog tells nothing";
        for (const auto &file : fs::directory_iterator(onHandheld("Zeitungen")))
            EXPECT_EQ(readFile(file.path().string()),
                      readFile(s_dir + "news\\" + file.path().filename().string()));
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
