// The library's life cycle: what initialisation, resynchronisation and
// shutdown ask of the configuration, the store and the reader, in order.
#include "frame/life_cycle.h"

#include "config/client_key.h"
#include "config/configuration.h"
#include "core/library_state.h"
#include "core/log.h"
#include "documents/entity_table.h"
#include "documents/sgml_reader.h"
#include "documents/store.h"
#include "documents/store_report.h"
#include "download/fetch_state.h"
#include "frame/knobs.h"

int initialiseLibrary() {
    if (!g_library.clientKey) computeClientKey();
    releaseCursors();
    resetEditionList();
    clearServerNames();
    resetEditionCounter();
    if (!readConfiguration()) {
        setLastError(QL_ERR_CONFIG);
        return QL_ERR_CONFIG;
    }
    if (g_library.clientKey) writeLog("SID: %s\n", g_library.clientKey);
    if (!g_fetchRunning.load()) removeStoreLeftovers();
    scanStore();
    g_library.initialised.store(1);
    return QL_OK;
}

void shutdownLibrary() {
    releaseAttributeReader();
    releaseEditionList();
    releaseCursors();
    resetEditionCounter();
    g_library.initialised.store(0);
    clearEntityTable();
}

void knobs::resetLibrary() {
    LibraryLock hold;
    if (g_library.initialised.load()) shutdownLibrary();
    g_library.lastError.store(QL_OK);
    g_library.enhancedInterface.store(0);
    g_library.wantUpdate.store(0);
    g_library.cancelRequested.store(0);
    g_library.updateSize.store(0);
    setHostRegistration(nullptr, 0);
    g_config.deleteCorrupt = 1;
    clearStoreReport();
}
