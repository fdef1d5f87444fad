// Edition files: the two stored forms (plain SGML text or a zlib stream of
// it), the table of known tags, loading, and the one-time normalisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

// The twenty elements the library knows; a tag's row is its tagIndex.
struct TagPrefixes {
    const char *opening;
    const char *closing;
};
constexpr int kTagCount = 20;
extern const TagPrefixes kTagTable[kTagCount];

// The row whose opening or closing prefix begins text (compared with case),
// or -1.
int32_t lookupTagIndex(const char *text, size_t length);
// The same for a tag whose "<" is not at hand: text is what follows it,
// length bytes of it.
int32_t lookupTagIndexAfterBracket(const char *text, size_t length);

// True when the data is a zlib stream: it holds a byte no edition text has
// (a control byte other than TAB, LF, CR, or 0x82-0x9F) and begins with a
// valid zlib header.
bool isCompressed(const unsigned char *data, size_t length);

// A block from guardedAlloc, released with free().
struct EditionText {
    char *data = nullptr;
    size_t length = 0;
    size_t capacity = 0;  // the block's size, where known: it may serve again
    EditionText() = default;
    EditionText(EditionText &&other) noexcept
        : data(other.data), length(other.length), capacity(other.capacity) {
        other.data = nullptr;
        other.length = other.capacity = 0;
    }
    EditionText &operator=(EditionText &&other) noexcept {
        std::swap(data, other.data);
        std::swap(length, other.length);
        std::swap(capacity, other.capacity);
        return *this;
    }
    ~EditionText() { free(data); }
};

// An edition's text takes tens of megabytes, and the fresh pages of a block
// that large (which the system allocator maps anew every time) cost about
// as much as reading and parsing the text. So the largest block given back
// is kept for the next edition that fits in it, as an allocator keeps freed
// memory: across openings, scans and restarts of the library, until the
// library is unloaded. Giving a text back empties it.
void recycleEditionText(EditionText &text);

// How much larger than its stored form an edition's text may be.
constexpr size_t kExpansionLimit = 10;

// Reads at most recordedSize bytes of the file and expands them when they
// are compressed. False when the file cannot be read, the stream is broken,
// or its text is more than kExpansionLimit times its stored size.
bool loadEditionText(const char *path, size_t recordedSize, EditionText &out);

// Expands a zlib stream into at most limit bytes; false when it is broken or
// larger. With front, the text begins that many bytes into its block (and
// its length counts them).
bool expandEdition(const unsigned char *data, size_t length, size_t limit, EditionText &out,
                   size_t front = 0);

// The stored form of an edition's text: the prolog unchanged; only known
// tags, upper-cased; text mapped to 7-bit with bare ampersands written as
// "&amper;". Empty when there is no "<DUZUZUVU".
bool normaliseEditionText(const char *data, size_t length, EditionText &out);

// The same over the text's own block, whose text begins front bytes into it
// (its length counts them): out receives the block, or, should the text
// outgrow the room before it, a block of its own. text keeps what out does
// not take.
bool normaliseEditionInPlace(EditionText &text, size_t front, EditionText &out);

// The position of the first "<DUZUZUVU" in any case, or length when there
// is none.
size_t findRootTag(const char *data, size_t length);

// What became of an edition file the store tried to take in. Only refused
// says something about the edition: its content is no edition the library
// can read. failed is the system's doing (a file it may not rewrite or read,
// no room on the disk, no memory) and says nothing about the file, which is
// left as it was for the next scan to try again. kept: the file is left as
// it is for a reason the log already says.
enum class FileOutcome { done, refused, failed, kept };

// zlib counts lengths in uLong, 32 bits on Windows: no text of this size or
// more is compressed.
constexpr uint64_t kLargestCompressedText = uint64_t{1} << 32;

// Rewrites the file in its stored form, keeping its name and its form (plain
// or compressed, or plain when compressing would pass kExpansionLimit):
// refused when it has no root tag or its stream is broken, failed when it
// cannot be read or rewritten or memory runs out, kept when its text is too
// large to compress; in each case the file is left as it was. Done gives the new stored length and,
// when asked for, the normalised text itself (expanded), ready to parse.
FileOutcome normaliseEditionFile(const char *path, size_t listedSize, size_t &storedLength,
                                 EditionText *normalised = nullptr);
