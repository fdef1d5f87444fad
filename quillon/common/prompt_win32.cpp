// The system's message box and save dialog behind prompt().
#include "prompt.h"  // windows.h first

#include <commdlg.h>

#include <cstring>

#include "user_texts.h"

namespace {

int saveFileDialog(Prompt &p) {
    char name[kSaveNameSize] = "";
    std::strncpy(name, p.fileName.c_str(), sizeof name - 1);
    // "Textdatei\0*.txt\0\0"
    std::string filter = p.filterName.empty() ? userText(IDS_SAVE_FILTER_NAME) : p.filterName;
    filter += '\0';
    filter += p.filterPattern.empty() ? userText(IDS_SAVE_FILTER_PATTERN) : p.filterPattern;
    filter += '\0';
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(p.owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name;
    ofn.lpstrTitle = p.caption.c_str();
    ofn.lpstrDefExt = p.extension.empty() ? userText(IDS_SAVE_EXTENSION) : p.extension.c_str();
    // The program asks about overwriting itself.
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&ofn)) return IDCANCEL;
    p.fileName = name;
    return IDOK;
}

}  // namespace

int systemPrompt(Prompt &p) {
    if (p.kind == PromptKind::SaveFile) return saveFileDialog(p);
    return MessageBoxA(static_cast<HWND>(p.owner), p.text.c_str(), p.caption.c_str(), p.style);
}
