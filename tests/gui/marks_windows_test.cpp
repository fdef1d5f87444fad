// Bookmarks and Behalten in the reader's real windows under Wine: the keys
// in the newspaper list and the article view, and the list of bookmarks.
#include <filesystem>

#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

class MarksWindows : public ProgramWindows {};

// Ctrl and Alt held while the key goes to the control, as the user types it.
void pressControlAlt(HWND target, UINT key) {
    DWORD gui = GetWindowThreadProcessId(target, nullptr);
    AttachThreadInput(GetCurrentThreadId(), gui, TRUE);
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = state[VK_LCONTROL] = state[VK_MENU] = state[VK_LMENU] = 0x80;
    SetKeyboardState(state);
    SendMessageA(target, WM_SYSKEYDOWN, key, 0);
    state[VK_CONTROL] = state[VK_LCONTROL] = state[VK_MENU] = state[VK_LMENU] = 0;
    SetKeyboardState(state);
    AttachThreadInput(GetCurrentThreadId(), gui, FALSE);
}

void select(HWND list, const std::string &entry) {
    std::vector<std::string> entries = entriesOf(list);
    auto it = std::find(entries.begin(), entries.end(), entry);
    ASSERT_NE(it, entries.end()) << entry;
    SendMessageA(list, LB_SETCURSEL, it - entries.begin(), 0);
}

void closeSelection(HWND dialog) {
    for (int level = 0; level < 3; ++level) press(dialog, IDCANCEL);
    EXPECT_TRUE(waitUntilGone(dialog));
}

TEST_F(MarksWindows, BehaltenABookmarkAndTheListOfBookmarks) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
    const std::string mark = s_dir + "news\\rundschau-2026-12-07.ekp";
    const std::string rundschau = "7.12.2026 / Quillon Rundschau";
    drive([&] {
        PostMessageA(main_, WM_COMMAND, IDM_READ, 0);
        HWND dialog = waitForDialog("Zeitungsauswahl");
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);

        // Ctrl+B keeps the edition and says so; a second press lets it go.
        select(list, rundschau);
        SendMessageA(list, WM_CHAR, 2, 0);
        EXPECT_EQ(entriesOf(list)[static_cast<size_t>(selectionOf(list))],
                  rundschau + " (behalten)");
        EXPECT_TRUE(fs::exists(mark));
        SendMessageA(list, WM_CHAR, 2, 0);
        EXPECT_EQ(entriesOf(list)[static_cast<size_t>(selectionOf(list))], rundschau);
        EXPECT_FALSE(fs::exists(mark));
        EXPECT_EQ(describeAll(takePrompts()),
                  (std::vector<std::string>{
                      "Hinweis | Quillon Rundschau vom 7.12.2026 wird behalten und beim "
                      "Aufr\xE4umen nicht entfernt. | information",
                      "Hinweis | Quillon Rundschau vom 7.12.2026 wird nicht mehr behalten und "
                      "kann beim Aufr\xE4umen entfernt werden. | information"}));

        // Ctrl+Alt+M on the second line of an article sets a bookmark there.
        pressAndWait(dialog, IDOK);
        select(list, "Lokales");
        pressAndWait(dialog, IDOK);
        SendMessageA(list, LB_SETCURSEL, 2, 0);
        press(dialog, IDOK);
        HWND view = waitForDialog("Winterdienst bereit");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        SendMessageA(field, EM_SETSEL, 52, 52);
        pressControlAlt(field, 'M');
        EXPECT_EQ(
            describeAll(takePrompts()),
            std::vector<std::string>{"Hinweis | Lesezeichen in Zeile 2 gesetzt. | information"});
        EXPECT_TRUE(fs::exists(mark)) << "an edition with a bookmark is kept";
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        closeSelection(dialog);

        // Datei, Lesezeichen: Enter opens the article at the line.
        PostMessageA(main_, WM_COMMAND, IDM_BOOKMARKS, 0);
        HWND marks = waitForDialog("Lesezeichen");
        ASSERT_TRUE(marks);
        HWND entries = GetDlgItem(marks, IDC_BOOKMARKLIST);
        EXPECT_STREQ(accessibleNameOf(entries), "Lesezeichen");
        EXPECT_EQ(entriesOf(entries),
                  std::vector<std::string>{"Quillon Rundschau vom 7.12.2026, Lokales: "
                                           "Winterdienst bereit \x96 Der Schnee bleibt bis "
                                           "Freitag."});
        EXPECT_EQ(selectionOf(entries), 0);
        press(marks, IDOK);
        view = waitForDialog("Winterdienst bereit");
        ASSERT_TRUE(view);
        EXPECT_EQ(textSelection(GetDlgItem(view, IDC_ARTICLETEXT)),
                  std::make_pair(DWORD(52), DWORD(52)));
        dialog = waitForDialog("Artikelauswahl Lokales Quillon Rundschau vom 7.12.2026");
        ASSERT_TRUE(dialog);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        closeSelection(dialog);

        // Back in the list, Delete asks; Yes removes the last bookmark, the
        // list closes and the edition is no longer kept.
        ASSERT_EQ(innermostDialog(), marks);
        answer({IDYES});
        PostMessageA(entries, WM_KEYDOWN, VK_DELETE, 0);
        ASSERT_TRUE(waitUntilGone(marks));
        EXPECT_EQ(describeAll(takePrompts()),
                  std::vector<std::string>{
                      "Frage | Lesezeichen \x84Quillon Rundschau vom 7.12.2026, Lokales: "
                      "Winterdienst bereit \x96 Der Schnee bleibt bis Freitag.\x93 l\xF6schen? | "
                      "question"});
        EXPECT_FALSE(fs::exists(mark));

        // With none left the menu entry says how to set one.
        SendMessageA(main_, WM_COMMAND, IDM_BOOKMARKS, 0);
        EXPECT_EQ(describeAll(takePrompts()),
                  std::vector<std::string>{
                      "Hinweis | Es sind keine Lesezeichen gesetzt; in einem Artikel setzt "
                      "Strg+Alt+M eines in der Zeile, in der Sie stehen. | information"});
    });
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT\\Quillon");
}

}  // namespace
