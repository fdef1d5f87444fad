// The headline list, the handbook and the key describer in the reader's real
// windows under Wine, against the real qlapi.dll and our editions.
#include <objbase.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "accessible_reader.h"
#include "search.h"
#include "user_texts.h"
#include "window_driver.h"

namespace {

// The keyboard state the GUI thread reads while a key message is handled:
// the driver shares it for the moment and sets the modifiers.
class HeldKeys {
  public:
    HeldKeys(HWND window, std::initializer_list<int> keys)
        : gui_(GetWindowThreadProcessId(window, nullptr)) {
        AttachThreadInput(GetCurrentThreadId(), gui_, TRUE);
        GetKeyboardState(state_);
        for (int k : keys) state_[k] = 0x80;
        SetKeyboardState(state_);
    }
    ~HeldKeys() {
        for (int k : {VK_SHIFT, VK_CONTROL, VK_MENU}) state_[k] = 0;
        SetKeyboardState(state_);
        AttachThreadInput(GetCurrentThreadId(), gui_, FALSE);
    }

  private:
    DWORD gui_;
    BYTE state_[256];
};

// A key pressed and let go through the message queue, as the keyboard
// delivers it: the describer's hook and the dialogs' loops see it. The
// modifiers stay held until `done` says the key has had its effect.
void type(HWND target, UINT key, std::initializer_list<int> held,
          const std::function<bool()> &done) {
    bool alt = std::find(held.begin(), held.end(), VK_MENU) != held.end();
    HeldKeys keys(target, held);
    PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 0);
    // The system follows F1 taken from the queue with its help key message.
    if (key == VK_F1 && !alt) PostMessageA(target, 0x004D /* WM_KEYF1 */, 0, 0);
    PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000000);
    EXPECT_TRUE(waitFor(done)) << "key " << key;
}

// The line of a field's text where its caret stands.
std::string caretLine(HWND field) {
    std::string text = textOf(field);
    size_t at = textSelection(field).first;
    return text.substr(at, text.find("\r\n", at) - at);
}

class KeyWindows : public ProgramWindows {
  protected:
    static HWND openRundschau(HWND main) {
        PostMessageA(main, WM_COMMAND, IDM_READ, 0);
        HWND dialog = waitForDialog("Zeitungsauswahl");
        if (!dialog) return nullptr;
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        std::vector<std::string> papers = entriesOf(list);
        auto it = std::find(papers.begin(), papers.end(), "7.12.2026 / Quillon Rundschau");
        if (it == papers.end()) return nullptr;
        SendMessageA(list, LB_SETCURSEL, it - papers.begin(), 0);
        pressAndWait(dialog, IDOK);
        return dialog;
    }
};

TEST_F(KeyWindows, HeadlinesReadOnAndBackToWhereTheReaderWas) {
    drive([&] {
        HWND dialog = openRundschau(main_);
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        SendMessageA(list, LB_SETCURSEL, 1, 0);  // Sport
        type(list, 'S', {VK_CONTROL, VK_MENU}, [&] { return entriesOf(list).size() == 8; });
        EXPECT_EQ(textOf(dialog), "Schlagzeilen Quillon Rundschau vom 7.12.2026");
        EXPECT_STREQ(accessibleNameOf(list), "Schlagzeilen");
        ASSERT_EQ(entriesOf(list).size(), 8u);
        EXPECT_EQ(selectionOf(list), 5);  // "Sport: Pokalspiel verschoben"
        // A letter jumps as in any list box.
        SendMessageA(list, WM_CHAR, 'K', 0);
        EXPECT_EQ(selectionOf(list), 7);

        SendMessageA(list, LB_SETCURSEL, 4, 0);
        press(dialog, IDOK);
        HWND view = waitForDialog("Leeres Blatt");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        type(field, VK_NEXT, {VK_CONTROL}, [&] { return textOf(view) == "Pokalspiel verschoben"; });
        type(field, VK_NEXT, {VK_CONTROL}, [&] { return textOf(view) == "kein Titel"; });
        EXPECT_EQ(selectionOf(list), 6);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        EXPECT_EQ(selectionOf(list), 6) << "the article read last";
        EXPECT_EQ(textOf(dialog), "Schlagzeilen Quillon Rundschau vom 7.12.2026");
        pressAndWait(dialog, IDCANCEL);
        EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"Lokales", "Sport", "Kultur"}));
        EXPECT_EQ(selectionOf(list), 1);
        EXPECT_STREQ(accessibleNameOf(list), "Ressorts");
    });
    EXPECT_TRUE(takePrompts().empty());
}

