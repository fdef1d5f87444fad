// Edition files: recognising, loading and normalising them.
#include "documents/edition_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/library_state.h"
#include "core/log.h"
#include "documents/byte_scan.h"
#include "platform/platform.h"

const TagPrefixes kTagTable[kTagCount] = {
    {"<P>", "</P>"},           {"<ATL", "</ATL"},
    {"<HDLINE", "</HDLINE"},   {"<SBT", "</SBT"},
    {"<ARTICLE", "</ARTICLE"}, {"<GRTITLE", "</GRTITLE"},
    {"<GROUP", "</GROUP"},     {"<DUZUZUVU", "</DUZUZUVU"},
    {"<ISSUE", "</ISSUE"},     {"<PINFO", "</PINFO"},
    {"<PNM>", "</PNM>"},       {"<LOC", "</LOC"},
    {"<NPINFO", "</NPINFO"},   {"<NPID", "</NPID"},
    {"<NPTL", "</NPTL"},       {"<NPSBT", "</NPSBT"},
    {"<EDINFO", "</EDINFO"},   {"<YID", "</YID"},
    {"<IID", "</IID"},         {"<CD", "</CD"},
};

namespace {

// The rows of the table by the first letter of their name (the prefix after
// "<" or "</"), in table order, so that a lookup tries only rows that can
// match: a tag is looked up for every tag of every edition.
struct RowsByLetter {
    int8_t rows[256][4];
    uint8_t nameLength[kTagCount];
    RowsByLetter() : rows(), nameLength() {
        for (auto &r : rows)
            for (int8_t &row : r) row = -1;
        for (int i = 0; i < kTagCount; ++i) {
            const char *name = kTagTable[i].opening + 1;
            nameLength[i] = static_cast<uint8_t>(strlen(name));
            int8_t *r = rows[static_cast<unsigned char>(name[0])];
            while (*r >= 0) ++r;
            *r = static_cast<int8_t>(i);
        }
    }
};
const RowsByLetter &rowsByLetter() {
    static const RowsByLetter rows;
    return rows;
}

}  // namespace

int32_t lookupTagIndexAfterBracket(const char *text, size_t length) {
    // Every closing prefix is its opening prefix with "/" after the "<".
    bool closing = length > 0 && text[0] == '/';
    const char *name = text + closing;
    size_t n = length - closing;
    if (n == 0) return -1;
    const RowsByLetter &table = rowsByLetter();
    for (int8_t row : table.rows[static_cast<unsigned char>(name[0])]) {
        if (row < 0) break;
        size_t prefix = table.nameLength[row];
        if (prefix <= n && memcmp(name, kTagTable[row].opening + 1, prefix) == 0) return row;
    }
    return -1;
}

int32_t lookupTagIndex(const char *text, size_t length) {
    if (length < 2 || text[0] != '<') return -1;
    return lookupTagIndexAfterBracket(text + 1, length - 1);
}

static bool isBinaryByte(unsigned char c) {
    return (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F) ||
           (c >= 0x82 && c <= 0x9F);
}

bool isCompressed(const unsigned char *data, size_t length) {
    // A plain edition with a stray control byte must not be taken for a
    // stream: only data that also opens like one (deflate, a window zlib
    // knows, the header checksum) is.
    if (length < 2 || (data[0] & 0x0F) != 8 || (data[0] >> 4) > 7 ||
        ((data[0] << 8) | data[1]) % 31 != 0)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (isBinaryByte(data[i])) return true;
    return false;
}

bool expandEdition(const unsigned char *data, size_t length, size_t limit, EditionText &out,
                   size_t front) {
    // Grow towards the limit instead of taking it at once: most editions are
    // a few times their compressed size.
    size_t capacity = std::min(limit, std::max<size_t>(length * 4, 65536));
    EditionText text;
    text.data = static_cast<char *>(guardedAlloc(front + capacity + 1));
    if (!text.data) return false;
    text.length = front;
    text.capacity = front + capacity + 1;
    z_stream z{};
    if (int rc = inflateInit(&z); rc != Z_OK) {
        if (rc == Z_MEM_ERROR) reportOutOfMemory();
        return false;
    }
    z.next_in = const_cast<Bytef *>(data);
    int rc = Z_OK;
    size_t consumed = 0;
    while (rc == Z_OK) {
        if (text.length - front >= capacity) {
            if (capacity == limit) break;
            size_t grown = std::min(limit, capacity * 2);
            char *bigger = static_cast<char *>(guardedAlloc(front + grown + 1));
            if (!bigger) break;
            memcpy(bigger, text.data, text.length);
            free(text.data);
            text.data = bigger;
            capacity = grown;
            text.capacity = front + capacity + 1;
        }
        size_t in = std::min<size_t>(length - consumed, 1u << 30);
        // At the limit the terminator's byte serves as a probe: a stream that
        // fills it is too large, one that ends just before it fits exactly.
        size_t usable = capacity == limit ? capacity + 1 : capacity;
        size_t room = std::min<size_t>(usable - (text.length - front), 1u << 30);
        z.next_in = const_cast<Bytef *>(data + consumed);
        z.avail_in = static_cast<uInt>(in);
        z.next_out = reinterpret_cast<Bytef *>(text.data + text.length);
        z.avail_out = static_cast<uInt>(room);
        rc = inflate(&z, Z_NO_FLUSH);
        consumed += in - z.avail_in;
        text.length += room - z.avail_out;
        if (rc == Z_BUF_ERROR && z.avail_out != 0) break;  // the stream ends early
        if (rc == Z_BUF_ERROR) rc = Z_OK;
    }
    inflateEnd(&z);
    if (rc == Z_MEM_ERROR) reportOutOfMemory();
    if (rc != Z_STREAM_END || text.length - front > limit) return false;
    text.data[text.length] = '\0';
    out = std::move(text);
    return true;
}

