// The watchdog: a fetch gets fifteen minutes in all. One that overran is
// abandoned, not killed: its transfer program is ended and its threads
// leave at their next wait, sending nothing more. Each watchdog looks only
// at its own fetch: one whose fetch has ended leaves and touches nothing,
// whatever fetch runs by then.
#include <new>

#include "core/log.h"
#include "download/fetch_state.h"

static void watch(Fetch &fetch);

void watchdogThread(std::shared_ptr<Fetch> fetch) {
    try {
        watch(*fetch);
    } catch (const std::bad_alloc &) {
    }
    g_watchdogsRunning.fetch_sub(1);
}

static void watch(Fetch &fetch) {
    const unsigned ticks = fetch.waits.watchdogTicks, tickMs = fetch.waits.watchdogTick;
    for (unsigned tick = 0; tick < ticks; ++tick) {
        if (fetch.released()) break;
        platform::sleepMs(tickMs);
    }
    writeLog("Watchdog left loop: GlobalThreadReleasedSignal = %d\n", fetch.released() ? 1 : 0);
    // The fetch may end on its own at this very moment: only one of the
    // two ends it.
    if (!fetch.abandon()) return;
    writeLog("Watchdog on battlefield!\n");
    writeLog("WATCHDOG!!! Just killed FetchNewspaperThread\n");
    if (std::shared_ptr<TransferThread> transfer = fetch.transfer()) {
        {
            std::lock_guard<std::mutex> hold(transfer->lock);
            if (transfer->child.running) platform::terminateProcess(transfer->child);
        }
        writeLog("WATCHDOG!!! Just killed GetAndSendThread\n");
        fetch.dropTransfer();
    }
    if (g_dialledConnection.load()) {
        writeLog("WATCHDOG!!! Closing Inet connection\n");
        hangUpDialledConnection();
    }
    g_fetchRunning.store(false);
}
