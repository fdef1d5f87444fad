// Installing the handheld reader: the device image that suits the
// handheld's system is written into its start menu, run once to set itself
// up, and started on request.
#ifndef QUILLON_DEVICE_INSTALL_H
#define QUILLON_DEVICE_INSTALL_H

#include <cstddef>

#include "handheld_image.h"
#include "remote_api.h"

// Where the handheld reader goes.
constexpr char16_t kHandheldReaderPath[] = u"\\Windows\\Start Menu\\Programs\\QuillonCE.exe";

// One device image as the program carries it; null data when it has none.
struct DeviceImage {
    const void *data;
    size_t size;
};
using DeviceImageSource = DeviceImage (*)(HandheldImage which);

// Runs the installation on the calling thread, owner of its boxes `owner`.
void installHandheldReader(const DeviceApi &device, void *owner, DeviceImageSource images);

// Writes an image to the handheld, replacing any file there. 0 on success,
// 1 when the handheld file could not be created.
int writeImageToDevice(const DeviceApi &device, const char16_t *devicePath, DeviceImage image);

#endif