namespace {

// The block kept for the next edition. Scans and lists may run on another
// thread of the host than the finds.
std::mutex g_keptLock;
EditionText g_kept;

// A block of at least size bytes: the kept one when it is large enough.
bool editionBlock(size_t size, EditionText &out) {
    {
        std::lock_guard<std::mutex> lock(g_keptLock);
        if (g_kept.data && g_kept.capacity >= size) {
            out = std::move(g_kept);
            out.length = 0;
            return true;
        }
    }
    out = EditionText();
    out.data = static_cast<char *>(guardedAlloc(size));
    out.capacity = out.data ? size : 0;
    return out.data != nullptr;
}

}  // namespace

void recycleEditionText(EditionText &text) {
    EditionText given = std::move(text);
    if (!given.data || !given.capacity) return;
    std::lock_guard<std::mutex> lock(g_keptLock);
    if (given.capacity > g_kept.capacity) std::swap(given, g_kept);  // the larger one stays
}

// Reads up to limit bytes of the file into a guarded block, front bytes
// into it (the length counts them); false when it cannot be opened or read,
// or memory runs out.
static bool readFileStart(const char *path, size_t limit, EditionText &out, size_t front = 0) {
    FILE *file = fopen(path, "rb");
    if (!file) return false;
    EditionText raw;
    bool ok = editionBlock(front + limit + 1, raw);
    if (ok) raw.length = front + fread(raw.data + front, 1, limit, file);
    ok = ok && !ferror(file);
    fclose(file);
    if (!ok) {
        recycleEditionText(raw);
        return false;
    }
    raw.data[raw.length] = '\0';
    out = std::move(raw);
    return true;
}

// Expands text (whose bytes begin front bytes into it) when it is a
// stream. The expanded text begins front bytes into its block, front then
// grown in step with the text (most streams are a fifth of their text).
static bool expandIfCompressed(EditionText &text, bool &wasCompressed, size_t &front) {
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data) + front;
    size_t length = text.length - front;
    wasCompressed = isCompressed(bytes, length);
    if (!wasCompressed) return true;
    EditionText expanded;
    size_t expandedFront = front ? length / 4 + 256 : 0;
    if (!expandEdition(bytes, length, length * kExpansionLimit, expanded, expandedFront))
        return false;
    text = std::move(expanded);
    front = expandedFront;
    return true;
}

bool loadEditionText(const char *path, size_t recordedSize, EditionText &out) {
    EditionText text;
    bool compressed = false;
    size_t front = 0;
    if (!readFileStart(path, recordedSize, text) || !expandIfCompressed(text, compressed, front))
        return false;
    out = std::move(text);
    return true;
}

// The first "<DUZUZUVU" in any case, or length when there is none.
size_t findRootTag(const char *data, size_t length) {
    static const char kRoot[] = "<DUZUZUVU";
    for (size_t i = 0; i + 9 <= length; ++i) {
        const char *p = static_cast<const char *>(memchr(data + i, '<', length - i));
        if (!p) break;
        i = static_cast<size_t>(p - data);
        if (i + 9 > length) break;
        size_t k = 1;
        while (k < 9 && (p[k] == kRoot[k] || (p[k] >= 'a' && p[k] <= 'z' && p[k] - 32 == kRoot[k])))
            ++k;
        if (k == 9) return i;
    }
    return length;
}

