// A fetch without boxes, and what the reader is told of it afterwards.
#include "quiet_fetch.h"

#include <algorithm>

#include "download.h"
#include "user_texts.h"

namespace {

// The user text of a status the library reports as a failure, 0 for one
// that is none: the download dialog's, and a busy device or a thread that
// could not start fail a fetch that nobody watches too.
int failureOf(intptr_t code) {
    if (code == QL_STATUS_DEVICEBUSY || code == QL_STATUS_THREADCREATEERROR)
        return IDS_STATUS_ERROR;
    return statusErrorText(code);
}

std::string failureReason(const FetchOutcome &outcome) {
    if (outcome.failureText == IDS_FETCH_NOT_STARTED)
        return formatText(userText(IDS_FETCH_NOT_STARTED), outcome.refusal);
    return userText(outcome.failureText);
}

std::string joined(const std::vector<std::string> &parts) {
    std::string out;
    for (const std::string &part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
}

}  // namespace

std::string outcomeSentence(const FetchOutcome &outcome, bool asked, const std::string &next,
                            bool tomorrow) {
    switch (outcome.result) {
        case FetchResult::NewEditions:
            if (outcome.editions.empty()) return userText(IDS_FETCH_NEW_UNNAMED);
            return formatText(userText(IDS_FETCH_NEW_EDITIONS), joined(outcome.editions).c_str());
        case FetchResult::NothingNew:
            return asked ? userText(IDS_FETCH_NOTHING_NEW) : std::string();
        case FetchResult::Failed:
            break;
    }
    std::string reason = failureReason(outcome);
    if (next.empty()) return formatText(userText(IDS_FETCH_FAILED_NEXT_START), reason.c_str());
    return formatText(userText(tomorrow ? IDS_FETCH_FAILED_TOMORROW : IDS_FETCH_FAILED_RETRY),
                      reason.c_str(), next.c_str());
}

std::string outcomeLogLine(const std::string &stamp, const FetchOutcome &outcome) {
    switch (outcome.result) {
        case FetchResult::NewEditions:
            return formatText(userText(IDS_FETCH_LOG_NEW), stamp.c_str(),
                              joined(outcome.editions).c_str());
        case FetchResult::NothingNew:
            return formatText(userText(IDS_FETCH_LOG_NOTHING), stamp.c_str());
        case FetchResult::Failed:
            break;
    }
    return formatText(userText(IDS_FETCH_LOG_FAILED), stamp.c_str(),
                      failureReason(outcome).c_str());
}

int outcomeExitCode(const FetchOutcome &outcome) {
    switch (outcome.result) {
        case FetchResult::NewEditions:
            return 0;
        case FetchResult::NothingNew:
            return 1;
        case FetchResult::Failed:
            break;
    }
    return 2;
}

QuietFetch::~QuietFetch() {
    if (running_) library_.registerCallback(nullptr, 0);
}

std::vector<std::string> QuietFetch::storedFiles() const {
    std::vector<std::string> files;
    if (!library_.getNewspaperListFromHD) return files;
    EditionEntry *list = library_.getNewspaperListFromHD();
    for (const EditionEntry *e = list; e; e = e->next)
        if (e->path) files.push_back(e->path);
    if (library_.removeNewspaperTree) library_.removeNewspaperTree(list);
    return files;
}

bool QuietFetch::start() {
    outcome_ = FetchOutcome{};
    transferred_ = cancelled_ = false;
    progress_ = 0;
    before_ = storedFiles();
    library_.registerCallback(host_, message_);
    int r = library_.getNewspaper(0);
    if (r == QL_OK) {
        running_ = true;
        return true;
    }
    library_.registerCallback(nullptr, 0);
    // Fetched today already (a library without the enhanced interface
    // knows): nothing is new. Anything else is a start that failed.
    if (r != QL_ERR_UP_TO_DATE) {
        outcome_.result = FetchResult::Failed;
        outcome_.failureText = r == QL_ERR_BUSY ? IDS_FETCH_BUSY : IDS_FETCH_NOT_STARTED;
        outcome_.refusal = r;
    }
    return false;
}

bool QuietFetch::notify(uintptr_t category, intptr_t code) {
    if (!running_) return false;
    if (category == QL_NOTIFY_PROGRESS) {
        progress_ = static_cast<int>(code & 0xFFFF);
        return false;
    }
    if (category != QL_NOTIFY_STATUS) return false;
    if (code == QL_STATUS_TRANSMISSIONCOMPLETE) transferred_ = true;
    // The first failure is the one told; a later pass may still succeed.
    if (int text = failureOf(code))
        if (!outcome_.failureText) outcome_.failureText = text;
    if (code != QL_STATUS_DORESYNC) return false;
    finish();
    return true;
}

void QuietFetch::cancel() {
    cancelled_ = true;
    if (running_ && library_.cancelDownload) library_.cancelDownload();
}

void QuietFetch::finish() {
    running_ = false;
    library_.registerCallback(nullptr, 0);
    // What the store holds now and did not hold before, by data file; the
    // list is the library's scan of its folder, so no resync is needed.
    if (library_.getNewspaperListFromHD) {
        EditionEntry *list = library_.getNewspaperListFromHD();
        for (const EditionEntry *e = list; e; e = e->next) {
            if (!e->path || std::find(before_.begin(), before_.end(), e->path) != before_.end())
                continue;
            outcome_.editions.push_back(formatText(userText(IDS_FETCH_EDITION),
                                                   e->info.title ? e->info.title : "",
                                                   e->info.date ? e->info.date : ""));
        }
        if (library_.removeNewspaperTree) library_.removeNewspaperTree(list);
    }
    if (!outcome_.editions.empty() || (transferred_ && !library_.getNewspaperListFromHD)) {
        outcome_.result = FetchResult::NewEditions;
        outcome_.failureText = 0;
    } else if (outcome_.failureText) {
        outcome_.result = FetchResult::Failed;
    } else {
        outcome_.result = FetchResult::NothingNew;
    }
    if (cancelled_ && outcome_.result == FetchResult::Failed)
        outcome_.failureText = IDS_FETCH_CANCELLED;
}
