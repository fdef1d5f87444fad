// QL_GetNewspaper: starting a fetch of the current editions.
#include "frame/library_state.h"

extern "C" QLAPI_EXPORT int QLAPI_CALL QL_GetNewspaper(int force) {
    (void)force;
    if (!g_library.initialised.load()) return QL_ERR_NOT_INITIALIZED;
    // No transfer method exists yet, so no fetch can be started.
    return QL_ERR_NO_THREAD;
}