TEST_F(KeyWindows, HandbookOpensAtTheWindowsSectionAndIsSearched) {
    const std::string handbook = readFile(QL_HANDBOOK);
    ASSERT_GT(handbook.size(), 10000u);
    HELPINFO info = {};
    info.cbSize = sizeof info;
    // WM_HELP carries a pointer and cannot be posted: it is sent from a
    // thread of its own, which returns once the handbook has closed.
    std::thread asking;
    auto help = [&](HWND from, const char *section) {
        asking = std::thread(
            [&info, from] { SendMessageA(from, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)); });
        HWND book = waitForDialog("Handbuch");
        EXPECT_TRUE(book) << section;
        if (book) {
            EXPECT_EQ(caretLine(GetDlgItem(book, IDC_HANDBOOKTEXT)), section);
        }
        return book;
    };
    auto close = [&](HWND book) {
        press(book, IDCANCEL);
        EXPECT_TRUE(waitUntilGone(book));
        if (asking.joinable()) asking.join();
    };
    drive([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HWND book = help(main_, "2. Das Hauptfenster");
        ASSERT_TRUE(book);
        // What a screen reader gets: the title and the whole text as the
        // value of the read-only field, which has the focus.
        std::vector<AccessibleControl> read = readAccessibly(book);
        ASSERT_EQ(read.size(), 3u);
        EXPECT_EQ(read[0].name, "Handbuch");
        EXPECT_TRUE(read[1].value == handbook) << read[1].value.size() << " of " << handbook.size();
        HWND field = GetDlgItem(book, IDC_HANDBOOKTEXT);
        EXPECT_STREQ(accessibleNameOf(field), "Handbuchtext");
        EXPECT_EQ(GetWindowLongA(field, GWL_STYLE) & (ES_READONLY | ES_MULTILINE),
                  ES_READONLY | ES_MULTILINE);
        // Ctrl+F with the search dialog, then F3 on from there.
        PostMessageA(field, WM_CHAR, 6, 0);
        HWND ask = waitForDialog("Suchen");
        ASSERT_TRUE(ask);
        SetWindowTextA(GetDlgItem(ask, IDC_SEARCHTEXT), "Schlagzeile 17");
        press(ask, IDOK);
        ASSERT_TRUE(waitUntilGone(ask));
        DWORD first = static_cast<DWORD>(handbook.find("Schlagzeile 17"));
        EXPECT_TRUE(waitFor([&] { return textSelection(field).first == first; }));
        setSearchText("Strg+Alt+S");
        DWORD after = static_cast<DWORD>(handbook.find("Strg+Alt+S", first));
        PostMessageA(field, WM_KEYUP, VK_F3, 0);
        EXPECT_TRUE(waitFor([&] { return textSelection(field).first == after; }));
        close(book);

        PostMessageA(main_, WM_COMMAND, IDM_HANDBOOK, 0);
        book = waitForDialog("Handbuch");
        ASSERT_TRUE(book);
        EXPECT_EQ(caretLine(GetDlgItem(book, IDC_HANDBOOKTEXT)), "2. Das Hauptfenster");
        close(book);

        HWND dialog = openRundschau(main_);
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        book = help(list, "4. Zeitungen lesen");
        ASSERT_TRUE(book);
        EXPECT_EQ(GetWindow(book, GW_OWNER), dialog);
        close(book);
        pressAndWait(dialog, IDOK);  // Lokales
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        press(dialog, IDOK);
        HWND view = waitForDialog(
            "Markt \xF6"
            "ffnet am Sonntag");
        ASSERT_TRUE(view);
        book = help(GetDlgItem(view, IDC_ARTICLETEXT), "6. Artikel lesen");
        ASSERT_TRUE(book);
        close(book);
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
        CoUninitialize();
    });
    if (asking.joinable()) asking.join();
    EXPECT_TRUE(takePrompts().empty());
}

