// QL_GetNewspaper and FetchNewspaperThread: three passes over the
// configured servers, a transfer for each due one, and every receipt turned
// into a notification for the host.
#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "config/configuration.h"
#include "core/library_state.h"
#include "core/log.h"
#include "core/text_util.h"
#include "download/connection.h"
#include "download/fetch_state.h"
#include "download/internal_transfer.h"
#include "download/knobs.h"
#include "download/post_transfer.h"
#include "download/shared_block.h"
#include "download/transfer_programs.h"

FetchWaits g_waits;
std::atomic<bool> g_fetchRunning{false};
std::atomic<int> g_watchdogsRunning{0};
std::atomic<int> g_globalThreadReleasedSignal{1};
std::atomic<int> g_detachedThreads{0};

static std::mutex g_transferLock;
static std::shared_ptr<TransferThread> g_getAndSend;

std::shared_ptr<TransferThread> getAndSendThread() {
    std::lock_guard<std::mutex> hold(g_transferLock);
    return g_getAndSend;
}

void setGetAndSendThread(std::shared_ptr<TransferThread> thread) {
    std::lock_guard<std::mutex> hold(g_transferLock);
    g_getAndSend = std::move(thread);
}

void notifyFromFetch(const Fetch &fetch, int category, int code) {
    if (!fetch.abandoned.load()) notifyHost(category, code);
}

bool fetchSleep(const Fetch &fetch, unsigned ms) {
    for (unsigned slept = 0; slept < ms; slept += 10) {
        if (fetch.abandoned.load()) return false;
        platform::sleepMs(ms - slept < 10 ? ms - slept : 10);
    }
    return !fetch.abandoned.load();
}

void knobs::setFetchWaits(const FetchWaits &waits) { g_waits = waits; }

Fetch::Fetch(int forced)
    : force(forced), waits(g_waits), clientKey(g_library.clientKey ? g_library.clientKey : "") {
    copyConfiguration(g_config, config);
}

bool Fetch::release() {
    int running = kRunning;
    return end_.compare_exchange_strong(running, kReleased);
}

bool Fetch::abandon() {
    int running = kRunning;
    if (!end_.compare_exchange_strong(running, kAbandoned)) return false;
    abandoned.store(true);
    return true;
}

void Fetch::setTransfer(std::shared_ptr<TransferThread> transfer) {
    std::lock_guard<std::mutex> hold(lock_);
    transfer_ = transfer;
    setGetAndSendThread(std::move(transfer));
}

void Fetch::dropTransfer() {
    std::lock_guard<std::mutex> hold(lock_);
    std::lock_guard<std::mutex> global(g_transferLock);
    if (transfer_ && g_getAndSend == transfer_) g_getAndSend = nullptr;
    transfer_ = nullptr;
}

std::shared_ptr<TransferThread> Fetch::transfer() {
    std::lock_guard<std::mutex> hold(lock_);
    return transfer_;
}

