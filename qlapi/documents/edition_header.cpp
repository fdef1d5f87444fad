// An edition's entry: its header read from the parse tree, and its release.
#include "documents/edition_header.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/configuration.h"
#include "core/library_state.h"
#include "core/text_util.h"
#include "documents/sgml_reader.h"

void formatEditionDate(char (&out)[12], int32_t countryCode, int32_t year, int32_t month,
                       int32_t day) {
    // Numbers too long for the field are cut with it.
    char text[48];
    if (countryCode == 49)
        snprintf(text, sizeof text, "%ld.%ld.%ld", long(day), long(month), long(year));
    else
        snprintf(text, sizeof text, "%ld/%ld/%ld", long(month), long(day), long(year));
    copyField(out, text);
}

EditionEntry *readEditionHeader() {
    if (!g_reader.openStack.empty()) return nullptr;
    EditionEntry *entry = nullptr;
    auto fail = [&entry]() -> EditionEntry * {
        g_reader.openStack.clear();
        if (entry) freeEditionEntry(entry);
        return nullptr;
    };
    // The three searches, each of which must find exactly one tag, in one
    // walk over the tree.
    static const char *const kPatterns[] = {"<DUZUZUVU", "<NPTL", "<CD "};
    size_t counts[3];
    NodeRef found[3] = {};
    countTags(g_reader.root, kPatterns, 3, counts, found);
    NodeRef root = counts[0] == 1 ? found[0] : 0;
    NodeRef title = counts[1] == 1 ? found[1] : 0;
    NodeRef date = counts[2] == 1 ? found[2] : 0;
    if (!root || !rightOf(root) || !nodeMatches(rightOf(root), "</DUZUZUVU>")) return fail();
    int32_t countryCode = lookupCountryCode(readAttribute(nodeText(root), "LANGUAGE"));
    if (!title || !leftOf(title)) return fail();
    if (!date) return fail();
    int32_t year = parseLeadingInt(readAttribute(nodeText(date), "YEAR"));
    int32_t month = parseLeadingInt(readAttribute(nodeText(date), "MONTH"));
    int32_t day = parseLeadingInt(readAttribute(nodeText(date), "DAY"));
    releaseAttributeReader();

    entry = static_cast<EditionEntry *>(guardedAlloc(sizeof(EditionEntry)));
    if (!entry) return fail();
    memset(entry, 0, sizeof *entry);
    char dateText[12];
    formatEditionDate(dateText, countryCode, year, month, day);
    entry->info.countryCode = countryCode;
    entry->info.title = copyNodeText(leftOf(title), SIZE_MAX, guardedAlloc);
    entry->info.date = guardedCopy(dateText);
    if (!entry->info.title || !entry->info.date) return fail();
    entry->year = year;
    entry->month = month;
    entry->day = day;
    return entry;
}

void freeEditionEntry(EditionEntry *entry) {
    free(entry->info.title);
    free(entry->info.date);
    free(entry->path);
    free(entry);
}
