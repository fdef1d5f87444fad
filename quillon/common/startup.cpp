// Binding and initialising the library, with the user's fatal messages.
#include "startup.h"

#include "prompt.h"
#include "user_texts.h"

bool startLibrary(void *module, SymbolLookup lookup) {
    int bound = -1;
    if (!module)
        showPluginError(userText(IDS_DLL_NOT_LOADED));
    else
        bound = bindLibrarySlots(g_binding, module, lookup);
    if (bound != 0) {
        messageBox(nullptr, userText(IDS_BIND_FAILED), userText(IDS_FATAL_CAPTION),
                   MB_OK | MB_ICONWARNING);
        return false;
    }
    if (g_binding.useEnhancedInterface) g_enhanced = g_binding.useEnhancedInterface();
    long result = g_binding.initialize(1);
    if (result != 0) {
        messageBox(nullptr, formatText(userText(IDS_INIT_FAILED), result),
                   userText(IDS_FATAL_CAPTION), MB_OK | MB_ICONWARNING);
        return false;
    }
    return true;
}
