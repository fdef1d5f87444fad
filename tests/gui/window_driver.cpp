// The harness of the window tests: scripted prompts, waiting for the GUI
// thread, reading controls, and the program around each test.
#include "window_driver.h"  // windows.h first

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "library_binding.h"
#include "search.h"
#include "startup.h"
#include "user_texts.h"

namespace fs = std::filesystem;

std::mutex g_promptLock;
namespace {
std::vector<Prompt> g_prompts;
std::vector<int> g_bars;
std::vector<bool> g_ownersShown;
std::vector<std::string> g_ownerTitles;
std::deque<int> g_answers;
}  // namespace
std::deque<std::string> g_saveNames;

int scriptedPrompt(Prompt &p) {
    std::lock_guard<std::mutex> hold(g_promptLock);
    g_prompts.push_back(p);
    // Where the owner's progress bar stood, if it has one.
    HWND owner = static_cast<HWND>(p.owner), bar = nullptr;
    if (owner)
        bar = GetDlgItem(owner, IDC_PROGRESS) ? GetDlgItem(owner, IDC_PROGRESS)
                                              : GetDlgItem(owner, IDC_COPYPROGRESS);
    g_bars.push_back(bar ? static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)) : -1);
    g_ownersShown.push_back(owner && IsWindowVisible(owner));
    g_ownerTitles.push_back(owner ? textOf(owner) : "");
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

namespace {

std::string describe(const Prompt &p) {
    unsigned icon = p.style & 0xF0;
    return p.caption + " | " + p.text + " | " +
           (icon == MB_ICONERROR         ? "error"
            : icon == MB_ICONWARNING     ? "warning"
            : icon == MB_ICONQUESTION    ? "question"
            : icon == MB_ICONINFORMATION ? "information"
                                         : "no icon");
}

}  // namespace

std::vector<std::string> describeAll(const std::vector<Prompt> &prompts) {
    std::vector<std::string> out;
    for (const Prompt &p : prompts) out.push_back(describe(p));
    return out;
}

void answer(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> hold(g_promptLock);
    g_answers.assign(answers);
}

size_t promptCount() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return g_prompts.size();
}

std::vector<int> promptBars() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return g_bars;
}

std::vector<bool> promptOwnersShown() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return g_ownersShown;
}

std::vector<std::string> promptOwnerTitles() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    return g_ownerTitles;
}

std::vector<Prompt> takePrompts() {
    std::lock_guard<std::mutex> hold(g_promptLock);
    g_bars.clear();
    g_ownersShown.clear();
    g_ownerTitles.clear();
    return std::exchange(g_prompts, {});
}

// ---- Waiting for the GUI thread ---------------------------------------------

bool waitFor(const std::function<bool()> &done, int timeoutMs) {
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

void press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }
void pressAndWait(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, id, 0); }

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

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

// ---- The program around each test ----------------------------------------------

std::string ProgramWindows::s_dir, ProgramWindows::s_settings;

void ProgramWindows::SetUpTestSuite() {
    g_instance = GetModuleHandleA(nullptr);
    // Our handheld emulator's ceutil.dll and rapi.dll lie in a folder of
    // their own, never beside the program.
    std::string emulator = "Z:" QL_HANDHELD_DIR;
    for (char &c : emulator) c = c == '/' ? '\\' : c;
    SetDllDirectoryA(emulator.c_str());
    loadUserTexts(loadStringTableText);
    setPromptFunction(scriptedPrompt);
    setDeviceChangeWait(50);
    s_dir = (fs::temp_directory_path() / "quillon-windows").string() + "\\";
    fs::remove_all(s_dir);
    fs::create_directories(s_dir + "news");
    for (const char *name : {"editions/courier-2026-12-07.eif", "editions/tageblatt-2026-12-07.eif",
                             "reader/rundschau-2026-12-07.eif"})
        fs::copy_file(std::string(QL_TEST_DATA) + "/" + name,
                      s_dir + "news\\" + fs::path(name).filename().string());
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    s_settings = std::string(windows) + "\\qlapi.ini";
    std::ofstream(s_settings, std::ios::binary)
        << "[FILES]\r\nPATH=" << s_dir << "news\\\r\n[CONNECTIONS]\r\nServer=VKT\r\n"
        << "[VKT]\r\nappl=internal\r\ncommand=internal\r\nunpacker=internal\r\nurl=127.0.0.1:1/"
           "q\r\nlogin=leser\r\npassword=x\r\n"
        << "class=HttpPostmasterClass\r\nneedsmodem=0\r\ndays=0,1,2,3,4,5,6\r\n[COUNTRIES]\r\nde="
           "49\r\nen=1\r\n";
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VKT");
    ASSERT_TRUE(startLibrary(loadSystemLibrary("qlapi.dll"), systemExport));
}

void ProgramWindows::TearDownTestSuite() {
    if (g_binding.initialize) g_binding.initialize(0);
    setPromptFunction(nullptr);
    fs::remove(s_settings);
}

void ProgramWindows::SetUp() {
    takePrompts();
    answer({});
    setSearchText("");
    main_ = createMainWindow();
    ASSERT_TRUE(main_);
    ShowWindow(main_, SW_SHOWNORMAL);
    UpdateWindow(main_);
}

void ProgramWindows::TearDown() {
    if (IsWindow(main_)) DestroyWindow(main_);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
}

void ProgramWindows::drive(const std::function<void()> &script, const std::function<void()> &here) {
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
    if (here) here();
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
