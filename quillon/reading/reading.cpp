// List entries, captions, article text and file names of the reading dialogs.
#include "reading.h"

#include <cstring>

#include "user_texts.h"

namespace {

const char *orEmpty(const char *s) { return s ? s : ""; }

}  // namespace

std::string newspaperEntryText(const NewspaperRecord &paper) {
    std::string entry = orEmpty(paper.date);
    entry += userText(IDS_ENTRY_SEPARATOR);
    entry += orEmpty(paper.title);
    return entry;
}

std::string resortLevelCaption(const NewspaperRecord &paper) {
    return formatText(userText(IDS_RESORT_CAPTION), userText(IDS_RESORT_LABEL),
                      orEmpty(paper.title), orEmpty(paper.date));
}

std::string articleLevelCaption(const ItemRecord &resort, const NewspaperRecord &paper) {
    return formatText(userText(IDS_ARTICLE_CAPTION), userText(IDS_ARTICLE_LABEL),
                      orEmpty(resort.title), orEmpty(paper.title), orEmpty(paper.date));
}

std::string searchResultCaption(const std::string &needle, const ItemRecord *resort,
                                const NewspaperRecord &paper) {
    if (!resort)
        return formatText(userText(IDS_SEARCH_RESORT_CAPTION), needle.c_str(), orEmpty(paper.title),
                          orEmpty(paper.date));
    return formatText(userText(IDS_SEARCH_ARTICLE_CAPTION), needle.c_str(), orEmpty(resort->title),
                      orEmpty(paper.title), orEmpty(paper.date));
}

std::string buildArticleText(const LibraryBinding &library, ItemId article) {
    std::string text;
    for (const char *p = library.findFirstParagraph(article); p;
         p = library.findNextParagraph(article)) {
        text += p;
        text += "\r\n";
    }
    text += userText(IDS_ARTICLE_END);
    text += "\r\n";
    return text;
}

std::string safeFileName(const char *title) {
    std::string name;
    if (title) {
        for (size_t i = 0; title[i] && i < 255; ++i) {
            unsigned char c = static_cast<unsigned char>(title[i]);
            if (c < 0x20 || c == 0x7f || std::strchr("\"&*/:<>?\\|", c)) continue;
            name += static_cast<char>(c);
        }
    }
    if (name.empty()) name = userText(IDS_ARTICLE_VIEW_TITLE);
    return name;
}

int selectablePosition(int wanted, int count) {
    if (count <= 0) return -1;
    if (wanted < 0) return 0;
    return wanted < count ? wanted : count - 1;
}
