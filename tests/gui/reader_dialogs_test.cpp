// The reader's real windows under Wine: the main window's menu, the
// selection, the article view, the search dialog, saving and help, against
// the real qlapi.dll and a store of our editions.
#include <objbase.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "accessible_reader.h"
#include "library_binding.h"
#include "search.h"
#include "user_texts.h"
#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

const char kWinterdienst[] =
    "Der Winterdienst ist bereit, Schnee wird erwartet.\r\n"
    "Der Schnee bleibt bis Freitag.\r\n"
    "R\xE4umfahrzeuge fahren ab vier Uhr, auch bei Schnee.\r\n"
    "Artikelende\r\n";

class ReaderWindows : public ProgramWindows {
  protected:
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
};

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
              {"&Weiterlesen\tStrg+Alt+W", 32789, true},
              {"In allen Zeitungen &suchen\tStrg+Alt+F", 32790, true},
              {"&Lesezeichen\x85\tStrg+Alt+L", 32800, true},
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
              {"&Benutzerkennung ...", 32786, c.userIdEnabled},
              {"&Automatisch abholen\x85", 32820, true}}},
            // No remote interface is installed: both handheld entries grey.
            {"&Mobil",
             {{"&synchronisieren\tStrg+Alt+S", 32787, false},
              {"Quillon CE &installieren\tStrg+Alt+I", 32788, false}}},
            {"&Hilfe",
             {{"Hilfe ...\tF1", 32785, true},
              {"&Handbuch", 32840, true},
              {"", 0, true},
              {"\xDC&ber Quillon ...", 104, true}}},
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

    // Accelerator table 109: eight virtual keys with Ctrl+Alt, two characters with Alt.
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
    EXPECT_EQ(got, (std::vector<std::string>{"key Z ctrl alt 32772", "key W ctrl alt 32789",
                                             "key F ctrl alt 32790", "key N ctrl alt 32775",
                                             "key A ctrl alt 32776", "key S ctrl alt 32787",
                                             "key I ctrl alt 32788", "key L ctrl alt 32800",
                                             "char / alt 104", "char ? alt 104"}));

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
    HWND owners[3] = {main_, nullptr, nullptr}, handbookOwners[3] = {};
    drive([&] {
        SendMessageA(main_, WM_COMMAND, IDM_HELP_CONTENTS, 0);
        HELPINFO info = {};
        info.cbSize = sizeof info;
        // Without the help viewer a window's help is the handbook, owned by
        // the dialog the request came from (it travels to the main window).
        // The request is sent from a thread of its own, which returns once
        // the handbook has closed.
        auto helpFrom = [&](HWND control, HWND &owner) {
            std::thread asking(
                [&] { SendMessageA(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)); });
            HWND book = waitForDialog("Handbuch");
            if (book) {
                owner = GetWindow(book, GW_OWNER);
                press(book, IDCANCEL);
            }
            asking.join();
        };
        helpFrom(main_, handbookOwners[0]);
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        owners[1] = dialog;
        helpFrom(GetDlgItem(dialog, IDC_ENTRYLIST), handbookOwners[1]);
        choose(dialog, "7.12.2026 / Quillon Rundschau");
        choose(dialog, "Lokales");
        HWND view = openArticle(dialog, 0,
                                "Markt \xF6"
                                "ffnet am Sonntag");
        ASSERT_TRUE(view);
        owners[2] = view;
        helpFrom(GetDlgItem(view, IDC_ARTICLETEXT), handbookOwners[2]);
        EXPECT_EQ(g_helpContext, kHelpArticle);
    });
    EXPECT_EQ(g_helpContext, kHelpMainWindow);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(handbookOwners[i], owners[i]) << i;
    std::vector<Prompt> prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, userText(IDS_HELP_CONTENTS));
    EXPECT_EQ(prompts[0].caption, "Hilfe");
    EXPECT_EQ(prompts[0].owner, main_);

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
        EXPECT_EQ(asked[1].owner, dialog) << "the warning belongs to its dialog";
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

namespace {

// A key pressed on `target` with Ctrl (and Alt) held: the driver shares the
// GUI thread's keyboard state for the moment, as GetKeyState reads it.
void pressKey(HWND target, UINT key, bool alt) {
    DWORD gui = GetWindowThreadProcessId(target, nullptr);
    AttachThreadInput(GetCurrentThreadId(), gui, TRUE);
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    if (alt) state[VK_MENU] = state[VK_LMENU] = 0x80;
    SetKeyboardState(state);
    SendMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 0);
    state[VK_CONTROL] = state[VK_LCONTROL] = state[VK_MENU] = state[VK_LMENU] = 0;
    SetKeyboardState(state);
    AttachThreadInput(GetCurrentThreadId(), gui, FALSE);
}

