// Synthetic editions for the tools, benchmarks and fuzzers.
#include "edition_generator.h"

#include <zlib.h>

#include <cstring>
#include <random>

namespace {

const char *const kWords[] = {"Stadt",         "Rat",
                              "Haushalt",      "Schule",
                              "Verkehr",       "Bahn",
                              "Wetter",        "Markt",
                              "Kultur",        "Theater",
                              "Bibliothek",    "Sport",
                              "Verein",        "Zeitung",
                              "Leser",         "Woche",
                              "M&uuml;hle",    "Gr&ouml;&szlig;e",
                              "B&auml;ckerei", "&Uuml;berblick",
                              "Stra&szlig;e",  "und",
                              "der",           "die",
                              "das",           "mit",
                              "f&uuml;r",      "&uuml;ber",
                              "nach"};
// The same words spelt without references, where the list above has them.
const char *const kPlainWords[] = {"Muehle",  "Groesse", "Baeckerei", "Ueberblick",
                                   "Strasse", "fuer",    "ueber"};
const char *const kResorts[] = {"Politik", "Wirtschaft", "Kultur", "Sport",
                                "Lokales", "Wissen",     "Reise",  "Leserbriefe"};

class Writer {
  public:
    Writer(unsigned seed, bool references) : random_(seed), references_(references) {}
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
    std::string sentence(int words) {
        std::string s;
        for (int i = 0; i < words; ++i) {
            if (i) s += ' ';
            const char *word = kWords[pick(sizeof kWords / sizeof *kWords)];
            if (!references_ && strchr(word, '&'))
                word = kPlainWords[pick(sizeof kPlainWords / sizeof *kPlainWords)];
            s += word;
        }
        return s;
    }
    std::string paragraph(int words) {
        if (words) return "<P>" + sentence(words / 2 + static_cast<int>(pick(words))) + ".</P>\r\n";
        std::string p = "<P>" + sentence(8 + static_cast<int>(pick(30)));
        switch (pick(8)) {  // what real editions carry inside their paragraphs
            case 0:
                p += " <B>" + sentence(2) + "</B> " + sentence(3);
                break;
            case 1:
                p += " M&S Handel & Partner";
                break;
            case 2:
                p += "<BR>\r\n" + sentence(5);
                break;
            case 3:
                p += " 3 > 2 &quot;" + sentence(2) + "&quot;";
                break;
            default:
                break;
        }
        return p + ".</P>\r\n";
    }

  private:
    std::mt19937 random_;
    bool references_;
};

}  // namespace

std::string generateEdition(const EditionPlan &o, size_t *resortCount) {
    Writer w(o.seed, o.references);
    std::string text;
    text.reserve(o.bytes + 4096);
    text +=
        "<!DOCTYPE DUZUZUVU SYSTEM \"duzuzuvu.dtd\">\r\n"
        "<!-- synthetic edition made by make_edition -->\r\n"
        "<!ENTITY euro CDATA \"EUR\">\r\n"
        "<DUZUZUVU LANGUAGE=\"" +
        o.language +
        "\">\r\n<ISSUE>\r\n"
        "<NPINFO><NPID>SYN</NPID><NPTL>" +
        o.title +
        "</NPTL></NPINFO>\r\n"
        "<EDINFO><CD YEAR=\"" +
        std::to_string(o.year) + "\" MONTH=\"" + std::to_string(o.month) + "\" DAY=\"" +
        std::to_string(o.day) + "\"></CD></EDINFO>\r\n";
    const std::string ending = "</ISSUE>\r\n</DUZUZUVU>\r\n";
    size_t resorts = 0;
    while (text.size() + ending.size() < o.bytes) {
        text += "<GROUP><GRTITLE>" + std::string(kResorts[resorts % 8]) + " " +
                std::to_string(resorts / 8 + 1) + "</GRTITLE>\r\n";
        ++resorts;
        for (int a = 0; a < 40 && text.size() + ending.size() < o.bytes; ++a) {
            text += "<ARTICLE><ATL>" + w.sentence(4 + static_cast<int>(w.pick(6))) + "</ATL>\r\n";
            if (w.pick(3) == 0) text += "<SBT>" + w.sentence(6) + "</SBT>\r\n";
            for (size_t p = 0, n = 3 + w.pick(25); p < n; ++p)
                text += w.paragraph(o.paragraphWords);
            text += "</ARTICLE>\r\n";
        }
        text += "</GROUP>\r\n";
    }
    text += ending;
    if (resortCount) *resortCount = resorts;
    return text;
}

std::string compressEdition(const std::string &text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(&out[0]), &size,
                  reinterpret_cast<const Bytef *>(text.data()), static_cast<uLong>(text.size()),
                  9) != Z_OK)
        return std::string();
    out.resize(size);
    return out;
}
