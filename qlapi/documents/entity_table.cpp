// The entity table of the edition being read.
#include "documents/entity_table.h"

#include <unordered_map>

namespace {

// The table answers with the newest entry of a name, so one map slot a name
// is all it needs.
std::unordered_map<std::string, std::string> g_entities;

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

void registerEntity(const std::string &name, const std::string &value) { g_entities[name] = value; }

void resetEntityTable() {
    g_entities.clear();
    for (const BuiltIn &b : kBuiltIns) registerEntity(b.name, std::string(1, char(b.code)));
}

void clearEntityTable() { g_entities.clear(); }

const std::string &lookupEntity(const std::string &name) {
    static const std::string kNothing;
    auto it = g_entities.find(name);
    return it == g_entities.end() ? kNothing : it->second;
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