std::string resumeValue(const char *name) {
    char text[256] = "";
    DWORD number = 0, size = sizeof text, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon\\Resume", 0, KEY_READ, &key))
        return "(no key)";
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
    RegCloseKey(key);
    if (type == REG_DWORD) {
        memcpy(&number, text, sizeof number);
        return std::to_string(number);
    }
    return text;
}

}  // namespace

// Where am I, reading on across a resort, resuming, searching every
// newspaper, and the names the unlabelled controls get.
TEST_F(ReaderWindows, ReadingComfort) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        EXPECT_STREQ(accessibleNameOf(list), "Zeitungen");
        choose(dialog, "7.12.2026 / Quillon Rundschau");
        EXPECT_STREQ(accessibleNameOf(list), "Ressorts");
        choose(dialog, "Lokales");
        EXPECT_STREQ(accessibleNameOf(list), "Artikel");
        SendMessageA(list, LB_SETCURSEL, 3, 0);
        pressKey(list, 'P', true);
        EXPECT_EQ(describeAll(takePrompts()),
                  std::vector<std::string>{"Position | Artikel 4 von 5 im Ressort Lokales, "
                                           "Quillon Rundschau vom 7.12.2026 | information"});

        HWND view = openArticle(dialog, 3, "Schnee im Gebirge");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        EXPECT_STREQ(accessibleNameOf(field), "Artikeltext");
        pressKey(field, VK_NEXT, false);
        EXPECT_EQ(textOf(view), "Leeres Blatt");
        pressKey(field, VK_NEXT, false);  // over the boundary into Sport
        EXPECT_EQ(textOf(view), "Pokalspiel verschoben");
        EXPECT_EQ(textOf(dialog), "Artikelauswahl Sport Quillon Rundschau vom 7.12.2026");
        EXPECT_EQ(selectionOf(list), 0);
        pressKey(field, VK_PRIOR, false);
        EXPECT_EQ(textOf(view), "Leeres Blatt");
        EXPECT_EQ(selectionOf(list), 4);
        EXPECT_EQ(textOf(field), "Artikelende\r\n");
        SendMessageA(field, EM_SETSEL, 13, 13);  // the caret on the second line
        pressKey(field, 'P', true);
        EXPECT_EQ(describeAll(takePrompts()),
                  std::vector<std::string>{"Position | Zeile 2 von 2 | information"});
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        EXPECT_EQ(resumeValue("File"), "rundschau-2026-12-07.eif");
        EXPECT_EQ(resumeValue("Headline"), "Leeres Blatt");
        EXPECT_EQ(resumeValue("Line"), "1");
        press(dialog, IDCANCEL);
        press(dialog, IDCANCEL);
        press(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));

        // Weiterlesen opens that article over its list, the caret on its line.
        PostMessageA(main_, WM_COMMAND, IDM_RESUME, 0);
        view = waitForDialog("Leeres Blatt");
        ASSERT_TRUE(view);
        EXPECT_EQ(textSelection(GetDlgItem(view, IDC_ARTICLETEXT)),
                  std::make_pair(DWORD(13), DWORD(13)));
        dialog = waitForDialog("Artikelauswahl Lokales Quillon Rundschau vom 7.12.2026");
        EXPECT_TRUE(dialog);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        press(dialog, IDCANCEL);
        press(dialog, IDCANCEL);
        press(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));

        // Every newspaper searched; the hits open on their first match.
        PostMessageA(main_, WM_COMMAND, IDM_SEARCH_ALL, 0);
        HWND ask = waitForDialog("Suchen");
        ASSERT_TRUE(ask);
        EXPECT_STREQ(accessibleNameOf(GetDlgItem(ask, IDC_SEARCHTEXT)), "Suchbegriff");
        SetWindowTextA(GetDlgItem(ask, IDC_SEARCHTEXT), "Schnee");
        press(ask, IDOK);
        dialog = waitForDialog("Suchergebnis: Schnee in allen Zeitungen");
        ASSERT_TRUE(dialog);
        list = GetDlgItem(dialog, IDC_ENTRYLIST);
        EXPECT_STREQ(accessibleNameOf(list), "Suchergebnisse");
        ASSERT_FALSE(entriesOf(list).empty());
        EXPECT_EQ(entriesOf(list)[0],
                  "Quillon Rundschau vom 7.12.2026, Lokales: Winterdienst bereit");
        view = openArticle(dialog, 0, "Winterdienst bereit");
        ASSERT_TRUE(view);
        EXPECT_EQ(textSelection(GetDlgItem(view, IDC_ARTICLETEXT)),
                  std::make_pair(DWORD(29), DWORD(35)));  // "Schnee" in the first line
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        pressAndWait(dialog, IDCANCEL);
        EXPECT_EQ(textOf(dialog), "Zeitungsauswahl");
    });
    // The boxes the script met were all read above; the delete warning has
    // its dialog as owner now (tested natively).
    EXPECT_TRUE(takePrompts().empty());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
}

