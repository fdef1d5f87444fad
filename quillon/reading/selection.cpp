// Levels and positions of the newspaper selection.
#include "selection.h"

#include "ebook_save.h"
#include "prompt.h"
#include "reading.h"
#include "store_notices.h"
#include "user_texts.h"

bool SelectionController::open() {
    memory_ = SelectionMemory{};
    host_.clearList();  // Weiterlesen opens the list again over the one shown
    setLevel(NewspaperLevel);
    int papers = fillNewspapers();
    if (papers > 0) select(0);
    tellStoreReport(library_, host_.window(), host_.paperLimit());
    if (papers == 0) {
        tellNoNewspapers();
        return false;
    }
    return true;
}

void SelectionController::choose() {
    int i = host_.selectedEntry();
    if (i < 0) {
        tellNothingSelected();
        return;
    }
    switch (memory_.level) {
        case NewspaperLevel:
            chooseNewspaper(i);
            select(memory_.resortPosition);
            break;
        case ResortLevel:
            chooseResort(i);
            select(0);
            break;
        case ArticleLevel: {
            memory_.articlePosition = i;
            const ItemRecord *article = walkToArticle(i);
            if (!article) return;
            openArticle(article->id, article->headline);
            select(memory_.articlePosition + 1);  // so that Enter reads on
            break;
        }
        case SearchHitLevel: {
            if (i >= static_cast<int>(memory_.hits.size())) return;
            memory_.articlePosition = i;
            const SearchHit &hit = memory_.hits[static_cast<size_t>(i)];
            std::string headline = hit.headline;  // the hit list outlives the view
            // Hits of every newspaper open on the first line that matches.
            ArticleStart start;
            if (memory_.hitsOfAllNewspapers) start.find = memory_.searchedFor;
            openArticle(hit.id, hit.hasHeadline ? headline.c_str() : nullptr, start);
            select(memory_.articlePosition);
            break;
        }
        case HeadlineLevel:
            chooseHeadline(i);
            break;
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
            setLevel(NewspaperLevel);
            host_.clearList();
            fillNewspapers();
            select(memory_.newspaperPosition + 1);
            break;
        case ArticleLevel:
            host_.setCaption(resortLevelCaption(*memory_.newspaper));
            setLevel(ResortLevel);
            host_.clearList();
            fillResorts();
            select(memory_.resortPosition + 1);
            break;
        case SearchHitLevel:
            memory_.hits.clear();
            setLevel(memory_.levelBeforeSearch);
            host_.clearList();
            if (memory_.hitsOfAllNewspapers) {
                memory_.hitsOfAllNewspapers = false;
                host_.setCaption(userText(IDS_SELECTION_TITLE));
                fillNewspapers();
                select(memory_.newspaperPosition);
            } else if (memory_.level == ResortLevel) {
                host_.setCaption(resortLevelCaption(*memory_.newspaper));
                fillResorts();
                select(memory_.resortPosition);
            } else {
                host_.setCaption(articleLevelCaption(*memory_.resort, *memory_.newspaper));
                fillArticles();
                select(memory_.articlePosition);
            }
            break;
        case HeadlineLevel:
            backFromHeadlines();
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
    if (messageBox(host_.window(), userText(IDS_DELETE_QUESTION), userText(IDS_WARNING_CAPTION),
                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return KeyResult::Consumed;
    if (const NewspaperRecord *paper = walkToNewspaper(i)) {
        library_.deleteNewspaper(paper->id);
        library_.resyncNewspaper();
    }
    host_.clearList();
    memory_ = SelectionMemory{};
    setLevel(NewspaperLevel);
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
    if (from == ArticleLevel)
        for (SearchHit &hit : hits) hit.resort = memory_.resort->title ? memory_.resort->title : "";
    host_.setCaption(searchResultCaption(needle, from == ResortLevel ? nullptr : memory_.resort,
                                         *memory_.newspaper));
    memory_.searchedFor = needle;
    std::string count = formatText(userText(IDS_HITS_FOUND), static_cast<int>(hits.size()));
    host_.clearList();
    for (const SearchHit &hit : hits) host_.addEntry(hit.headline);
    memory_.hits = std::move(hits);
    memory_.levelBeforeSearch = from;
    setLevel(SearchHitLevel);
    select(0);
    messageBox(host_.window(), count, count, MB_OK | MB_ICONINFORMATION);
}

int SelectionController::fillNewspapers() {
    int n = 0;
    for (const NewspaperRecord *p = library_.findFirstNewspaper(); p;
         p = library_.findNextNewspaper(), ++n)
        host_.addEntry(newspaperEntryText(*p) +
                       (library_.keepNewspaper && library_.keepNewspaper(p->id, 0, 0) > 0
                            ? userText(IDS_KEPT_SUFFIX)
                            : ""));
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

void SelectionController::openArticle(ItemId id, const char *headline, const ArticleStart &start) {
    memory_.articleId = id;
    memory_.articleHasHeadline = headline != nullptr;
    memory_.articleHeadline = headline ? headline : "";
    std::string text = buildArticleText(library_, id);
    keepPlace(start.line);
    host_.showArticle(text, headline, start);
}

void SelectionController::chooseNewspaper(int position) {
    memory_.newspaperPosition = position;
    const NewspaperRecord *paper = walkToNewspaper(position);
    if (!paper) return;
    memory_.newspaper = paper;
    memory_.newspaperFile = fileNamePart(editionPath(library_, paper->id).c_str());
    host_.setCaption(resortLevelCaption(*paper));
    host_.clearList();
    setLevel(ResortLevel);
    memory_.newspaperId = paper->id;
    fillResorts();
}

void SelectionController::chooseResort(int position) {
    memory_.resortPosition = position;
    memory_.articlePosition = 0;
    const ItemRecord *resort = walkToResort(position);
    if (!resort) return;
    host_.clearList();
    setLevel(ArticleLevel);
    memory_.resort = resort;
    host_.setCaption(articleLevelCaption(*resort, *memory_.newspaper));
    memory_.resortId = resort->id;
    fillArticles();
}

void SelectionController::setLevel(SelectionLevel level) {
    memory_.level = level;
    host_.levelChanged(level);
}

bool SelectionController::saveEbook() {
    if (memory_.level != NewspaperLevel) return false;
    int i = host_.selectedEntry();
    if (i < 0) {
        tellNothingSelected();
        return true;
    }
    const NewspaperRecord *paper = walkToNewspaper(i);
    if (!paper) return true;
    saveEditionAsEbook(library_, epubEditionOf(*paper, editionPath(library_, paper->id)),
                       host_.window());
    select(i);
    return true;
}

// The open article and the caret's line, as a record that finds them again.
bool SelectionController::currentPlace(int line, ResumeRecord &record) const {
    const SearchHit *hit = nullptr;
    if (memory_.level == SearchHitLevel) {
        if (memory_.articlePosition >= static_cast<int>(memory_.hits.size())) return false;
        hit = &memory_.hits[static_cast<size_t>(memory_.articlePosition)];
    }
    if (hit && memory_.hitsOfAllNewspapers) {  // the hit's own paper
        record.file = fileNamePart(editionPath(library_, hit->id).c_str());
        record.title = hit->paper;
        record.date = hit->date;
    } else {  // the paper the list was opened in
        record.file = memory_.newspaperFile;
        record.title = memory_.newspaper->title ? memory_.newspaper->title : "";
        record.date = memory_.newspaper->date ? memory_.newspaper->date : "";
    }
    if (hit)
        record.resorts = {hit->resort};
    else
        record.resorts = {memory_.resort && memory_.resort->title ? memory_.resort->title : ""};
    record.articleId = memory_.articleId;
    record.headline = memory_.articleHeadline;
    record.hasHeadline = memory_.articleHasHeadline;
    record.line = line;
    return true;
}

// Keeps the open article and the caret's line as the place to read on from.
void SelectionController::keepPlace(int line) {
    ResumeRecord record;
    if (resumeStore_ && currentPlace(line, record)) resumeStore_->save(record);
}

void SelectionController::articleClosed(int line) { keepPlace(line); }

bool SelectionController::resume() {
    if (!open()) return false;
    ResumeRecord record;
    if (!resumeStore_ || !resumeStore_->load(record)) {
        messageBox(host_.window(), userText(IDS_RESUME_NOTHING), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
        return true;
    }
    openPlace(record, IDS_RESUME_EDITION_GONE, IDS_RESUME_ARTICLE_GONE);
    return true;
}

// Opens the record's article over the newspaper list, or says in one box
// why it cannot.
void SelectionController::openPlace(const ResumeRecord &record, int editionGone, int articleGone) {
    ResumePlace place = findResumePlace(library_, record);
    if (place.outcome != ResumePlace::found) {
        messageBox(host_.window(),
                   userText(place.outcome == ResumePlace::editionGone ? editionGone : articleGone),
                   userText(IDS_NOTICE_CAPTION), MB_OK | MB_ICONINFORMATION);
        return;
    }
    chooseNewspaper(place.newspaper);
    chooseResort(place.resort);
    memory_.articlePosition = place.article;
    select(place.article);
    const ItemRecord *article = walkToArticle(place.article);
    if (!article) return;
    ArticleStart start;
    start.line = record.line;
    openArticle(article->id, article->headline, start);
    select(memory_.articlePosition + 1);  // as after Enter: Enter reads on
}

std::string SelectionController::whereAmI() {
    int position = host_.selectedEntry(), count = host_.entryCount();
    if (position < 0) position = 0;
    int shown = count ? position + 1 : 0;
    auto title = [](const char *s) { return s ? s : ""; };
    switch (memory_.level) {
        case NewspaperLevel: {
            const NewspaperRecord *paper = walkToNewspaper(position);
            if (!paper) break;
            return formatText(userText(IDS_WHERE_NEWSPAPER), shown, count, title(paper->title),
                              title(paper->date));
        }
        case ResortLevel: {
            const ItemRecord *resort = walkToResort(position);
            return formatText(userText(IDS_WHERE_RESORT), shown, count,
                              title(resort ? resort->title : nullptr),
                              title(memory_.newspaper->title), title(memory_.newspaper->date));
        }
        case ArticleLevel:
            return formatText(userText(IDS_WHERE_ARTICLE), shown, count,
                              title(memory_.resort->title), title(memory_.newspaper->title),
                              title(memory_.newspaper->date));
        case SearchHitLevel:
            return formatText(userText(IDS_WHERE_HIT), shown, count, memory_.searchedFor.c_str());
        case HeadlineLevel: {
            if (position >= static_cast<int>(memory_.headlines.size())) break;
            const ItemRecord *resort = memory_.headlines[static_cast<size_t>(position)].resort;
            return formatText(userText(IDS_WHERE_HEADLINE), shown, count, title(resort->title));
        }
    }
    return formatText(userText(IDS_WHERE_NEWSPAPER), 0, 0, "", "");
}

bool SelectionController::readOn(int direction) {
    bool opened = memory_.level == SearchHitLevel  ? readOnInHits(direction)
                  : memory_.level == HeadlineLevel ? readOnInHeadlines(direction)
                                                   : readOnInNewspaper(direction);
    if (!opened) {
        int id = memory_.level == SearchHitLevel
                     ? (direction > 0 ? IDS_LAST_HIT : IDS_FIRST_HIT)
                     : (direction > 0 ? IDS_LAST_ARTICLE : IDS_FIRST_ARTICLE);
        messageBox(host_.articleWindow(), userText(id), userText(IDS_NOTICE_CAPTION),
                   MB_OK | MB_ICONINFORMATION);
    }
    return opened;
}

bool SelectionController::readOnInNewspaper(int direction) {
    if (memory_.level != ArticleLevel) return false;
    int resort = memory_.resortPosition;
    int article = memory_.articlePosition + direction;
    const ItemRecord *found = article >= 0 ? walkToArticle(article) : nullptr;
    if (!found) {
        // The next resort with articles, in list order either way.
        int resorts = 0;
        for (const ItemRecord *r = library_.findFirstResort(memory_.newspaperId); r;
             r = library_.findNextResort(memory_.newspaperId))
            ++resorts;
        for (int r = resort + direction; r >= 0 && r < resorts && !found; r += direction) {
            const ItemRecord *candidate = walkToResort(r);
            if (!candidate) break;
            int count = 0;
            for (const ItemRecord *a = library_.findFirstArticle(candidate->id); a;
                 a = library_.findNextArticle(candidate->id))
                ++count;
            if (count == 0) continue;
            chooseResort(r);
            article = direction > 0 ? 0 : count - 1;
            found = walkToArticle(article);
        }
        if (!found) {
            // The list still shows the resort read last.
            return false;
        }
    }
    memory_.articlePosition = article;
    select(article);
    memory_.articleId = found->id;
    memory_.articleHasHeadline = found->headline != nullptr;
    memory_.articleHeadline = found->headline ? found->headline : "";
    keepPlace(0);
    host_.replaceArticle(buildArticleText(library_, found->id), found->headline);
    return true;
}

bool SelectionController::readOnInHits(int direction) {
    int next = memory_.articlePosition + direction;
    if (next < 0 || next >= static_cast<int>(memory_.hits.size())) return false;
    memory_.articlePosition = next;
    select(next);
    const SearchHit &hit = memory_.hits[static_cast<size_t>(next)];
    memory_.articleId = hit.id;
    memory_.articleHasHeadline = hit.hasHeadline;
    memory_.articleHeadline = hit.headline;
    keepPlace(0);
    host_.replaceArticle(buildArticleText(library_, hit.id),
                         hit.hasHeadline ? memory_.articleHeadline.c_str() : nullptr);
    return true;
}

bool SelectionController::openHitsOfAllNewspapers(std::vector<SearchHit> hits,
                                                  const std::string &needle) {
    memory_ = SelectionMemory{};
    if (hits.empty()) return false;
    host_.clearList();
    for (const SearchHit &hit : hits)
        host_.addEntry(formatText(userText(IDS_SEARCH_ALL_ENTRY), hit.paper.c_str(),
                                  hit.date.c_str(), hit.resort.c_str(), hit.headline.c_str()));
    host_.setCaption(formatText(userText(IDS_SEARCH_ALL_CAPTION), needle.c_str()));
    memory_.hits = std::move(hits);
    memory_.hitsOfAllNewspapers = true;
    memory_.searchedFor = needle;
    memory_.levelBeforeSearch = NewspaperLevel;
    setLevel(SearchHitLevel);
    select(0);
    return true;
}

void SelectionController::tellNothingSelected() {
    messageBox(nullptr, userText(IDS_SELECT_SOMETHING), userText(IDS_NOTICE_CAPTION),
               MB_OK | MB_ICONWARNING);
}

void SelectionController::tellNoNewspapers() {
    messageBox(host_.window(), userText(IDS_NO_NEWSPAPERS), userText(IDS_NOTICE_CAPTION),
               MB_OK | MB_ICONWARNING);
}
