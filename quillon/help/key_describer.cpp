// The key describer and the main window's accelerators, both from the key
// table. Shift+F1 in the main window or a reading dialog turns the
// describer on; the next key is then not carried out but described in a
// box, and the describer is off again.
//
// A message hook on the GUI thread sees every key before any message loop
// does, the modal loops of the dialogs included, so that Escape, Enter and
// the accelerators can be held back there too.
#include "dialogs.h"  // windows.h first

#include <atomic>

#include "key_table.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

constexpr UINT kDescribeMessage = WM_APP + 33;
// What the system posts after taking F1 from the queue; it would open the
// handbook after a held F1.
constexpr UINT kHelpKeyMessage = 0x004D;  // WM_KEYF1

HHOOK g_hook = nullptr;
HWND g_teller = nullptr;           // shows the box once the hook has returned
std::atomic<bool> g_armed{false};  // read by the window tests
WPARAM g_heldKeyUp = 0;            // the key-up of a described key, held back too
bool g_holdAltUp = false;
bool g_holdHelpKey = false;
std::string g_description;

bool isModifier(WPARAM key) {
    switch (key) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_LMENU:
        case VK_RMENU:
        case VK_CAPITAL:
            return true;
    }
    return false;
}

// Which of the program's windows a key message is for; false for others
// (message boxes, the search and settings dialogs).
bool placeOf(HWND target, KeyPlace &place) {
    HWND root = target ? GetAncestor(target, GA_ROOT) : nullptr;
    if (!root) return false;
    char cls[64] = "";
    GetClassNameA(root, cls, sizeof cls);
    if (lstrcmpiA(cls, userText(IDS_WINDOW_CLASS)) == 0)
        place = KeyPlace::MainWindow;
    else if (root == openArticleView())
        place = KeyPlace::Article;
    else if (root == openSelectionDialog())
        place = KeyPlace::List;
    else if (root == openHandbook())
        place = KeyPlace::Handbook;
    else
        return false;
    return true;
}

unsigned heldModifiers() {
    unsigned m = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000) m |= kShift;
    if (GetKeyState(VK_CONTROL) & 0x8000) m |= kControl;
    if (GetKeyState(VK_MENU) & 0x8000) m |= kAlt;
    return m;
}

// The character a key gives without Ctrl and Alt ('?' for Shift+ß), for
// the character keys of the table; 0 for none.
unsigned characterOf(const MSG &m) {
    BYTE state[256];
    if (!GetKeyboardState(state)) return 0;
    state[VK_CONTROL] = state[VK_LCONTROL] = state[VK_RCONTROL] = 0;
    state[VK_MENU] = state[VK_LMENU] = state[VK_RMENU] = 0;
    WORD out = 0;
    UINT scan = (static_cast<UINT>(m.lParam) >> 16) & 0xFF;
    return ToAscii(static_cast<UINT>(m.wParam), scan, state, &out, 0) == 1 ? (out & 0xFF) : 0;
}

std::string describe(KeyPlace place, const MSG &m) {
    unsigned modifiers = heldModifiers();
    if (const KeyBinding *b = findKey(place, modifiers, static_cast<unsigned>(m.wParam), false))
        return keyLine(*b);
    if (unsigned c = characterOf(m))
        if (const KeyBinding *b = findKey(place, modifiers & ~kShift, c, true)) return keyLine(*b);
    return userText(IDS_KEY_NO_MEANING);
}

// True when the message is to be held back.
bool hold(const MSG &m) {
    if (m.message == kHelpKeyMessage && g_holdHelpKey) {
        g_holdHelpKey = false;
        return true;
    }
    if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) {
        if (g_heldKeyUp && m.wParam == g_heldKeyUp) {
            g_heldKeyUp = 0;
            return true;
        }
        // Alt let go after a described Alt key would open the menu bar.
        if (g_holdAltUp && m.wParam == VK_MENU) {
            g_holdAltUp = false;
            return true;
        }
        return false;
    }
    if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN) return false;
    if (isModifier(m.wParam)) return false;
    // A described key held down repeats until it is let go.
    if (g_heldKeyUp && m.wParam == g_heldKeyUp && (m.lParam & (1 << 30))) return true;
    KeyPlace place;
    if (!placeOf(m.hwnd, place)) return false;
    if (!g_armed) {
        if (m.wParam != VK_F1 || heldModifiers() != kShift) return false;
        g_armed = true;
        g_heldKeyUp = VK_F1;
        g_holdHelpKey = true;
        MessageBeep(MB_OK);  // the describer is listening
        return true;
    }
    g_armed = false;
    g_heldKeyUp = m.wParam;
    g_holdHelpKey = m.wParam == VK_F1;
    g_holdAltUp = (heldModifiers() & kAlt) != 0;
    g_description = describe(place, m);
    PostMessageA(g_teller, kDescribeMessage, 0,
                 reinterpret_cast<LPARAM>(GetAncestor(m.hwnd, GA_ROOT)));
    return true;
}

LRESULT CALLBACK messageHook(int code, WPARAM removed, LPARAM lParam) {
    if (code == HC_ACTION && removed == PM_REMOVE) {
        MSG *m = reinterpret_cast<MSG *>(lParam);
        if (hold(*m)) m->message = WM_NULL;
    }
    return CallNextHookEx(g_hook, code, removed, lParam);
}

LRESULT CALLBACK tellerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kDescribeMessage) {
        HWND owner = reinterpret_cast<HWND>(lParam);
        messageBox(IsWindow(owner) ? owner : nullptr, g_description, userText(IDS_KEY_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void startKeyDescriber() {
    if (g_hook) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = tellerProc;
    wc.hInstance = g_instance;
    wc.lpszClassName = "QuillonKeyDescriber";
    RegisterClassA(&wc);
    g_teller = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               g_instance, nullptr);
    g_hook = SetWindowsHookExA(WH_GETMESSAGE, messageHook, nullptr, GetCurrentThreadId());
}

bool keyDescriberArmed() { return g_armed; }

HACCEL createKeyAccelerators() {
    std::vector<ACCEL> table;
    for (const KeyBinding &b : keyTable()) {
        if (!b.command) continue;
        ACCEL a = {};
        a.fVirt = static_cast<BYTE>(
            (b.character ? 0 : FVIRTKEY) | (b.modifiers & kControl ? FCONTROL : 0) |
            (b.modifiers & kAlt ? FALT : 0) | (b.modifiers & kShift ? FSHIFT : 0));
        a.key = static_cast<WORD>(b.key);
        a.cmd = static_cast<WORD>(b.command);
        table.push_back(a);
    }
    return CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}
