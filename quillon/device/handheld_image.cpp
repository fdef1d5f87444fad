// The two device images of the handheld reader that quillon carries:
// complete Windows CE GUI executables whose one section starts with an entry
// point that returns at once, padded to the images' sizes. The handheld
// reader itself is not part of this project; the images stand in for it.
#include "handheld_image.h"

#include <cstring>

namespace {

struct ImageKind {
    uint16_t machine;
    uint16_t subsystemMinor;  // the subsystem version is 4.<minor>
    uint32_t size;
    std::vector<uint8_t> entry;  // code that returns 0 to the caller
};

const ImageKind kImageA = {0x1C0,
                           20,
                           110592,  // ARM: mov r0, #0; mov pc, lr
                           {0x00, 0x00, 0xA0, 0xE3, 0x0E, 0xF0, 0xA0, 0xE1}};
const ImageKind kImageB = {0x1C2,
                           10,
                           96256,  // Thumb: movs r0, #0; bx lr
                           {0x00, 0x20, 0x70, 0x47}};

constexpr uint32_t kHeadersSize = 0x400, kSectionAlignment = 0x1000, kFileAlignment = 0x200;
constexpr uint32_t kImageBase = 0x10000, kPeOffset = 0x80;

void put16(std::vector<uint8_t> &b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> buildImage(const ImageKind &kind) {
    std::vector<uint8_t> b(kind.size, 0);
    const uint32_t raw = kind.size - kHeadersSize;  // the section fills the rest
    const uint32_t virtualSize =
        (raw + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment;
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, kPeOffset);
    size_t pe = kPeOffset;
    memcpy(&b[pe], "PE\0\0", 4);
    size_t coff = pe + 4;
    put16(b, coff + 0, kind.machine);
    put16(b, coff + 2, 1);        // one section
    put16(b, coff + 16, 224);     // size of the PE32 optional header
    put16(b, coff + 18, 0x0103);  // executable, 32-bit, relocations stripped
    size_t opt = coff + 20;
    put16(b, opt + 0, 0x10B);               // PE32
    b[opt + 2] = 6;                         // linker version
    put32(b, opt + 4, raw);                 // size of code
    put32(b, opt + 16, kSectionAlignment);  // entry point: start of .text
    put32(b, opt + 20, kSectionAlignment);  // base of code
    put32(b, opt + 24, kSectionAlignment);  // base of data
    put32(b, opt + 28, kImageBase);
    put32(b, opt + 32, kSectionAlignment);
    put32(b, opt + 36, kFileAlignment);
    put16(b, opt + 40, 4);  // operating system version 4.<minor>
    put16(b, opt + 42, kind.subsystemMinor);
    put16(b, opt + 48, 4);  // subsystem version
    put16(b, opt + 50, kind.subsystemMinor);
    put32(b, opt + 56, kSectionAlignment + virtualSize);  // size of image
    put32(b, opt + 60, kHeadersSize);
    put16(b, opt + 68, 9);         // Windows CE GUI
    put32(b, opt + 72, 0x10000);   // stack reserve
    put32(b, opt + 76, 0x1000);    // stack commit
    put32(b, opt + 80, 0x100000);  // heap reserve
    put32(b, opt + 84, 0x1000);    // heap commit
    put32(b, opt + 92, 16);        // data directories, all empty
    size_t section = opt + 224;
    memcpy(&b[section], ".text", 5);
    put32(b, section + 8, raw);  // virtual size
    put32(b, section + 12, kSectionAlignment);
    put32(b, section + 16, raw);
    put32(b, section + 20, kHeadersSize);
    put32(b, section + 36, 0x60000020);  // code, execute, read
    memcpy(&b[kHeadersSize], kind.entry.data(), kind.entry.size());
    return b;
}

}  // namespace

std::vector<uint8_t> buildHandheldImage(HandheldImage which) {
    return buildImage(which == HandheldImage::A ? kImageA : kImageB);
}
