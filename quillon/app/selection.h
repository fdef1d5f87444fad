// What the newspaper selection does, apart from the window it shows it in:
// the levels, the remembered positions, choosing, going back, deleting and
// the list search. The dialog forwards its user's actions here.
#ifndef QUILLON_SELECTION_H
#define QUILLON_SELECTION_H

#include <string>
#include <vector>

#include "library_binding.h"
#include "search.h"

enum SelectionLevel { NewspaperLevel = 0, ResortLevel = 1, ArticleLevel = 2, SearchHitLevel = 3 };

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
    virtual void showArticle(const std::string &text, const char *headline) = 0;
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

    const SelectionMemory &memory() const { return memory_; }

  private:
    int fillNewspapers();
    void fillResorts();
    void fillArticles();
    void select(int position);
    const NewspaperRecord *walkToNewspaper(int position);
    const ItemRecord *walkToResort(int position);
    const ItemRecord *walkToArticle(int position);
    void openArticle(ItemId id, const char *headline);
    void tellNothingSelected();
    void tellNoNewspapers();

    const LibraryBinding &library_;
    SelectionHost &host_;
    SelectionMemory memory_;
};

#endif
