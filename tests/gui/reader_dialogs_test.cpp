// The reader's real windows under Wine: the main window's menu, the
// selection, the article view, the search dialog, saving and help, against
// the real qlapi.dll and a store of our editions. The test thread pumps
// messages as the program's GUI thread does; a driver thread plays the
// user with window messages and reads back what the windows show. Message
// boxes and the save dialog are answered by script and recorded.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "dialogs.h"
#include "library_binding.h"
#include "prompt.h"
#include "search.h"
#include "startup.h"
#include "user_texts.h"

namespace fs = std::filesystem;

namespace {

// ---- Scripted prompts -------------------------------------------------------

std::mutex g_promptLock;
std::vector<Prompt> g_prompts;
std::deque<int> g_answers;
std::deque<std::string> g_saveNames;

int scriptedPrompt(Prompt &p) {
    std::lock_guard<std::mutex> hold(g_promptLock);
    g_prompts.push_back(p);
    if (p.kind == PromptKind::SaveFile) {
        if (g_saveNames.empty()) return IDCANCEL;
        p.fileName = g_saveNames.front();
        g_saveNames.pop_front();
        return IDOK;
    }
    if (g_answers.empty()) return (p.style & MB_YESNO) ? IDNO : IDOK;
    int answer = g_answers.front();
    g_answers.pop_front();
    return answer;
}

void answer(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> hold(g_promptLock);
    g_answers.assign(answers);
}

size_t promptCount() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return g_prompts.size();
}

std::vector<Prompt> takePrompts() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return std::exchange(g_prompts, {});
}

// ---- Waiting for the GUI thread ---------------------------------------------

bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

HWND waitForDialog(const char *title) {
    HWND found = nullptr;
    waitFor([&] {
        found = FindWindowA("#32770", title);
        return found && IsWindowVisible(found);
    });
    return found;
}

// The enabled dialog of this process: the one a modal loop runs for.
HWND innermostDialog() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM result) -> BOOL {
            char cls[16] = "";
            DWORD process = 0;
            GetClassNameA(window, cls, sizeof cls);
            GetWindowThreadProcessId(window, &process);
            if (strcmp(cls, "#32770") || process != GetCurrentProcessId() ||
                !IsWindowVisible(window) || !IsWindowEnabled(window))
                return TRUE;
            *reinterpret_cast<HWND *>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

bool waitUntilGone(HWND window) {
    return waitFor([&] { return !IsWindow(window); });
}

std::string textOf(HWND window) {
    int n = static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
    std::string s(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(window, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(n));
    return s;
}

std::vector<std::string> entriesOf(HWND list) {
    std::vector<std::string> out;
    int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR) break;  // the list changed meanwhile
        std::string s(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&s[0]));
        s.resize(s.size() - 1);
        out.push_back(s);
    }
    return out;
}

int selectionOf(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

std::pair<DWORD, DWORD> textSelection(HWND field) {
    DWORD start = 0, end = 0;
    SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

// Presses a button of a dialog the way Enter or Escape would.
void press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }
// The same, returning when the GUI thread has handled it.
void pressAndWait(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, id, 0); }

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The place, size, class, text and style bits of a dialog's controls as its
// template gives them, in dialog units.
struct ControlSpec {
    int id;
    RECT units;  // left, top, width, height
    const char *cls;
    const char *text;
    DWORD style;  // bits that must be set
};

void expectLayout(HWND dialog, int width, int height, const std::vector<ControlSpec> &controls) {
    RECT client, want = {0, 0, width, height};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &want);
    EXPECT_EQ(client.right, want.right) << textOf(dialog);
    EXPECT_EQ(client.bottom, want.bottom) << textOf(dialog);
    for (const ControlSpec &c : controls) {
        HWND control = GetDlgItem(dialog, c.id);
        ASSERT_TRUE(control) << c.id;
        // Each of x, y, width and height is converted on its own, as the
        // dialog manager does.
        RECT got, place = c.units;
        MapDialogRect(dialog, &place);
        GetWindowRect(control, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&got), 2);
        EXPECT_EQ(
            std::vector<LONG>({got.left, got.top, got.right - got.left, got.bottom - got.top}),
            std::vector<LONG>({place.left, place.top, place.right, place.bottom}))
            << c.id;
        char cls[32] = "";
        GetClassNameA(control, cls, sizeof cls);
        EXPECT_STRCASEEQ(cls, c.cls) << c.id;
        if (c.text) {
            EXPECT_EQ(textOf(control), c.text) << c.id;
        }
        // A bordered control of a dialog gets the sunken edge instead.
        DWORD style = GetWindowLongA(control, GWL_STYLE);
        if (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
        EXPECT_EQ(style & c.style, c.style) << c.id;
    }
}

