// Help: the help viewer with the file "quillon" where both exist; otherwise
// the handbook at the window's section, or the topic's short text in a
// message box, which a screen reader reads out.
#include "dialogs.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

// The help viewer looks for the file beside the program and on the search
// path; without it (or without the viewer, as on current Windows) it would
// only show an error, so the message box stands in.
bool helpFileInstalled() {
    std::string name = std::string(userText(IDS_HELP_FILE)) + ".hlp";
    char found[MAX_PATH];
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n > 0 && n < sizeof exe) {
        std::string path(exe, n);
        path.erase(path.find_last_of('\\') + 1);
        path += name;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    return SearchPathA(nullptr, name.c_str(), nullptr, sizeof found, found, nullptr) != 0;
}

}  // namespace

void showHelp(HWND owner, int topic) {
    if (helpFileInstalled()) {
        const char *file = userText(IDS_HELP_FILE);
        if (topic == 0 ? WinHelpA(owner, file, HELP_FINDER, 0)
                       : WinHelpA(owner, file, HELP_CONTEXT, static_cast<ULONG_PTR>(topic)))
            return;
    }
    // The handbook and the box belong to the dialog the request came from
    // (the active window), so that closing them gives the keyboard back to
    // that dialog and not to the main window it travelled to. A window's
    // help opens the handbook at its section; the short text stands in
    // only where the program carries no handbook.
    HWND active = GetActiveWindow();
    if (topic != 0 && showHandbook(active ? active : owner, topic)) return;
    int id = topic == 0 ? IDS_HELP_CONTENTS : IDS_HELP_TOPIC_BASE + topic / 1000;
    messageBox(active ? active : owner, userText(id), userText(IDS_HELP_CAPTION),
               MB_OK | MB_ICONINFORMATION);
}
