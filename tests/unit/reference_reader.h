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

// The parse tree of a text as the tests write it down: each item's text as
// the edition wrote it ("|" between items), an element's content in
// brackets, then its closing tag. message receives the reader's message.
std::string dumpTree(const std::string &text, std::string &message);

}  // namespace reference

// The library's parse tree, in the same form.
#include "documents/sgml_reader.h"

namespace reference {

inline std::string dumpLibraryTree(NodeRef n) {
    std::string out;
    for (; n;) {
        if (!out.empty()) out += '|';
        out += fullNodeText(n);
        if (sgmlNode(n).kind == kOpeningTag) {
            out += "[" + dumpLibraryTree(leftOf(n)) + "]";
            if (!rightOf(n)) break;
            out += fullNodeText(rightOf(n));
            n = leftOf(rightOf(n));
        } else {
            n = leftOf(n);
        }
    }
    return out;
}

}  // namespace reference
