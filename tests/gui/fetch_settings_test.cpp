// The download dialog against our subscription server, and the two settings
// dialogs against both places the library keeps its settings.
#include "window_driver.h"  // windows.h first

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "download.h"
#include "library_binding.h"
#include "settings.h"
#include "subscription_server.h"

namespace fs = std::filesystem;

namespace {

int progressOf(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

void setRegistryNumber(const char *key, const char *name, DWORD value) {
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(k);
}

void setRegistryText(const char *key, const char *name, const char *value) {
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                   static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(k);
}

bool registryNumber(const char *name, DWORD &value) {
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI", name, RRF_RT_REG_DWORD, nullptr,
                        &value, &size) == ERROR_SUCCESS;
}

std::string registryText(const char *name) {
    char value[200] = "";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI", name, RRF_RT_REG_SZ, nullptr, value,
                 &size);
    return value;
}

const char kComplete[] =
    "Hinweis | Daten wurden \xFC"
    "bertragen. | no icon";

// ---- Fetching ---------------------------------------------------------------------

class FetchWindows : public ProgramWindows {
  protected:
    void SetUp() override {
        ProgramWindows::SetUp();
        std::string served = s_dir + "served\\";
        fs::remove_all(served);
        fs::create_directories(served);
        // One edition the store lacks, one it has, and a long one that
        // takes a while to trickle.
        for (const char *name :
             {"editions/tageblatt-2026-12-05.eif", "reader/rundschau-2026-12-07.eif"})
            fs::copy_file(std::string(QL_TEST_DATA) + "/" + name,
                          served + fs::path(name).filename().string());
        std::string longEdition =
            "<DUZUZUVU LANGUAGE=\"de\"><NPTL>Quillon Wochenblatt</NPTL><CD YEAR=\"2026\" "
            "MONTH=\"12\" DAY=\"4\"></CD><GROUP><GRTITLE>Alles</GRTITLE>";
        for (int i = 0; i < 2000; ++i)
            longEdition += "<ARTICLE><ATL>Artikel " + std::to_string(i) +
                           "</ATL><P>Ein Absatz, der den Jahrgang f\xFCllt.</P></ARTICLE>";
        longEdition += "</GROUP></DUZUZUVU>";
        std::ofstream(served + "wochenblatt-2026-12-04.eif", std::ios::binary) << longEdition;
        ServerOptions options;
        options.editionsDir = served;
        options.accounts = {{"leser", ""}};
        server_ = std::make_unique<SubscriptionServer>(options);
        ASSERT_TRUE(server_->start()) << server_->error();
        configure("leser");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI\\Newspapers");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
        fetchesStarted_ = fetchesEnded();
    }
    void TearDown() override {
        EXPECT_TRUE(waitForFetchEnd());
        server_.reset();
        // The store as the other tests know it.
        for (const char *name : {"tageblatt-2026-12-05", "wochenblatt-2026-12-04"})
            for (const char *extension : {".eif", ".ehd"})
                fs::remove(s_dir + "news\\" + name + extension);
        WritePrivateProfileStringA("VKT", "url", "127.0.0.1:1/q", "qlapi.ini");
        WritePrivateProfileStringA("VKT", "login", "leser", "qlapi.ini");
        g_binding.resyncNewspaper();
        ProgramWindows::TearDown();
    }
    // Points the library at our server with this login.
    void configure(const char *login) {
        std::string url = "127.0.0.1:" + std::to_string(server_->port()) + "/cgi-bin/query";
        WritePrivateProfileStringA("VKT", "url", url.c_str(), "qlapi.ini");
        WritePrivateProfileStringA("VKT", "login", login, "qlapi.ini");
        ASSERT_EQ(g_binding.resyncNewspaper(), 0);
    }
    int fetchesEnded() {
        std::string log = readFile(s_dir + "news\\qlapi.log");
        int n = 0;
        for (size_t at = 0;
             (at = log.find("FetchNewspaperThread Terminated", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }
    // Waits until no fetch runs any more, pumping this thread's messages.
    bool waitForFetchEnd() {
        bool ended = false;
        drive([&] { ended = waitFor([&] { return fetchesEnded() >= fetchesStarted_; }, 60000); });
        return ended;
    }
    // Chooses a fetch command of the menu; `during` runs once the dialog is
    // there (it gets the dialog). With `held` the server keeps the query's
    // answer until `during` is done, so the dialog is still open while it
    // looks; without, the dialog may already be gone. Returns what the
    // user was told.
    std::vector<std::string> fetch(UINT command, const std::function<void(HWND)> &during = nullptr,
                                   bool held = false) {
        takePrompts();
        ++fetchesStarted_;
        if (held) server_->holdQueries();
        drive([&] {
            PostMessageA(main_, WM_COMMAND, command, 0);
            HWND dialog = nullptr;
            waitFor([&] {
                dialog = FindWindowA("#32770", "Lade Zeitungen");
                return dialog != nullptr;
            });
            if (held && dialog) {
                EXPECT_TRUE(waitFor([&] { return server_->heldQueries() > 0; }, 60000));
            }
            if (during && dialog) during(dialog);
            server_->releaseQueries();
            // A fetch waits a few seconds before and after each transfer.
            if (dialog) {
                EXPECT_TRUE(waitFor([&] { return !IsWindow(dialog); }, 60000));
            }
        });
        bars_ = promptBars();
        ownersShown_ = promptOwnersShown();
        return describeAll(takePrompts());
    }
    int newspapers() {
        int n = 0;
        for (const NewspaperRecord *p = g_binding.findFirstNewspaper(); p;
             p = g_binding.findNextNewspaper())
            ++n;
        return n;
    }

    std::unique_ptr<SubscriptionServer> server_;
    int fetchesStarted_ = 0;
    std::vector<int> bars_;          // the bar at each box of the last fetch
    std::vector<bool> ownersShown_;  // whether the dialog showed at each box
};

TEST_F(FetchWindows, NewEditionsThenNothingNewThenAllAgain) {
    int before = newspapers();
    // The bar stands full when the library reports the transfer.
    std::vector<std::string> told = fetch(
        IDM_FETCH_NEW,
        [&](HWND dialog) {
            expectLayout(dialog, 186, 37,
                         {{IDC_PROGRESS, {7, 14, 172, 9}, "msctls_progress32", nullptr, 0}});
        },
        true);
    EXPECT_EQ(told, std::vector<std::string>{kComplete});
    EXPECT_EQ(bars_, std::vector<int>{100});
    EXPECT_EQ(ownersShown_, std::vector<bool>{true});
    // The Rundschau was there already; the other two are new.
    EXPECT_EQ(newspapers(), before + 2);
    EXPECT_TRUE(fs::exists(s_dir + "news\\tageblatt-2026-12-05.eif"));

    EXPECT_EQ(
        fetch(IDM_FETCH_NEW),
        std::vector<std::string>{"Hinweis | Der Server hat keine aktuellen Daten f\xFCr Sie. | "
                                 "no icon"});
    EXPECT_EQ(fetch(IDM_FETCH_ALL), std::vector<std::string>{kComplete});
    EXPECT_EQ(newspapers(), before + 2);
}

TEST_F(FetchWindows, RefusalsAndBrokenAnswersAreTold) {
    const std::string error =
        "Fehler | Bei der Daten\xFC"
        "bertragung trat ein Fehler auf. | error";
    struct Case {
        const char *name;
        const char *login;
        ServerFaults faults;
        std::string told;
    } cases[] = {
        {"unknown login (401)",
         "fremd",
         {},
         "Fehler | Der Server lehnte die Verbindung ab. Keine Berechtigung. | error"},
        {"no script (404)", "leser",
         [] {
             ServerFaults f;
             f.queryStatus = 404;
             return f;
         }(),
         error},
        {"wrong size", "leser",
         [] {
             ServerFaults f;
             f.announcedSizeDelta = 100;
             return f;
         }(),
         error},
    };
    int before = newspapers();
    for (const Case &c : cases) {
        server_->setFaults(c.faults);
        configure(c.login);
        EXPECT_EQ(fetch(IDM_FETCH_ALL), std::vector<std::string>{c.told}) << c.name;
        EXPECT_TRUE(waitForFetchEnd()) << c.name;
        EXPECT_EQ(newspapers(), before) << c.name;
        EXPECT_FALSE(fs::exists(s_dir + "news\\tageblatt-2026-12-05.eif")) << c.name;
    }
}

TEST_F(FetchWindows, CancelBusyAndTheUpdateQuestion) {
    // About ten seconds for the whole container, so the cancel comes in
    // the middle on a busy machine too; it ends the wait at the next piece.
    ServerFaults slow;
    slow.trickleBytes = 4096;
    slow.trickleDelayMs = 250;
    server_->setFaults(slow);
    int progress = -1;
    EXPECT_EQ(fetch(IDM_FETCH_ALL,
                    [&](HWND dialog) {
                        waitFor([&] { return progressOf(dialog) > 0; }, 10000);
                        progress = progressOf(dialog);
                        press(dialog, IDCANCEL);
                    }),
              std::vector<std::string>{"Hinweis | Daten\xFC"
                                       "bertragung vom Benutzer abgebrochen | warning"});
    EXPECT_GT(progress, 0);
    EXPECT_LT(progress, 100);
    EXPECT_TRUE(waitForFetchEnd());

    // A fetch started elsewhere is still running: the dialog says so and ends.
    ASSERT_EQ(g_binding.getNewspaper(1), 0);
    ++fetchesStarted_;
    // The refused dialog may come and go between two looks of the driver;
    // what counts is that it is not on the screen while it tells the refusal
    // and never afterwards.
    bool shown = false;
    EXPECT_EQ(fetch(IDM_FETCH_NEW, [&](HWND dialog) { shown = IsWindowVisible(dialog); }),
              std::vector<std::string>{"Vantrel Quillon | Die \xDC"
                                       "bertragung der Daten l\xE4uft bereits. | warning"});
    --fetchesStarted_;  // the dialog's own start was refused
    EXPECT_EQ(ownersShown_, std::vector<bool>{false});
    EXPECT_FALSE(shown);
    g_binding.cancelDownload();
    EXPECT_TRUE(waitForFetchEnd());

    // An update the server offered earlier: asked before the fetch; No still fetches.
    server_->setFaults({});
    setRegistryNumber("Software\\VKT\\Quillon\\", "UPDATE", 12345);
    answer({IDNO});
    EXPECT_EQ(fetch(IDM_FETCH_ALL),
              (std::vector<std::string>{
                  "Vantrel Quillon | Auf dem Server liegt f\xFCr Sie ein Update bereit.\nDie "
                  "Gr\xF6sse betr\xE4gt 12345 Bytes. M\xF6"
                  "chten Sie das Update mitherunterladen? | no icon",
                  kComplete}));
}

// ---- Settings ------------------------------------------------------------------------

class SettingsWindows : public ProgramWindows {
  protected:
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI");
        WritePrivateProfileStringA("NEWSPAPERS", nullptr, nullptr, "qlapi.ini");
        ProgramWindows::TearDown();
    }
    // Opens the paper-count dialog from the menu; returns the checked choice
    // and, when `click` is given, clicks that choice and presses `button`.
    int paperCount(int click = 0, int button = IDCANCEL) {
        int checked = 0;
        drive([&] {
            PostMessageA(main_, WM_COMMAND, IDM_PAPERCOUNT, 0);
            HWND dialog = waitForDialog("Maximale Anzahl an Zeitungen");
            ASSERT_TRUE(dialog);
            EXPECT_EQ(g_helpContext, kHelpSettings);
            expectLayout(dialog, 135, 130,
                         {{IDOK, {71, 10, 50, 14}, "Button", "OK", BS_DEFPUSHBUTTON},
                          {IDCANCEL, {71, 28, 50, 14}, "Button", "Abbrechen", 0},
                          // A radio group keeps its tab stop on the checked button.
                          {IDC_COUNT10, {18, 16, 24, 10}, "Button", "&10", BS_AUTORADIOBUTTON},
                          {IDC_COUNT50, {18, 29, 24, 10}, "Button", "&50", BS_AUTORADIOBUTTON},
                          {IDC_COUNT100, {18, 42, 28, 10}, "Button", "1&00", BS_AUTORADIOBUTTON},
                          // What the number means, read out with the dialog.
                          {IDC_PAPERCOUNT_NOTE,
                           {10, 62, 115, 62},
                           "Static",
                           "So viele der neuesten Zeitungen werden aufbewahrt, \xE4ltere beim "
                           "Abholen entfernt; Zeitungen mit Lesezeichen und behaltene Zeitungen "
                           "z\xE4hlen nicht mit und bleiben.",
                           SS_NOPREFIX}});
            // The sentence fits its field, wrapped at words as the field shows it.
            HWND note = GetDlgItem(dialog, IDC_PAPERCOUNT_NOTE);
            RECT field, needed;
            GetClientRect(note, &field);
            needed = field;
            HDC dc = GetDC(note);
            HGDIOBJ font =
                SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(note, WM_GETFONT, 0, 0)));
            std::string sentence = textOf(note);
            DrawTextA(dc, sentence.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, font);
            ReleaseDC(note, dc);
            EXPECT_LE(needed.bottom, field.bottom) << "the sentence is cut off";
            for (int id : {IDC_COUNT10, IDC_COUNT50, IDC_COUNT100})
                if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) checked = id;
            if (click) SendDlgItemMessageA(dialog, click, BM_CLICK, 0, 0);
            press(dialog, button);
            waitUntilGone(dialog);
        });
        return checked;
    }
};

