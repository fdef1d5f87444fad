// The library's functions, looked up by name at start and called through
// this one record afterwards.
#ifndef QUILLON_LIBRARY_BINDING_H
#define QUILLON_LIBRARY_BINDING_H

#include "qlapi.h"

// One slot per export, in lookup order; a slot is null when it is not bound.
struct LibraryBinding {
    decltype(&QL_DllError) dllError;
    decltype(&QL_UseEnhancedInterface) useEnhancedInterface;      // optional
    decltype(&QL_WantUpdate) wantUpdate;                          // optional
    decltype(&QL_CancelDownload) cancelDownload;                  // optional
    decltype(&QL_GetNewspaperListFromHD) getNewspaperListFromHD;  // optional
    decltype(&QL_RemoveNewspaperTree) removeNewspaperTree;        // optional
    decltype(&QL_Initialize) initialize;
    decltype(&QL_FindFirstNewspaper) findFirstNewspaper;
    decltype(&QL_FindNextNewspaper) findNextNewspaper;
    decltype(&QL_FindFirstResort) findFirstResort;
    decltype(&QL_FindNextResort) findNextResort;
    decltype(&QL_FindFirstArticle) findFirstArticle;
    decltype(&QL_FindNextArticle) findNextArticle;
    decltype(&QL_FindFirstParagraph) findFirstParagraph;
    decltype(&QL_FindNextParagraph) findNextParagraph;
    decltype(&QL_ResyncNewspaper) resyncNewspaper;
    decltype(&QL_GetNewspaper) getNewspaper;
    decltype(&QL_RegisterCallback) registerCallback;
    decltype(&QL_DeleteNewspaper) deleteNewspaper;
    decltype(&QL_GetNewspaperFile) getNewspaperFile;        // optional
    decltype(&QL_KeepNewspaper) keepNewspaper;              // optional
    decltype(&QL_TakeNewspaperReport) takeNewspaperReport;  // optional
};

// The process-wide binding, written only during start-up.
extern LibraryBinding g_binding;
// Non-zero when the library offered the enhanced interface and accepted it.
extern int g_enhanced;

// Loads a library by name, null when it cannot be loaded.
using LibraryLoader = void *(*)(const char *name);
// Looks up one export of the loaded library; null when it has none.
using SymbolLookup = void *(*)(void *module, const char *name);

// The system's run-time linking, for the library and the handheld's
// connection software. Elsewhere than Windows nothing loads.
void *loadSystemLibrary(const char *name);
void *systemExport(void *module, const char *name);

// Fills `binding` from `module` slot by slot. A missing optional export
// stays null silently; the first missing required export shows its plug-in
// error and ends the binding (later slots stay null). Returns 0 when every
// required slot is bound, -1 otherwise.
int bindLibrarySlots(LibraryBinding &binding, void *module, SymbolLookup lookup);

// Shows a plug-in error: no owner, caption "Plugin Fehler", error icon.
void showPluginError(const char *text);

#endif