TEST_F(KeyWindows, KeyDescriberTellsTheNextKeyInsteadOfDoingIt) {
    const std::string caption = "Tastenbeschreibung | ";
    auto describe = [&](HWND target, UINT key, std::initializer_list<int> held) {
        type(target, VK_F1, {VK_SHIFT}, [] { return keyDescriberArmed(); });
        size_t before = promptCount();
        type(target, key, held, [&] { return promptCount() > before; });
        EXPECT_FALSE(keyDescriberArmed());
        EXPECT_FALSE(FindWindowA("#32770", "Handbuch")) << "the held F1 asked for help";
        std::vector<std::string> said = describeAll(takePrompts());
        return said.empty() ? std::string() : said.back();
    };
    drive([&] {
        EXPECT_EQ(describe(main_, 'Z', {VK_CONTROL, VK_MENU}),
                  caption +
                      "Strg+Alt+Z: \xF6"
                      "ffnet die Zeitungsauswahl mit allen gespeicherten Zeitungen. | "
                      "information");
        EXPECT_EQ(describe(main_, VK_F1, {VK_SHIFT}),
                  caption +
                      "Umschalt+F1: beschreibt die n\xE4"
                      "chste Taste, statt sie auszuf\xFChren. | information");

        HWND dialog = openRundschau(main_);
        ASSERT_TRUE(dialog);
        HWND list = GetDlgItem(dialog, IDC_ENTRYLIST);
        EXPECT_EQ(describe(list, VK_ESCAPE, {}), caption +
                                                     "Esc: geht eine Ebene zur\xFC"
                                                     "ck; in der Zeitungsliste schlie\xDF"
                                                     "t es die Zeitungsauswahl. | information");
        EXPECT_EQ(entriesOf(list), (std::vector<std::string>{"Lokales", "Sport", "Kultur"}))
            << "Escape was not carried out";
        EXPECT_EQ(describe(list, 'Q', {VK_CONTROL}),
                  caption + "Diese Taste hat hier keine Bedeutung. | information");

        pressAndWait(dialog, IDOK);  // Lokales
        SendMessageA(list, LB_SETCURSEL, 2, 0);
        press(dialog, IDOK);
        HWND view = waitForDialog("Winterdienst bereit");
        ASSERT_TRUE(view);
        HWND field = GetDlgItem(view, IDC_ARTICLETEXT);
        setSearchText("Schnee");
        EXPECT_EQ(describe(field, VK_NEXT, {VK_CONTROL}),
                  caption +
                      "Strg+Bild ab: liest den n\xE4"
                      "chsten Artikel der Zeitung. | information");
        EXPECT_EQ(describe(field, VK_F3, {}),
                  caption + "F3: sucht den zuletzt gesuchten Text weiter. | information");
        SendMessageA(view, WM_NULL, 0, 0);
        EXPECT_EQ(textOf(view), "Winterdienst bereit") << "Ctrl+PageDown was not carried out";
        EXPECT_EQ(textSelection(field), std::make_pair(DWORD(0), DWORD(0)))
            << "F3 was not carried out";
        // Off again: the next key acts.
        type(field, VK_NEXT, {VK_CONTROL}, [&] { return textOf(view) == "Schnee im Gebirge"; });
        press(view, IDCANCEL);
        ASSERT_TRUE(waitUntilGone(view));
    });
    EXPECT_TRUE(takePrompts().empty());
}

}  // namespace
