// The windows of the program: the main window, the reading dialogs, the
// search dialog, the about box and the help. Everything here runs on the
// one GUI thread.
#ifndef QUILLON_DIALOGS_H
#define QUILLON_DIALOGS_H

#include <windows.h>

#include <string>

#include "device_install.h"
#include "resource.h"

// The module that holds the program's resources.
extern HINSTANCE g_instance;

// The help topic a help request opens: that of the innermost open dialog.
enum HelpTopic {
    kHelpMainWindow = 1000,
    kHelpSelection = 2000,
    kHelpSettings = 3000,
    kHelpArticle = 4000,
    kHelpSearch = 5000,
};
extern int g_helpContext;

// Loads a text of the string table (the loader of loadUserTexts).
int loadStringTableText(int id, char *buffer, int size);

// Registers the "ORATEL" class and creates the main window, not yet shown.
HWND createMainWindow();
// Greys or enables the user-identifier entry by the registry's `Method`.
void applyUserIdRule(HWND mainWindow);
// Greys or enables the two handheld entries by the presence test.
void applyHandheldRule(HWND mainWindow);
// How long a device change waits before the presence test (tests shorten it).
void setDeviceChangeWait(DWORD milliseconds);

// The modal dialogs; each returns what its EndDialog was given.
INT_PTR runSelectionDialog(HWND owner);
// The selection opened at the place the reader stopped.
INT_PTR runResumeDialog(HWND owner);
// The list of bookmarks (Datei, Lesezeichen); says so when there is none.
INT_PTR runBookmarksDialog(HWND owner);
// The selection opened at a bookmark's article and line.
struct Bookmark;
INT_PTR runBookmarkSelection(HWND owner, const Bookmark &mark);
// Asks for a text and searches every stored newspaper (with progress; Escape
// stops), then shows the hits in the selection.
void runSearchAllNewspapers(HWND owner);

// What the article view asks of the list it was opened from.
class ArticleNavigator {
  public:
    virtual ~ArticleNavigator() = default;
    // Opens the next (+1) or previous (-1) article in the view (through
    // replaceArticleView); tells the reader at the end.
    virtual void readOn(int direction) = 0;
    // The view closes with the caret on `line`.
    virtual void closed(int line) = 0;
    // Ctrl+Alt+M: the bookmark on the caret's `line` (whose text is
    // lineText) is set, or removed when there is one.
    virtual void bookmark(int line, const std::string &lineText) = 0;
};
struct ArticleStart;
INT_PTR runArticleView(HWND owner, const std::string &text, const char *headline,
                       const ArticleStart &start, ArticleNavigator *navigator);
// Shows another article in an open view, caret on its first line.
void replaceArticleView(HWND view, const std::string &text, const char *headline);
// The article view that is open, or null.
HWND openArticleView();

// Names for controls without a label, for screen readers (dynamic
// annotation); released with the control. accessibleNameOf gives the name
// last asked for, null for none.
void setAccessibleName(HWND control, const char *name);
void clearAccessibleName(HWND control);
const char *accessibleNameOf(HWND control);
// Ctrl+Alt+key, as a key message of a control gives it.
bool isControlAltKey(UINT message, WPARAM key, char letter);
INT_PTR runAboutDialog(HWND owner);
INT_PTR runDownloadDialog(HWND owner);  // in the mode g_downloadMode
INT_PTR runPaperCountDialog(HWND owner);
INT_PTR runUserIdDialog(HWND owner);
// "Automatisch abholen": at start, daily, and through the Task Scheduler.
INT_PTR runAutoFetchDialog(HWND owner);
// The jobs of the command line that open no window: "/abholen" fetches
// (exit code 0 new editions, 1 nothing new, 2 failure); "/aufgabe" makes
// the scheduled task follow the stored choice and "/aufgabe-entfernen"
// removes it, for the installer (0 done, 2 refused by the scheduler).
enum class CommandJob { None, Fetch, Task, RemoveTask };
CommandJob commandJob(const char *commandLine);
int runFetchCommand();
int runTaskCommand(bool remove);
// The copy to the handheld behind its progress dialog; returns once the
// copy thread has ended.
INT_PTR runCopyProgressDialog(HWND owner);
// Installs the handheld reader behind the same progress dialog, on a
// thread of its own.
void runInstallation(HWND owner);
// Posted to the main window by a handheld job whose dialog was closed
// early: lParam is what it has to tell, shown by showDeviceNotice.
constexpr UINT WM_DEVICENOTICE = WM_APP + 29;
void showDeviceNotice(HWND owner, LPARAM notice);
// Before the program ends: stops every handheld job and waits (answering
// messages) until the file each is writing has arrived or was taken back.
void endDeviceJobs(HWND mainWindow);
// A device image from the program's resources.
DeviceImage carriedImage(HandheldImage which);
// Asks for the search text; true when the user confirmed a non-empty text.
bool askSearchText(HWND owner);

// Opens help at `topic`, or the contents for 0.
void showHelp(HWND owner, int topic);

// The handbook, modal to `owner`, the caret at the section of the window of
// help topic `topic` (0: the start). False when the program carries none.
bool showHandbook(HWND owner, int topic);
// The open handbook and the open newspaper selection, or null.
HWND openHandbook();
HWND openSelectionDialog();
// Starts the key describer on this thread (once; Shift+F1 turns it on).
void startKeyDescriber();
bool keyDescriberArmed();
// The main window's accelerators, made from the key table.
HACCEL createKeyAccelerators();

#endif
