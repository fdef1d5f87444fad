// (a) Opening a 50 MB edition through QL_FindFirstResort and walking every
//     resort, article and paragraph, against parsing the same bytes alone.
// (b) QL_Initialize on a folder of 255 editions, with and without their
//     header files.
#include <malloc.h>

#include <filesystem>

#include "bench_util.h"
#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "edition_generator.h"
#include "frame/knobs.h"
#include "qlapi.h"

namespace fs = std::filesystem;

namespace {

void configure(const fs::path &home, const fs::path &news) {
    fs::create_directories(home);
    configureLibrary(home.string(), news.string() + "/");
}

size_t walkAll(ItemId edition) { return walkEdition(edition); }

}  // namespace

int main() {
    mallopt(M_MMAP_THRESHOLD, 1 << 30);  // steady state, as in edition_bench
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    fs::path base = fs::temp_directory_path() / "qlapi-store-bench";
    fs::remove_all(base);

    // (a) one big edition
    fs::path news = base / "big";
    fs::create_directories(news);
    configure(base / "home", news);
    EditionPlan plan;
    plan.bytes = 50u << 20;
    writeFile((news / "big.eif").string(), generateEdition(plan));
    if (QL_Initialize(1) != QL_OK) return 1;
    std::string stored;
    {
        std::ifstream in(news / "big.eif", std::ios::binary);
        stored.assign(std::istreambuf_iterator<char>(in), {});
    }
    double megabytes = stored.size() / 1048576.0;
    size_t paragraphs = 0;
    double walk = seconds(
        [&] {
            knobs::resetLibrary();  // a fresh library, so the edition is parsed again
            QL_Initialize(1);
            paragraphs = walkAll(0);
        },
        2);
    double init = seconds(
        [&] {
            knobs::resetLibrary();
            QL_Initialize(1);
        },
        2);
    double parse = seconds(
        [&] {
            std::string copy = stored;
            parseEdition(&copy[0], copy.size());
            freeSgmlTree();
        },
        2);
    double openWalk = walk - init;
    double peak = peakMegabytes(
        [] {
            knobs::resetLibrary();
            QL_Initialize(1);
        },
        [] { walkAll(0); });
    printf(
        "(a) %.1f MB edition, %zu paragraphs: open and walk %.3f s, parse alone %.3f s,"
        " ratio %.2f (walk adds %.0f%%); peak %.2f MB per MB\n",
        megabytes, paragraphs, openWalk, parse, openWalk / parse, 100 * (openWalk - parse) / parse,
        peak / megabytes);
    knobs::resetLibrary();

    // (b) 255 editions
    news = base / "many";
    fs::create_directories(news);
    configure(base / "home", news);
    std::vector<std::string> raw;
    for (int i = 0; i < 255; ++i) {
        EditionPlan e;
        e.bytes = 200 << 10;
        e.seed = static_cast<unsigned>(i + 1);
        e.year = 2000 + i;
        raw.push_back(generateEdition(e));
    }
    auto fill = [&] {
        for (int i = 0; i < 255; ++i)
            writeFile((news / ("e" + std::to_string(i) + ".eif")).string(), raw[i]);
        for (auto &f : fs::directory_iterator(news))
            if (f.path().extension() == ".ehd") fs::remove(f.path());
    };
    double full = 0, headers = 0;
    for (int run = 0; run < 2; ++run) {
        fill();
        full += seconds(
            [] {
                knobs::resetLibrary();
                QL_Initialize(1);
            },
            1);
        headers += seconds(
            [] {
                knobs::resetLibrary();
                QL_Initialize(1);
            },
            3);
    }
    printf(
        "(b) QL_Initialize, 255 editions of 200 KB: without header files %.3f s,"
        " with them %.4f s, %.0fx faster\n",
        full / 2, headers / 2, full / headers);
    knobs::resetLibrary();
    fs::remove_all(base);
    return 0;
}
