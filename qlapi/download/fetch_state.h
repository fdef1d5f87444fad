// What one fetch shares between its threads, and the fetch-wide state.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"

// One fetch. The watchdog abandons a fetch that overran its time instead of
// killing its threads: they notice at their next wait, send nothing more and
// leave by themselves.
struct Fetch {
    std::atomic<bool> abandoned{false};
    int force = 0;
};

// A library-side transfer (the piped reader or the internal transfer).
struct TransferThread {
    std::atomic<bool> finished{false};
    std::mutex lock;
    platform::ChildProcess child;  // the piped program, while it runs
};

// The fixed waits, in milliseconds; the test build shortens them.
struct FetchWaits {
    unsigned beforeTransfer = 2000;
    unsigned afterFirstReceipt = 200;  // the internal transfer, before its query
    unsigned postmasterWindow = 4000;
    unsigned afterUnpacker = 3000;
    unsigned atEnd = 2000;
    unsigned watchdogTick = 1000;
    unsigned watchdogTicks = 900;
};
extern FetchWaits g_waits;

extern std::atomic<bool> g_fetchRunning;
// Watchdogs that have not yet returned (one per fetch, briefly two).
extern std::atomic<int> g_watchdogsRunning;
extern std::atomic<int> g_globalThreadReleasedSignal;

// The registered library-side transfer of the current server, or null.
std::shared_ptr<TransferThread> getAndSendThread();
void setGetAndSendThread(std::shared_ptr<TransferThread> thread);

// The library's dial-up connection; the connection set-up brings it up.
extern std::atomic<bool> g_dialledConnection;
// Closes it when it is up; safe from the watchdog's thread.
void hangUpDialledConnection();

// Sends a notification unless the fetch was abandoned.
void notifyFromFetch(const Fetch &fetch, int category, int code);

// Waits ms milliseconds in steps, giving up early when the fetch is
// abandoned; false then.
bool fetchSleep(const Fetch &fetch, unsigned ms);

// The watchdog's thread.
void watchdogThread(std::shared_ptr<Fetch> fetch);