// Whether the "&" at data[i] begins an entity reference.
static bool startsReference(const char *data, size_t length, size_t i) {
    if (data[i + 1] == ' ') return false;
    if (length - i - 1 < 15) return true;  // too near the end to tell: keep it
    for (size_t k = i + 1; k <= i + 14; ++k) {
        if (data[k] == ';') return true;
        if (data[k] == '<') return false;
    }
    return false;
}

// Whether the "&" at data[i] stays as it is: it begins a reference, or it
// is the last byte.
static bool keepsAmpersand(const char *data, size_t length, size_t i) {
    return i + 1 >= length || startsReference(data, length, i);
}

namespace {

// Where the normalised text goes: a guarded block of its own that grows as
// needed, or the input's own block, written behind the reading. Normalising
// never lengthens a text except for a bare "&" (seven bytes for one) and
// a ">" for an unfinished tag, so the input's block, given some room before
// the input, almost always takes it; should the writing catch up with the
// reading, the text written so far moves to a block of its own.
class Output {
  public:
    Output() = default;
    // Over the block that holds the input, length bytes from front on.
    Output(EditionText &block, size_t front, size_t length)
        : shared_(&block), front_(front), inputLength_(length) {
        out_ = block.data;
    }
    bool reserve(size_t capacity) {
        char *bigger = static_cast<char *>(guardedAlloc(capacity + 1));
        if (!bigger) return false;
        if (length_) memcpy(bigger, out_, length_);
        if (!shared_) free(out_);
        shared_ = nullptr;
        out_ = bigger;
        capacity_ = capacity;
        return true;
    }
    // Makes room for n more bytes, written once consumed bytes of the input
    // have been read.
    bool room(size_t n, size_t consumed) {
        if (shared_) {
            if (length_ + n <= front_ + consumed) return true;
            return reserve(length_ + n + (inputLength_ - consumed) / 4 * 5 + 16384);
        }
        if (length_ + n <= capacity_) return true;
        return reserve(std::max(length_ + n, capacity_ + capacity_ / 2));
    }
    char *at(size_t position) { return out_ + position; }
    void append(const char *p, size_t n) {
        char *to = out_ + length_;
        length_ += n;
        if (to == p) return;
        if (n > 16) {
            memmove(to, p, n);
            return;
        }
        // Tags and short runs: no call. Forward, which is safe over the input
        // too, since the writing stays behind the reading.
        for (size_t k = 0; k < n; ++k) to[k] = p[k];
    }
    void put(char c) { out_[length_++] = c; }
    size_t length() const { return length_; }
    void truncate(size_t length) { length_ = length; }
    // The normalised text. Over the input's block, that block itself.
    EditionText take() {
        EditionText text;
        if (shared_) {
            text = std::move(*shared_);
        } else {
            text.data = out_;
            text.capacity = capacity_ + 1;
            out_ = nullptr;
        }
        text.length = length_;
        text.data[text.length] = '\0';
        return text;
    }
    ~Output() {
        if (!shared_) free(out_);
    }

  private:
    EditionText *shared_ = nullptr;
    size_t front_ = 0, inputLength_ = 0;
    char *out_ = nullptr;
    size_t length_ = 0, capacity_ = 0;
};

}  // namespace

// The normalisation itself, from data into output.
static bool normaliseInto(const char *data, size_t length, Output &output) {
    size_t root = findRootTag(data, length);
    if (root == length) return false;
    if (!output.room(root, root)) return false;
    output.append(data, root);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(data);
    size_t tagStart = 0;  // where the open tag begins in the output
    bool inTag = false;
    for (size_t i = root; i < length;) {
        char c = data[i];
        if (c == '<') {
            if (!output.room(2, i + 1)) return false;
            if (inTag) {  // an unfinished tag ends where the next begins, case as it is
                output.put('>');
                if (lookupTagIndex(output.at(tagStart), output.length() - tagStart) < 0)
                    output.truncate(tagStart);
            }
            tagStart = output.length();
            output.put('<');
            inTag = true;
            ++i;
        } else if (inTag) {  // the tag runs to its ">" or to the next "<"
            size_t end = i;
            while (end < length && data[end] != '>' && data[end] != '<') ++end;
            bool closed = end < length && data[end] == '>';
            size_t n = end - i + (closed ? 1 : 0);
            if (!output.room(n, i + n)) return false;
            output.append(data + i, n);
            i += n;
            if (closed) {
                char *tag = output.at(tagStart);
                size_t tagLength = output.length() - tagStart;
                for (size_t k = 0; k < tagLength; ++k)
                    if (tag[k] >= 'a' && tag[k] <= 'z') tag[k] = static_cast<char>(tag[k] - 32);
                if (lookupTagIndex(tag, tagLength) < 0) output.truncate(tagStart);
                inTag = false;
            }
        } else if (isPlainTextByte(bytes[i]) || (c == '&' && keepsAmpersand(data, length, i))) {
            // Plain bytes and references go as they are, in one piece.
            size_t end = i + 1;
            for (;;) {
                end += plainTextLength(bytes + end, length - end);
                if (end == length || data[end] != '&' || !keepsAmpersand(data, length, end)) break;
                ++end;
            }
            if (!output.room(end - i, end)) return false;
            output.append(data + i, end - i);
            i = end;
        } else if (c == '&') {  // a bare one
            if (!output.room(7, i + 1)) return false;
            output.append("&amper;", 7);
            ++i;
        } else {  // ">", line breaks, control and 8-bit bytes
            if (!output.room(1, i + 1)) return false;
            output.put(' ');
            ++i;
        }
    }
    if (inTag) output.truncate(tagStart);  // a tag still open at the end is dropped
    return true;
}

