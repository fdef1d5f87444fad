// External transfer programs and their side of the shared block.
#include "download/transfer_programs.h"

#include <cstring>
#include <string>
#include <thread>

#include "core/library_state.h"
#include "core/log.h"
#include "download/shared_block.h"

static std::atomic<bool> g_readerActive{false};

bool pipedReaderActive() { return g_readerActive.load(); }

// Passes one line of the program's output on. Returns false after a final
// receipt (or when the fetch was abandoned): the reading ends.
static bool passLine(const Fetch &fetch, std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty()) return true;
    if (!waitToPlaceReceipt(fetch.abandoned)) return false;
    placeText(line.c_str(), SHM_RECEIPT);
    return line[0] == '%';
}

// Longer than any receipt: a program that writes without line ends does not
// make the reader hold all it writes.
constexpr size_t kLongestLine = 64 << 10;

// Reads the program's output line by line: each line is one receipt. A
// program that ends without a final receipt counts as "TransactionDone".
static void readLines(const std::shared_ptr<Fetch> &fetch,
                      const std::shared_ptr<TransferThread> &self) {
    std::string pending;
    bool finalPassed = false, cutLogged = false;
    char buffer[256];
    while (!finalPassed && g_readerActive.load()) {
        long n;
        {
            platform::ChildProcess child;
            {
                std::lock_guard<std::mutex> hold(self->lock);
                child = self->child;
            }
            n = platform::readProcessOutput(child, buffer, sizeof buffer);
        }
        if (n < 0) break;  // the program closed its output
        pending.append(buffer, static_cast<size_t>(n));
        size_t eol;
        while (!finalPassed && (eol = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, eol + 1);
            pending.erase(0, eol + 1);
            finalPassed = !passLine(*fetch, line);
        }
        if (pending.size() > kLongestLine) {
            if (!cutLogged)
                writeLog("The transfer program writes a line of more than 64 KB; cut\n");
            cutLogged = true;
            pending.resize(kLongestLine);
        }
    }
    if (!finalPassed && !pending.empty()) finalPassed = !passLine(*fetch, pending);
    if (!finalPassed && waitToPlaceReceipt(fetch->abandoned))
        placeText("TransactionDone", SHM_RECEIPT);
}

static void pipedReader(std::shared_ptr<Fetch> fetch, std::shared_ptr<TransferThread> self) {
    try {
        readLines(fetch, self);
    } catch (const std::bad_alloc &) {
        // Out of memory the program's output cannot be read on: the
        // transfer failed, and says so if the fetch still listens.
        reportOutOfMemory();
        if (waitToPlaceReceipt(fetch->abandoned)) placeText("TransactionFailed", SHM_RECEIPT);
    }
    g_readerActive.store(false);
    std::lock_guard<std::mutex> hold(self->lock);
    platform::closeProcess(self->child, false);
    self->finished.store(true);
}

std::shared_ptr<TransferThread> startPipedTransfer(std::shared_ptr<Fetch> fetch,
                                                   const Serverinfo &server) {
    static std::shared_ptr<TransferThread> s_reader;
    if (g_readerActive.load()) {
        placeText("BUSY", SHM_IDLE);
        return s_reader;
    }
    auto thread = std::make_shared<TransferThread>();
    platform::ProcessStart start;
    start.program = server.appl;
    start.commandLine = server.command;
    start.folder = server.path;
    start.show = platform::ShowWindow::hidden;
    start.captureOutput = true;
    resetFirstReceipt();
    bool started = platform::startProcess(start, thread->child);
    placeText(started ? "OK" : "BUSY", SHM_IDLE);
    if (!started) {
        thread->finished.store(true);
        return thread;  // its "BUSY" tells the fetch thread
    }
    g_readerActive.store(true);
    if (!startDetached([fetch, thread] { pipedReader(fetch, thread); })) {
        g_readerActive.store(false);
        platform::closeProcess(thread->child, true);
        return nullptr;
    }
    s_reader = thread;
    return thread;
}

bool startPostmaster(const Serverinfo &server) {
    platform::ProcessStart start;
    start.program = server.appl;
    start.commandLine = server.command;
    start.show = platform::ShowWindow::minimisedNoActivate;
    platform::ChildProcess child;
    if (!platform::startProcess(start, child)) return false;
    platform::closeProcess(child, false);  // it lives on by itself
    return true;
}

bool handOverToPostmaster(const Fetch &fetch, const platform::WindowRef &window,
                          const char *serverName, const Serverinfo &server) {
    placeText(serverName, SHM_NAME);
    platform::postWindowMessage(window, 1025);
    writeLog("Serverinfo struct transmitted to dlagent; waiting fo receipt\n");
    if (!waitForHandshake(SHM_IDLE, 100, fetch.abandoned)) return false;
    writeLog("receipt accepted\n");
    Serverinfo image = server;
    image.fetchDone = 0;
    placeBytes(&image, sizeof image, SHM_SERVERINFO);
    platform::postWindowMessage(window, 1025);
    return true;
}
