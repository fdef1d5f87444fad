// The local newspaper store: the newspaper folder, the header files beside
// its editions, and the list of editions, newest first.
#include "documents/store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "documents/edition_format.h"
#include "documents/newspaper_tree.h"
#include "documents/sgml_reader.h"
#include "frame/configuration.h"
#include "frame/library_state.h"
#include "frame/text_util.h"
#include "platform/platform.h"

EditionEntry *g_editionList = nullptr;
static int g_editionCounter = -1;

// One byte of an ItemId numbers the editions of a scan.
constexpr int kEditionNumbers = 256;

namespace {

// The header file: the data file's path with its extension replaced.
std::string headerPath(const std::string &path) {
    size_t name = path.find_last_of("\\/");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (name != std::string::npos && dot < name)) return path + ".ehd";
    return path.substr(0, dot) + ".ehd";
}

// The six lines of a header file, as written.
std::string headerText(const EditionEntry *e) {
    return std::to_string(e->info.countryCode) + "\n" + e->info.title + "\n" + e->info.date + "\n" +
           std::to_string(e->day) + "\n" + std::to_string(e->month) + "\n" +
           std::to_string(e->year) + "\n";
}

// Reads a header file; a missing or incomplete one gives none, and the
// edition is then read from its data file.
EditionEntry *readHeaderFile(const std::string &path, uint64_t size, std::string &raw) {
    FILE *file = fopen(headerPath(path).c_str(), "r");
    if (!file) return nullptr;
    char lines[6][1024];
    int got = 0;
    while (got < 6 && fgets(lines[got], sizeof lines[got], file)) ++got;
    fclose(file);
    if (got < 6) return nullptr;
    raw.clear();
    for (auto &line : lines) {
        line[strcspn(line, "\r\n")] = '\0';
        raw += line;
        raw += '\n';
    }
    auto *entry = static_cast<EditionEntry *>(guardedAlloc(sizeof(EditionEntry)));
    if (!entry) return nullptr;
    memset(entry, 0, sizeof *entry);
    entry->info.countryCode = parseLeadingInt(lines[0]);
    entry->info.title = guardedCopy(lines[1]);
    entry->info.date = guardedCopy(lines[2], 11);
    entry->day = parseLeadingInt(lines[3]);
    entry->month = parseLeadingInt(lines[4]);
    entry->year = parseLeadingInt(lines[5]);
    entry->fileSize = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    entry->path = guardedCopy(path.c_str());
    if (!entry->info.title || !entry->info.date || !entry->path) {
        freeEditionEntry(entry);
        return nullptr;
    }
    return entry;
}

// A data file without a header file: normalised once, then parsed for its header.
EditionEntry *openNewEdition(const std::string &path, uint64_t size) {
    size_t length = normaliseEditionFile(path.c_str(), static_cast<size_t>(size));
    if (length == 0 || length > INT32_MAX) return nullptr;
    EditionText text;
    EditionEntry *entry = nullptr;
    if (loadEditionText(path.c_str(), length, text) && !parseEdition(text.data, text.length))
        entry = readEditionHeader();
    freeSgmlTree();
    if (!entry) return nullptr;
    entry->fileSize = static_cast<int32_t>(length);
    entry->path = guardedCopy(path.c_str());
    if (!entry->path) {
        freeEditionEntry(entry);
        return nullptr;
    }
    return entry;
}

// Written beside and then put in place, so that a crash never leaves a
// header that lists an edition with a wrong title or date. An unchanged
// header is left alone.
void writeHeaderFile(const EditionEntry *entry, const std::string &path,
                     const std::string &current) {
    std::string text = headerText(entry);
    if (text == current) return;
    std::string header = headerPath(path), temp = header + ".tmp";
    FILE *file = fopen(temp.c_str(), "w");  // text mode: CR LF on Windows
    if (!file) return;
    bool ok = fputs(text.c_str(), file) >= 0;
    ok = fclose(file) == 0 && ok;
    if (!ok || !platform::replaceFile(temp.c_str(), header.c_str())) remove(temp.c_str());
}

void deleteEditionFiles(const char *path) {
    remove(path);
    remove(headerPath(path).c_str());
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

// The readable editions of the folder, each given to take(); unreadable
// ones are deleted when the settings say so.
template <typename Take>
void walkFolder(Take take) {
    std::string folder = g_config.newspaperDir;
    std::string suffix = g_config.dataExtension;
    if (suffix.empty() || suffix[0] != '.') suffix.insert(suffix.begin(), '.');
    for (const platform::DirEntry &file : platform::listFiles(folder, suffix)) {
        if (file.hiddenOrSystem) continue;
        std::string path = folder + file.name, current;
        EditionEntry *entry = readHeaderFile(path, file.size, current);
        if (!entry) entry = openNewEdition(path, file.size);
        if (entry) {
            writeHeaderFile(entry, path, current);
            take(entry);
        } else if (g_config.deleteCorrupt) {
            deleteEditionFiles(path.c_str());
        }
        freeSgmlTree();
    }
}

// Keeps the newest maxPapers editions and deletes the files of the others.
void trimStore() {
    int32_t keep = g_config.maxPapers;
    if (keep <= 0) return;
    EditionEntry **at = &g_editionList;
    for (int32_t i = 0; *at && i < keep; ++i) at = &(*at)->next;
    EditionEntry *rest = *at;
    *at = nullptr;
    while (rest) {
        EditionEntry *next = rest->next;
        deleteEditionFiles(rest->path);
        freeEditionEntry(rest);
        rest = next;
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

void scanStore() {
    g_editionList = nullptr;
    std::vector<std::pair<EditionEntry *, int>> numbers;
    walkFolder([&numbers](EditionEntry *entry) {
        ++g_editionCounter;
        entry->info.id = static_cast<ItemId>(static_cast<uint32_t>(g_editionCounter) << 24);
        numbers.emplace_back(entry, g_editionCounter);
        insertByDate(g_editionList, entry);
    });
    trimStore();
    if (g_editionCounter >= kEditionNumbers) renumberBeyondOneByte(numbers);
}

void freeEditionEntry(EditionEntry *entry) {
    free(entry->info.title);
    free(entry->info.date);
    free(entry->path);
    free(entry);
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
    EditionEntry *list = nullptr;
    walkFolder([&list](EditionEntry *entry) {
        entry->info.id = 0x01000000;
        insertByDate(list, entry);
    });
    return list;
}

QLAPI_EXPORT void QLAPI_CALL QL_RemoveNewspaperTree(EditionEntry *list) {
    while (list) {
        EditionEntry *next = list->next;
        freeEditionEntry(list);
        list = next;
    }
}

QLAPI_EXPORT int QLAPI_CALL QL_DeleteNewspaper(ItemId newspaper) {
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
    deleteEditionFiles(entry->path);
    notifyHost(QL_NOTIFY_STATUS, QL_STATUS_DORESYNC);
    return QL_OK;
}

}  // extern "C"