const char kWinterdienst[] =
    "Der Winterdienst ist bereit, Schnee wird erwartet.\r\n"
    "Der Schnee bleibt bis Freitag.\r\n"
    "R\xE4umfahrzeuge fahren ab vier Uhr, auch bei Schnee.\r\n"
    "Artikelende\r\n";

// ---- The program around the tests ---------------------------------------------

class ReaderWindows : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_instance = GetModuleHandleA(nullptr);
        loadUserTexts(loadStringTableText);
        setPromptFunction(scriptedPrompt);
        setDeviceChangeWait(50);
        s_dir = (fs::temp_directory_path() / "quillon-windows").string() + "\\";
        fs::remove_all(s_dir);
        fs::create_directories(s_dir + "news");
        for (const char *name :
             {"editions/courier-2026-12-07.eif", "editions/tageblatt-2026-12-07.eif",
              "reader/rundschau-2026-12-07.eif"})
            fs::copy_file(std::string(QL_TEST_DATA) + "/" + name,
                          s_dir + "news\\" + fs::path(name).filename().string());
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        s_settings = std::string(windows) + "\\qlapi.ini";
        std::ofstream(s_settings, std::ios::binary)
            << "[FILES]\r\nPATH=" << s_dir << "news\\\r\n[CONNECTIONS]\r\nServer=VKT\r\n"
            << "[VKT]\r\nappl=internal\r\nurl=127.0.0.1:1/q\r\nlogin=leser\r\npassword=x\r\n"
            << "class=HttpPostmasterClass\r\nneedsmodem=0\r\n[COUNTRIES]\r\nde=49\r\nen=1\r\n";
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT");
        ASSERT_TRUE(startLibrary(LoadLibraryA("qlapi.dll"), [](void *module, const char *name) {
            return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
        }));
    }
    static void TearDownTestSuite() {
        if (g_binding.initialize) g_binding.initialize(0);
        setPromptFunction(nullptr);
        fs::remove(s_settings);
    }
    void SetUp() override {
        takePrompts();
        answer({});
        setSearchText("");
        main_ = createMainWindow();
        ASSERT_TRUE(main_);
        ShowWindow(main_, SW_SHOWNORMAL);
        UpdateWindow(main_);
    }
    void TearDown() override {
        if (IsWindow(main_)) DestroyWindow(main_);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // Runs `script` on a driver thread while this thread pumps messages, as
    // the program's GUI thread does. Dialogs the script leaves open are
    // closed afterwards.
    void drive(const std::function<void()> &script) {
        std::atomic<bool> done{false};
        quit_ = false;
        std::thread driver([&] {
            script();
            // Escape on the innermost dialog (the enabled one) until none is left.
            for (int i = 0; i < 20; ++i) {
                HWND open = innermostDialog();
                if (!open) break;
                PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
                waitFor([&] { return !IsWindow(open) || innermostDialog() != open; }, 500);
            }
            done = true;
        });
        while (!done) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == WM_QUIT) quit_ = true;
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        driver.join();
    }

    // Opens the newspaper selection from the menu.
    HWND openSelection() {
        PostMessageA(main_, WM_COMMAND, IDM_READ, 0);
        return waitForDialog("Zeitungsauswahl");
    }
    // Selects the entry with this text and chooses it.
    static void choose(HWND dialog, const std::string &entry) {
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        std::vector<std::string> entries = entriesOf(list);
        auto it = std::find(entries.begin(), entries.end(), entry);
        ASSERT_NE(it, entries.end()) << entry;
        SendMessageA(list, LB_SETCURSEL, it - entries.begin(), 0);
        pressAndWait(dialog, IDOK);
    }
    // Opens the article at `position` of the current article list.
    static HWND openArticle(HWND dialog, int position, const char *title) {
        SendMessageA(GetDlgItem(dialog, IDC_ENTRYLIST), LB_SETCURSEL, position, 0);
        press(dialog, IDOK);
        return waitForDialog(title);
    }
    // Ctrl+F on `control`, then `text` typed into the search dialog and
    // confirmed. Returns what the dialog offered, "[selected]" appended when
    // all of it was selected.
    static std::string search(HWND control, const char *text) {
        PostMessageA(control, WM_CHAR, 6, 0);
        HWND dialog = waitForDialog("Suchen");
        if (!dialog) return "(no search dialog)";
        HWND field = GetDlgItem(dialog, IDC_SEARCHTEXT);
        expectLayout(dialog, 186, 47,
                     {{IDC_SEARCHTEXT,
                       {7, 7, 107, 12},
                       "Edit",
                       nullptr,
                       ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
                      {IDOK, {129, 7, 50, 14}, "Button", "Suchen", BS_DEFPUSHBUTTON},
                      {IDCANCEL, {129, 24, 50, 14}, "Button", "Abbrechen", 0}});
        std::string offered = textOf(field);
        if (textSelection(field) == std::make_pair(DWORD(0), DWORD(offered.size())))
            offered += "[selected]";
        SetWindowTextA(field, text);
        press(dialog, IDOK);
        waitUntilGone(dialog);
        return offered;
    }

    static std::string s_dir, s_settings;
    HWND main_ = nullptr;
    bool quit_ = false;
};

