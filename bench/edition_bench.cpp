// What a reader waits for, through the exports on generated editions of 10
// and 50 MB, against libxml2's HTML parser on the same stored bytes in the
// same run:
//  - first scan: QL_Initialize on a folder with the new edition (read,
//    normalise, write back, read the header);
//  - header scan: QL_Initialize again, with the header file there;
//  - opening: QL_FindFirstResort on the unopened edition (read, parse,
//    build the newspaper);
//  - walk: every resort, article and paragraph through the finds;
//  - libxml2: htmlReadMemory with HTML_PARSE_COMPACT and no encoding
//    conversion, parse only (freeing its tree is not counted);
//  - peak: the memory the library adds at its peak over first scan,
//    opening and walk, per MB of edition, in a fresh process.
// Three kinds of edition: "dense" is the generator's usual one (short
// paragraphs, many references); "long" has paragraphs of a hundred words
// and more; "plain" has such paragraphs without references, on which
// libxml2 is at its fastest. Best of three runs each.
// The older columns (normalising and parsing alone) come last.
#include <libxml/HTMLparser.h>
#include <malloc.h>

#include <filesystem>

#include "bench_util.h"
#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "edition_generator.h"
#include "epub.h"
#include "frame/knobs.h"
#include "static_binding.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBase = fs::temp_directory_path() / "qlapi-edition-bench";

htmlDocPtr parseLibxml2(const std::string &text) {
    return htmlReadMemory(
        text.data(), static_cast<int>(text.size()), nullptr, nullptr,
        HTML_PARSE_COMPACT | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
}

// A folder with the raw edition and no header file, and a library that has
// not read it yet.
void freshFolder(const std::string &raw) {
    fs::remove_all(kBase / "news");
    fs::create_directories(kBase / "news");
    writeFile((kBase / "news" / "edition.eif").string(), raw);
    knobs::resetLibrary();
}

void initialise() {
    knobs::resetLibrary();
    if (QL_Initialize(1) != QL_OK) fprintf(stderr, "QL_Initialize failed\n");
}

enum Kind { dense, longParagraphs, plain };
const char *const kKindNames[] = {"dense", "long", "plain"};

EditionPlan planFor(int mb, Kind kind) {
    EditionPlan plan;
    plan.bytes = static_cast<size_t>(mb) << 20;
    if (kind != dense) plan.paragraphWords = 120;
    plan.references = kind != plain;
    return plan;
}

struct Figures {
    double firstScan, headerScan, opening, walk, libxml2, normalise, parse;
};

Figures measure(int mb, Kind kind) {
    Figures f{};
    std::string raw = generateEdition(planFor(mb, kind));
    f.firstScan = 1e9;
    for (int run = 0; run < 3; ++run) {
        freshFolder(raw);
        f.firstScan = std::min(f.firstScan, seconds(initialise, 1));
    }
    f.headerScan = seconds(initialise, 3);
    std::string stored = readFile((kBase / "news" / "edition.eif").string());
    f.opening = 1e9;
    f.walk = 1e9;
    for (int run = 0; run < 3; ++run) {
        initialise();
        f.opening = std::min(f.opening, seconds([] { QL_FindFirstResort(0); }, 1));
        f.walk = std::min(f.walk, seconds([] { walkEdition(0); }, 1));
    }
    f.libxml2 = 1e9;
    for (int run = 0; run < 3; ++run) {
        htmlDocPtr doc = nullptr;
        f.libxml2 = std::min(f.libxml2, seconds([&] { doc = parseLibxml2(stored); }, 1));
        if (!doc) fprintf(stderr, "libxml2 gave no document\n");
        xmlFreeDoc(doc);
    }
    f.normalise = seconds(
        [&] {
            EditionText out;
            normaliseEditionText(raw.data(), raw.size(), out);
        },
        3);
    f.parse = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::string copy = stored;  // the reader rewrites its text
        f.parse = std::min(f.parse, seconds([&] { parseEdition(&copy[0], copy.size()); }, 1));
        freeSgmlTree();
    }
    return f;
}

// The peak of first scan, opening and walk, per MB, in a fresh process.
double peakPerMegabyte(int mb, Kind kind) {
    return peakMegabytes(
               [&] {
                   std::string raw = generateEdition(planFor(mb, kind));
                   freshFolder(raw);
               },
               [] {
                   initialise();
                   walkEdition(0);
               }) /
           mb;
}

}  // namespace

int main() {
    fs::create_directories(kBase);
    configureLibrary(kBase.string(), (kBase / "news").string() + "/");
    printf("%-10s %11s %11s %11s %11s %11s %8s %7s %11s %11s\n", "edition", "first scan",
           "header scan", "opening", "walk", "libxml2", "libxml2/", "peak", "normalise", "parse");
    printf("%-10s %11s %11s %11s %11s %11s %8s %7s %11s %11s\n", "", "MB/s", "s", "MB/s", "s",
           "MB/s", "opening", "MB/MB", "MB/s", "MB/s");
    // Memory first, before anything else has run in this process: each
    // child starts from the heap as it is now.
    double peak[3][2];
    for (Kind kind : {dense, longParagraphs, plain})
        for (int size : {0, 1}) peak[kind][size] = peakPerMegabyte(size ? 50 : 10, kind);
    for (Kind kind : {dense, longParagraphs, plain}) {
        double opening10 = 0;
        for (int mb : {10, 50}) {
            Figures f = measure(mb, kind);
            printf("%2d MB %-5s %10.0f %11.4f %11.0f %11.3f %11.0f %7.2fx %7.2f %11.0f %11.0f\n",
                   mb, kKindNames[kind], mb / f.firstScan, f.headerScan, mb / f.opening, f.walk,
                   mb / f.libxml2, f.libxml2 / f.opening, peak[kind][mb == 50], mb / f.normalise,
                   mb / f.parse);
            if (mb == 10) opening10 = f.opening;
            if (mb == 50)
                printf("growth 10 MB -> 50 MB (%s): opening %.2fx (linear is 5x)\n",
                       kKindNames[kind], f.opening / opening10);
        }
    }
    // The e-book of the 50 MB dense edition, against opening it.
    {
        freshFolder(generateEdition(planFor(50, dense)));
        initialise();
        double opening = seconds([] { QL_FindFirstResort(0); }, 1);
        const NewspaperRecord *paper = QL_FindFirstNewspaper();
        EpubEdition edition{paper->id, paper->title, paper->date, paper->countryCode, "", ""};
        std::string out = (kBase / "edition.epub").string();
        EpubResult written;
        double epub =
            seconds([&] { written = writeEpub(staticLibraryBinding(), edition, out); }, 1);
        printf(
            "EPUB of the 50 MB dense edition: %.2f s for %d articles, %.1f MB (opening it: "
            "%.3f s)\n",
            epub, written.articles, fs::file_size(out) / 1048576.0, opening);
    }
    knobs::resetLibrary();
    fs::remove_all(kBase);
    return 0;
}
