// A small zip writer for EPUB containers: entries stored or deflated with
// zlib, each with its CRC-32, a local header before its data, then the
// central directory and the end record. Everything is written in one pass
// with the sizes known, so no data descriptors. Portable C++; no Win32.
#ifndef QUILLON_ZIP_WRITER_H
#define QUILLON_ZIP_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ZipWriter {
  public:
    // Writes to `out`, which stays the caller's. `dosTime` and `dosDate`
    // stamp every entry (MS-DOS format).
    ZipWriter(FILE *out, uint16_t dosTime, uint16_t dosDate)
        : out_(out), time_(dosTime), date_(dosDate) {}

    // Adds one entry. Refused (false, and the writer fails) when the entry,
    // the archive so far or the number of entries is beyond what a zip
    // without its 64-bit extension holds: never cut short.
    bool add(const std::string &name, const std::string &data, bool deflate);
    // Writes the central directory and the end record.
    bool finish();
    bool failed() const { return failed_; }

  private:
    struct Entry {
        std::string name;
        uint16_t method;
        uint32_t crc, packed, size, offset;
    };
    // The fields a local header and a directory record share, from the
    // version needed to the length of the extra field.
    void putEntryFields(std::string &b, const Entry &e) const;
    bool write(const void *data, size_t n);
    bool fail() { return !(failed_ = true); }

    FILE *out_;
    uint16_t time_, date_;
    uint64_t written_ = 0;
    std::vector<Entry> entries_;
    bool failed_ = false;
};

// The MS-DOS date and time fields of a calendar time (years 1980 to 2107).
uint16_t dosDate(int year, int month, int day);
uint16_t dosTime(int hour, int minute, int second);

#endif