namespace {

// Writes a resume record of our own: texts as REG_SZ, numbers as REG_DWORD.
void writeResumeRecord(const std::vector<std::pair<const char *, std::string>> &texts,
                       const std::vector<std::pair<const char *, DWORD>> &numbers) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon\\Resume");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon\\Resume", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto &[name, text] : texts)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    for (const auto &[name, number] : numbers)
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                       sizeof number);
    RegCloseKey(key);
}

}  // namespace

// Whatever Weiterlesen cannot open, one box says why and the newspaper list
// stays as the menu shows it: each edition once, "where am I" and Enter as
// there.
TEST_F(ReaderWindows, WeiterlesenFallsBackToTheNewspaperList) {
    const char kGone[] =
        "Hinweis | Die Zeitung, in der Sie zuletzt gelesen haben, ist nicht "
        "mehr gespeichert. | information";
    const char kArticleGone[] =
        "Hinweis | Der Artikel, den Sie zuletzt gelesen haben, ist in "
        "seiner Zeitung nicht mehr zu finden. | information";
    const char kNothing[] = "Hinweis | Es gibt noch keine Stelle zum Weiterlesen. | information";
    auto record = [](const std::string &file, const std::string &headline) {
        writeResumeRecord({{"File", file},
                           {"Title", "Quillon Rundschau"},
                           {"Date", "7.12.2026"},
                           {"Resort1", "Lokales"},
                           {"Headline", headline}},
                          {{"Resorts", 1}, {"ArticleId", 3}, {"Untitled", 0}, {"Line", 0}});
    };
    struct Case {
        const char *name;
        std::function<void()> keep;
        const char *box;
    } cases[] = {
        {"nothing kept",
         [] { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon\\Resume"); }, kNothing},
        {"a damaged record",
         [] {
             writeResumeRecord({{"File", "x.eif"}}, {});
         },
         kNothing},
        {"the edition gone", [&] { record("weg-2026-11-01.eif", "Winterdienst bereit"); }, kGone},
        {"the article gone", [&] { record("rundschau-2026-12-07.eif", "Lawine"); }, kArticleGone},
    };
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        const std::vector<std::string> papers = entriesOf(GetDlgItem(dialog, IDC_ENTRYLIST));
        ASSERT_GE(papers.size(), 2u);
        pressAndWait(dialog, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(dialog));
        const std::string &second = papers[1];  // "date / title"
        size_t slash = second.find(" / ");
        const std::string where = "Position | Zeitung 2 von " + std::to_string(papers.size()) +
                                  ": " + second.substr(slash + 3) + " vom " +
                                  second.substr(0, slash) + " | information";
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            c.keep();
            takePrompts();
            PostMessageA(main_, WM_COMMAND, IDM_RESUME, 0);
            ASSERT_TRUE(waitFor([] { return promptCount() > 0; }));
            EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{c.box});
            // The box is told before the list opens: wait for the list itself.
            dialog = waitForDialog("Zeitungsauswahl");
            ASSERT_TRUE(dialog);
            HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
            EXPECT_EQ(entriesOf(list), papers);
            SendMessageA(list, LB_SETCURSEL, 1, 0);
            pressKey(list, 'P', true);
            EXPECT_EQ(describeAll(takePrompts()), std::vector<std::string>{where});
            choose(dialog, second);
            EXPECT_STREQ(accessibleNameOf(list), "Ressorts");
            EXPECT_NE(textOf(dialog), "Zeitungsauswahl");
            pressAndWait(dialog, IDCANCEL);
            pressAndWait(dialog, IDCANCEL);
            ASSERT_TRUE(waitUntilGone(dialog));
        }
    });
    EXPECT_TRUE(takePrompts().empty());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
}

