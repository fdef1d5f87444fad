// The local newspaper store: the newspaper folder, the header files beside
// its editions, and the list of editions, newest first.
#include "documents/store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "core/library_state.h"
#include "core/log.h"
#include "core/text_util.h"
#include "documents/edition_format.h"
#include "documents/edition_header.h"
#include "documents/kept_editions.h"
#include "documents/newspaper_tree.h"
#include "documents/sgml_reader.h"
#include "documents/store_report.h"
#include "platform/platform.h"

EditionEntry *g_editionList = nullptr;
static int g_editionCounter = -1;

// One byte of an ItemId numbers the editions of a scan.
constexpr int kEditionNumbers = 256;

namespace {

std::string headerPath(const std::string &path) { return companionPath(path, ".ehd"); }

// The six lines of a header file, as written: the bytes of the file, with
// the system's line breaks.
std::string headerText(const EditionEntry *e) {
    const std::string br = platform::kLineBreak;
    return std::to_string(e->info.countryCode) + br + e->info.title + br + e->info.date + br +
           std::to_string(e->day) + br + std::to_string(e->month) + br + std::to_string(e->year) +
           br;
}

enum class HeaderRead { found, absent, failed };

// Reads a header file whole, lines of any length, so that it always reads
// back to exactly what was written. A missing or incomplete one is absent,
// and the edition is then read from its data file; memory running out is a
// failure that says nothing about the edition. raw receives the file's bytes.
HeaderRead readHeaderFile(const std::string &header, const std::string &path, uint64_t size,
                          EditionEntry *&out, std::string &raw) {
    FILE *file = fopen(header.c_str(), "rb");
    if (!file) return HeaderRead::absent;
    raw.clear();
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) raw.append(buffer, n);
    bool readError = ferror(file) != 0;
    fclose(file);
    if (readError) return HeaderRead::absent;
    std::string lines[6];
    size_t at = 0;
    for (std::string &line : lines) {
        size_t end = raw.find('\n', at);
        if (end == std::string::npos) return HeaderRead::absent;
        line = raw.substr(at, end - at);
        line.resize(std::min(line.size(), line.find('\r')));
        at = end + 1;
    }
    auto *entry = static_cast<EditionEntry *>(guardedAlloc(sizeof(EditionEntry)));
    if (!entry) return HeaderRead::failed;
    memset(entry, 0, sizeof *entry);
    entry->info.countryCode = parseLeadingInt(lines[0].c_str());
    entry->info.title = guardedCopy(lines[1].c_str());
    entry->info.date = guardedCopy(lines[2].c_str(), 11);
    entry->day = parseLeadingInt(lines[3].c_str());
    entry->month = parseLeadingInt(lines[4].c_str());
    entry->year = parseLeadingInt(lines[5].c_str());
    entry->fileSize = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    entry->path = guardedCopy(path.c_str());
    if (!entry->info.title || !entry->info.date || !entry->path) {
        freeEditionEntry(entry);
        return HeaderRead::failed;
    }
    out = entry;
    return HeaderRead::found;
}

// A data file without a header file: normalised once, then its normalised
// text parsed for its header.
FileOutcome openNewEdition(const std::string &path, uint64_t size, EditionEntry *&out) {
    AllocationWatch memory;
    size_t length = 0;
    EditionText text;
    FileOutcome outcome =
        normaliseEditionFile(path.c_str(), static_cast<size_t>(size), length, &text);
    if (outcome != FileOutcome::done) return outcome;
    if (length > INT32_MAX) return FileOutcome::refused;
    EditionEntry *entry = nullptr;
    if (!parseEdition(text.data, text.length)) entry = readEditionHeader();
    freeSgmlTree();
    recycleEditionText(text);
    if (entry) entry->path = guardedCopy(path.c_str());
    // Short of memory, a header may have come out wrong (a date of 0 for a
    // value that could not be copied): it is not taken.
    if (!entry || !entry->path || memory.failed()) {
        if (entry) freeEditionEntry(entry);
        return memory.failed() ? FileOutcome::failed : FileOutcome::refused;
    }
    entry->fileSize = static_cast<int32_t>(length);
    out = entry;
    return FileOutcome::done;
}

