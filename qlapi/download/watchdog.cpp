// The watchdog: a fetch gets fifteen minutes in all. One that overran is
// abandoned, not killed: its transfer program is ended and its threads
// leave at their next wait, sending nothing more.
#include "download/fetch_state.h"
#include "frame/log.h"

static void watch(const std::shared_ptr<Fetch> &fetch);

void watchdogThread(std::shared_ptr<Fetch> fetch) {
    watch(fetch);
    g_watchdogsRunning.fetch_sub(1);
}

static void watch(const std::shared_ptr<Fetch> &fetch) {
    for (unsigned tick = 0; tick < g_waits.watchdogTicks; ++tick) {
        if (g_globalThreadReleasedSignal.load()) break;
        platform::sleepMs(g_waits.watchdogTick);
    }
    int released = g_globalThreadReleasedSignal.load();
    writeLog("Watchdog left loop: GlobalThreadReleasedSignal = %d\n", released);
    if (released) return;
    writeLog("Watchdog on battlefield!\n");
    fetch->abandoned.store(true);
    writeLog("WATCHDOG!!! Just killed FetchNewspaperThread\n");
    if (std::shared_ptr<TransferThread> transfer = getAndSendThread()) {
        {
            std::lock_guard<std::mutex> hold(transfer->lock);
            if (transfer->child.running) platform::terminateProcess(transfer->child);
        }
        writeLog("WATCHDOG!!! Just killed GetAndSendThread\n");
        setGetAndSendThread(nullptr);
    }
    if (g_dialledConnection.load()) {
        writeLog("WATCHDOG!!! Closing Inet connection\n");
        hangUpDialledConnection();
    }
    g_fetchRunning.store(false);
}
