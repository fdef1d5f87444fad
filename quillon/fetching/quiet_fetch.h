// A fetch nobody watches: the same library calls as "Neue Zeitungen
// abholen", but no box. It collects what the library reports and, at the
// end, which editions arrived, so that the reader can be told once, later.
#ifndef QUILLON_QUIET_FETCH_H
#define QUILLON_QUIET_FETCH_H

#include <string>
#include <vector>

#include "library_binding.h"

enum class FetchResult { NewEditions, NothingNew, Failed };

struct FetchOutcome {
    FetchResult result = FetchResult::NothingNew;
    // "Quillon Rundschau vom 8.12.2026", newest first; empty when the
    // library cannot list its store.
    std::vector<std::string> editions;
    // Failed: the user text of what failed, and the library's number for a
    // refused start (IDS_FETCH_NOT_STARTED).
    int failureText = 0;
    long refusal = 0;
};

// What the reader hears of an outcome. `next` is the next try's text
// ("7:35") for a failure, empty when the next try is the next start;
// `tomorrow` says that the next try is tomorrow's daily fetch. Empty for
// nothing new unless `asked`.
std::string outcomeSentence(const FetchOutcome &outcome, bool asked, const std::string &next,
                            bool tomorrow);
// The line of %LOCALAPPDATA%\Quillon\abholen.log after `stamp`
// ("2026-12-08 06:30").
std::string outcomeLogLine(const std::string &stamp, const FetchOutcome &outcome);
// The exit code of "quillon.exe /abholen": 0 new editions, 1 nothing new,
// 2 failure.
int outcomeExitCode(const FetchOutcome &outcome);

class QuietFetch {
  public:
    QuietFetch(const LibraryBinding &library, QL_HostWindow host, unsigned message)
        : library_(library), host_(host), message_(message) {}
    ~QuietFetch();

    // Registers `host` with the library and starts a fetch of what is new.
    // False when the library refused; the outcome then says why.
    bool start();
    // One notification. True once the fetch has ended (the library asked
    // for the resync, which stays the caller's to do); the outcome is then
    // complete.
    bool notify(uintptr_t category, intptr_t code);
    // Stops the fetch; it ends with the library's resync request as always.
    void cancel();
    bool running() const { return running_; }
    int progress() const { return progress_; }
    const FetchOutcome &outcome() const { return outcome_; }

  private:
    std::vector<std::string> storedFiles() const;
    void finish();

    const LibraryBinding &library_;
    QL_HostWindow host_;
    unsigned message_;
    bool running_ = false;
    bool cancelled_ = false;
    bool transferred_ = false;
    int progress_ = 0;
    std::vector<std::string> before_;  // the data files stored when it began
    FetchOutcome outcome_;
};

#endif