// Written beside, flushed and then put in place, so that neither a crash nor
// a power cut leaves a header that lists an edition with a wrong title or
// date. An unchanged header is left alone.
void writeHeaderFile(const EditionEntry *entry, const std::string &header,
                     const std::string &current) {
    std::string text = headerText(entry);
    if (text == current) return;
    if (!platform::writeFileReplacing(header.c_str(), (header + ".tmp").c_str(), text.data(),
                                      text.size()))
        writeLog("Could not write the header file %s\n", header.c_str());
}

void deleteEditionFiles(const char *path) {
    remove(path);
    remove(headerPath(path).c_str());
    removeKeepMark(path);
}

void insertByDate(EditionEntry *&list, EditionEntry *entry) {
    EditionEntry **at = &list;
    for (; *at; at = &(*at)->next) {
        const EditionEntry *e = *at;
        if (e->year < entry->year || (e->year == entry->year && e->month < entry->month) ||
            (e->year == entry->year && e->month == entry->month && e->day < entry->day))
            break;
    }
    entry->next = *at;
    *at = entry;
}

// The data file suffix, with its leading ".".
std::string dataSuffix() {
    std::string suffix = g_config.dataExtension;
    if (suffix.empty() || suffix[0] != '.') suffix.insert(suffix.begin(), '.');
    return suffix;
}

// One log line for an edition the system did not let the scan take in.
void keptForNextScan(const std::string &path) {
    writeLog("Could not read %s now; it is kept for the next scan\n", path.c_str());
}

// Takes in one data file: listed when its header (or the edition itself)
// can be read; deleted only when its content is refused and the settings
// say so. A header that more than one data file would use (names that
// differ only in case, on a system that tells them apart) belongs to
// neither: such editions are read from their data files every time.
template <typename Take>
void takeIn(const std::string &path, uint64_t size, bool sharedHeader, Take &take) {
    std::string header = headerPath(path), current;
    EditionEntry *entry = nullptr;
    FileOutcome outcome = FileOutcome::failed;
    HeaderRead read =
        sharedHeader ? HeaderRead::absent : readHeaderFile(header, path, size, entry, current);
    if (read == HeaderRead::found)
        outcome = FileOutcome::done;
    else if (read == HeaderRead::absent)
        outcome = openNewEdition(path, size, entry);
    if (outcome == FileOutcome::done) {
        // Freed should memory run out before the entry is taken.
        std::unique_ptr<EditionEntry, void (*)(EditionEntry *)> hold(entry, freeEditionEntry);
        if (!sharedHeader) writeHeaderFile(entry, header, current);
        take(hold.release());
    } else if (outcome == FileOutcome::failed) {
        keptForNextScan(path);
    } else if (outcome == FileOutcome::refused && g_config.deleteCorrupt) {
        writeLog("Deleting %s: it is no readable edition\n", path.c_str());
        if (sharedHeader)
            remove(path.c_str());
        else
            deleteEditionFiles(path.c_str());
        // A file a transfer program placed that did not read: the reader
        // hears of it as of a download the library refused itself.
        reportEvent(QL_REPORT_REFUSED, path.c_str(), nullptr);
    }
}

// The readable editions of the folder, each given to take(); unreadable
// ones are deleted when the settings say so. Without a folder nothing is
// read, written or deleted: an empty setting must never mean the folder
// the host happens to run in.
template <typename Take>
void walkFolder(Take take) {
    std::string folder = g_config.newspaperDir;
    if (folder.empty()) {
        writeLog("No newspaper folder is set; no edition is read\n");
        return;
    }
    std::vector<platform::DirEntry> files = platform::listFiles(folder, dataSuffix());
    std::map<std::string, int> headerUsers;
    for (const platform::DirEntry &file : files)
        if (!file.hiddenOrSystem) ++headerUsers[headerPath(folder + file.name)];
    for (const platform::DirEntry &file : files) {
        if (file.hiddenOrSystem) continue;
        std::string path = folder + file.name;
        try {
            takeIn(path, file.size, headerUsers[headerPath(path)] > 1, take);
        } catch (const std::bad_alloc &) {
            reportOutOfMemory();
            keptForNextScan(path);
        }
        freeSgmlTree();
    }
}