std::string ReaderWindows::s_dir, ReaderWindows::s_settings;

// ---- The main window ------------------------------------------------------------

struct MenuEntry {
    std::string text;
    UINT id;  // 0 for a separator
    bool enabled;
};

std::vector<std::pair<std::string, std::vector<MenuEntry>>> menuOf(HWND window) {
    std::vector<std::pair<std::string, std::vector<MenuEntry>>> out;
    HMENU bar = GetMenu(window);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        char text[100];
        GetMenuStringA(bar, i, text, sizeof text, MF_BYPOSITION);
        HMENU sub = GetSubMenu(bar, i);
        std::vector<MenuEntry> entries;
        for (int k = 0; k < GetMenuItemCount(sub); ++k) {
            char entry[100] = "";
            GetMenuStringA(sub, k, entry, sizeof entry, MF_BYPOSITION);
            UINT state = GetMenuState(sub, k, MF_BYPOSITION);
            UINT id = (state & MF_SEPARATOR) ? 0 : GetMenuItemID(sub, k);
            entries.push_back({entry, id, !(state & (MF_GRAYED | MF_DISABLED))});
        }
        out.push_back({text, entries});
    }
    return out;
}

TEST_F(ReaderWindows, MenuAcceleratorsAndTheirRules) {
    struct Case {
        const char *method;  // registry value, null for none
        bool userIdEnabled;
    } cases[] = {{nullptr, false}, {"php", true}, {"PHP", true}, {"PHP3", false}, {"", false}};
    for (const Case &c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI");
        if (c.method) {
            HKEY key;
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI\\", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr);
            RegSetValueExA(key, "Method", 0, REG_SZ, reinterpret_cast<const BYTE *>(c.method),
                           static_cast<DWORD>(strlen(c.method) + 1));
            RegCloseKey(key);
        }
        // Every repaint applies the rule.
        InvalidateRect(main_, nullptr, TRUE);
        UpdateWindow(main_);
        SendMessageA(main_, WM_DEVICECHANGE, 0x8000, 0);  // a handheld "arrives"

        const std::vector<std::pair<std::string, std::vector<MenuEntry>>> expected = {
            {"&Datei",
             {{"&Zeitungen lesen\tStrg+Alt+Z", 32772, true},
              {"", 0, true},
              {"&Neue Zeitungen abholen\tStrg+Alt+N", 32775, true},
              {"&Alle Zeitungen abholen\tStrg+Alt+A", 32776, true},
              {"", 0, true},
              {"&Beenden\tAlt+F4", 105, true}}},
            {"&Bearbeiten",
             {{"Suchen\tStrg+F", 32781, false},
              {"Artikel speichern\tStrg+S", 32782, false},
              {"Zeitung l\xF6schen\tEntf", 32783, false}}},
            {"&Einstellungen",
             {{"&Konfiguration ...", 32779, true},
              {"&Benutzerkennung ...", 32786, c.userIdEnabled}}},
            // No remote interface is installed: both handheld entries grey.
            {"&Mobil",
             {{"&synchronisieren\tStrg+Alt+S", 32787, false},
              {"Quillon CE &installieren\tStrg+Alt+I", 32788, false}}},
            {"&Hilfe",
             {{"Hilfe ...\tF1", 32785, true}, {"", 0, true}, {"\xDC&ber Quillon ...", 104, true}}},
        };
        auto menu = menuOf(main_);
        ASSERT_EQ(menu.size(), expected.size());
        for (size_t i = 0; i < menu.size(); ++i) {
            EXPECT_EQ(menu[i].first, expected[i].first);
            ASSERT_EQ(menu[i].second.size(), expected[i].second.size()) << expected[i].first;
            for (size_t k = 0; k < menu[i].second.size(); ++k) {
                const MenuEntry &got = menu[i].second[k], &want = expected[i].second[k];
                EXPECT_EQ(got.text, want.text) << c.method;
                EXPECT_EQ(got.id, want.id) << want.text;
                if (want.id) {
                    EXPECT_EQ(got.enabled, want.enabled) << want.text;
                }
            }
        }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\QLAPI");

    // Accelerator table 109: five virtual keys with Ctrl+Alt, two characters with Alt.
    HACCEL table = LoadAcceleratorsA(g_instance, MAKEINTRESOURCEA(IDC_QUILLON));
    ACCEL accels[16];
    int n = CopyAcceleratorTableA(table, accels, 16);
    std::vector<std::string> got;
    for (int i = 0; i < n; ++i) {
        std::ostringstream s;
        s << ((accels[i].fVirt & FVIRTKEY) ? "key " : "char ") << static_cast<char>(accels[i].key)
          << ((accels[i].fVirt & FCONTROL) ? " ctrl" : "")
          << ((accels[i].fVirt & FALT) ? " alt" : "") << " " << accels[i].cmd;
        got.push_back(s.str());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"key Z ctrl alt 32772", "key N ctrl alt 32775",
                                             "key A ctrl alt 32776", "key S ctrl alt 32787",
                                             "key I ctrl alt 32788", "char / alt 104",
                                             "char ? alt 104"}));

    // A greyed entry does nothing, however its command arrives; the about box opens.
    drive([&] {
        SendMessageA(main_, WM_COMMAND, IDM_SYNC, 0);
        HWND about = (PostMessageA(main_, WM_COMMAND, IDM_ABOUT, 0), waitForDialog("\xDC"
                                                                                   "ber Quillon"));
        ASSERT_TRUE(about);
        std::vector<std::string> statics;
        for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            statics.push_back(textOf(c));
        EXPECT_NE(std::find(statics.begin(), statics.end(), "Vantrel Quillon Version 1.41"),
                  statics.end());
        EXPECT_NE(std::find(statics.begin(), statics.end(),
                            "Quillon CE Version 1.30 integriet\nPlatformen:\n   PPC 2003\n"
                            "   Mobile 5"),
                  statics.end());
        press(about, IDOK);
        EXPECT_TRUE(waitUntilGone(about));
    });
    EXPECT_TRUE(takePrompts().empty());
}

