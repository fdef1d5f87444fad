/* qlapi.h -- interface of the qlapi newspaper library

   A host program loads the library at run time and drives it through the
   twenty-two functions below. Every function uses the C calling convention
   (cdecl), takes and returns 32-bit integers, and never throws.

   Ownership: every record and text that a function returns belongs to the
   library. The host only reads it; it stays valid until the library parses
   another edition, resynchronises or shuts down. The one exception is the
   list returned by QL_GetNewspaperListFromHD, which the host owns until it
   hands it back to QL_RemoveNewspaperTree.

   Errors: a function either returns its code, or returns null and keeps the
   code for QL_DllError. Which codes are kept is said at each function.

   Threads: the functions run on the caller's thread and may be called from
   any thread. The store and reader functions (QL_Initialize,
   QL_ResyncNewspaper, QL_DeleteNewspaper, QL_GetNewspaperListFromHD,
   QL_GetNewspaperFile and the finds) take one lock for the length of the
   call, so a call that overlaps another waits for it; QL_GetNewspaper
   takes it while the fetch copies the settings, and a fetch writes an
   edition under it. Notifications that a call causes are sent
   when it has released the lock, before it returns. A record or text
   returned to one thread is still invalidated by what another thread does
   (see Ownership): a host that reads from two threads keeps them apart. A
   fetch runs on threads of the library's own and reports to the registered
   host window only.

   Texts are 8-bit and zero-terminated; edition texts are ISO 8859-1.
*/
#ifndef QLAPI_H
#define QLAPI_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#define QLAPI_CALL __cdecl
#else
#define QLAPI_CALL
#endif

#if defined(QLAPI_BUILDING) && !defined(_WIN32)
#define QLAPI_EXPORT __attribute__((visibility("default")))
#else
#define QLAPI_EXPORT /* the DLL's exports are listed in qlapi.def */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Library errors (QL_DllError and results) --------------------------- */

#define QL_OK 0                  /* success */
#define QL_ERR_WRONG_STATE 3     /* QL_Initialize: already in that state (never kept) */
#define QL_ERR_NOT_INITIALIZED 6 /* the library is not initialised */
#define QL_ERR_NO_MEMORY 7       /* an allocation inside the library failed */
#define QL_ERR_NOT_FOUND 8       /* nothing (more) found */
#define QL_ERR_CONFIG 9          /* the configuration is missing or incomplete */
#define QL_ERR_BUSY 12           /* QL_GetNewspaper: a fetch is already running */
#define QL_ERR_UP_TO_DATE 14     /* QL_GetNewspaper: every newspaper was fetched today */
#define QL_ERR_NO_THREAD 15      /* QL_GetNewspaper: the fetch could not be started */
#define QL_ERR_NOT_WRITTEN 16    /* QL_KeepNewspaper: the mark could not be changed */

/* ---- Host notifications ----------------------------------------------------

   Each notification is one synchronous message to the registered host window:
   the message number given to QL_RegisterCallback, the category as first
   parameter (wParam) and the code as second parameter (lParam). The library
   waits until the host's window procedure has returned. */

#define QL_NOTIFY_STATUS 20       /* code: one of QL_STATUS_* */
#define QL_NOTIFY_PROGRESS 21     /* code: percentage 0..100 */
#define QL_NOTIFY_LIBRARYERROR 22 /* code: a library error, QL_ERR_NO_MEMORY */

#define QL_STATUS_NOMODEM 9                 /* no modem, or the dial-up device is missing */
#define QL_STATUS_NOMODEMPOSTMASTER 10      /* postmaster window missing, modem server */
#define QL_STATUS_NOFTPPOSTMASTER 11        /* postmaster window missing, other server */
#define QL_STATUS_DEVICEBUSY 12             /* a transfer is still running, or "BUSY" */
#define QL_STATUS_PIPEERROR 13              /* the transfer program answered nonsense */
#define QL_STATUS_NP_PRESENT 14             /* nothing new: the newspaper is present */
#define QL_STATUS_THREADCREATEERROR 15      /* the transfer could not be started */
#define QL_STATUS_TRANSMISSIONERROR 16      /* the transfer failed */
#define QL_STATUS_PHONEBUSY 17              /* the line was busy */
#define QL_STATUS_NOPICKUP 18               /* nobody answered */
#define QL_STATUS_ACCESSDENIED 19           /* login or password refused */
#define QL_STATUS_ERROR 20                  /* any other failure */
#define QL_STATUS_TRANSMISSIONCOMPLETE 21   /* editions were transferred */
#define QL_STATUS_DORESYNC 22               /* call QL_ResyncNewspaper now */
#define QL_STATUS_POSTMASTERSTARTUPERROR 23 /* the postmaster program did not start */
#define QL_STATUS_TRANSMISSIONCANCELLED 24  /* the transfer was cancelled */

/* ---- Host window ----------------------------------------------------------- */

#ifdef _WIN32
typedef HWND QL_HostWindow;
#else
/* Outside Windows a host "window" is this small record: sending a
   notification calls its procedure synchronously on the library's thread. */
