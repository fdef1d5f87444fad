// Where a book is written: the checks before anything is written, the part
// file beside the target, and putting it in place. Nothing a user already
// has is ever written into, followed through a link, or replaced when it is
// read-only; every refusal names the file and the system's reason. The
// texts are German in ISO 8859-1, like the program's other texts.
#ifndef QUILLON_OUTPUT_FILE_H
#define QUILLON_OUTPUT_FILE_H

#include <cstdio>
#include <string>

// Why nothing was written: a sentence with "{file}" (and "{reason}" where
// the system gave one) filled in by describe().
struct WriteFailure {
    const char *text = nullptr;
    std::string file, reason;
    explicit operator bool() const { return text != nullptr; }
};

// The sentence as the reader's texts are kept (ISO 8859-1 with the German
// quotation marks of Windows-1252), or with its own words in UTF-8 for a
// terminal; the file name is taken as it is.
std::string describe(const WriteFailure &failure, bool utf8);

// ISO 8859-1 to UTF-8, with the German quotation marks of Windows-1252
// (0x84 and 0x93) that the reader's sentences use.
std::string latin1ToUtf8(const std::string &text);

// True when both names lead to one existing file, however they are spelled
// (links and other names included).
bool sameFile(const std::string &a, const std::string &b);

// Whether a book may be put at `path`: refused for a folder or anything but
// a plain file, for a read-only file, and for a folder that is not there.
WriteFailure checkTarget(const std::string &path);

// Creates a new part file with a name of its own beside `path` (never an
// existing file, never through a link); its name comes back in `part`.
FILE *createPartFile(const std::string &path, std::string &part, WriteFailure &failure);

// Replaces `path` by the finished part file in one step; the part file is
// removed when that fails.
WriteFailure putInPlace(const std::string &part, const std::string &path);

// Removes a part file this program made.
void removePartFile(const std::string &part);

// The system's reason for the last failed call (errno), in German.
std::string systemReason(int error);

// The sentences.
extern const char kSameFile[], kNotAFile[], kReadOnly[], kNoFolder[], kCannotCreate[],
    kCannotWrite[], kCannotReplace[], kCannotCheck[];

#endif
