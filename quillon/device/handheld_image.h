// The device images of the handheld reader.
#ifndef QUILLON_HANDHELD_IMAGE_H
#define QUILLON_HANDHELD_IMAGE_H

#include <cstdint>
#include <vector>

// A: ARM (machine 0x1C0), subsystem version 4.20, 110,592 bytes, for
// handhelds of major version 4. B: ARM Thumb (0x1C2), 4.10, 96,256 bytes,
// for major version 5.
enum class HandheldImage { A, B };

std::vector<uint8_t> buildHandheldImage(HandheldImage which);

#endif