TEST_F(ReaderWindows, HelpFollowsTheInnermostDialogAndLeavingAsks) {
    HWND owners[4] = {main_, main_, nullptr, nullptr};
    drive([&] {
        SendMessageA(main_, WM_COMMAND, IDM_HELP_CONTENTS, 0);
        HELPINFO info = {};
        info.cbSize = sizeof info;
        SendMessageA(main_, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        owners[2] = dialog;
        // A help request inside the selection travels to the main window,
        // whose help box then belongs to the dialog.
        SendMessageA(GetDlgItem(dialog, IDC_ENTRYLIST), WM_HELP, 0,
                     reinterpret_cast<LPARAM>(&info));
        choose(dialog, "7.12.2026 / Quillon Rundschau");
        choose(dialog, "Lokales");
        HWND view = openArticle(dialog, 0,
                                "Markt \xF6"
                                "ffnet am Sonntag");
        ASSERT_TRUE(view);
        owners[3] = view;
        SendMessageA(GetDlgItem(view, IDC_ARTICLETEXT), WM_HELP, 0,
                     reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(g_helpContext, kHelpArticle);
    });
    EXPECT_EQ(g_helpContext, kHelpMainWindow);
    std::vector<Prompt> prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 4u);
    const int topics[] = {IDS_HELP_CONTENTS, IDS_HELP_TOPIC_BASE + 1, IDS_HELP_TOPIC_BASE + 2,
                          IDS_HELP_TOPIC_BASE + 4};
    for (size_t i = 0; i < prompts.size(); ++i) {
        EXPECT_EQ(prompts[i].text, userText(topics[i])) << i;
        EXPECT_EQ(prompts[i].caption, "Hilfe");
        EXPECT_EQ(prompts[i].owner, owners[i]) << i;
    }

    // Leaving: No keeps everything; Yes shuts the library down and ends the loop.
    answer({IDNO});
    drive([&] { SendMessageA(main_, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_NE(g_binding.findFirstNewspaper(), nullptr);
    answer({IDYES});
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_EXIT, 0);
        waitUntilGone(main_);
    });
    EXPECT_FALSE(IsWindow(main_));
    EXPECT_TRUE(quit_);
    EXPECT_EQ(g_binding.findFirstNewspaper(), nullptr);
    prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 2u);
    for (const Prompt &p : prompts) {
        EXPECT_EQ(p.text, "Programm wirklich beenden?");
        EXPECT_EQ(p.caption, "Vantrel Quillon");
        EXPECT_EQ(p.style, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
    }
    ASSERT_EQ(g_binding.initialize(1), 0);  // for the tests that follow
}

// ---- Reading ------------------------------------------------------------------------

TEST_F(ReaderWindows, ReadingFromTheListsToTheArticle) {
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        EXPECT_EQ(g_helpContext, kHelpSelection);
        EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"12/7/2026 / Quillon Daily Courier",
                                                             "7.12.2026 / Quillon Rundschau",
                                                             "7.12.2026 / Quillon Tageblatt"}));
        EXPECT_EQ(selectionOf(list), 0);
        expectLayout(dialog, 249, 174,
                     {{IDC_ENTRYLIST,
                       {7, 7, 235, 145},
                       "ListBox",
                       nullptr,
                       LBS_NOTIFY | LBS_WANTKEYBOARDINPUT | LBS_DISABLENOSCROLL |
                           LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP},
                      {IDOK, {7, 153, 50, 14}, "Button", "&Ausw\xE4hlen", BS_DEFPUSHBUTTON},
                      {IDCANCEL,
                       {62, 153, 50, 14},
                       "Button",
                       "Zur\xFC"
                       "ck",
                       0}});
        EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LBS_SORT, 0);
        // A typed letter that starts no entry leaves the selection alone.
        SendMessageA(list, LB_SETCURSEL, 2, 0);
        SendMessageA(list, WM_CHAR, 'x', 0);
        EXPECT_EQ(selectionOf(list), 2);

        choose(dialog, "7.12.2026 / Quillon Rundschau");
        EXPECT_EQ(textOf(dialog), "Ressortauswahl Quillon Rundschau vom 7.12.2026");
        // A double-click chooses too.
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ENTRYLIST, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(textOf(dialog), "Artikelauswahl Lokales Quillon Rundschau vom 7.12.2026");

        HWND view = openArticle(dialog, 2, "Winterdienst bereit");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        EXPECT_EQ(textOf(field), kWinterdienst);
        EXPECT_EQ(textSelection(field), std::make_pair(DWORD(0), DWORD(0)));
        EXPECT_EQ(g_helpContext, kHelpArticle);
        expectLayout(view, 249, 174,
                     {{IDC_ARTICLETEXT,
                       {7, 7, 235, 145},
                       "Edit",
                       nullptr,
                       ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY | WS_VSCROLL |
                           WS_BORDER | WS_TABSTOP},
                      {IDCANCEL,
                       {7, 153, 50, 14},
                       "Button",
                       "Zur\xFC"
                       "ck",
                       0}});
        EXPECT_TRUE(GetWindowLongA(view, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
        EXPECT_EQ(SendMessageA(field, EM_GETLIMITTEXT, 0, 0), 1048576);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        EXPECT_EQ(g_helpContext, kHelpSelection);
        EXPECT_EQ(selectionOf(list), 3);  // Enter reads on

        // The last article has no paragraphs; afterwards it stays selected.
        view = openArticle(dialog, 4, "Leeres Blatt");
        ASSERT_TRUE(view);
        EXPECT_EQ(textOf(GetDlgItem(view, IDC_ARTICLETEXT)), "Artikelende\r\n");
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        EXPECT_EQ(selectionOf(list), 4);

        pressAndWait(dialog, IDCANCEL);
        EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"Lokales", "Sport", "Kultur"}));
        EXPECT_EQ(selectionOf(list), 1);
        pressAndWait(dialog, IDCANCEL);
        EXPECT_EQ(textOf(dialog), "Zeitungsauswahl");
        EXPECT_EQ(selectionOf(list), 2);
        press(dialog, IDCANCEL);
        EXPECT_TRUE(waitUntilGone(dialog));
    });
    EXPECT_EQ(g_helpContext, kHelpMainWindow);
    EXPECT_TRUE(takePrompts().empty());
}