bool normaliseEditionText(const char *data, size_t length, EditionText &out) {
    Output output;
    // Bare ampersands grow the text; pages never written cost nothing, so
    // reserve generously rather than copy the text again later.
    if (!output.reserve(length + length / 4 + 16384)) return false;
    if (!normaliseInto(data, length, output)) return false;
    out = output.take();
    return true;
}

bool normaliseEditionInPlace(EditionText &text, size_t front, EditionText &out) {
    size_t length = text.length - front;
    Output output(text, front, length);
    if (!normaliseInto(text.data + front, length, output)) return false;
    out = output.take();
    return true;
}

// Compresses the text so that loading takes it back: the text may be at
// most kExpansionLimit times its stored size. The best level first, then a
// faster one, which packs less tightly; a text that both would pack beyond
// the limit is stored plainly (the loader reads plain editions as they
// are). Gives false, with nothing in out, when memory runs out.
static bool compressEdition(const EditionText &text, EditionText &out, bool &plain) {
    plain = false;
    // Room for the worst case: a short edition may grow when compressed.
    uLongf bound = compressBound(static_cast<uLong>(text.length));
    EditionText packed;
    packed.data = static_cast<char *>(guardedAlloc(bound));
    if (!packed.data) return false;
    for (int level : {9, 1}) {
        uLongf size = bound;
        int rc = compress2(reinterpret_cast<Bytef *>(packed.data), &size,
                           reinterpret_cast<const Bytef *>(text.data),
                           static_cast<uLong>(text.length), level);
        if (rc == Z_MEM_ERROR) reportOutOfMemory();
        if (rc != Z_OK) return false;
        if (text.length <= size_t{size} * kExpansionLimit) {
            packed.length = size;
            out = std::move(packed);
            return true;
        }
    }
    plain = true;
    return true;
}

FileOutcome normaliseEditionFile(const char *path, size_t listedSize, size_t &storedLength,
                                 EditionText *normalised) {
    // A file the library may not rewrite is left alone, and so is one it
    // cannot read: neither says anything about the edition.
    if (!platform::canRewriteFile(path)) return FileOutcome::failed;
    AllocationWatch memory;
    auto refusedUnlessShort = [&memory] {
        return memory.failed() ? FileOutcome::failed : FileOutcome::refused;
    };
    // The file is read into its final place: with room before it, the
    // normalised text is written over it.
    EditionText text;
    size_t front = listedSize / 32 + 256;
    if (!readFileStart(path, listedSize, text, front)) return FileOutcome::failed;
    bool compressed = false;
    if (!expandIfCompressed(text, compressed, front)) return refusedUnlessShort();
    EditionText stored;
    if (!normaliseEditionInPlace(text, front, stored)) {
        recycleEditionText(text);
        return refusedUnlessShort();
    }
    recycleEditionText(text);  // the input's block, when the text outgrew it
    // zlib counts in uLong, 32 bits on Windows: a text that large would be
    // written back cut short, so it is left as it is, on every system alike.
    if (compressed && stored.length >= kLargestCompressedText) {
        writeLog("%s is 4 GiB or more when expanded; it is left as it is\n", path);
        return FileOutcome::kept;
    }
    EditionText packed;
    bool plain = false;
    if (compressed && !compressEdition(stored, packed, plain)) return FileOutcome::failed;
    const EditionText &out = compressed && !plain ? packed : stored;

    // Written beside the edition, flushed and then put in its place, so that
    // a crash, a power cut or a full disk leaves the old file, never half of
    // the new one.
    std::string temp = std::string(path) + ".tmp";
    if (!platform::writeFileReplacing(path, temp.c_str(), out.data, out.length))
        return FileOutcome::failed;
    storedLength = out.length;
    if (normalised) *normalised = std::move(stored);
    return FileOutcome::done;
}
