// Synthetic editions: many resorts, each article in its own ARTICLE element,
// thousands of paragraphs with references, inline tags and bare ampersands,
// as real editions have them before normalisation. Used by make_edition,
// the benchmarks and the fuzzers' seed corpus.
#pragma once

#include <cstddef>
#include <string>

struct EditionPlan {
    size_t bytes = 1 << 20;  // about this much text
    unsigned seed = 1;
    std::string title = "Quillon Tageblatt";
    int year = 2026, month = 12, day = 7;
    std::string language = "de";
    // Words in a paragraph: 0 for the usual 8 to 38 with inline tags and
    // ampersands now and then, otherwise about this many and plain.
    int paragraphWords = 0;
    // Words with entity references (M&uuml;hle) or without (Muehle).
    bool references = true;
};

// The edition's text; resorts, when given, receives the number of resorts.
std::string generateEdition(const EditionPlan &plan, size_t *resorts = nullptr);

// The zlib stream (level 9) of a text; empty when compression fails.
std::string compressEdition(const std::string &text);
