// Installing the handheld reader over the remote interface.
#include "device_install.h"

#include "device_api.h"
#include "device_sync.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

void start(const DeviceApi &device, const char16_t *commandLine) {
    device.createProcess(kHandheldReaderPath, commandLine, nullptr, nullptr, 0, 0, nullptr, nullptr,
                         nullptr, nullptr);
}

}  // namespace

int writeImageToDevice(const DeviceApi &device, const char16_t *devicePath, DeviceImage image) {
    if (!image.data) return 1;
    CeHandle target = device.createFile(devicePath, kCeGenericRead | kCeGenericWrite, kCeShareRead,
                                        nullptr, kCeCreateAlways, kCeNormalFile, nullptr);
    // Judged by the handle: the last error is stale after a success.
    if (!target || target == ceInvalidHandle()) return 1;
    bool written = writeWhole(device, target, image.data, image.size);
    if (!device.closeHandle(target)) written = false;
    if (written) return 0;
    // A broken program file must not stay to be started.
    if (device.deleteFile) device.deleteFile(devicePath);
    return 1;
}

void installHandheldReader(const DeviceApi &device, void *owner, DeviceImageSource images) {
    if (device.rapiInit() != 0) {
        reportRemoteInitFailure(owner);
        return;
    }
    CeVersionInfo version = {};
    version.size = sizeof version;
    device.getVersionEx(&version);
    if (version.major != 4 && version.major != 5) {
        messageBox(owner, userText(IDS_UNSUPPORTED_WINDOWS), userText(IDS_ERROR_CAPTION),
                   MB_OK | MB_ICONWARNING);
        device.rapiUninit();
        return;
    }
    DeviceImage image = images(version.major == 4 ? HandheldImage::A : HandheldImage::B);
    if (writeImageToDevice(device, kHandheldReaderPath, image) != 0) {
        messageBox(owner, userText(IDS_IMAGE_NOT_COPIED), userText(IDS_ERROR_CAPTION),
                   MB_OK | MB_ICONWARNING);
        device.rapiUninit();
        return;
    }
    start(device, u"firstrun");
    if (messageBox(owner, userText(IDS_START_QUESTION), userText(IDS_QUESTION_CAPTION),
                   MB_YESNO | MB_ICONQUESTION) == IDYES)
        start(device, u"");
    device.rapiUninit();
}
