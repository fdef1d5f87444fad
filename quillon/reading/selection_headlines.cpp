// The headline list of the newspaper selection: every article of the open
// newspaper under "Ressort: Schlagzeile", in reading order, so that a reader
// skims the whole paper in one list and reads on across resorts.
#include "reading.h"
#include "selection.h"
#include "user_texts.h"

bool SelectionController::showHeadlines() {
    if (memory_.level != ResortLevel) return false;
    int from = host_.selectedEntry();
    if (from < 0) from = 0;
    std::vector<Headline> headlines;
    int resortPosition = 0, firstOfSelected = -1;
    ItemId paper = memory_.newspaperId;
    std::vector<const ItemRecord *> resorts;
    for (const ItemRecord *r = library_.findFirstResort(paper); r;
         r = library_.findNextResort(paper))
        resorts.push_back(r);
    for (const ItemRecord *resort : resorts) {
        int articlePosition = 0;
        for (const ItemRecord *a = library_.findFirstArticle(resort->id); a;
             a = library_.findNextArticle(resort->id), ++articlePosition) {
            // The selected resort's first article, or the next one after an
            // empty resort.
            if (firstOfSelected < 0 && resortPosition >= from)
                firstOfSelected = static_cast<int>(headlines.size());
            headlines.push_back({resortPosition, articlePosition, resort, a});
        }
        ++resortPosition;
    }
    host_.clearList();
    for (const Headline &h : headlines)
        host_.addEntry(formatText(userText(IDS_HEADLINE_ENTRY),
                                  h.resort->title ? h.resort->title : "",
                                  h.article->headline ? h.article->headline : ""));
    memory_.headlines = std::move(headlines);
    host_.setCaption(formatText(userText(IDS_HEADLINE_CAPTION),
                                memory_.newspaper->title ? memory_.newspaper->title : "",
                                memory_.newspaper->date ? memory_.newspaper->date : ""));
    setLevel(HeadlineLevel);
    select(firstOfSelected < 0 ? 0 : firstOfSelected);
    return true;
}

// The article of a headline becomes the current one: its resort and its
// place there too, so that where the reader stopped is kept as from the
// article list.
void SelectionController::setArticle(const ItemRecord &article) {
    memory_.articleId = article.id;
    memory_.articleHasHeadline = article.headline != nullptr;
    memory_.articleHeadline = article.headline ? article.headline : "";
}

void SelectionController::chooseHeadline(int position) {
    if (position >= static_cast<int>(memory_.headlines.size())) return;
    const Headline &h = memory_.headlines[static_cast<size_t>(position)];
    memory_.articlePosition = position;
    memory_.resortPosition = h.resortPosition;
    memory_.resort = h.resort;
    memory_.resortId = h.resort->id;
    openArticle(h.article->id, h.article->headline);
    // Escape from the article returns to the headline read last.
    select(memory_.articlePosition);
}

bool SelectionController::readOnInHeadlines(int direction) {
    int next = memory_.articlePosition + direction;
    if (next < 0 || next >= static_cast<int>(memory_.headlines.size())) return false;
    const Headline &h = memory_.headlines[static_cast<size_t>(next)];
    memory_.articlePosition = next;
    memory_.resortPosition = h.resortPosition;
    memory_.resort = h.resort;
    memory_.resortId = h.resort->id;
    select(next);
    setArticle(*h.article);
    keepPlace(0);
    host_.replaceArticle(buildArticleText(library_, h.article->id), h.article->headline);
    return true;
}

// Back to the resorts, at the resort of the selected headline.
void SelectionController::backFromHeadlines() {
    int i = host_.selectedEntry();
    int resort = 0;
    if (i >= 0 && i < static_cast<int>(memory_.headlines.size()))
        resort = memory_.headlines[static_cast<size_t>(i)].resortPosition;
    memory_.headlines.clear();
    memory_.resortPosition = resort;
    memory_.articlePosition = 0;
    host_.setCaption(resortLevelCaption(*memory_.newspaper));
    setLevel(ResortLevel);
    host_.clearList();
    fillResorts();
    select(resort);
}