TEST_F(SettingsWindows, PaperCountInTheSettingsFile) {
    struct Case {
        const char *stored;  // null: no entry
        int checked;
    } cases[] = {{nullptr, IDC_COUNT10}, {"30", IDC_COUNT10},  {"49", IDC_COUNT50},
                 {"98", IDC_COUNT50},    {"99", IDC_COUNT100}, {"250", IDC_COUNT100}};
    for (const Case &c : cases) {
        WritePrivateProfileStringA("NEWSPAPERS", "maxpapers", c.stored, "qlapi.ini");
        EXPECT_EQ(paperCount(), c.checked) << (c.stored ? c.stored : "none");
    }
    EXPECT_EQ(GetPrivateProfileIntA("NEWSPAPERS", "maxpapers", 0, "qlapi.ini"), 250);
    paperCount(IDC_COUNT50, IDOK);
    EXPECT_EQ(GetPrivateProfileIntA("NEWSPAPERS", "maxpapers", 0, "qlapi.ini"), 50);
    DWORD ignored;
    EXPECT_FALSE(registryNumber("maxpapers", ignored));
    EXPECT_EQ(g_helpContext, kHelpMainWindow);
}

TEST_F(SettingsWindows, PaperCountInTheRegistry) {
    setRegistryText("Software\\VKT\\QLAPI\\", "Method", "php");
    WritePrivateProfileStringA("NEWSPAPERS", "maxpapers", "50", "qlapi.ini");
    g_paperCount = 100;  // as at start
    // No value yet: the count of this run, which a cancelled click changes.
    EXPECT_EQ(paperCount(IDC_COUNT10, IDCANCEL), IDC_COUNT100);
    EXPECT_EQ(paperCount(), IDC_COUNT10);
    DWORD value = 0;
    EXPECT_FALSE(registryNumber("maxpapers", value));
    paperCount(IDC_COUNT50, IDOK);
    ASSERT_TRUE(registryNumber("maxpapers", value));
    EXPECT_EQ(value, 50u);
    setRegistryNumber("Software\\VKT\\QLAPI\\", "maxpapers", 120);
    EXPECT_EQ(paperCount(), IDC_COUNT100);
    EXPECT_EQ(GetPrivateProfileIntA("NEWSPAPERS", "maxpapers", 0, "qlapi.ini"), 50);  // untouched
}

