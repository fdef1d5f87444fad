// Reads out the open dialog of the desktop reader as a screen reader would:
// its title, then what its controls hold: a list entry by entry with the
// selected one marked, a text field line by line, the texts of a message
// box. A development tool for the demo, which has no one to listen.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool isClass(HWND window, const char *name) {
    char cls[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    return _stricmp(cls, name) == 0;
}

std::string textOf(HWND window) {
    LRESULT n = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(strlen(text.c_str()));
    return text;
}

// The dialog a modal loop runs for: visible and enabled.
BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    if (!isClass(window, "#32770") || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// Asked in UTF-16: Wine copies list texts across processes only then.
void readList(HWND list) {
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT n = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (n == LB_ERR) break;
        std::wstring wide(static_cast<size_t>(n) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        char entry[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, entry, sizeof entry - 1, nullptr, nullptr);
        printf("  %s %s\n", i == selected ? ">" : " ", entry);
    }
}

void readText(const std::string &text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        printf("    %s\n", line.c_str());
        start = end + 1;
    }
}

}  // namespace

int main() {
    HWND dialog = nullptr;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) {
        printf("(no dialog is open)\n");
        return 1;
    }
    printf("%s\n", textOf(dialog).c_str());
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        if (isClass(c, "ListBox"))
            readList(c);
        else if (isClass(c, "Edit") || isClass(c, "Static"))
            readText(textOf(c));
    }
    return 0;
}
