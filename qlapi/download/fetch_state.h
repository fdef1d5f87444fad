// What one fetch shares between its threads, and the fetch-wide state.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "config/configuration.h"
#include "core/library_state.h"
#include "platform/platform.h"

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
// One fetch. It works on its own copy of the configuration and of the
// client key, taken when it starts, so that a resync, a shutdown or a new
// initialisation may rewrite the library's own at any time. The watchdog
// abandons a fetch that overran its time instead of killing its threads:
// they notice at their next wait, send nothing more and leave by themselves.
struct Fetch {
    explicit Fetch(int force);
    // Nobody listens to the fetch any more: its watchdog gave it up, or it
    // ended. Its threads send nothing more and leave at their next wait.
    std::atomic<bool> abandoned{false};
    const int force;
    const FetchWaits waits;  // as they were when the fetch started
    LibraryConfig config;
    std::string clientKey;  // empty when the account has none
    int serverCount() const { return ::serverCount(config); }

    // The fetch ends once, either by its own thread or by its watchdog;
    // each returns true when it was the one, and only the one that ended
    // the fetch may touch the library's fetch-wide state afterwards.
    bool release();
    bool abandon();
    bool released() const { return end_.load() == kReleased; }

    // The fetch's library-side transfer, registered as the library's
    // GetAndSendThread too. Dropping it clears that registration only
    // while it is still this fetch's own.
    void setTransfer(std::shared_ptr<TransferThread> transfer);
    void dropTransfer();
    std::shared_ptr<TransferThread> transfer();

    // The offline switch found before dialling, restored at the end of the
    // server; -1 when there is nothing to restore.
    int64_t savedOfflineValue = -1;
    std::string savedOfflineKey;

  private:
    enum : int { kRunning, kReleased, kAbandoned };
    std::atomic<int> end_{kRunning};
    std::mutex lock_;
    std::shared_ptr<TransferThread> transfer_;
};

extern FetchWaits g_waits;

extern std::atomic<bool> g_fetchRunning;
// Watchdogs that have not yet returned (one per fetch, briefly two).
extern std::atomic<int> g_watchdogsRunning;
// 0 while a fetch runs; 1 once the last one ended by itself. Watchdogs
// look at their own fetch instead: a new fetch resets this signal.
extern std::atomic<int> g_globalThreadReleasedSignal;

// The registered library-side transfer of the current server, or null.
std::shared_ptr<TransferThread> getAndSendThread();
void setGetAndSendThread(std::shared_ptr<TransferThread> thread);

// The library's dial-up connection; the connection set-up brings it up.
extern std::atomic<bool> g_dialledConnection;
// Closes it when it is up; safe from the watchdog's thread.
void hangUpDialledConnection();

// Detached threads of the library that have not yet ended: a fetch, its
// transfer readers and watchdogs, an abandoned fetch's among them.
extern std::atomic<int> g_detachedThreads;

// Starts a detached thread of the library; false when none could be made
// (out of memory the shortage is reported, as everywhere). The thread
// counts in g_detachedThreads until its body and everything the body held
// are gone.
template <typename Body>
bool startDetached(Body &&body) {
    g_detachedThreads.fetch_add(1);
    try {
        std::thread([held = std::forward<Body>(body)]() mutable {
            {
                auto run = std::move(held);
                run();
            }
            g_detachedThreads.fetch_sub(1);
        }).detach();
        return true;
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    } catch (const std::system_error &) {
    }
    g_detachedThreads.fetch_sub(1);
    return false;
}

// Sends a notification unless the fetch was abandoned.
void notifyFromFetch(const Fetch &fetch, int category, int code);

// Waits ms milliseconds in steps, giving up early when the fetch is
// abandoned; false then.
bool fetchSleep(const Fetch &fetch, unsigned ms);

// The watchdog's thread.
void watchdogThread(std::shared_ptr<Fetch> fetch);
