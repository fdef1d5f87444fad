// The library's own HTTP transfer of one server's editions: a query that
// says what there is, the download of one container, and its unpacking
// into the newspaper folder. Towards the fetch thread it behaves like every
// other transfer side: a first receipt, progress, one final receipt.
#include "download/internal_transfer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "config/configuration.h"
#include "core/library_state.h"
#include "core/log.h"
#include "documents/edition_intake.h"
#include "download/container.h"
#include "download/knobs.h"
#include "download/server_reply.h"
#include "download/shared_block.h"

namespace {

const char kQuillonKey[] = "Software\\VKT\\Quillon\\";
constexpr size_t kQueryPiece = 1023;
constexpr size_t kQueryLimit = 1 << 20;  // a reply of a few lines; the rest is ignored
constexpr size_t kDataPiece = 8192;
constexpr size_t kReserveLimit = size_t(256) << 20;  // reserved at once; beyond, the body grows
constexpr int kProxyDialogs = 3;

std::atomic<knobs::ProxyPrompt> g_proxyPrompt{nullptr};

// One HTTP session, closed with its owner.
class Session {
  public:
    explicit Session(const char *agent) : session_(platform::httpOpenSession(agent)) {}
    ~Session() { platform::httpCloseSession(session_); }
    platform::HttpSession *get() const { return session_; }

  private:
    platform::HttpSession *session_;
};

// A request, closed with its owner.
struct Request {
    platform::HttpRequest *handle = nullptr;
    Request() = default;
    Request(Request &&other) noexcept : handle(other.handle) { other.handle = nullptr; }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;
    ~Request() { platform::httpCloseRequest(handle); }
};

// The body of the container: reserved from the announced size up to a
// bound, grown geometrically beyond it.
class Body {
  public:
    ~Body() { free(data_); }
    bool reserve(size_t bytes) { return grow(bytes < kReserveLimit ? bytes : kReserveLimit); }
    // Room for at least want more bytes, but never more than limit in all.
    bool makeRoom(size_t want, size_t limit) {
        if (capacity_ - size_ >= want) return true;
        size_t next = capacity_ < limit / 2 ? capacity_ * 2 : limit;
        if (next < size_ + want) next = size_ + want;
        return grow(next);
    }
    unsigned char *end() { return data_ + size_; }
    void added(size_t n) { size_ += n; }
    const unsigned char *data() const { return data_; }
    size_t size() const { return size_; }

  private:
    // Through the library's allocation, so that a shortage reaches the host.
    bool grow(size_t capacity) {
        if (capacity <= capacity_) return true;
        auto *bigger = static_cast<unsigned char *>(guardedAlloc(capacity));
        if (!bigger) return false;
        platform::adviseLargeBlock(bigger + size_, capacity - size_);
        if (size_) memcpy(bigger, data_, size_);
        free(data_);
        data_ = bigger;
        capacity_ = capacity;
        return true;
    }
    unsigned char *data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

enum class Result { done, failed, cancelled, abandoned };

class InternalTransfer {
  public:
    InternalTransfer(std::shared_ptr<Fetch> fetch, std::shared_ptr<TransferThread> self, int index)
        : fetch_(std::move(fetch)),
          self_(std::move(self)),
          index_(index),
          server_(fetch_->config.servers[index]) {}
    void run();

  private:
    bool query(platform::HttpSession *session, ServerReply &reply);
    Result download(platform::HttpSession *session, const ServerReply &reply);
    Request sendRequest(platform::HttpSession *session, const std::string &object);
    void unpack(const Body &body);
    void writeEntry(const ContainerEntry &entry);
    void placeFinal(const char *receipt, bool endsServer);
    void fail();

  public:
    // After a shortage thrown out of run(): the final receipt it still owes.
    void failForMemory();

  private:
    static bool stopReading(void *context);
    bool stopped() const {
        return g_library.cancelRequested.load() != 0 || fetch_->abandoned.load();
    }

