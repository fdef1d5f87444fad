// Kept editions: the mark beside an edition's data file (its extension
// ".ekp"), one word a line for each reason, "reader" and "bookmark". A
// mark lives in the newspaper folder rather than in one host's settings so
// that every host using the folder keeps the edition too.
#include "documents/kept_editions.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/library_state.h"
#include "core/log.h"
#include "documents/store.h"
#include "platform/platform.h"

namespace {

const char kMarkExtension[] = ".ekp";

struct ReasonWord {
    int reason;
    const char *word;
};
const ReasonWord kReasonWords[] = {{QL_KEEP_READER, "reader"}, {QL_KEEP_BOOKMARK, "bookmark"}};

std::string markPath(const char *dataPath) { return companionPath(dataPath, kMarkExtension); }

std::string markText(int reasons) {
    std::string text;
    for (const ReasonWord &r : kReasonWords)
        if (reasons & r.reason) text += std::string(r.word) + platform::kLineBreak;
    return text;
}

// Writes the mark for reasons, or removes it for none. False when the
// system refused; the mark is then as it was.
bool writeMark(const char *dataPath, int reasons) {
    std::string path = markPath(dataPath);
    if (reasons == 0) {
        if (remove(path.c_str()) == 0) return true;
        FILE *still = fopen(path.c_str(), "rb");
        if (!still) return true;  // there was none
        fclose(still);
        return false;
    }
    std::string text = markText(reasons);
    return platform::writeFileReplacing(path.c_str(), (path + ".tmp").c_str(), text.data(),
                                        text.size());
}

}  // namespace

int keepReasons(const char *dataPath) {
    FILE *file = fopen(markPath(dataPath).c_str(), "rb");
    if (!file) return 0;
    int reasons = 0;
    char line[64];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = '\0';
        for (const ReasonWord &r : kReasonWords)
            if (strcmp(line, r.word) == 0) reasons |= r.reason;
    }
    fclose(file);
    return reasons ? reasons : QL_KEEP_READER;
}

void removeKeepMark(const char *dataPath) { remove(markPath(dataPath).c_str()); }

extern "C" {

QLAPI_EXPORT int QLAPI_CALL QL_KeepNewspaper(ItemId item, int reason, int keep) {
    LibraryLock hold;
    if (!g_library.initialised.load()) {
        setLastError(QL_ERR_NOT_INITIALIZED);
        return -1;
    }
    EditionEntry *entry = findEdition(item);
    if (!entry || (reason != 0 && reason != QL_KEEP_READER && reason != QL_KEEP_BOOKMARK)) {
        setLastError(QL_ERR_NOT_FOUND);
        return -1;
    }
    return exportCall(-1, [entry, reason, keep] {
        int before = keepReasons(entry->path);
        int after = keep ? before | reason : before & ~reason;
        if (after != before && !writeMark(entry->path, after)) {
            writeLog("Could not change the keep mark of %s\n", entry->path);
            setLastError(QL_ERR_NOT_WRITTEN);
            return -1;
        }
        setLastError(QL_OK);
        return after;
    });
}

}  // extern "C"