typedef struct QL_HostWindowRec QL_HostWindowRec;
struct QL_HostWindowRec {
    intptr_t (*procedure)(QL_HostWindowRec *window, unsigned int message, uintptr_t wParam,
                          intptr_t lParam);
    void *userData; /* the host's own */
};
typedef QL_HostWindowRec *QL_HostWindow;
#endif

/* ---- Records ------------------------------------------------------------------

   An ItemId names an edition, a resort or an article. Its top byte is the
   edition's number; the low 24 bits are 0 for the edition itself and number
   the resorts and articles within it.

   Identity: the edition's number is its place in this initialisation's list
   and changes whenever the list is read anew (an edition trimmed, deleted
   or added). What stays is the edition's data file (QL_GetNewspaperFile)
   and, for the same file, the low 24 bits of its resorts and articles,
   which number them in the order of the file. A host that remembers an
   article across resynchronisations keeps the file's name and those bits,
   and checks the headline when it finds them again. */
typedef int32_t ItemId;

/* One stored edition, as the newspaper finds return it. */
typedef struct NewspaperRecord {
    ItemId id;           /* low 24 bits 0 */
    int32_t countryCode; /* country of the edition's language; 49 for German */
    char *title;         /* newspaper title */
    char *date;          /* "d.m.yyyy" for country 49, else "m/d/yyyy" */
} NewspaperRecord;

/* A resort (section) or an article. */
typedef struct ItemRecord {
    ItemId id;
    char *headline;      /* articles: the headline; resorts: null */
    int32_t hasArticles; /* resorts: 1 once an article belongs to it */
    char *title;         /* resorts: the title; articles: not used */
} ItemRecord;

struct ResortNode; /* the parsed tree of an edition, the library's own */

/* One entry of a stored-edition list, newest edition first. */
typedef struct EditionEntry {
    NewspaperRecord info;
    int32_t year, month, day;
    int32_t fileSize;        /* bytes of the data file */
    int32_t parsed;          /* 1 once its tree was built */
    char *path;              /* full path of the data file */
    int32_t itemCounter;     /* the library's own */
    struct ResortNode *tree; /* the library's own */
    struct EditionEntry *next;
} EditionEntry;

/* ---- Frame ----------------------------------------------------------------- */

/* Initialises (mode non-zero) or shuts down (mode 0) the library.
   Initialising reads the configuration and scans the newspaper folder.
   Returns QL_OK; QL_ERR_WRONG_STATE when the library already is in the
   asked state (nothing changes, nothing is kept); QL_ERR_CONFIG (also kept
   for QL_DllError) when the configuration is missing or incomplete, and the
   library stays uninitialised. Shutting down does not stop a running fetch. */
QLAPI_EXPORT int QLAPI_CALL QL_Initialize(int mode);

/* Returns the error code kept by the last function that kept one. Reading
   does not reset it. Works initialised or not. */
QLAPI_EXPORT int QLAPI_CALL QL_DllError(void);

/* Registers the window that receives every notification, with the message
   number to use. A null window silences the library. Returns 1; returns 0
   and keeps QL_ERR_NOT_INITIALIZED when the library is not initialised.
   The registration outlives shutdown; only another call changes it. */
QLAPI_EXPORT int QLAPI_CALL QL_RegisterCallback(QL_HostWindow window, unsigned int message);

/* Selects the enhanced interface for the rest of the process: the registry
   configuration, the update offer and the "nothing new" outcome. Call it
   before QL_Initialize. Returns 1, initialised or not. */
QLAPI_EXPORT int QLAPI_CALL QL_UseEnhancedInterface(void);

/* Asks the next fetch to request a program update. Works initialised or not. */
QLAPI_EXPORT void QLAPI_CALL QL_WantUpdate(void);

/* Asks a running fetch to stop. Returns 1, initialised or not. */
QLAPI_EXPORT int QLAPI_CALL QL_CancelDownload(void);

/* ---- Fetch ----------------------------------------------------------------- */

/* Starts fetching the current editions in the background and returns at once;
   the outcome arrives as notifications. force non-zero fetches even what was
   fetched today. Returns QL_OK when the fetch started, or (none of them kept)
   QL_ERR_NOT_INITIALIZED, QL_ERR_BUSY, QL_ERR_UP_TO_DATE or QL_ERR_NO_THREAD.
   The fetch works on the settings as they were when it started: the host may
   resynchronise, shut down or initialise again while it runs, and a fetch
   always ends with one QL_STATUS_DORESYNC unless its watchdog ended it after
   fifteen minutes. A library with a fetch running stays loaded until the
   process ends, even when the host unloads it. */
QLAPI_EXPORT int QLAPI_CALL QL_GetNewspaper(int force);

/* ---- Store ----------------------------------------------------------------- */

/* Shuts the library down and initialises it again, so that it re-reads its
   settings and the newspaper folder. Returns QL_OK, even when the settings
   have become unreadable (the library is then uninitialised), or
   QL_ERR_NOT_INITIALIZED (not kept). */
QLAPI_EXPORT int QLAPI_CALL QL_ResyncNewspaper(void);