// Keeps the newest maxPapers editions and deletes the files of the others.
// An edition the reader keeps is passed over and not counted. Each removed
// edition is logged and kept for the host's report.
void trimStore() {
    int32_t keep = g_config.maxPapers;
    if (keep <= 0) return;
    int32_t counted = 0;
    EditionEntry **at = &g_editionList;
    while (EditionEntry *e = *at) {
        if (keepReasons(e->path) != 0 || counted++ < keep) {
            at = &e->next;
            continue;
        }
        *at = e->next;
        writeLog("Removing %s: only %d editions are kept\n", e->path, keep);
        deleteEditionFiles(e->path);
        reportEvent(QL_REPORT_TRIMMED, e->path, e);
        freeEditionEntry(e);
    }
}

// A scan that numbered more editions than one byte holds: the kept ones
// with a number above it get the lowest numbers no kept edition uses, and
// any beyond 256 kept editions are left out of the list (their files stay).
void renumberBeyondOneByte(const std::vector<std::pair<EditionEntry *, int>> &numbers) {
    bool used[kEditionNumbers] = {};
    int kept = 0;
    std::vector<EditionEntry *> wrapped;
    EditionEntry **at = &g_editionList;
    while (*at) {
        EditionEntry *e = *at;
        if (++kept > kEditionNumbers) {
            *at = e->next;
            freeEditionEntry(e);
            continue;
        }
        int number = -1;
        for (const auto &[entry, n] : numbers)
            if (entry == e) number = n;
        if (number >= 0 && number < kEditionNumbers)
            used[number] = true;
        else
            wrapped.push_back(e);
        at = &e->next;
    }
    int unused = 0;
    for (EditionEntry *e : wrapped) {
        while (used[unused]) ++unused;
        used[unused] = true;
        e->info.id = static_cast<ItemId>(static_cast<uint32_t>(unused) << 24);
    }
}

}  // namespace

void removeStoreLeftovers() {
    std::string folder = g_config.newspaperDir;
    if (folder.empty()) return;
    // The exact names the library writes beside an edition, its header and
    // a download; the data suffix in any case, as the scan finds it.
    const std::string data = dataSuffix();
    const std::pair<std::string, const char *> leftovers[] = {{data + ".tmp", ".tmp"},
                                                              {".ehd.tmp", ".ehd.tmp"},
                                                              {".ekp.tmp", ".ekp.tmp"},
                                                              {data + ".part", ".part"}};
    for (const auto &[suffix, exactTail] : leftovers) {
        for (const platform::DirEntry &file : platform::listFiles(folder, suffix)) {
            size_t tail = strlen(exactTail);
            if (file.hiddenOrSystem || file.name.size() <= suffix.size() ||
                file.name.compare(file.name.size() - tail, tail, exactTail) != 0)
                continue;
            if (remove((folder + file.name).c_str()) == 0)
                writeLog("Removed %s, left over from an interrupted write\n", file.name.c_str());
        }
    }
}

std::string companionPath(const std::string &dataPath, const char *extension) {
    size_t name = dataPath.find_last_of("\\/");
    size_t dot = dataPath.rfind('.');
    if (dot == std::string::npos || (name != std::string::npos && dot < name))
        return dataPath + extension;
    return dataPath.substr(0, dot) + extension;
}

FileOutcome readEditionBytes(const unsigned char *data, size_t size) {
    AllocationWatch memory;
    EditionText expanded, text;
    const char *plain = reinterpret_cast<const char *>(data);
    size_t length = size;
    if (isCompressed(data, size)) {
        if (!expandEdition(data, size, size * kExpansionLimit, expanded))
            return memory.failed() ? FileOutcome::failed : FileOutcome::refused;
        plain = expanded.data;
        length = expanded.length;
    }
    if (!normaliseEditionText(plain, length, text))
        return memory.failed() ? FileOutcome::failed : FileOutcome::refused;
    EditionEntry *entry = nullptr;
    if (!parseEdition(text.data, text.length)) entry = readEditionHeader();
    freeSgmlTree();
    recycleEditionText(text);
    if (entry) freeEditionEntry(entry);
    if (memory.failed()) return FileOutcome::failed;
    return entry ? FileOutcome::done : FileOutcome::refused;
}

