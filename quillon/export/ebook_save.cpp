// The e-book save road.
#include "ebook_save.h"

#include "prompt.h"
#include "resume.h"
#include "save_article.h"
#include "user_texts.h"

void saveEditionAsEbook(const LibraryBinding &library, const EpubEdition &edition, void *owner) {
    Prompt ask;
    ask.kind = PromptKind::SaveFile;
    ask.owner = owner;
    ask.caption = userText(IDS_EBOOK_SAVE_TITLE);
    ask.fileName = epubFileName(edition.title, edition.date).substr(0, kSaveNameSize - 1);
    ask.filterName = userText(IDS_EBOOK_FILTER_NAME);
    ask.filterPattern = "*.epub";
    ask.extension = "epub";
    if (prompt(ask) != IDOK || ask.fileName.empty()) return;
    const char *path = ask.fileName.c_str();
    if (!mayOverwrite(path, owner)) return;
    EpubResult r = writeEpub(library, edition, path);
    if (r.written)
        messageBox(owner,
                   formatText(userText(IDS_EBOOK_WRITTEN), fileNamePart(path).c_str(), r.resorts,
                              r.articles),
                   userText(IDS_NOTICE_CAPTION), MB_OK | MB_ICONINFORMATION);
    else
        messageBox(owner, r.message(), userText(IDS_WARNING_CAPTION), MB_OK | MB_ICONWARNING);
}
