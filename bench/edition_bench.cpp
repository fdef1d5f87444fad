// Normalising and parsing generated editions of 1, 10 and 50 MB, against
// libxml2's HTML parser (htmlReadMemory, which builds a comparable tree) on
// the same bytes in the same run. Prints throughput, the ratio to libxml2,
// how time grows with size, and the peak memory per MB of edition.
#include <libxml/HTMLparser.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "bench_util.h"
#include "documents/edition_format.h"
#include "documents/sgml_reader.h"
#include "edition_generator.h"

namespace {

void parseOurs(const std::string &text) {
    if (parseEdition(text.data(), text.size())) fprintf(stderr, "parse failed\n");
    freeSgmlTree();
}

void parseLibxml2(const std::string &text) {
    htmlDocPtr doc =
        htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "ISO-8859-1",
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (!doc) fprintf(stderr, "libxml2 gave no document\n");
    xmlFreeDoc(doc);
}

}  // namespace

enum class Step { normalise, parse, libxml2 };

// Peak memory per MB of edition for one step, each in a fresh process.
double peakPerMegabyte(int mb, Step step) {
    std::string raw, text;
    double peak = peakMegabytes(
        [&] {
            EditionPlan plan;
            plan.bytes = static_cast<size_t>(mb) << 20;
            raw = generateEdition(plan);
            EditionText stored;
            normaliseEditionText(raw.data(), raw.size(), stored);
            text.assign(stored.data, stored.length);
        },
        [&] {
            EditionText out;
            if (step == Step::normalise) normaliseEditionText(raw.data(), raw.size(), out);
            if (step == Step::parse) parseEdition(text.data(), text.size());
            if (step == Step::libxml2)
                htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "ISO-8859-1",
                               HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
        });
    return peak / mb;
}

int main() {
    double memory[3][3];
    const int sizes[] = {1, 10, 50};
    for (int s = 0; s < 3; ++s)
        for (Step step : {Step::normalise, Step::parse, Step::libxml2})
            memory[s][static_cast<int>(step)] = peakPerMegabyte(sizes[s], step);

    printf("%-6s %12s %12s %12s %8s %12s %12s %12s\n", "size", "normalise", "parse", "libxml2",
           "ratio", "norm MB/MB", "parse MB/MB", "libxml MB/MB");
    double parseTime10 = 0, parseTime50 = 0, normTime10 = 0, normTime50 = 0;
    // Times are of the steady state: freed memory stays with the process, as
    // it does for the library in a long-running host. Without this glibc
    // hands blocks over 32 MB back at once, so only the 50 MB runs would
    // pay for fresh pages every time.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    for (int s = 0; s < 3; ++s) {
        int mb = sizes[s];
        EditionPlan plan;
        plan.bytes = static_cast<size_t>(mb) << 20;
        std::string raw = generateEdition(plan);
        EditionText stored;
        if (!normaliseEditionText(raw.data(), raw.size(), stored)) return 1;
        std::string text(stored.data, stored.length);
        int runs = mb >= 50 ? 2 : 4;
        double megabytes = raw.size() / 1048576.0;
        double norm = seconds(
            [&] {
                EditionText out;
                normaliseEditionText(raw.data(), raw.size(), out);
            },
            runs);
        double ours = seconds([&] { parseOurs(text); }, runs);
        double theirs = seconds([&] { parseLibxml2(text); }, runs);
        double normPeak = memory[s][0], parsePeak = memory[s][1], libxmlPeak = memory[s][2];
        printf("%3d MB %7.1f MB/s %7.1f MB/s %7.1f MB/s %7.2fx %12.2f %12.2f %12.2f\n", mb,
               megabytes / norm, megabytes / ours, megabytes / theirs, theirs / ours, normPeak,
               parsePeak, libxmlPeak);
        if (mb == 10) parseTime10 = ours, normTime10 = norm;
        if (mb == 50) parseTime50 = ours, normTime50 = norm;
    }
    printf("growth 10 MB -> 50 MB: parse %.2fx, normalise %.2fx (linear is 5x)\n",
           parseTime50 / parseTime10, normTime50 / normTime10);
    return 0;
}
