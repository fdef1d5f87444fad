// Installing the handheld reader: the device image that suits the
// handheld's system is written into its start menu, run once to set itself
// up, and started on request.
#ifndef QUILLON_DEVICE_INSTALL_H
#define QUILLON_DEVICE_INSTALL_H

#include <cstddef>

#include "handheld_folder.h"
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

class CopyHost;

// Runs the installation on the calling thread (the thread of its progress
// dialog): its boxes are told through `host`, and a dialog closed early
// stops it before the next step. What was written is either the whole reader
// or nothing.
void installHandheldReader(const DeviceApi &device, CopyHost &host, DeviceImageSource images);

// Writes an image to the handheld, replacing any file there. 0 on success,
// 1 when it did not arrive whole (then `fault`, when given, says why).
int writeImageToDevice(const DeviceApi &device, const char16_t *devicePath, DeviceImage image,
                       DeviceFault *fault = nullptr);

#endif
