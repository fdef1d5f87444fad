// The library's own HTTP transfer. This build has no HTTP client yet: a
// server configured for it is answered with an honest failure, never with a
// transfer that did not happen.
#include "download/internal_transfer.h"

#include <thread>

#include "download/shared_block.h"
#include "frame/configuration.h"
#include "frame/library_state.h"
#include "frame/log.h"

static void internalTransfer(std::shared_ptr<Fetch> fetch, std::shared_ptr<TransferThread> self,
                             int serverIndex) {
    g_library.cancelRequested.store(0);
    writeLog("The internal HTTP transfer is not available in this build\n");
    placeText("OK", SHM_IDLE);
    if (!waitToPlaceReceipt(fetch->abandoned)) return;
    // Its own bookkeeping first, as on every error path of the transfer.
    g_config.servers[serverIndex].fetchDone = 1;
    setGetAndSendThread(nullptr);
    self->finished.store(true);
    placeText("ERROR", SHM_RECEIPT);
}

std::shared_ptr<TransferThread> startInternalTransfer(std::shared_ptr<Fetch> fetch,
                                                      int serverIndex) {
    auto thread = std::make_shared<TransferThread>();
    resetFirstReceipt();
    try {
        std::thread(internalTransfer, fetch, thread, serverIndex).detach();
    } catch (const std::system_error &) {
        return nullptr;
    }
    return thread;
}
