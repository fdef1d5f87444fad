// Taking a downloaded edition into the store, the one door through which a
// fetch reaches the documents: a damaged or cut container
// entry must never cost the reader the good edition of the same name, so
// the new bytes are read as an edition before they replace anything.
#include "documents/edition_intake.h"

#include <cstdio>
#include <memory>

#include "core/log.h"
#include "documents/edition_header.h"
#include "documents/store.h"
#include "documents/store_report.h"
#include "platform/platform.h"

namespace {

IntakeResult refuse(const std::string &dataPath, const char *why) {
    std::unique_ptr<EditionEntry, void (*)(EditionEntry *)> stored(readStoredHeader(dataPath),
                                                                   freeEditionEntry);
    writeLog("The downloaded %s was not taken: %s; %s\n", dataPath.c_str(), why,
             stored ? "the stored edition is kept" : "no edition of that name was stored");
    reportEvent(QL_REPORT_REFUSED, dataPath.c_str(), stored.get());
    return IntakeResult::refused;
}

}  // namespace

IntakeResult takeInDownloadedEdition(const std::string &dataPath, const unsigned char *data,
                                     size_t size) {
    switch (readEditionBytes(data, size)) {
        case FileOutcome::done:
            break;
        case FileOutcome::refused:
            return refuse(dataPath, "it is no readable edition");
        default:
            return refuse(dataPath, "memory ran out while it was read");
    }
    // Written beside the stored file and put in its place in one step; the
    // old header goes first, so that it never describes the new bytes, and
    // the next scan reads the new edition whole.
    remove(companionPath(dataPath, ".ehd").c_str());
    if (!platform::writeFileReplacing(dataPath.c_str(), (dataPath + ".part").c_str(), data, size))
        return refuse(dataPath, "it could not be written beside the stored one");
    return IntakeResult::taken;
}
