// The frame's exports: life cycle, error code, host registration, switches.
#include "core/library_state.h"
#include "core/log.h"
#include "frame/life_cycle.h"

extern "C" {

QLAPI_EXPORT int QLAPI_CALL QL_Initialize(int mode) {
    LibraryLock hold;
    bool initialised = g_library.initialised.load() != 0;
    if ((mode != 0) == initialised) return QL_ERR_WRONG_STATE;
    return exportCall(QL_ERR_NO_MEMORY, [mode] {
        if (mode) return initialiseLibrary();
        shutdownLibrary();
        return QL_OK;
    });
}

QLAPI_EXPORT int QLAPI_CALL QL_DllError(void) { return g_library.lastError.load(); }

QLAPI_EXPORT int QLAPI_CALL QL_RegisterCallback(QL_HostWindow window, unsigned int message) {
    if (!g_library.initialised.load()) {
        setLastError(QL_ERR_NOT_INITIALIZED);
        return 0;
    }
    setHostRegistration(window, message);
    return 1;
}

QLAPI_EXPORT int QLAPI_CALL QL_UseEnhancedInterface(void) {
    g_library.enhancedInterface.store(1);
    return 1;
}

QLAPI_EXPORT void QLAPI_CALL QL_WantUpdate(void) { g_library.wantUpdate.store(1); }

QLAPI_EXPORT int QLAPI_CALL QL_CancelDownload(void) {
    g_library.cancelRequested.store(1);
    return 1;
}

QLAPI_EXPORT int QLAPI_CALL QL_ResyncNewspaper(void) {
    LibraryLock hold;
    if (!g_library.initialised.load()) return QL_ERR_NOT_INITIALIZED;
    return exportCall(QL_ERR_NO_MEMORY, [] {
        shutdownLibrary();
        initialiseLibrary();
        writeLog("QL_ResyncNewspaper was called\n");
        return QL_OK;
    });
}

}  // extern "C"