/* Deletes the stored edition with the given newspaper id and asks the host
   to resynchronise. Returns QL_OK, or keeps and returns
   QL_ERR_NOT_INITIALIZED or QL_ERR_NOT_FOUND. The edition stays listed until
   the host resynchronises. */
QLAPI_EXPORT int QLAPI_CALL QL_DeleteNewspaper(ItemId newspaper);

/* Returns a new list of the stored editions, newest first, owned by the
   caller until it passes it to QL_RemoveNewspaperTree; null when there is
   none, and null with QL_ERR_NO_MEMORY kept when memory ran out (never a
   list without an edition that is there). Uses the configuration of the
   last initialisation. */
QLAPI_EXPORT EditionEntry *QLAPI_CALL QL_GetNewspaperListFromHD(void);

/* Frees a list returned by QL_GetNewspaperListFromHD. Null does nothing. */
QLAPI_EXPORT void QLAPI_CALL QL_RemoveNewspaperTree(EditionEntry *list);

/* Returns the full path of the data file of the listed edition that the id
   names: an edition's id, or the id of one of its resorts or articles (its
   top byte counts). Keeps QL_OK; keeps QL_ERR_NOT_FOUND and returns null
   when no listed edition has that number; keeps QL_ERR_NOT_INITIALIZED and
   returns null when the library is not initialised. The text stays valid
   until the library resynchronises or shuts down. */
QLAPI_EXPORT const char *QLAPI_CALL QL_GetNewspaperFile(ItemId item);

/* ---- Keeping --------------------------------------------------------------

   The store keeps the newest editions up to the configured number and
   removes the others at every scan. An edition the reader keeps is passed
   over and does not count against that number. Why it is kept is marked in
   a small file beside its data file (the data file's name with the
   extension ".ekp"), so that every host using the folder keeps it too; the
   mark goes when the edition is deleted. */

#define QL_KEEP_READER 1   /* the reader chose to keep the edition */
#define QL_KEEP_BOOKMARK 2 /* the reader has a bookmark in it */

/* Adds (keep non-zero) or takes away (keep 0) one reason, QL_KEEP_READER or
   QL_KEEP_BOOKMARK, for keeping the listed edition that the id names (its
   top byte counts, as for QL_GetNewspaperFile). reason 0 changes nothing.
   Returns the reasons the edition is kept for afterwards, 0 for none, and
   keeps QL_OK; returns -1 and keeps QL_ERR_NOT_INITIALIZED,
   QL_ERR_NOT_FOUND (no listed edition has that number, or reason is none of
   the above) or QL_ERR_NOT_WRITTEN (the mark could not be written or
   removed; the edition is kept as before). */
QLAPI_EXPORT int QLAPI_CALL QL_KeepNewspaper(ItemId item, int reason, int keep);

/* ---- What the store did on its own -------------------------------------- */

#define QL_REPORT_TRIMMED 1 /* editions removed to keep the configured number */
#define QL_REPORT_REFUSED 2 /* downloaded editions that did not read and were not taken */

/* Returns the events of one kind since the last call for that kind, oldest
   first, and forgets them, so each is told once. The list is the caller's
   and goes back through QL_RemoveNewspaperTree. Trimmed: each entry is the
   removed edition as it was listed (title, date, path of its data file).
   Refused: path names the file the download was to become; where it was to
   replace a stored edition, that edition (which stays stored) gives the
   title and date, else both are empty texts. Returns null and keeps
   QL_ERR_NOT_FOUND when there is none (or kind is neither), QL_ERR_NO_MEMORY
   when memory ran out (the events are then kept for the next call). Works
   initialised or not; a process remembers at most 256 events of a kind. */
QLAPI_EXPORT EditionEntry *QLAPI_CALL QL_TakeNewspaperReport(int kind);

/* ---- Finds ------------------------------------------------------------------

   Each keeps QL_OK and returns a record, or keeps QL_ERR_NOT_FOUND and
   returns null at the end (or for an id that matches nothing), or keeps
   QL_ERR_NOT_INITIALIZED and returns null, or keeps QL_ERR_NO_MEMORY and
   returns null when memory ran out while the edition was opened (it is then
   not open; the next call opens it afresh). The First function starts an
   enumeration for its id, the Next function with the same id continues it;
   enumerations of different ids run side by side. Opening an edition (its
   first resort or paragraph request) ends the enumerations of the edition
   opened before and invalidates its records. */

QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindFirstNewspaper(void);
QLAPI_EXPORT const NewspaperRecord *QLAPI_CALL QL_FindNextNewspaper(void);
/* An edition's id gives its resorts; a resort's id its sub-resorts. */
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstResort(ItemId parent);
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextResort(ItemId parent);
/* A resort's id gives its articles. */
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindFirstArticle(ItemId resort);
QLAPI_EXPORT const ItemRecord *QLAPI_CALL QL_FindNextArticle(ItemId resort);
/* An article's id gives the texts of its paragraphs. */
QLAPI_EXPORT const char *QLAPI_CALL QL_FindFirstParagraph(ItemId article);
QLAPI_EXPORT const char *QLAPI_CALL QL_FindNextParagraph(ItemId article);

#ifdef __cplusplus
}
#endif

#endif /* QLAPI_H */