TEST_F(ReaderWindows, DeletingAndSearchingInTheList) {
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        // Ctrl+F among the newspapers asks nothing.
        PostMessageA(list, WM_CHAR, 6, 0);
        EXPECT_FALSE(waitFor([] { return FindWindowA("#32770", "Suchen") != nullptr; }, 300));

        // Del asks; No keeps the newspaper, Yes deletes it from the disk.
        answer({IDNO});
        PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
        ASSERT_TRUE(waitFor([] { return promptCount() == 1; }));
        EXPECT_EQ(entriesOf(list).size(), 3u);
        answer({IDYES});
        PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
        ASSERT_TRUE(waitFor([&] { return entriesOf(list).size() == 2; }));
        EXPECT_FALSE(fs::exists(s_dir + "news\\courier-2026-12-07.eif"));
        EXPECT_EQ(selectionOf(list), 0);
        std::vector<Prompt> asked = takePrompts();
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1].text, "Zeitung wirklich l\xF6schen");
        EXPECT_EQ(asked[1].caption, "WARNUNG");
        EXPECT_EQ(asked[1].owner, nullptr);
        EXPECT_EQ(asked[1].style, static_cast<unsigned>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));

        // Del among the resorts is the list's own key.
        choose(dialog, "7.12.2026 / Quillon Rundschau");
        PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
        SendMessageA(dialog, WM_NULL, 0, 0);

        setSearchText("Dom");
        EXPECT_EQ(search(list, "Schnee"), "Dom[selected]");
        ASSERT_TRUE(waitFor([] { return promptCount() == 1; }));
        EXPECT_EQ(textOf(dialog), "Suchergebnis: Schnee in Quillon Rundschau vom 7.12.2026");
        EXPECT_EQ(entriesOf(list),
                  (std::vector<std::string>{"Winterdienst bereit", "Schnee im Gebirge",
                                            "Konzert im Dom"}));
        EXPECT_EQ(selectionOf(list), 0);
        // A hit read stays selected.
        HWND view = openArticle(dialog, 1, "Schnee im Gebirge");
        ASSERT_TRUE(view);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        EXPECT_EQ(selectionOf(list), 1);
        // No search from the hits.
        PostMessageA(list, WM_CHAR, 6, 0);
        EXPECT_FALSE(waitFor([] { return FindWindowA("#32770", "Suchen") != nullptr; }, 300));
        pressAndWait(dialog, IDCANCEL);
        EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"Lokales", "Sport", "Kultur"}));
    });
    std::vector<Prompt> prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "3 Artikel gefunden.");
    EXPECT_EQ(prompts[0].caption, "3 Artikel gefunden.");
    EXPECT_EQ(prompts[0].style, static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
    EXPECT_NE(prompts[0].owner, nullptr);
}

