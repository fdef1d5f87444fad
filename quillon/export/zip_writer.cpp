// Writing a zip archive with zlib's deflate and CRC-32.
#include "zip_writer.h"

#include <zlib.h>

namespace {

constexpr uint64_t kZipLimit = 0xFFFFFFFFull;  // sizes and offsets without Zip64

void put16(std::string &b, uint32_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// Raw deflate (no zlib header), as zip stores it; false when zlib fails.
bool deflateRaw(const std::string &data, std::string &out) {
    z_stream z{};
    // Speed before size: a 50 MB edition is written in about the time it takes to open.
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

}  // namespace

uint16_t dosDate(int year, int month, int day) {
    if (year < 1980) year = 1980;
    if (year > 2107) year = 2107;
    return static_cast<uint16_t>(((year - 1980) << 9) | ((month & 15) << 5) | (day & 31));
}

uint16_t dosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>(((hour & 31) << 11) | ((minute & 63) << 5) | ((second / 2) & 31));
}

void ZipWriter::putEntryFields(std::string &b, const Entry &e) const {
    put16(b, 20);  // version needed: 2.0
    put16(b, 0);   // flags
    put16(b, e.method);
    put16(b, time_);
    put16(b, date_);
    put32(b, e.crc);
    put32(b, e.packed);
    put32(b, e.size);
    put16(b, static_cast<uint32_t>(e.name.size()));
    put16(b, 0);  // no extra field (the mimetype entry must have none)
}

bool ZipWriter::write(const void *data, size_t n) {
    if (failed_) return false;
    if (n && fwrite(data, 1, n, out_) != n) return fail();
    written_ += n;
    return true;
}

bool ZipWriter::add(const std::string &name, const std::string &data, bool deflate) {
    if (failed_) return false;
    // zlib's counts are 32-bit: larger entries are refused, not truncated.
    if (data.size() >= kZipLimit || name.size() > 0xFFFF || entries_.size() >= 0xFFFF ||
        written_ >= kZipLimit)
        return fail();
    Entry e{name, static_cast<uint16_t>(deflate ? 8 : 0), 0,
            0,    static_cast<uint32_t>(data.size()),     static_cast<uint32_t>(written_)};
    e.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
    std::string packed;
    if (deflate && !deflateRaw(data, packed)) return fail();
    const std::string &body = deflate ? packed : data;
    if (written_ + 30 + name.size() + body.size() >= kZipLimit) return fail();
    e.packed = static_cast<uint32_t>(body.size());
    std::string h;
    put32(h, 0x04034b50);
    putEntryFields(h, e);
    h += name;
    if (!write(h.data(), h.size()) || !write(body.data(), body.size())) return false;
    entries_.push_back(std::move(e));
    return true;
}

bool ZipWriter::finish() {
    if (failed_) return false;
    uint64_t start = written_;
    std::string d;
    for (const Entry &e : entries_) {
        put32(d, 0x02014b50);
        put16(d, 20);  // made by: MS-DOS, 2.0
        putEntryFields(d, e);
        put16(d, 0);  // comment
        put16(d, 0);  // disk
        put16(d, 0);  // internal attributes
        put32(d, 0);  // external attributes
        put32(d, e.offset);
        d += e.name;
    }
    if (start + d.size() + 22 >= kZipLimit) return fail();
    uint32_t directorySize = static_cast<uint32_t>(d.size());
    put32(d, 0x06054b50);
    put16(d, 0);
    put16(d, 0);
    put16(d, static_cast<uint32_t>(entries_.size()));
    put16(d, static_cast<uint32_t>(entries_.size()));
    put32(d, directorySize);
    put32(d, static_cast<uint32_t>(start));
    put16(d, 0);  // no comment
    return write(d.data(), d.size()) && fflush(out_) == 0;
}
