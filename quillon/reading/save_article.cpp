// The save road: file dialog, overwrite question, the bytes of the article.
#include "save_article.h"

#include <cstdio>

#include "prompt.h"
#include "user_texts.h"

void saveArticle(const std::string &proposedName, void *owner, const std::string &text) {
    Prompt ask;
    ask.kind = PromptKind::SaveFile;
    ask.owner = owner;
    ask.caption = userText(IDS_SAVE_TITLE);
    ask.fileName = proposedName.substr(0, kSaveNameSize - 1);
    if (prompt(ask) != IDOK || ask.fileName.empty()) return;
    const char *path = ask.fileName.c_str();
    if (!mayOverwrite(path, owner)) return;
    FILE *out = std::fopen(path, "wb");
    bool written = out != nullptr;
    if (out) {
        // A full disk must not pass for a saved article.
        written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
        written = std::fclose(out) == 0 && written;
    }
    if (!written)
        messageBox(owner, userText(IDS_WRITE_FAILED), userText(IDS_WARNING_CAPTION),
                   MB_OK | MB_ICONWARNING);
}

bool mayOverwrite(const char *path, void *owner) {
    FILE *existing = std::fopen(path, "rb");
    if (!existing) return true;
    std::fclose(existing);
    return messageBox(owner, userText(IDS_OVERWRITE_QUESTION), userText(IDS_WARNING_CAPTION),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}
