// Edition files: recognising, loading and normalising them.
#include "documents/edition_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/library_state.h"
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

static bool startsWith(const char *text, size_t length, const char *prefix) {
    size_t n = strlen(prefix);
    return n <= length && memcmp(text, prefix, n) == 0;
}

int32_t lookupTagIndex(const char *text, size_t length) {
    if (length < 2 || text[0] != '<') return -1;
    bool closing = text[1] == '/';
    for (int i = 0; i < kTagCount; ++i) {
        if (startsWith(text, length, closing ? kTagTable[i].closing : kTagTable[i].opening))
            return i;
    }
    return -1;
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

bool expandEdition(const unsigned char *data, size_t length, size_t limit, EditionText &out) {
    // Grow towards the limit instead of taking it at once: most editions are
    // a few times their compressed size.
    size_t capacity = std::min(limit, std::max<size_t>(length * 4, 65536));
    EditionText text;
    text.data = static_cast<char *>(guardedAlloc(capacity + 1));
    if (!text.data) return false;
    z_stream z{};
    if (int rc = inflateInit(&z); rc != Z_OK) {
        if (rc == Z_MEM_ERROR) reportOutOfMemory();
        return false;
    }
    z.next_in = const_cast<Bytef *>(data);
    int rc = Z_OK;
    size_t consumed = 0;
    while (rc == Z_OK) {
        if (text.length >= capacity) {
            if (capacity == limit) break;
            size_t grown = std::min(limit, capacity * 2);
            char *bigger = static_cast<char *>(guardedAlloc(grown + 1));
            if (!bigger) break;
            memcpy(bigger, text.data, text.length);
            free(text.data);
            text.data = bigger;
            capacity = grown;
        }
        size_t in = std::min<size_t>(length - consumed, 1u << 30);
        // At the limit the terminator's byte serves as a probe: a stream that
        // fills it is too large, one that ends just before it fits exactly.
        size_t usable = capacity == limit ? capacity + 1 : capacity;
        size_t room = std::min<size_t>(usable - text.length, 1u << 30);
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
    if (rc != Z_STREAM_END || text.length > limit) return false;
    text.data[text.length] = '\0';
    out = std::move(text);
    return true;
}

// Reads up to limit bytes of the file into a guarded block; false when it
// cannot be opened or read, or memory runs out.
static bool readFileStart(const char *path, size_t limit, EditionText &out) {
    FILE *file = fopen(path, "rb");
    if (!file) return false;
    EditionText raw;
    raw.data = static_cast<char *>(guardedAlloc(limit + 1));
    bool ok = raw.data != nullptr;
    if (ok) raw.length = fread(raw.data, 1, limit, file);
    ok = ok && !ferror(file);
    fclose(file);
    if (!ok) return false;
    raw.data[raw.length] = '\0';
    out = std::move(raw);
    return true;
}

static bool expandIfCompressed(EditionText &text, bool &wasCompressed) {
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data);
    wasCompressed = isCompressed(bytes, text.length);
    if (!wasCompressed) return true;
    EditionText expanded;
    if (!expandEdition(bytes, text.length, text.length * kExpansionLimit, expanded)) return false;
    text = std::move(expanded);
    return true;
}

bool loadEditionText(const char *path, size_t recordedSize, EditionText &out) {
    EditionText text;
    bool compressed = false;
    if (!readFileStart(path, recordedSize, text) || !expandIfCompressed(text, compressed))
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

namespace {

// The normalised text, built in one guarded block that grows as needed.
class Output {
  public:
    bool reserve(size_t capacity) {
        char *bigger = static_cast<char *>(guardedAlloc(capacity + 1));
        if (!bigger) return false;
        if (text_.length) memcpy(bigger, text_.data, text_.length);
        free(text_.data);
        text_.data = bigger;
        capacity_ = capacity;
        return true;
    }
    // Makes room for n more bytes.
    bool room(size_t n) {
        if (text_.length + n <= capacity_) return true;
        return reserve(std::max(text_.length + n, capacity_ + capacity_ / 2));
    }
    char *at(size_t position) { return text_.data + position; }
    void append(const char *p, size_t n) {
        memcpy(text_.data + text_.length, p, n);
        text_.length += n;
    }
    void put(char c) { text_.data[text_.length++] = c; }
    size_t length() const { return text_.length; }
    void truncate(size_t length) { text_.length = length; }
    EditionText &text() { return text_; }

  private:
    EditionText text_;
    size_t capacity_ = 0;
};

// Text bytes copied as they are: everything but markup, "&", control bytes
// and 8-bit bytes.
struct PlainBytes {
    bool plain[256];
    constexpr PlainBytes() : plain() {
        for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '<' && c != '>' && c != '&';
    }
};
constexpr PlainBytes kPlain;

}  // namespace

bool normaliseEditionText(const char *data, size_t length, EditionText &out) {
    size_t root = findRootTag(data, length);
    if (root == length) return false;
    Output output;
    // Bare ampersands grow the text; pages never written cost nothing, so
    // reserve generously rather than copy the text again later.
    if (!output.reserve(length + length / 4 + 16384)) return false;
    output.append(data, root);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(data);
    size_t tagStart = 0;  // where the open tag begins in the output
    bool inTag = false;
    for (size_t i = root; i < length;) {
        char c = data[i];
        if (c == '<') {
            if (!output.room(2)) return false;
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
            if (!output.room(n)) return false;
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
        } else if (kPlain.plain[bytes[i]]) {
            size_t end = i + 1;
            while (end < length && kPlain.plain[bytes[end]]) ++end;
            if (!output.room(end - i)) return false;
            output.append(data + i, end - i);
            i = end;
        } else if (c == '&') {
            if (!output.room(7)) return false;
            if (i + 1 < length && !startsReference(data, length, i))
                output.append("&amper;", 7);
            else
                output.put('&');
            ++i;
        } else {  // ">", line breaks, control and 8-bit bytes
            if (!output.room(1)) return false;
            output.put(' ');
            ++i;
        }
    }
    if (inTag) output.truncate(tagStart);  // a tag still open at the end is dropped
    output.text().data[output.length()] = '\0';
    out = std::move(output.text());
    return true;
}

static bool compressEdition(const EditionText &text, EditionText &out) {
    // Room for the worst case: a short edition may grow when compressed.
    uLongf size = compressBound(static_cast<uLong>(text.length));
    EditionText packed;
    packed.data = static_cast<char *>(guardedAlloc(size));
    if (!packed.data) return false;
    int rc =
        compress2(reinterpret_cast<Bytef *>(packed.data), &size,
                  reinterpret_cast<const Bytef *>(text.data), static_cast<uLong>(text.length), 9);
    if (rc == Z_MEM_ERROR) reportOutOfMemory();
    if (rc != Z_OK) return false;
    packed.length = size;
    out = std::move(packed);
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
    EditionText text;
    if (!readFileStart(path, listedSize, text)) return FileOutcome::failed;
    bool compressed = false;
    if (!expandIfCompressed(text, compressed)) return refusedUnlessShort();
    EditionText stored;
    if (!normaliseEditionText(text.data, text.length, stored)) return refusedUnlessShort();
    text = EditionText();
    EditionText packed;
    if (compressed && !compressEdition(stored, packed)) return FileOutcome::failed;
    const EditionText &out = compressed ? packed : stored;

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