    std::shared_ptr<Fetch> fetch_;
    std::shared_ptr<TransferThread> self_;
    int index_;
    Serverinfo &server_;  // in the fetch's own copy of the configuration
    ServerAddress address_;
    int lastStatus_ = 0;
    bool askedForUpdate_ = false;  // this transfer's query said wantupdate=1
    bool placedFirst_ = false;     // "OK" is in the block
};

void InternalTransfer::run() {
    Session first("My Session");
    Session second("My 2nd Session");
    bool addressed = splitServerUrl(server_.url, address_);
    g_library.cancelRequested.store(0);
    if (!addressed || fetch_->clientKey.empty()) {
        writeLog("Internal download of %s: no server address or no client key\n",
                 fetch_->config.serverNames[index_]);
        self_->finished.store(true);
        placeText("ERROR", SHM_IDLE);
        return;
    }
    placeText("OK", SHM_IDLE);
    placedFirst_ = true;
    writeLog("Internal Download Thread placed OK in shm\n");
    if (!fetchSleep(*fetch_, fetch_->waits.afterFirstReceipt)) return;

    ServerReply reply;
    if (!query(first.get(), reply)) return fail();
    if (reply.fileCount == 0) {
        if (g_library.enhancedInterface.load()) return placeFinal("NOTHINGNEW", true);
    } else {
        switch (download(second.get(), reply)) {
            case Result::abandoned:
                return;
            case Result::failed:
                return fail();
            case Result::cancelled:
                writeLog("CancelDownload sent us a message\n");
                placeFinal("TransactionCancelled", false);
                writeLog("Internal Download Thread placed TransactionCancelled in shm\n");
                return;
            case Result::done:
                break;
        }
    }
    writeLog("TransmissionDone placed in shm\n");
    placeFinal("TransactionDone", false);
}

// Sends the GET; a proxy that asks for credentials gets up to three
// dialogs, each followed by the same request again.
Request InternalTransfer::sendRequest(platform::HttpSession *session, const std::string &object) {
    Request request;
    std::string error;
    request.handle = platform::httpSendRequest(session, address_.host.c_str(), address_.port,
                                               object.c_str(), error);
    if (!request.handle) {
        writeLog("HTTP request to %s failed: %s\n", address_.host.c_str(), error.c_str());
        lastStatus_ = 0;
        return request;
    }
    for (int dialogs = 0;; ++dialogs) {
        lastStatus_ = platform::httpStatus(request.handle);
        if (lastStatus_ != 407 || dialogs == kProxyDialogs) break;
        if (knobs::ProxyPrompt prompt = g_proxyPrompt.load())
            prompt(request.handle);
        else
            platform::httpProxyAuthDialog(request.handle, hostRegistration().window);
        if (!platform::httpResendRequest(request.handle, error)) {
            writeLog("HTTP request to %s failed: %s\n", address_.host.c_str(), error.c_str());
            lastStatus_ = 0;
            return Request();  // the failed one is closed on the way out
        }
    }
    if (lastStatus_ != 200) writeLog("Ein HTTP Fehler ist aufgetreten: (%d).\n", lastStatus_);
    return request;
}

bool InternalTransfer::query(platform::HttpSession *session, ServerReply &reply) {
    askedForUpdate_ = g_library.wantUpdate.load() != 0;
    std::string object = queryObjectName(address_.script, fetch_->clientKey.c_str(), server_.login,
                                         fetch_->force, askedForUpdate_);
    Request request = sendRequest(session, object);
    if (!request.handle || lastStatus_ != 200) return false;
    std::string text;
    text.reserve(8192);
    char piece[kQueryPiece];
    while (text.size() < kQueryLimit) {
        long n = platform::httpRead(request.handle, piece, sizeof piece, nullptr, nullptr);
        if (n < 0) {
            writeLog("Reading the answer of %s failed\n", address_.host.c_str());
            return false;
        }
        if (n == 0) break;
        text.append(piece, static_cast<size_t>(n));
    }
    reply = parseServerReply(text.c_str());
    if (reply.hasUpdateSize) g_library.updateSize.store(reply.updateSize);
    if (int32_t updateSize = g_library.updateSize.load())
        platform::regWriteNumber(kQuillonKey, "UPDATE", static_cast<uint32_t>(updateSize));
    return !reply.dataPath.empty();
}

bool InternalTransfer::stopReading(void *context) {
    return static_cast<InternalTransfer *>(context)->stopped();
}

Result InternalTransfer::download(platform::HttpSession *session, const ServerReply &reply) {
    // A cancel given during the query comes first, whatever the data
    // request would have answered.
    if (g_library.cancelRequested.load()) return Result::cancelled;
    if (reply.fileSize <= 0) {
        writeLog("The server announced %d files but no size\n", reply.fileCount);
        return Result::failed;
    }
    std::string object = dataObjectName(reply.dataPath, server_.login, fetch_->clientKey.c_str());
    Request request = sendRequest(session, object);
    if (!request.handle || lastStatus_ != 200)
        return g_library.cancelRequested.load() ? Result::cancelled : Result::failed;

    // One byte more than announced is room enough to see a longer body.
    const size_t expected = static_cast<size_t>(reply.fileSize);
    const size_t limit = expected + 1;
    Body body;
    if (!body.reserve(limit)) {
        writeLog("No memory for a container of %d bytes\n", reply.fileSize);
        return Result::failed;
    }
    if (!waitForFirstReceiptTaken(fetch_->abandoned)) return Result::abandoned;
    bool readFailed = false;
    while (!stopped()) {
        size_t want = limit - body.size() < kDataPiece ? limit - body.size() : kDataPiece;
        if (!body.makeRoom(want, limit)) {
            writeLog("No memory for a container of %d bytes\n", reply.fileSize);
            readFailed = true;
            break;
        }
        long n = platform::httpRead(request.handle, body.end(), want, stopReading, this);
        if (n < 0) {
            writeLog("Reading the data file of %s failed\n", address_.host.c_str());
            readFailed = true;
            break;
        }
        if (n == 0) break;
        body.added(static_cast<size_t>(n));
        if (body.size() > expected) break;  // longer than announced: no use reading on
        int percent = static_cast<int>(uint64_t(body.size()) * 100 / expected);
        char receipt[16];
        snprintf(receipt, sizeof receipt, "%%%d", percent);
        // A progress receipt may replace one not yet taken, but never the
        // last: written while the fetch thread is still taking the one
        // before, it would be marked taken unread and the host's bar would
        // stop short of 100.
        if (percent == 100 && !waitForHandshake(SHM_IDLE, 1, fetch_->abandoned))
            return Result::abandoned;
        placeText(receipt, SHM_RECEIPT);
        if (percent == 100 && !waitForHandshake(SHM_IDLE, 1, fetch_->abandoned))
            return Result::abandoned;
    }
    if (fetch_->abandoned.load()) return Result::abandoned;
    if (g_library.cancelRequested.load()) return Result::cancelled;
    if (readFailed) return Result::failed;
    if (body.size() != expected) {
        writeLog("The data file has %l bytes instead of %d\n", static_cast<int32_t>(body.size()),
                 reply.fileSize);
        return Result::failed;
    }
    std::vector<ContainerEntry> entries;
    std::string why;
    if (!readContainer(body.data(), body.size(), entries, why)) {
        writeLog("The data file is no container: %s. Nothing was written\n", why.c_str());
        return Result::failed;
    }
    for (const ContainerEntry &entry : entries) writeEntry(entry);
    return Result::done;
}

void InternalTransfer::writeEntry(const ContainerEntry &entry) {
    const LibraryConfig &config = fetch_->config;
    if (entry.kind == 0) {
        // The store may be reading this edition's header right now.
        LibraryLock hold;
        std::string base = std::string(config.newspaperDir) + entry.name;
        takeInDownloadedEdition(base + config.dataExtension, entry.data, entry.size);
        return;
    }
    // A program from the server runs only when this transfer asked for one.
    if (!askedForUpdate_) {
        writeLog("The update program %s was not asked for; it was not written\n",
                 entry.name.c_str());
        return;
    }
    std::string temp;
    if (!platform::environmentVariable("TEMP", temp)) return;
    if (temp.empty() || temp.back() != platform::kPathSeparator) temp += platform::kPathSeparator;
    std::string program = temp + entry.name;
    if (!writeFileInPlace(program, entry.data, entry.size)) {
        writeLog("Could not write %s\n", program.c_str());
        return;
    }
    if (!g_library.enhancedInterface.load()) return;
    writeLog("Running the update program %s\n", program.c_str());
    platform::runProgramAndWait(program);
    g_library.updateSize.store(0);
    platform::regWriteNumber(kQuillonKey, "UPDATE", 0);
    g_library.wantUpdate.store(0);
}

// A final receipt after the previous one was consumed. One that ends the
// server marks it done and unregisters the thread first.
void InternalTransfer::placeFinal(const char *receipt, bool endsServer) {
    if (!waitToPlaceReceipt(fetch_->abandoned)) return;
    if (endsServer) {
        server_.fetchDone = 1;
        fetch_->dropTransfer();
    }
    self_->finished.store(true);
    placeText(receipt, SHM_RECEIPT);
}

void InternalTransfer::failForMemory() {
    if (self_->finished.load()) return;
    if (!placedFirst_) {  // the first receipt is still owed: the start failed
        self_->finished.store(true);
        placeText("ERROR", SHM_IDLE);
        return;
    }
    try {
        fail();
    } catch (const std::bad_alloc &) {
    }
}

void InternalTransfer::fail() {
    placeFinal(lastStatus_ == 401 || lastStatus_ == 403 ? "AccessDenied" : "ERROR", true);
}

}  // namespace

void knobs::setProxyPrompt(ProxyPrompt prompt) { g_proxyPrompt.store(prompt); }

std::shared_ptr<TransferThread> startInternalTransfer(std::shared_ptr<Fetch> fetch,
                                                      int serverIndex) {
    auto thread = std::make_shared<TransferThread>();
    resetFirstReceipt();
    bool started = startDetached([fetch, thread, serverIndex] {
        // No exception leaves the thread: out of memory, the transfer fails
        // as any other would.
        InternalTransfer transfer(fetch, thread, serverIndex);
        try {
            transfer.run();
        } catch (const std::bad_alloc &) {
            reportOutOfMemory();
            transfer.failForMemory();
        }
    });
    if (!started) return nullptr;
    return thread;
}
