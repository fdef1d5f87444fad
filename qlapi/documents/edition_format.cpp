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
    {"<P>", "</P>"},           {"<ATL", "</ATL"},       {"<HDLINE", "</HDLINE"},
    {"<SBT", "</SBT"},         {"<ARTICLE", "</ARTICLE"}, {"<GRTITLE", "</GRTITLE"},
    {"<GROUP", "</GROUP"},     {"<DUZUZUVU", "</DUZUZUVU"}, {"<ISSUE", "</ISSUE"},
    {"<PINFO", "</PINFO"},     {"<PNM>", "</PNM>"},     {"<LOC", "</LOC"},
    {"<NPINFO", "</NPINFO"},   {"<NPID", "</NPID"},     {"<NPTL", "</NPTL"},
    {"<NPSBT", "</NPSBT"},     {"<EDINFO", "</EDINFO"}, {"<YID", "</YID"},
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
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef *>(data);
    int rc = Z_OK;
    size_t consumed = 0;
    while (rc == Z_OK) {
        if (text.length == capacity) {
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
        size_t room = std::min<size_t>(capacity - text.length, 1u << 30);
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
    if (rc != Z_STREAM_END) return false;
    text.data[text.length] = '\0';
    out = std::move(text);
    return true;
}

// Reads up to limit bytes of an open file into a guarded block.
static bool readAll(FILE *file, size_t limit, EditionText &out) {
    EditionText raw;
    raw.data = static_cast<char *>(guardedAlloc(limit + 1));
    if (!raw.data) return false;
    raw.length = fread(raw.data, 1, limit, file);
    if (ferror(file)) return false;
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
    FILE *file = fopen(path, "rb");
    if (!file) return false;
    EditionText text;
    bool ok = readAll(file, recordedSize, text);
    fclose(file);
    bool compressed = false;
    if (!ok || !expandIfCompressed(text, compressed)) return false;
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

static bool isKnownTag(const std::string &tag) {
    return lookupTagIndex(tag.data(), tag.size()) >= 0;
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

bool normaliseEditionText(const char *data, size_t length, EditionText &out) {
    size_t root = findRootTag(data, length);
    if (root == length) return false;
    std::string output;
    output.reserve(length + 16384);
    output.append(data, root);
    std::string tag;
    bool inTag = false;
    for (size_t i = root; i < length; ++i) {
        char c = data[i];
        if (c == '<') {
            if (inTag) {  // an unfinished tag ends where the next begins
                tag += '>';
                if (isKnownTag(tag)) output += tag;
            }
            tag.assign(1, '<');
            inTag = true;
        } else if (inTag) {
            tag += c;
            if (c == '>') {
                for (char &t : tag)
                    if (t >= 'a' && t <= 'z') t = static_cast<char>(t - 32);
                if (isKnownTag(tag)) output += tag;
                inTag = false;
            }
        } else {
            unsigned char u = static_cast<unsigned char>(c);
            if (c == '>' || u < 0x20 || u >= 0x80) c = ' ';
            if (c == '&' && i + 1 < length && !startsReference(data, length, i))
                output += "&amper;";
            else
                output += c;
        }
    }
    EditionText text;
    text.data = static_cast<char *>(guardedAlloc(output.size() + 1));
    if (!text.data) return false;
    memcpy(text.data, output.data(), output.size());
    text.data[output.size()] = '\0';
    text.length = output.size();
    out = std::move(text);
    return true;
}

static bool compressEdition(const EditionText &text, EditionText &out) {
    // Room for the worst case: a short edition may grow when compressed.
    uLongf size = compressBound(static_cast<uLong>(text.length));
    EditionText packed;
    packed.data = static_cast<char *>(guardedAlloc(size));
    if (!packed.data) return false;
    if (compress2(reinterpret_cast<Bytef *>(packed.data), &size,
                  reinterpret_cast<const Bytef *>(text.data), static_cast<uLong>(text.length),
                  9) != Z_OK)
        return false;
    packed.length = size;
    out = std::move(packed);
    return true;
}

size_t normaliseEditionFile(const char *path, size_t listedSize) {
    // Opened for update first: a file the library may not rewrite is left alone.
    FILE *file = fopen(path, "r+b");
    if (!file) return 0;
    EditionText text;
    bool ok = readAll(file, listedSize, text);
    fclose(file);
    bool compressed = false;
    if (!ok || !expandIfCompressed(text, compressed)) return 0;
    EditionText stored;
    if (!normaliseEditionText(text.data, text.length, stored)) return 0;
    if (compressed && !compressEdition(stored, stored)) return 0;

    // Written beside the edition and then put in its place, so that a crash
    // or a full disk leaves the old file, never half of the new one.
    std::string temp = std::string(path) + ".tmp";
    FILE *out = fopen(temp.c_str(), "wb");
    if (!out) return 0;
    size_t written = fwrite(stored.data, 1, stored.length, out);
    bool closed = fclose(out) == 0;
    if (written != stored.length || !closed || !platform::replaceFile(temp.c_str(), path)) {
        remove(temp.c_str());
        return 0;
    }
    return written;
}
