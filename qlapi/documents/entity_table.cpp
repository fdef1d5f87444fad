// The entity table of the edition being read.
#include "documents/entity_table.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// The table answers with the newest entry of a name, so one slot a name is
// all it needs. Looked up once for every reference of an edition, so the
// names are hashed into a small open-addressed index: no key is built for a
// lookup.
struct Table {
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<uint32_t> slots;  // entry number + 1, 0 for a free slot

    static uint32_t hash(const char *p, size_t n) {
        uint32_t h = 2166136261u;
        for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
        return h;
    }
    // The slot of a name: its entry's, or the free one where it would go.
    uint32_t &slot(const char *p, size_t n) {
        size_t mask = slots.size() - 1;
        for (size_t i = hash(p, n) & mask;; i = (i + 1) & mask) {
            uint32_t e = slots[i];
            if (e == 0) return slots[i];
            const std::string &name = entries[e - 1].first;
            if (name.size() == n && memcmp(name.data(), p, n) == 0) return slots[i];
        }
    }
    void add(const std::string &name, const std::string &value) {
        if (slots.empty()) slots.assign(256, 0);
        uint32_t &s = slot(name.data(), name.size());
        if (s) {
            entries[s - 1].second = value;
            return;
        }
        entries.emplace_back(name, value);
        s = static_cast<uint32_t>(entries.size());
        shortSlots.clear();
        if (entries.size() * 2 > slots.size()) {  // keep it at most half full
            slots.assign(slots.size() * 2, 0);
            for (size_t e = 0; e < entries.size(); ++e)
                slot(entries[e].first.data(), entries[e].first.size()) =
                    static_cast<uint32_t>(e + 1);
        }
    }
    const std::string *find(const char *p, size_t n) {
        if (slots.empty()) return nullptr;
        if (n <= 8) {
            if (shortSlots.empty()) buildShort();
            if (shortIndexed) return findShort(p, n);
        }
        uint32_t e = slot(p, n);
        return e ? &entries[e - 1].second : nullptr;
    }
    void clear() {
        entries.clear();
        slots.clear();
        shortSlots.clear();
    }

    // Nearly every reference names one of a few short entities (the
    // umlauts): names of up to eight bytes are found by one word compare.
    struct Short {
        uint64_t key;
        uint32_t entry;  // entry number + 1, 0 for a free slot
        uint32_t length;
    };
    std::vector<Short> shortSlots;  // built when first needed after a change
    static constexpr unsigned kShortBits = 10;
    static uint64_t shortKey(const char *p, size_t n) {
        uint64_t key = 0;
        memcpy(&key, p, n);
        return key;
    }
    static size_t shortHash(uint64_t key, size_t n) {
        return static_cast<size_t>(((key ^ n) * 0x9E3779B97F4A7C15ull) >> (64 - kShortBits));
    }
    bool shortIndexed = false;  // false when too many short names were declared
    const std::string *findShort(const char *p, size_t n) {
        uint64_t key = shortKey(p, n);
        constexpr size_t mask = (size_t(1) << kShortBits) - 1;
        for (size_t i = shortHash(key, n);; i = (i + 1) & mask) {
            const Short &s = shortSlots[i];
            if (s.entry == 0) return nullptr;
            if (s.key == key && s.length == n) return &entries[s.entry - 1].second;
        }
    }
    void buildShort() {
        shortSlots.assign(size_t(1) << kShortBits, Short{0, 0, 0});
        size_t shortNames = 0;
        for (const auto &entry : entries) shortNames += entry.first.size() <= 8;
        shortIndexed = shortNames * 2 <= shortSlots.size();  // never more than half full
        if (!shortIndexed) return;
        constexpr size_t mask = (size_t(1) << kShortBits) - 1;
        for (size_t e = 0; e < entries.size(); ++e) {
            const std::string &name = entries[e].first;
            if (name.size() > 8) continue;
            uint64_t key = shortKey(name.data(), name.size());
            size_t i = shortHash(key, name.size());
            while (shortSlots[i].entry) i = (i + 1) & mask;
            shortSlots[i] =
                Short{key, static_cast<uint32_t>(e + 1), static_cast<uint32_t>(name.size())};
        }
    }
};
Table g_entities;

struct BuiltIn {
    const char *name;
    unsigned char code;
};