TEST_F(SettingsWindows, UserIdentifierOfEightCharacters) {
    setRegistryText("Software\\VKT\\QLAPI\\", "Method", "PHP");
    setRegistryText("Software\\VKT\\QLAPI\\", "Login", "ALTKENN1");
    InvalidateRect(main_, nullptr, TRUE);
    UpdateWindow(main_);  // the entry follows Method on the next repaint
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_USERID, 0);
        HWND dialog = waitForDialog("Benutzerkennung");
        ASSERT_TRUE(dialog);
        HWND field = GetDlgItem(dialog, IDC_USERID);
        EXPECT_EQ(textOf(field), "ALTKENN1");
        EXPECT_EQ(textSelection(field), std::make_pair(DWORD(0), DWORD(8)));
        EXPECT_EQ(SendMessageA(field, EM_GETLIMITTEXT, 0, 0), 8);
        expectLayout(
            dialog, 132, 46,
            {{IDC_USERID, {7, 7, 47, 12}, "Edit", nullptr, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
             {IDOK, {75, 7, 50, 14}, "Button", "OK", BS_DEFPUSHBUTTON},
             {IDCANCEL, {75, 24, 50, 14}, "Button", "Abbrechen", 0}});
        for (const char *wrong : {"1234567", ""}) {
            SetWindowTextA(field, wrong);
            pressAndWait(dialog, IDOK);
            EXPECT_TRUE(IsWindow(dialog)) << wrong;
            EXPECT_EQ(textOf(field), wrong);
        }
        SetWindowTextA(field, "NEU 2/?!");
        press(dialog, IDOK);
        EXPECT_TRUE(waitUntilGone(dialog));
    });
    std::vector<std::string> told = describeAll(takePrompts());
    const std::string length =
        "Fehler | Die Benutzerkennung mu\xDF 8 Zeichen lang sein.\nBitte korrigieren Sie Ihre "
        "Eingabe. | warning";
    EXPECT_EQ(told, (std::vector<std::string>{
                        length, length,
                        "Hinweis | Starten Sie den Quillon neu damit die Einstellung wirksam "
                        "wird. | no icon"}));
    EXPECT_EQ(registryText("Login"), "NEU 2/?!");

    // Without registry settings the entry is greyed and does nothing, and
    // the dialog itself shows no identifier.
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI", "Method");
    InvalidateRect(main_, nullptr, TRUE);
    UpdateWindow(main_);
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_USERID, 0);
        EXPECT_FALSE(
            waitFor([] { return FindWindowA("#32770", "Benutzerkennung") != nullptr; }, 300));
    });
    drive(
        [&] {
            HWND dialog = waitForDialog("Benutzerkennung");
            ASSERT_TRUE(dialog);
            EXPECT_EQ(textOf(GetDlgItem(dialog, IDC_USERID)), "");
            press(dialog, IDCANCEL);
            waitUntilGone(dialog);
        },
        [&] { runUserIdDialog(main_); });
    EXPECT_EQ(registryText("Login"), "NEU 2/?!");
}

}  // namespace