namespace {

// The control that has the keyboard focus on the GUI thread of `window`.
HWND focusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// The Tab order of a dialog from its focus round to it again, as ids.
std::vector<int> tabOrder(HWND dialog) {
    std::vector<int> ids;
    HWND first = focusOf(dialog), c = first;
    do {
        ids.push_back(GetDlgCtrlID(c));
        c = GetNextDlgTabItem(dialog, c, FALSE);
    } while (c && c != first && ids.size() < 10);
    return ids;
}

// "name [shortcut]" of a dialog's controls through oleacc (roles differ
// between Windows and Wine, which calls every client object "Client").
std::vector<std::string> accessibleSummary(HWND dialog) {
    std::vector<std::string> out;
    for (const AccessibleControl &c : readAccessibly(dialog))
        out.push_back(c.name + (c.shortcut.empty() ? "" : " [" + c.shortcut + "]"));
    return out;
}

}  // namespace

// What a screen reader gets through the accessibility interface: focus on
// opening, Tab order, button names with their access keys, the article text
// as the value of its read-only field, and a real message box's text.
TEST_F(ReaderWindows, ScreenReaderGetsEachDialog) {
    drive([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        EXPECT_EQ(focusOf(dialog), list);
        EXPECT_EQ(tabOrder(dialog), (std::vector<int>{IDC_ENTRYLIST, IDOK, IDCANCEL}));
        std::vector<std::string> seen = accessibleSummary(dialog);
        ASSERT_EQ(seen.size(), 4u);
        EXPECT_EQ(seen[2], "Ausw\xE4hlen [Alt+A]");
        EXPECT_EQ(seen[3],
                  "Zur\xFC"
                  "ck");

        choose(dialog, "7.12.2026 / Quillon Rundschau");
        choose(dialog, "Lokales");
        HWND view = openArticle(dialog, 2, "Winterdienst bereit");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        EXPECT_EQ(focusOf(view), field);
        EXPECT_EQ(tabOrder(view), (std::vector<int>{IDC_ARTICLETEXT, IDCANCEL}));
        std::vector<AccessibleControl> article = readAccessibly(view);
        ASSERT_EQ(article.size(), 3u);
        EXPECT_EQ(article[0].name, "Winterdienst bereit");
        EXPECT_EQ(article[1].value, kWinterdienst);

        // A real box, as the reader gets it: its text is a static's name.
        setPromptFunction(nullptr);
        DWORD gui = GetWindowThreadProcessId(field, nullptr);
        AttachThreadInput(GetCurrentThreadId(), gui, TRUE);
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = state[VK_MENU] = 0x80;
        SetKeyboardState(state);
        PostMessageA(field, WM_KEYDOWN, 'P', 0);
        HWND box = waitForDialog("Position");
        state[VK_CONTROL] = state[VK_MENU] = 0;
        SetKeyboardState(state);
        AttachThreadInput(GetCurrentThreadId(), gui, FALSE);
        ASSERT_TRUE(box);
        std::vector<std::string> said = accessibleSummary(box);
        std::string all;
        for (const std::string &line : said) all += line + "|";
        EXPECT_NE(all.find("Zeile 1 von 5"), std::string::npos) << "[" << all << "]" << said.size();
        press(box, IDOK);
        EXPECT_TRUE(waitUntilGone(box));
        setPromptFunction(scriptedPrompt);
        CoUninitialize();
    });
}

// Ctrl+E at the newspaper level saves the selected edition as an e-book:
// the save dialog proposes "<paper> <date>.epub", one box says what was
// written, and the file is a whole EPUB.
TEST_F(ReaderWindows, SavingAnEditionAsAnEbook) {
    std::string saved = s_dir + "rundschau.epub";
    fs::remove(saved);
    drive([&] {
        HWND dialog = openSelection();
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        SendMessageA(list, LB_SETCURSEL, 1, 0);  // the Rundschau
        {
            std::lock_guard<std::mutex> hold(g_promptLock);
            g_saveNames = {saved};
        }
        PostMessageA(list, WM_CHAR, 5, 0);
        ASSERT_TRUE(waitFor([] { return promptCount() == 2; }));
        EXPECT_EQ(selectionOf(list), 1);
    });
    std::vector<Prompt> prompts = takePrompts();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0].kind, PromptKind::SaveFile);
    EXPECT_EQ(prompts[0].caption, "Als E-Book speichern");
    EXPECT_EQ(prompts[0].fileName, "Quillon Rundschau 7.12.2026.epub");
    EXPECT_EQ(prompts[0].filterName, "E-Book (*.epub)");
    EXPECT_EQ(prompts[1].text, "\x84rundschau.epub\x93 mit 3 Ressorts und 8 Artikeln gespeichert.");
    std::string epub = readFile(saved);
    EXPECT_EQ(epub.substr(0, 2), "PK");
    EXPECT_EQ(epub.substr(30, 28), "mimetypeapplication/epub+zip");
    EXPECT_FALSE(fs::exists(saved + ".part"));
}
