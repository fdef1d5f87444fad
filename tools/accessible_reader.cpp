// Reading a dialog through oleacc.
#include "accessible_reader.h"

#include <oleacc.h>

#include <cstring>

namespace {

// Defined here: with static linking, liboleacc.a's IID_IAccessible resolves
// to an import thunk, not the GUID.
const IID kIAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string narrow(BSTR text) {
    if (!text) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(strlen(out.c_str()));
    SysFreeString(text);
    return out;
}

AccessibleControl readOne(HWND window) {
    AccessibleControl c;
    c.window = window;
    IAccessible *object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIAccessible,
                                          reinterpret_cast<void **>(&object))) ||
        !object)
        return c;
    c.readable = true;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (object->get_accName(self, &text) == S_OK) c.name = narrow(text);
    text = nullptr;
    if (object->get_accValue(self, &text) == S_OK) c.value = narrow(text);
    text = nullptr;
    if (object->get_accKeyboardShortcut(self, &text) == S_OK) c.shortcut = narrow(text);
    VARIANT role;
    VariantInit(&role);
    if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) {
        char roleText[64] = "";
        GetRoleTextA(static_cast<DWORD>(role.lVal), roleText, sizeof roleText);
        c.role = roleText;
    }
    VARIANT state;
    VariantInit(&state);
    if (object->get_accState(self, &state) == S_OK && state.vt == VT_I4)
        c.focused = (state.lVal & STATE_SYSTEM_FOCUSED) != 0;
    object->Release();
    return c;
}

bool isClass(HWND window, const char *name) {
    char cls[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    return _stricmp(cls, name) == 0;
}

// Asked in UTF-16: Wine copies list texts across processes only then.
void listByMessages(HWND list, std::vector<std::string> &lines) {
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT n = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (n == LB_ERR) break;
        std::wstring wide(static_cast<size_t>(n) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        char entry[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, entry, sizeof entry - 1, nullptr, nullptr);
        lines.push_back(std::string("      ") + (i == selected ? "> " : "  ") + entry);
    }
}

// The controls in window order, which is the Tab order; a wizard's page (the
// installer's) is a dialog of its own inside the window, read in its place.
void readChildren(HWND parent, std::vector<AccessibleControl> &out) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        if (isDialogWindow(c))
            readChildren(c, out);
        else
            out.push_back(readOne(c));
    }
}

}  // namespace

bool isDialogWindow(HWND window) { return isClass(window, "#32770"); }

std::vector<AccessibleControl> readAccessibly(HWND dialog) {
    std::vector<AccessibleControl> out{readOne(dialog)};
    readChildren(dialog, out);
    return out;
}

std::vector<std::string> describeAccessibly(HWND dialog) {
    std::vector<std::string> lines;
    std::vector<AccessibleControl> controls = readAccessibly(dialog);
    for (size_t i = 0; i < controls.size(); ++i) {
        const AccessibleControl &c = controls[i];
        std::string indent = i ? "  " : "";
        if (!c.readable) {
            lines.push_back(indent + "(the accessibility interface gives nothing here)");
            continue;
        }
        std::string line = indent + c.role + ": " + (c.name.empty() ? "(no name)" : c.name);
        if (!c.shortcut.empty()) line += " [" + c.shortcut + "]";
        if (c.focused) line += " (focus)";
        lines.push_back(line);
        if (!c.value.empty()) {
            size_t start = 0;
            while (start < c.value.size()) {
                size_t end = c.value.find('\n', start);
                if (end == std::string::npos) end = c.value.size();
                std::string part = c.value.substr(start, end - start);
                if (!part.empty() && part.back() == '\r') part.pop_back();
                lines.push_back(indent + "    " + part);
                start = end + 1;
            }
        }
        if (i && isClass(c.window, "ListBox")) {
            // What a screen reader under Wine does not get: the entries.
            lines.push_back(indent +
                            "    (entries and selection not readable here; by window "
                            "messages:)");
            listByMessages(c.window, lines);
        }
    }
    return lines;
}