EditionEntry *readStoredHeader(const std::string &dataPath) {
    EditionEntry *entry = nullptr;
    std::string raw;
    if (readHeaderFile(headerPath(dataPath), dataPath, 0, entry, raw) != HeaderRead::found)
        return nullptr;
    return entry;
}

void scanStore() {
    g_editionList = nullptr;
    std::vector<std::pair<EditionEntry *, int>> numbers;
    walkFolder([&numbers](EditionEntry *entry) {
        ++g_editionCounter;
        entry->info.id = static_cast<ItemId>(static_cast<uint32_t>(g_editionCounter) << 24);
        insertByDate(g_editionList, entry);  // the list owns it before anything can throw
        numbers.emplace_back(entry, g_editionCounter);
    });
    trimStore();
    if (g_editionCounter >= kEditionNumbers) renumberBeyondOneByte(numbers);
}

void releaseTrees() {
    for (EditionEntry *e = g_editionList; e; e = e->next) {
        if (!e->parsed) continue;
        e->itemCounter = 0;
        e->parsed = 0;
        e->tree = nullptr;
    }
    closeOpenTree();
}

void releaseEditionList() {
    releaseTrees();
    while (EditionEntry *entry = g_editionList) {
        g_editionList = entry->next;
        freeEditionEntry(entry);
    }
}

void resetEditionList() { g_editionList = nullptr; }

EditionEntry *findEdition(ItemId id) {
    for (EditionEntry *e = g_editionList; e; e = e->next)
        if ((e->info.id & kEditionMask) == (id & kEditionMask)) return e;
    return nullptr;
}

void resetEditionCounter() { g_editionCounter = -1; }

extern "C" {

QLAPI_EXPORT EditionEntry *QLAPI_CALL QL_GetNewspaperListFromHD(void) {
    LibraryLock hold;
    EditionEntry *list = nullptr;
    AllocationWatch memory;
    bool whole = exportCall(false, [&list] {
        walkFolder([&list](EditionEntry *entry) {
            entry->info.id = 0x01000000;
            insertByDate(list, entry);
        });
        return true;
    });
    if (whole && !memory.failed()) return list;
    // Out of memory: no list rather than one without an edition that is there.
    QL_RemoveNewspaperTree(list);
    setLastError(QL_ERR_NO_MEMORY);
    return nullptr;
}

QLAPI_EXPORT void QLAPI_CALL QL_RemoveNewspaperTree(EditionEntry *list) {
    while (list) {
        EditionEntry *next = list->next;
        freeEditionEntry(list);
        list = next;
    }
}

QLAPI_EXPORT int QLAPI_CALL QL_DeleteNewspaper(ItemId newspaper) {
    LibraryLock hold;
    if (!g_library.initialised.load()) {
        setLastError(QL_ERR_NOT_INITIALIZED);
        return QL_ERR_NOT_INITIALIZED;
    }
    EditionEntry *entry = g_editionList;
    while (entry && entry->info.id != newspaper) entry = entry->next;
    if (!entry) {
        setLastError(QL_ERR_NOT_FOUND);
        return QL_ERR_NOT_FOUND;
    }
    if (!exportCall(false, [entry] {
            deleteEditionFiles(entry->path);
            return true;
        }))
        return QL_ERR_NO_MEMORY;
    notifyHost(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    return QL_OK;
}

QLAPI_EXPORT const char *QLAPI_CALL QL_GetNewspaperFile(ItemId item) {
    LibraryLock hold;
    if (!g_library.initialised.load()) {
        setLastError(QL_ERR_NOT_INITIALIZED);
        return nullptr;
    }
    EditionEntry *entry = findEdition(item);
    setLastError(entry ? QL_OK : QL_ERR_NOT_FOUND);
    return entry ? entry->path : nullptr;
}

}  // extern "C"