namespace {

const char kNewspapersKey[] = "Software\\VKT\\QLAPI\\Newspapers\\";

struct Date {
    int32_t year = 0, month = 0, day = 0;
    bool before(const Date &o) const {
        if (year != o.year) return year < o.year;
        if (month != o.month) return month < o.month;
        return day < o.day;
    }
};

Date today(int *weekday = nullptr) {
    std::tm tm{};
    platform::toLocalTime(platform::currentTime(), tm);
    if (weekday) *weekday = tm.tm_wday;
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string dateKey(const char *serverName) { return std::string(kNewspapersKey) + serverName; }

// The date of the server's last transfer; absent values count as 0.
Date lastFetchDate(const char *serverName) {
    Date d;
    std::string key = dateKey(serverName);
    platform::RegValue v;
    if (platform::regReadValue(key.c_str(), "day", v) && v.type == platform::RegType::number)
        d.day = static_cast<int32_t>(v.number);
    if (platform::regReadValue(key.c_str(), "month", v) && v.type == platform::RegType::number)
        d.month = static_cast<int32_t>(v.number);
    if (platform::regReadValue(key.c_str(), "year", v) && v.type == platform::RegType::number)
        d.year = static_cast<int32_t>(v.number);
    return d;
}

void storeFetchDate(const char *serverName, const Date &d) {
    std::string key = dateKey(serverName);
    platform::regWriteNumber(key.c_str(), "day", static_cast<uint32_t>(d.day));
    platform::regWriteNumber(key.c_str(), "month", static_cast<uint32_t>(d.month));
    platform::regWriteNumber(key.c_str(), "year", static_cast<uint32_t>(d.year));
}

bool fetchDueToday() {
    if (g_library.enhancedInterface.load()) return true;
    int n = serverCount();
    Date now = today();
    for (int i = 0; i < n; ++i)
        if (lastFetchDate(g_config.serverNames[i]).before(now)) return true;
    return false;
}

bool isInternal(const Serverinfo &s) {
    return compareNoCase(s.appl, "internal") == 0 && compareNoCase(s.command, "internal") == 0 &&
           compareNoCase(s.unpacker, "internal") == 0;
}

enum class Outcome { next, abort, abandoned };

// The final receipts other than "TransactionDone": what is logged, whether
// the server is done for this fetch, and what the host is told.
struct FinalReceipt {
    const char *text;
    const char *log;
    bool endsServer;
    int status;
};
const FinalReceipt kFinalReceipts[] = {
    {"TransactionFailed", "received TRANSACTIONFAILED: Sending to Tarnby: TRANSMISSIONERROR\n",
     false, QL_STATUS_TRANSMISSIONERROR},
    {"TransactionCancelled",
     "received TRANSACTIONCANCELLED: Sending to Tarnby: TRANSMISSIONCANCELLED\n", true,
     QL_STATUS_TRANSMISSIONCANCELLED},
    {"LineBusy", "received PHONELINEBUSY: Sending to Tarnby: PHONEBUSY (on server side)\n", false,
     QL_STATUS_PHONEBUSY},
    {"NoPickUp", "received NOPICKUP: Sending to Tarnby: NOPICKUP\n", true, QL_STATUS_NOPICKUP},
    {"AccessDenied", "received ACCESSDENIED: Sending to Tarnby: ACCESSDENIED (password error)\n",
     true, QL_STATUS_ACCESSDENIED},
    {"ModemNotFound", "received Modem not found: Sending to Tarnby: NOMODEM\n", true,
     QL_STATUS_NOMODEM},
    {"ERROR", "received GENERIC ERROR: Sending to Tarnby: ERROR\n", false, QL_STATUS_ERROR},
    {"NOTHINGNEW", "received NOTHINGNEW: Sending to Quillon: NP_PRESENT\n", false,
     QL_STATUS_NP_PRESENT},
};

const FinalReceipt *findFinalReceipt(const std::string &receipt) {
    for (const FinalReceipt &f : kFinalReceipts)
        if (receipt == f.text) return &f;
    return nullptr;
}

class FetchRun {
  public:
    explicit FetchRun(std::shared_ptr<Fetch> fetch) : fetch_(std::move(fetch)) {}
    void run();

  private:
    void passes();
    void finish();
    Outcome handleServer(int index, int pass);
    Outcome startTransfer(int index, platform::WindowRef &window);
    Outcome receipts(int index, bool librarySide);
    void send(int category, int code) { notifyFromFetch(*fetch_, category, code); }
    Outcome abortWith(int code) {
        send(QL_NOTIFY_STATUS, code);
        return fetch_->abandoned.load() ? Outcome::abandoned : Outcome::abort;
    }

    std::shared_ptr<Fetch> fetch_;
    bool agentStarted_ = false;
};

// Out of memory between two steps, the fetch ends as after its last pass,
// with the shortage reported; no exception leaves a thread of the library.
void FetchRun::run() {
    try {
        passes();
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
    if (fetch_->abandoned.load()) return;
    try {
        finish();
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
    }
    // Released before the flag is cleared: the watchdog must see this fetch
    // ended before another can start.
    if (!fetch_->release()) return;
    // Nobody listens any more: a transfer thread of this fetch that still
    // waits to place a receipt leaves.
    fetch_->abandoned.store(true);
    g_globalThreadReleasedSignal.store(1);
    g_fetchRunning.store(false);
    platform::sleepMs(fetch_->waits.atEnd);
}

void FetchRun::passes() {
    writeLog("FetchNewspaperThread started with force = %l", fetch_->force);
    if (!openSharedBlock()) {
        // Without the block no transfer side can report: every server is
        // left for another fetch, and the host still hears the end.
        writeLog("The shared block could not be created\n");
    }
    int n = fetch_->serverCount();
    for (int i = 0; i < n; ++i) fetch_->config.servers[i].fetchDone = 0;
    for (int pass = 1; pass <= 3 && sharedBlockOpen(); ++pass) {
        for (int i = 0; i < n; ++i) {
            if (fetch_->config.servers[i].fetchDone) continue;
            Outcome outcome = handleServer(i, pass);
            restoreOfflineSetting(*fetch_);
            if (outcome == Outcome::abandoned) return;
            if (outcome == Outcome::abort) break;
        }
    }
}

void FetchRun::finish() {
    // The block stays mapped for the life of the process: a fetch that the
    // watchdog abandoned may still look at it while the next one runs.
    writeLog("we have really done now. Sending DORESYNC to Tarnby\n");
    send(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    if (g_dialledConnection.load()) {
        hangUpDialledConnection();
        writeLog("Closing Internet Connection\n");
    }
    writeLog("FetchNewspaperThread Terminated on its own\n");
}

Outcome FetchRun::handleServer(int index, int pass) {
    Serverinfo &server = fetch_->config.servers[index];
    const char *name = fetch_->config.serverNames[index];
    cleanServerFolder(server);
    writeLog("Working on %s, %d attempt\n", name, pass);
    int weekday = 0;
    Date now = today(&weekday);
    Date last = lastFetchDate(name);
    if (isInternal(server) || last.before(now)) {
        char digit[2] = {static_cast<char>('0' + weekday), '\0'};
        if (!strstr(server.days, digit) && !fetch_->force) return Outcome::next;
    } else if (!fetch_->force) {
        send(QL_NOTIFY_STATUS, QL_STATUS_NP_PRESENT);
        server.fetchDone = 1;
        writeLog("fetching %s not necessary\n", name);
        return Outcome::next;
    }

    platform::WindowRef window;
    if (platform::findWindowByClass(server.windowClass, window)) {
        if (!agentStarted_) {
            writeLog("Mission complete for %s\n", name);
            server.fetchDone = 1;
            return Outcome::next;
        }
    } else {
        writeLog("no postmaster! starting a new one! %s\n", server.windowClass);
        Outcome started = startTransfer(index, window);
        if (started != Outcome::next) return started;
    }
    bool librarySide = getAndSendThread() != nullptr;
    if (!librarySide && !handOverToPostmaster(*fetch_, window, name, server))
        return Outcome::abandoned;
    return receipts(index, librarySide);
}

Outcome FetchRun::startTransfer(int index, platform::WindowRef &window) {
    Serverinfo &server = fetch_->config.servers[index];
    if (strcmp(server.windowClass, "HttpPostmasterClass") == 0) {
        writeLog("try to find Internetconnection\n");
        if (prepareConnection(*fetch_, server) != 0) {
            agentStarted_ = false;
            return fetch_->abandoned.load() ? Outcome::abandoned : Outcome::abort;
        }
        setHandshake(SHM_NAME);
        if (!fetchSleep(*fetch_, fetch_->waits.beforeTransfer)) return Outcome::abandoned;
        writeLog("Trying to create a thread for %s\n", server.appl);
        std::shared_ptr<TransferThread> current = getAndSendThread();
        if (current && current->finished.load()) {
            setGetAndSendThread(nullptr);
            current = nullptr;
        }
        if (!isInternal(server)) {
            std::shared_ptr<TransferThread> reader = startPipedTransfer(fetch_, server);
            fetch_->setTransfer(reader);
            if (!reader) {
                agentStarted_ = false;
                writeLog("Thread is already running. Sending DEVICEBUSY to Tarnby\n");
                return abortWith(QL_STATUS_DEVICEBUSY);
            }
        } else if (current) {
            writeLog("Thread is already running. Sending DEVICEBUSY to Tarnby\n");
            return abortWith(QL_STATUS_DEVICEBUSY);
        } else {
            std::shared_ptr<TransferThread> transfer = startInternalTransfer(fetch_, index);
            if (!transfer) {
                writeLog("HTTP Download Thread could not be started\n");
                writeLog(
                    "Thread for internal downloads could not be created. Sending "
                    "THREADCREATEERROR to Tarnby\n");
                return abortWith(QL_STATUS_THREADCREATEERROR);
            }
            fetch_->setTransfer(transfer);
            writeLog("Thread created!\n");
        }
        agentStarted_ = true;
        return Outcome::next;
    }

    writeLog("We need a dlagent!\n");
    if (g_dialledConnection.load()) {
        writeLog("Closing open internet connection\n");
        hangUpDialledConnection();
    }
    writeLog("Launching %s %s\n", server.appl, maskSecret(server.command, server.password).c_str());
    if (!startPostmaster(server)) {
        agentStarted_ = false;
        writeLog("Launching failed! Sending message to Tarnby: POSTMASTERSTARTUPERROR\n");
        return abortWith(QL_STATUS_POSTMASTERSTARTUPERROR);
    }
    if (!fetchSleep(*fetch_, fetch_->waits.postmasterWindow)) return Outcome::abandoned;
    if (!platform::findWindowByClass(server.windowClass, window)) {
        agentStarted_ = false;
        writeLog("%s did not come up!\n", server.appl);
        if (needsDialUp(server)) {
            writeLog("Sending message to Tarnby: NOMODEMPOSTMASTER\n");
            return abortWith(QL_STATUS_NOMODEMPOSTMASTER);
        }
        writeLog("Sending message to Tarnby: NOFTPPOSTMASTER\n");
        return abortWith(QL_STATUS_NOFTPPOSTMASTER);
    }
    writeLog("Targetwindowclass found: application is running!\n");
    agentStarted_ = true;
    return Outcome::next;
}

Outcome FetchRun::receipts(int index, bool librarySide) {
    Serverinfo &server = fetch_->config.servers[index];
    writeLog("waiting for final receipt! Watchdog will kill us in 15 minutes!\n");
    if (!waitForHandshake(SHM_IDLE, 100, fetch_->abandoned)) return Outcome::abandoned;
    std::string first = messageText();
    if (first == "BUSY") {
        writeLog("received a BUSY receipt! Sending DEVICEBUSY to Tarnby\n");
        return abortWith(QL_STATUS_DEVICEBUSY);
    }
    if (first == "ERROR") {
        writeLog("received a ERROR receipt! Sending THREADCREATEERROR to Tarnby\n");
        return abortWith(QL_STATUS_THREADCREATEERROR);
    }
    if (first != "OK") {
        writeLog("Pipeline error from wget! forwarding PIPEERROR to Tarnby\n");
        return abortWith(QL_STATUS_PIPEERROR);
    }
    writeLog("received OK. all is set up fine!\n");
    setHandshake(SHM_IDLE);
    firstReceiptTaken();

    for (;;) {
        if (!waitForHandshake(SHM_RECEIPT, 1, fetch_->abandoned)) return Outcome::abandoned;
        std::string receipt = messageText();
        if (receipt[0] == '%') {
            int32_t percent = parseLeadingInt(receipt.c_str() + 1);
            writeLog("received progress indicator: %l forwarding to Tarnby\n", percent);
            send(QL_NOTIFY_PROGRESS, percent);
            setHandshake(SHM_IDLE);
            continue;
        }
        if (fetch_->abandoned.load()) return Outcome::abandoned;
        if (receipt == "TransactionDone") {
            writeLog("received a TransactionDone\n");
            server.fetchDone = 1;
            writeLog("Storing date of transfer in registry\n");
            storeFetchDate(fetch_->config.serverNames[index], today());
            if (!startUnpacker(*fetch_, server, fetch_->config.unpackerPaths[index], librarySide))
                return Outcome::abandoned;
            send(QL_NOTIFY_STATUS, QL_STATUS_TRANSMISSIONCOMPLETE);
            writeLog("Sending TRANSMISSIONCOMPLETE to Tarnby\n");
        } else if (const FinalReceipt *final = findFinalReceipt(receipt)) {
            writeLog(final->log);
            if (final->endsServer) server.fetchDone = 1;
            send(QL_NOTIFY_STATUS, final->status);
        } else {
            setHandshake(SHM_IDLE);
            continue;
        }
        writeLog("Final receipt after Transaction was: %s\n", receipt.c_str());
        fetch_->dropTransfer();
        return fetch_->abandoned.load() ? Outcome::abandoned : Outcome::next;
    }
}

}  // namespace

static int startFetch(int force);

extern "C" QLAPI_EXPORT int QLAPI_CALL QL_GetNewspaper(int force) {
    // The fetch copies the settings: a resync on another thread waits.
    LibraryLock hold;
    if (!g_library.initialised.load()) return QL_ERR_NOT_INITIALIZED;
    if (g_fetchRunning.load()) return QL_ERR_BUSY;
    return exportCall(QL_ERR_NO_THREAD, [force] { return startFetch(force); });
}

// Everything that may throw before the running flag is set, or is caught
// where it is thrown after it.
static int startFetch(int force) {
    if (!force && !fetchDueToday()) return QL_ERR_UP_TO_DATE;
    // Tested and set in one step: a second host cannot start a second fetch.
    bool idle = false;
    if (!g_fetchRunning.compare_exchange_strong(idle, true)) return QL_ERR_BUSY;
    std::shared_ptr<Fetch> fetch;
    try {
        fetch = std::make_shared<Fetch>(force);
    } catch (const std::bad_alloc &) {
        reportOutOfMemory();
        g_fetchRunning.store(false);
        return QL_ERR_NO_THREAD;
    }
    // The threads of an abandoned fetch may outlive the host's hold on the
    // library: it is never unloaded while they might run.
    platform::pinLibrary();
    g_globalThreadReleasedSignal.store(0);
    setGetAndSendThread(nullptr);
    if (!startDetached([fetch] { FetchRun(fetch).run(); })) {
        g_globalThreadReleasedSignal.store(1);
        g_fetchRunning.store(false);
        return QL_ERR_NO_THREAD;
    }
    g_watchdogsRunning.fetch_add(1);
    if (!startDetached([fetch] { watchdogThread(fetch); })) {
        g_watchdogsRunning.fetch_sub(1);
        writeLog("The watchdog could not be started\n");
    }
    return QL_OK;
}
