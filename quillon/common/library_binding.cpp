// Binding the library's exports by name.
#include "library_binding.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "prompt.h"
#include "user_texts.h"

LibraryBinding g_binding;
int g_enhanced = 0;

namespace {

template <typename F>
void assign(F &slot, void *address) {
    slot = reinterpret_cast<F>(address);
}

struct Slot {
    const char *name;
    bool required;
    void (*store)(LibraryBinding &, void *);
};

#define QL_SLOT(name, member, required)                                           \
    {                                                                             \
#name, required, [](LibraryBinding & b, void *p) { assign(b.member, p); } \
    }

const Slot kSlots[] = {
    QL_SLOT(QL_DllError, dllError, true),
    QL_SLOT(QL_UseEnhancedInterface, useEnhancedInterface, false),
    QL_SLOT(QL_WantUpdate, wantUpdate, false),
    QL_SLOT(QL_CancelDownload, cancelDownload, false),
    QL_SLOT(QL_GetNewspaperListFromHD, getNewspaperListFromHD, false),
    QL_SLOT(QL_RemoveNewspaperTree, removeNewspaperTree, false),
    QL_SLOT(QL_Initialize, initialize, true),
    QL_SLOT(QL_FindFirstNewspaper, findFirstNewspaper, true),
    QL_SLOT(QL_FindNextNewspaper, findNextNewspaper, true),
    QL_SLOT(QL_FindFirstResort, findFirstResort, true),
    QL_SLOT(QL_FindNextResort, findNextResort, true),
    QL_SLOT(QL_FindFirstArticle, findFirstArticle, true),
    QL_SLOT(QL_FindNextArticle, findNextArticle, true),
    QL_SLOT(QL_FindFirstParagraph, findFirstParagraph, true),
    QL_SLOT(QL_FindNextParagraph, findNextParagraph, true),
    QL_SLOT(QL_ResyncNewspaper, resyncNewspaper, true),
    QL_SLOT(QL_GetNewspaper, getNewspaper, true),
    QL_SLOT(QL_RegisterCallback, registerCallback, true),
    QL_SLOT(QL_DeleteNewspaper, deleteNewspaper, true),
    QL_SLOT(QL_GetNewspaperFile, getNewspaperFile, false),
    QL_SLOT(QL_KeepNewspaper, keepNewspaper, false),
    QL_SLOT(QL_TakeNewspaperReport, takeNewspaperReport, false),
};

#undef QL_SLOT

}  // namespace

void showPluginError(const char *text) {
    messageBox(nullptr, text, userText(IDS_PLUGIN_CAPTION), MB_OK | MB_ICONERROR);
}

int bindLibrarySlots(LibraryBinding &binding, void *module, SymbolLookup lookup) {
    binding = LibraryBinding{};
    for (const Slot &slot : kSlots) {
        void *address = lookup(module, slot.name);
        if (!address) {
            if (!slot.required) continue;
            showPluginError(formatText(userText(IDS_SLOT_MISSING), slot.name).c_str());
            return -1;
        }
        slot.store(binding, address);
    }
    return 0;
}

#ifdef _WIN32
void *loadSystemLibrary(const char *name) { return reinterpret_cast<void *>(LoadLibraryA(name)); }
void *systemExport(void *module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}
#else
void *loadSystemLibrary(const char *) { return nullptr; }
void *systemExport(void *, const char *) { return nullptr; }
#endif
