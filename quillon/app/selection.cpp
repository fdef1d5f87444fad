// Levels and positions of the newspaper selection.
#include "selection.h"

#include "prompt.h"
#include "reading.h"
#include "user_texts.h"

bool SelectionController::open() {
    memory_ = SelectionMemory{};
    if (fillNewspapers() == 0) {
        tellNoNewspapers();
        return false;
    }
    select(0);
    return true;
}

void SelectionController::choose() {
    int i = host_.selectedEntry();
    if (i < 0) {
        tellNothingSelected();
        return;
    }
    switch (memory_.level) {
        case NewspaperLevel: {
            memory_.newspaperPosition = i;
            const NewspaperRecord *paper = walkToNewspaper(i);
            if (!paper) return;
            memory_.newspaper = paper;
            host_.setCaption(resortLevelCaption(*paper));
            host_.clearList();
            memory_.level = ResortLevel;
            memory_.newspaperId = paper->id;
            fillResorts();
            select(memory_.resortPosition);
            break;
        }
        case ResortLevel: {
            memory_.resortPosition = i;
            memory_.articlePosition = 0;
            const ItemRecord *resort = walkToResort(i);
            if (!resort) return;
            host_.clearList();
            memory_.level = ArticleLevel;
            memory_.resort = resort;
            host_.setCaption(articleLevelCaption(*resort, *memory_.newspaper));
            memory_.resortId = resort->id;
            fillArticles();
            select(0);
            break;
        }
        case ArticleLevel: {
            memory_.articlePosition = i;
            const ItemRecord *article = walkToArticle(i);
            if (!article) return;
            openArticle(article->id, article->headline);
            select(i + 1);  // so that Enter reads on
            break;
        }
        case SearchHitLevel: {
            if (i >= static_cast<int>(memory_.hits.size())) return;
            memory_.articlePosition = i;
            const SearchHit &hit = memory_.hits[static_cast<size_t>(i)];
            std::string headline = hit.headline;  // the hit list outlives the view
            openArticle(hit.id, hit.hasHeadline ? headline.c_str() : nullptr);
            select(i);
            break;
        }
    }
}

bool SelectionController::goBack() {
    switch (memory_.level) {
        case NewspaperLevel:
            return false;
        case ResortLevel:
            memory_.resortPosition = 0;
            memory_.articlePosition = 0;
            host_.setCaption(userText(IDS_SELECTION_TITLE));
            memory_.level = NewspaperLevel;
            host_.clearList();
            fillNewspapers();
            select(memory_.newspaperPosition + 1);
            break;
        case ArticleLevel:
            host_.setCaption(resortLevelCaption(*memory_.newspaper));
            memory_.level = ResortLevel;
            host_.clearList();
            fillResorts();
            select(memory_.resortPosition + 1);
            break;
        case SearchHitLevel:
            memory_.hits.clear();
            memory_.level = memory_.levelBeforeSearch;
            host_.clearList();
            if (memory_.level == ResortLevel) {
                host_.setCaption(resortLevelCaption(*memory_.newspaper));
                fillResorts();
                select(memory_.resortPosition);
            } else {
                host_.setCaption(articleLevelCaption(*memory_.resort, *memory_.newspaper));
                fillArticles();
                select(memory_.articlePosition);
            }
            break;
    }
    return true;
}

