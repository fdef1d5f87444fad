// The language of a book: the edition's country code through a table of
// the countries the library's settings name, made more precise by the
// edition's own LANGUAGE value where that agrees. Only tags a reading
// system and a checker know are written; "und" says that none is known.
#include <zlib.h>

#include <cctype>
#include <cstring>
#include <fstream>

#include "epub.h"

namespace {

// Country code (telephone prefix) to language. A country of several
// languages (Belgium, Switzerland, Luxembourg, ...) has none of its own.
const struct {
    int country;
    const char *language;
} kCountryLanguages[] = {
    {1, "en"},     {7, "ru"},      {30, "el"},  {31, "nl"},    {33, "fr"},    {34, "es"},
    {36, "hu"},    {39, "it"},     {40, "ro"},  {43, "de-AT"}, {44, "en-GB"}, {45, "da"},
    {46, "sv"},    {47, "nb"},     {48, "pl"},  {49, "de"},    {52, "es-MX"}, {55, "pt-BR"},
    {61, "en-AU"}, {64, "en-NZ"},  {81, "ja"},  {82, "ko"},    {86, "zh"},    {90, "tr"},
    {351, "pt"},   {353, "en-IE"}, {354, "is"}, {358, "fi"},   {359, "bg"},   {370, "lt"},
    {371, "lv"},   {372, "et"},    {380, "uk"}, {385, "hr"},   {386, "sl"},   {420, "cs"},
    {421, "sk"},
};

// Regions an edition's own tag may add to its language.
const char *const kRegions[] = {"AR", "AT", "AU", "BE", "BR", "CA", "CH", "DE", "ES", "FR", "GB",
                                "IE", "IN", "IT", "LI", "LU", "MX", "NL", "NZ", "PT", "US", "ZA"};

std::string primaryOf(const std::string &tag) { return tag.substr(0, tag.find('-')); }

// The edition's value as "ll" or "ll-RR" with a language of the table and a
// known region, in the usual case; "" when it is anything else.
std::string knownTag(const std::string &value) {
    std::string v;
    for (char c : value) v += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (char &c : v)
        if (c == '_') c = '-';
    std::string primary = primaryOf(v), region;
    if (primary.size() != v.size()) {
        region = v.substr(primary.size() + 1);
        for (char &c : region) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        bool known = false;
        for (const char *r : kRegions) known = known || region == r;
        if (!known) return std::string();
    }
    for (const auto &entry : kCountryLanguages)
        if (primaryOf(entry.language) == primary)
            return region.empty() ? primary : primary + "-" + region;
    return std::string();
}

}  // namespace

std::string epubLanguage(int countryCode, const std::string &language) {
    std::string own = knownTag(language);
    for (const auto &entry : kCountryLanguages) {
        if (entry.country != countryCode) continue;
        // The edition's own tag where it names the same language ("fr-CA"
        // for French), the country's otherwise.
        if (!own.empty() && primaryOf(own) == primaryOf(entry.language) &&
            own.size() > primaryOf(own).size())
            return own;
        return entry.language;
    }
    return own.empty() ? "und" : own;
}

std::string editionLanguage(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(65536, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const unsigned char *b = reinterpret_cast<const unsigned char *>(head.data());
    if (head.size() > 2 && (b[0] & 0x0F) == 8 && ((b[0] << 8) | b[1]) % 31 == 0) {
        std::string text(262144, '\0');  // the start of a compressed edition
        z_stream z{};
        if (inflateInit(&z) == Z_OK) {
            z.next_in = reinterpret_cast<Bytef *>(&head[0]);
            z.avail_in = static_cast<uInt>(head.size());
            z.next_out = reinterpret_cast<Bytef *>(&text[0]);
            z.avail_out = static_cast<uInt>(text.size());
            inflate(&z, Z_SYNC_FLUSH);
            text.resize(z.total_out);
            inflateEnd(&z);
            head = text;
        }
    }
    std::string upper = head;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    size_t root = upper.find("<DUZUZUVU");
    if (root == std::string::npos) return std::string();
    size_t end = upper.find('>', root);
    size_t at = upper.find("LANGUAGE=\"", root);
    if (at == std::string::npos || at > end) return std::string();
    at += 10;
    size_t close = head.find('"', at);
    if (close == std::string::npos || close > end) return std::string();
    return head.substr(at, close - at);
}
