// What the newspaper selection does, apart from the window it shows it in:
// the levels, the remembered positions, choosing, going back, deleting and
// the list search. The dialog forwards its user's actions here.
#ifndef QUILLON_SELECTION_H
#define QUILLON_SELECTION_H

#include <string>
#include <vector>

#include "bookmarks.h"
#include "library_binding.h"
#include "resume.h"
#include "search.h"

enum SelectionLevel {
    NewspaperLevel = 0,
    ResortLevel = 1,
    ArticleLevel = 2,
    SearchHitLevel = 3,
    HeadlineLevel = 4,  // every headline of the newspaper, in reading order
};

// One entry of the headline list: an article and the resort it stands in
// (the library's records, valid while the newspaper stays open).
struct Headline {
    int resortPosition = 0, articlePosition = 0;
    const ItemRecord *resort = nullptr;
    const ItemRecord *article = nullptr;
};

struct SelectionMemory {
    SelectionLevel level = NewspaperLevel;
    int newspaperPosition = 0, resortPosition = 0, articlePosition = 0;
    const NewspaperRecord *newspaper = nullptr;  // the library's record
    ItemId newspaperId = 0;
    const ItemRecord *resort = nullptr;  // the library's record
    ItemId resortId = 0;
    ItemId articleId = 0;
    bool articleHasHeadline = false;
    std::string articleHeadline;
    SelectionLevel levelBeforeSearch = NewspaperLevel;
    std::vector<SearchHit> hits;
    bool hitsOfAllNewspapers = false;  // from the search over every newspaper
    std::string searchedFor;
    std::string newspaperFile;  // the data file of the chosen newspaper
    std::vector<Headline> headlines;
};

// Where the article view puts the caret when it opens an article: on a
// line, or on the first occurrence of a text (selected, as F3 finds it).
struct ArticleStart {
    int line = 0;
    std::string find;
};

// The window side of the selection: its list, its caption, and the article
// view it opens.
class SelectionHost {
  public:
    virtual ~SelectionHost() = default;
    virtual void clearList() = 0;
    virtual void addEntry(const std::string &text) = 0;
    virtual int entryCount() const = 0;
    virtual int selectedEntry() const = 0;  // -1 when nothing is selected
    virtual void selectEntry(int position) = 0;
    virtual void setCaption(const std::string &caption) = 0;
    virtual void *window() const = 0;  // owner of the dialog's own boxes
    // Shows the article modally; `headline` is null for an untitled one.
    virtual void showArticle(const std::string &text, const char *headline,
                             const ArticleStart &start) = 0;
    // While an article is shown: shows another in its place, caret on top.
    virtual void replaceArticle(const std::string &text, const char *headline) = 0;
    // The owner of boxes while an article is shown: its view.
    virtual void *articleWindow() const = 0;
    // The list now shows another level (its accessible name follows).
    virtual void levelChanged(SelectionLevel level) = 0;
    // How many newspapers the library keeps, as the settings say.
    virtual int paperLimit() const = 0;
};

class SelectionController {
  public:
    SelectionController(const LibraryBinding &library, SelectionHost &host)
        : library_(library), host_(host) {}

    // Lists the stored newspapers. False when there is none (after telling
    // the user): the dialog then ends with 0.
    bool open();
    // Enter, the choose button or a double-click.
    void choose();
    // Escape, the back button or the close box. False when the dialog ends
    // (with 2).
    bool goBack();

    enum class KeyResult { NotTaken, Consumed, EndDialog };
    // The Del key in the list: taken only at the newspaper level.
    KeyResult deleteKey();

    // Whether Ctrl+F in the list asks for a search here.
    bool searchAllowed() const {
        return memory_.level == ResortLevel || memory_.level == ArticleLevel;
    }
    // Runs the list search with the current search text.
    void search();

    // At the resort level: the list shows every headline of the newspaper
    // in reading order, the first of the selected resort selected. False
    // at other levels (the key is not taken).
    bool showHeadlines();

    const SelectionMemory &memory() const { return memory_; }

    // Where the reader stopped is kept in `store` (none: not kept).
    void setResumeStore(ResumeStore *store) { resumeStore_ = store; }
    // Opens the list and the article where the reader stopped, caret on
    // its line. When that is gone (or nothing was kept) one box says so
    // and the newspaper list stays. False as for open().
    bool resume();
    // The list's level and position in one sentence, for the reader who
    // asks where they are.
    std::string whereAmI();
    // From the article view: opens the next (+1) or previous (-1) article
    // of the newspaper across resort boundaries, or the next hit; the list
    // follows. At the end one box says so and false is returned.
    bool readOn(int direction);
    // The article view closed with the caret on `line`.
    void articleClosed(int line);
    // Ctrl+E (or the list's menu) at the newspaper level: the selected
    // edition saved as an e-book. False at other levels: the key is not
    // taken.
    bool saveEbook();
    // Shows the hits of a search over every newspaper; Escape returns to the
    // newspaper list.
    bool openHitsOfAllNewspapers(std::vector<SearchHit> hits, const std::string &needle);

    // Bookmarks are kept in `store` (none: the key does nothing).
    void setBookmarkStore(BookmarkStore *store) { bookmarkStore_ = store; }
    // Ctrl+Alt+M in the article view: sets a bookmark on the caret's line
    // (lineText is that line), or removes the one there, and says which.
    void bookmarkKey(int line, const std::string &lineText);
    // Opens the list and the bookmark's article, caret on its line; when
    // that is gone one box says so and the newspaper list stays. False as
    // for open().
    bool openBookmark(const Bookmark &mark);
    // Ctrl+B (or the list's menu) at the newspaper level: the selected
    // edition is kept from trimming, or no longer, and a box says which.
    // False at other levels: the key is not taken.
    bool keepKey();

  private:
    int fillNewspapers();
    void fillResorts();
    void fillArticles();
    void select(int position);
    const NewspaperRecord *walkToNewspaper(int position);
    const ItemRecord *walkToResort(int position);
    const ItemRecord *walkToArticle(int position);
    void openArticle(ItemId id, const char *headline, const ArticleStart &start = {});
    void tellNothingSelected();
    void tellNoNewspapers();
    void chooseNewspaper(int position);
    void chooseResort(int position);
    void setLevel(SelectionLevel level);
    void keepPlace(int line);
    bool currentPlace(int line, ResumeRecord &record) const;
    void openPlace(const ResumeRecord &record, int editionGone, int articleGone);
    bool readOnInNewspaper(int direction);
    bool readOnInHits(int direction);
    void chooseHeadline(int position);
    bool readOnInHeadlines(int direction);
    void backFromHeadlines();
    void setArticle(const ItemRecord &article);

    const LibraryBinding &library_;
    SelectionHost &host_;
    SelectionMemory memory_;
    ResumeStore *resumeStore_ = nullptr;
    BookmarkStore *bookmarkStore_ = nullptr;
};

#endif
