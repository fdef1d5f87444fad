// The harness of the window tests. The test thread pumps messages as the
// program's GUI thread does; a driver thread plays the user with window
// messages and reads back what the windows show. Message boxes and the save
// dialog are answered by script and recorded.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dialogs.h"
#include "prompt.h"

// ---- Scripted prompts: every box and save dialog is recorded -----------------

extern std::mutex g_promptLock;
extern std::deque<std::string> g_saveNames;  // names "typed" into save dialogs (locked)
// The answers to the next boxes; without one, OK or No.
void answer(std::initializer_list<int> answers);
size_t promptCount();
std::vector<Prompt> takePrompts();
// Where the owner's progress bar stood at each box since takePrompts; -1
// for an owner without one.
std::vector<int> promptBars();
// The prompt function of the tests, which records and answers by script.
int scriptedPrompt(Prompt &p);
// "caption | text | icon" of each prompt.
std::vector<std::string> describeAll(const std::vector<Prompt> &prompts);
// Whether each box's owner was on the screen when the box came.
std::vector<bool> promptOwnersShown();
// Each box's owner's title when the box came ("" without an owner).
std::vector<std::string> promptOwnerTitles();

// ---- Waiting for the GUI thread and reading its controls ------------------------

bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000);
HWND waitForDialog(const char *title);
// The enabled dialog of this process: the one a modal loop runs for.
HWND innermostDialog();
bool waitUntilGone(HWND window);
std::string textOf(HWND window);
std::vector<std::string> entriesOf(HWND list);
int selectionOf(HWND list);
std::pair<DWORD, DWORD> textSelection(HWND field);
// Presses a button of a dialog the way Enter or Escape would.
void press(HWND dialog, int id);
// The same, returning when the GUI thread has handled it.
void pressAndWait(HWND dialog, int id);
std::string readFile(const std::string &path);

// The place, size, class, text and style bits of a dialog's controls as its
// template gives them, in dialog units.
struct ControlSpec {
    int id;
    RECT units;  // left, top, width, height
    const char *cls;
    const char *text;
    DWORD style;  // bits that must be set
};
void expectLayout(HWND dialog, int width, int height, const std::vector<ControlSpec> &controls);

// ---- The program around each test ----------------------------------------------

// The real qlapi.dll, bound as the program binds it, over a store of our
// editions; a fresh main window for each test.
class ProgramWindows : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs `script` on a driver thread while this thread pumps messages, or
    // first runs `here` (a modal dialog, say) and then pumps. Dialogs the
    // script leaves open are closed afterwards.
    void drive(const std::function<void()> &script, const std::function<void()> &here = nullptr);

    static std::string s_dir;       // the test's folder, ending in "\\"
    static std::string s_settings;  // qlapi.ini in the Windows folder
    HWND main_ = nullptr;
    bool quit_ = false;  // the quit message arrived
};
