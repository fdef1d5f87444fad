// Writes a synthetic edition of about the given size.
//
//   make_edition [--size MB] [--compressed] [--seed N] [--title T]
//                [--date YYYY-MM-DD] [--language de|en] OUTPUT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "edition_generator.h"

int main(int argc, char **argv) {
    EditionPlan plan;
    double megabytes = 1;
    bool compressed = false;
    const char *output = nullptr;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--size" && more)
            megabytes = atof(argv[++i]);
        else if (a == "--compressed")
            compressed = true;
        else if (a == "--seed" && more)
            plan.seed = static_cast<unsigned>(atoi(argv[++i]));
        else if (a == "--title" && more)
            plan.title = argv[++i];
        else if (a == "--language" && more)
            plan.language = argv[++i];
        else if (a == "--date" && more)
            ok = sscanf(argv[++i], "%d-%d-%d", &plan.year, &plan.month, &plan.day) == 3;
        else if (a[0] != '-' && !output)
            output = argv[i];
        else
            ok = false;
    }
    if (!ok || !output || megabytes <= 0) {
        fprintf(stderr,
                "usage: make_edition [--size MB] [--compressed] [--seed N] [--title T]\n"
                "                    [--date YYYY-MM-DD] [--language de|en] OUTPUT\n");
        return 2;
    }
    plan.bytes = static_cast<size_t>(megabytes * 1024 * 1024);
    size_t resorts = 0;
    std::string text = generateEdition(plan, &resorts);
    std::string out = compressed ? compressEdition(text) : text;
    FILE *file = fopen(output, "wb");
    if (out.empty() || !file || fwrite(out.data(), 1, out.size(), file) != out.size() ||
        fclose(file) != 0) {
        fprintf(stderr, "make_edition: cannot write %s\n", output);
        return 1;
    }
    printf("%s: %zu bytes (%zu of text), %zu resorts\n", output, out.size(), text.size(), resorts);
    return 0;
}