SelectionController::KeyResult SelectionController::deleteKey() {
    if (memory_.level != NewspaperLevel) return KeyResult::NotTaken;
    int i = host_.selectedEntry();
    if (i < 0) {
        tellNothingSelected();
        return KeyResult::Consumed;
    }
    if (messageBox(nullptr, userText(IDS_DELETE_QUESTION), userText(IDS_WARNING_CAPTION),
                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return KeyResult::Consumed;
    if (const NewspaperRecord *paper = walkToNewspaper(i)) {
        library_.deleteNewspaper(paper->id);
        library_.resyncNewspaper();
    }
    host_.clearList();
    memory_ = SelectionMemory{};
    if (fillNewspapers() == 0) {
        tellNoNewspapers();
        return KeyResult::EndDialog;
    }
    select(0);
    return KeyResult::Consumed;
}

void SelectionController::search() {
    SelectionLevel from = memory_.level;
    if (from != ResortLevel && from != ArticleLevel) return;
    if (host_.selectedEntry() < 0) {
        tellNothingSelected();
        return;
    }
    const std::string &needle = searchText();
    if (needle.empty()) return;
    std::vector<SearchHit> hits = from == ResortLevel
                                      ? searchNewspaper(library_, memory_.newspaperId, needle)
                                      : searchResort(library_, memory_.resortId, needle);
    if (hits.empty()) {
        messageBox(host_.window(), userText(IDS_NOTHING_FOUND), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return;
    }
    host_.setCaption(searchResultCaption(needle, from == ResortLevel ? nullptr : memory_.resort,
                                         *memory_.newspaper));
    std::string count = formatText(userText(IDS_HITS_FOUND), static_cast<int>(hits.size()));
    host_.clearList();
    for (const SearchHit &hit : hits) host_.addEntry(hit.headline);
    memory_.hits = std::move(hits);
    memory_.levelBeforeSearch = from;
    memory_.level = SearchHitLevel;
    select(0);
    messageBox(host_.window(), count, count, MB_OK | MB_ICONINFORMATION);
}

int SelectionController::fillNewspapers() {
    int n = 0;
    for (const NewspaperRecord *p = library_.findFirstNewspaper(); p;
         p = library_.findNextNewspaper(), ++n)
        host_.addEntry(newspaperEntryText(*p));
    return n;
}

void SelectionController::fillResorts() {
    ItemId paper = memory_.newspaperId;
    for (const ItemRecord *r = library_.findFirstResort(paper); r;
         r = library_.findNextResort(paper))
        host_.addEntry(r->title ? r->title : "");
}

void SelectionController::fillArticles() {
    ItemId resort = memory_.resortId;
    for (const ItemRecord *a = library_.findFirstArticle(resort); a;
         a = library_.findNextArticle(resort))
        host_.addEntry(a->headline ? a->headline : "");
}

void SelectionController::select(int position) {
    int pos = selectablePosition(position, host_.entryCount());
    if (pos >= 0) host_.selectEntry(pos);
}

const NewspaperRecord *SelectionController::walkToNewspaper(int position) {
    const NewspaperRecord *p = library_.findFirstNewspaper();
    for (int k = 0; p && k < position; ++k) p = library_.findNextNewspaper();
    return p;
}

const ItemRecord *SelectionController::walkToResort(int position) {
    ItemId paper = memory_.newspaperId;
    const ItemRecord *r = library_.findFirstResort(paper);
    for (int k = 0; r && k < position; ++k) r = library_.findNextResort(paper);
    return r;
}

const ItemRecord *SelectionController::walkToArticle(int position) {
    ItemId resort = memory_.resortId;
    const ItemRecord *a = library_.findFirstArticle(resort);
    for (int k = 0; a && k < position; ++k) a = library_.findNextArticle(resort);
    return a;
}

void SelectionController::openArticle(ItemId id, const char *headline) {
    memory_.articleId = id;
    memory_.articleHasHeadline = headline != nullptr;
    memory_.articleHeadline = headline ? headline : "";
    std::string text = buildArticleText(library_, id);
    host_.showArticle(text, headline);
}

void SelectionController::tellNothingSelected() {
    messageBox(nullptr, userText(IDS_SELECT_SOMETHING), userText(IDS_NOTICE_CAPTION),
               MB_OK | MB_ICONWARNING);
}

void SelectionController::tellNoNewspapers() {
    messageBox(host_.window(), userText(IDS_NO_NEWSPAPERS), userText(IDS_NOTICE_CAPTION),
               MB_OK | MB_ICONWARNING);
}
