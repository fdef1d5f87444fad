// The store's report, in the reader's words.
#include "store_notices.h"

#include "prompt.h"
#include "resume.h"
#include "user_texts.h"

namespace {

const char *orEmpty(const char *text) { return text ? text : ""; }

void tell(void *owner, const std::string &text, unsigned icon) {
    messageBox(owner, text, userText(IDS_NOTICE_CAPTION), MB_OK | icon);
}

}  // namespace

std::string trimmedNotice(const EditionEntry *removed, int paperLimit) {
    std::string papers;
    for (const EditionEntry *e = removed; e; e = e->next) {
        if (!papers.empty()) papers += ", ";
        papers +=
            formatText(userText(IDS_PAPER_OF_DATE), orEmpty(e->info.title), orEmpty(e->info.date));
    }
    return formatText(userText(IDS_TRIMMED_NOTICE), paperLimit, papers.c_str());
}

std::string refusedNotice(const EditionEntry *refused) {
    std::string text;
    for (const EditionEntry *e = refused; e; e = e->next) {
        if (!text.empty()) text += "\r\n";
        std::string file = fileNamePart(e->path);
        if (e->info.title && *e->info.title)
            text += formatText(userText(IDS_REFUSED_KEPT), file.c_str(), e->info.title,
                               orEmpty(e->info.date));
        else
            text += formatText(userText(IDS_REFUSED_NEW), file.c_str());
    }
    return text;
}

void tellStoreReport(const LibraryBinding &library, void *owner, int paperLimit) {
    if (!library.takeNewspaperReport || !library.removeNewspaperTree) return;
    if (EditionEntry *refused = library.takeNewspaperReport(QL_REPORT_REFUSED)) {
        std::string text = refusedNotice(refused);
        library.removeNewspaperTree(refused);
        tell(owner, text, MB_ICONWARNING);
    }
    if (EditionEntry *removed = library.takeNewspaperReport(QL_REPORT_TRIMMED)) {
        std::string text = trimmedNotice(removed, paperLimit);
        library.removeNewspaperTree(removed);
        tell(owner, text, MB_ICONINFORMATION);
    }
}
