// A plain model of how an edition's stored text reads: a node per item, a
// copy of every text, recursion-free walks in the binding orders. It is
// slow and simple on purpose; the tests hold the library's fast reader to
// its answers.
#pragma once

#include <string>

namespace reference {

struct Reading {
    std::string message;  // the reader's message; empty when the text parsed
    bool header = false;  // the header checks passed
    std::string title, language;
    bool hasLanguage = false;
    int year = 0, month = 0, day = 0;
    bool notice = false;  // readable, but without a GROUP
    // Resorts, articles and paragraphs in the store tests' walk format.
    std::string walk;
};

Reading read(const std::string &text);

}  // namespace reference