// Markup first, then the ISO 8859-1 names in code order, each synonym right
// after its standard twin.
const BuiltIn kBuiltIns[] = {
    {"quot", '"'},    {"lt", '<'},      {"gt", '>'},      {"amper", '&'},   {"amp", '&'},
    {"nbsp", 0xA0},   {"iexcl", 0xA1},  {"cent", 0xA2},   {"pound", 0xA3},  {"curren", 0xA4},
    {"yen", 0xA5},    {"brvbar", 0xA6}, {"brkbar", 0xA6}, {"sect", 0xA7},   {"uml", 0xA8},
    {"die", 0xA8},    {"copy", 0xA9},   {"ordf", 0xAA},   {"laquo", 0xAB},  {"not", 0xAC},
    {"shy", 0xAD},    {"reg", 0xAE},    {"macr", 0xAF},   {"hibar", 0xAF},  {"deg", 0xB0},
    {"plusmn", 0xB1}, {"sup2", 0xB2},   {"sup3", 0xB3},   {"acute", 0xB4},  {"micro", 0xB5},
    {"para", 0xB6},   {"middot", 0xB7}, {"cedil", 0xB8},  {"sup1", 0xB9},   {"ordm", 0xBA},
    {"raquo", 0xBB},  {"frac14", 0xBC}, {"frac12", 0xBD}, {"frac34", 0xBE}, {"iquest", 0xBF},
    {"Agrave", 0xC0}, {"Aacute", 0xC1}, {"Acirc", 0xC2},  {"Atilde", 0xC3}, {"Auml", 0xC4},
    {"Aring", 0xC5},  {"AElig", 0xC6},  {"Ccedil", 0xC7}, {"Egrave", 0xC8}, {"Eacute", 0xC9},
    {"Ecirc", 0xCA},  {"Euml", 0xCB},   {"Igrave", 0xCC}, {"Iacute", 0xCD}, {"Icirc", 0xCE},
    {"Iuml", 0xCF},   {"ETH", 0xD0},    {"Dstrok", 0xD0}, {"Ntilde", 0xD1}, {"Ograve", 0xD2},
    {"Oacute", 0xD3}, {"Ocirc", 0xD4},  {"Otilde", 0xD5}, {"Ouml", 0xD6},   {"times", 0xD7},
    {"Oslash", 0xD8}, {"Ugrave", 0xD9}, {"Uacute", 0xDA}, {"Ucirc", 0xDB},  {"Uuml", 0xDC},
    {"Yacute", 0xDD}, {"THORN", 0xDE},  {"szlig", 0xDF},  {"agrave", 0xE0}, {"aacute", 0xE1},
    {"acirc", 0xE2},  {"atilde", 0xE3}, {"auml", 0xE4},   {"aring", 0xE5},  {"aelig", 0xE6},
    {"ccedil", 0xE7}, {"egrave", 0xE8}, {"eacute", 0xE9}, {"ecirc", 0xEA},  {"euml", 0xEB},
    {"igrave", 0xEC}, {"iacute", 0xED}, {"icirc", 0xEE},  {"iuml", 0xEF},   {"eth", 0xF0},
    {"ntilde", 0xF1}, {"ograve", 0xF2}, {"oacute", 0xF3}, {"ocirc", 0xF4},  {"otilde", 0xF5},
    {"ouml", 0xF6},   {"divide", 0xF7}, {"oslash", 0xF8}, {"ugrave", 0xF9}, {"uacute", 0xFA},
    {"ucirc", 0xFB},  {"uuml", 0xFC},   {"yacute", 0xFD}, {"thorn", 0xFE},  {"yuml", 0xFF},
};
static_assert(sizeof kBuiltIns / sizeof kBuiltIns[0] == 105, "five markup and 100 letter names");

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool matchesNoCase(const char *p, const char *end, const char *word) {
    for (; *word; ++p, ++word) {
        if (p >= end) return false;
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 32) : *p;
        if (c != *word) return false;
    }
    return true;
}

}  // namespace

void registerEntity(const std::string &name, const std::string &value) {
    g_entities.add(name, value);
}

void resetEntityTable() {
    g_entities.clear();
    for (const BuiltIn &b : kBuiltIns) registerEntity(b.name, std::string(1, char(b.code)));
}

void clearEntityTable() { g_entities.clear(); }

const std::string &lookupEntity(const char *name, size_t length) {
    static const std::string kNothing;
    const std::string *value = g_entities.find(name, length);
    return value ? *value : kNothing;
}

const std::string &lookupEntity(const std::string &name) {
    return lookupEntity(name.data(), name.size());
}

void readEntityDeclarations(const char *prolog, size_t length) {
    const char *end = prolog + length;
    for (const char *p = prolog; p < end; ++p) {
        if (*p != '<' || !matchesNoCase(p, end, "<!ENTITY ")) continue;
        p += 9;
        while (p < end && isWhite(*p)) ++p;
        std::string name, value;
        for (; p < end && !isWhite(*p); ++p)
            if (name.size() < kDeclarationLimit) name += *p;
        while (p < end && isWhite(*p)) ++p;
        // Without CDATA the declaration has no value the reader understands:
        // the name stands for nothing.
        if (matchesNoCase(p, end, "CDATA ")) {
            p += 6;
            while (p < end && isWhite(*p)) ++p;
            if (p < end) ++p;  // the opening quote
            for (; p < end && *p != '"'; ++p)
                if (value.size() < kDeclarationLimit) value += *p;
        }
        registerEntity(name, value);
        if (p >= end) break;
    }
}