TEST_F(ReaderWindows, SearchingAndSavingInTheArticle) {
    const std::string saved = s_dir + "winterdienst.txt";
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        choose(dialog, "7.12.2026 / Quillon Rundschau");
        choose(dialog, "Lokales");
        HWND view = openArticle(dialog, 2, "Winterdienst bereit");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        const std::string text = kWinterdienst;

        setSearchText("Schnee");
        EXPECT_EQ(search(field, "Schnee"), "Schnee[selected]");
        DWORD first = static_cast<DWORD>(text.find("Schnee"));
        ASSERT_TRUE(waitFor([&] { return textSelection(field).first == first; }));
        EXPECT_EQ(textSelection(field).second, first + 6);

        DWORD second = static_cast<DWORD>(text.find("Schnee", first + 1));
        DWORD third = static_cast<DWORD>(text.find("Schnee", second + 1));
        PostMessageA(field, WM_KEYUP, VK_F3, 0);
        EXPECT_TRUE(waitFor([&] { return textSelection(field).first == second; }));
        PostMessageA(field, WM_KEYUP, VK_F3, 0);
        EXPECT_TRUE(waitFor([&] { return textSelection(field).first == third; }));
        PostMessageA(field, WM_KEYUP, VK_F3, 0);
        ASSERT_TRUE(waitFor([] { return promptCount() == 1; }));
        EXPECT_EQ(textSelection(field), std::make_pair(third, third + 6));  // no wrap-around
        // Leaving the field (Tab to the button and back, a cancelled search)
        // leaves its selection where it was.
        SendMessageA(view, WM_NEXTDLGCTL, 0, FALSE);
        SendMessageA(view, WM_NEXTDLGCTL, 0, FALSE);
        EXPECT_EQ(textSelection(field), std::make_pair(third, third + 6));
        PostMessageA(field, WM_CHAR, 6, 0);
        HWND ask = waitForDialog("Suchen");
        ASSERT_TRUE(ask);
        press(ask, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(ask));
        SendMessageA(view, WM_NULL, 0, 0);
        EXPECT_EQ(textSelection(field), std::make_pair(third, third + 6));

        // Ctrl+S proposes the headline and writes the text byte for byte.
        {
            std::lock_guard<std::mutex> hold(g_promptLock);
            g_saveNames = {saved};
        }
        PostMessageA(field, WM_CHAR, 19, 0);
        ASSERT_TRUE(waitFor([] { return promptCount() == 2; }));
        SendMessageA(view, WM_NULL, 0, 0);
        EXPECT_EQ(readFile(saved), text);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));

        // A headline with characters Windows refuses in names.
        view = openArticle(dialog, 1,
                           "Neue B\xE4nke: 20 St\xFC"
                           "ck / \"Park\"?");
        ASSERT_TRUE(view);
        PostMessageA(GetDlgItem(view, IDC_ARTICLETEXT), WM_CHAR, 19, 0);
        ASSERT_TRUE(waitFor([] { return promptCount() == 3; }));
    });
    std::vector<Prompt> prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 3u);
    EXPECT_EQ(prompts[0].text, "Nichts gefunden!");
    EXPECT_EQ(prompts[0].caption, "Hinweis");
    EXPECT_EQ(prompts[1].kind, PromptKind::SaveFile);
    EXPECT_EQ(prompts[1].caption, "Artikel speichern");
    EXPECT_EQ(prompts[1].fileName, "Winterdienst bereit");
    EXPECT_EQ(prompts[2].fileName,
              "Neue B\xE4nke 20 St\xFC"
              "ck  Park");
}

}  // namespace
