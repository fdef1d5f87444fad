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

void endInstallation(const DeviceApi &device, CopyHost &host) {
    device.rapiUninit();
    host.finish();
}

}  // namespace

int writeImageToDevice(const DeviceApi &device, const char16_t *devicePath, DeviceImage image,
                       DeviceFault *fault) {
    DeviceFault ignored = DeviceFault::none;
    DeviceFault &why = fault ? *fault : ignored;
    why = DeviceFault::other;
    if (!image.data) return 1;
    // Under a temporary name and moved into place, where the connection can
    // move files: a broken program file must never stay to be started.
    if (device.moveFile && device.deleteFile && device.findFirstFile && device.findClose)
        return writeInPlace(device, devicePath, image.data, image.size, why) ? 0 : 1;
    CeHandle target = device.createFile(devicePath, kCeGenericRead | kCeGenericWrite, kCeShareRead,
                                        nullptr, kCeCreateAlways, kCeNormalFile, nullptr);
    // Judged by the handle: the last error is stale after a success.
    if (!target || target == ceInvalidHandle()) {
        why = faultOfLastCall(device);
        return 1;
    }
    bool written = writeWhole(device, target, image.data, image.size);
    if (!written) why = faultOfLastCall(device);
    if (!device.closeHandle(target)) written = false;
    if (written) {
        why = DeviceFault::none;
        return 0;
    }
    if (device.deleteFile) device.deleteFile(devicePath);
    return 1;
}

void installHandheldReader(const DeviceApi &device, CopyHost &host, DeviceImageSource images) {
    host.connecting(true);
    int32_t connection = device.rapiInit();
    host.connecting(false);
    if (connection != 0) {
        if (!host.stopped()) reportRemoteInitFailure(host.window());
        host.finish();
        return;
    }
    if (host.stopped()) return endInstallation(device, host);
    host.setProgress(10);
    CeVersionInfo version = {};
    version.size = sizeof version;
    device.getVersionEx(&version);
    if (version.major != 4 && version.major != 5) {
        host.tell(userText(IDS_UNSUPPORTED_WINDOWS), IDS_ERROR_CAPTION, MB_OK | MB_ICONWARNING);
        return endInstallation(device, host);
    }
    DeviceImage image = images(version.major == 4 ? HandheldImage::A : HandheldImage::B);
    // What an earlier installation left half written goes first.
    if (device.deleteFile) device.deleteFile(temporaryName(kHandheldReaderPath).c_str());
    // Room for the whole image, where the connection can tell: the old
    // reader stays until the new one has arrived.
    CeStoreInformation store = {};
    DeviceFault fault = DeviceFault::none;
    if (image.data && device.getStoreInformation && device.getStoreInformation(&store) &&
        store.freeSize < image.size)
        fault = DeviceFault::full;
    if (host.stopped()) return endInstallation(device, host);
    if (fault == DeviceFault::none) writeImageToDevice(device, kHandheldReaderPath, image, &fault);
    if (fault != DeviceFault::none) {
        uint64_t free = kRoomUnknown;
        if (fault == DeviceFault::full && device.getStoreInformation &&
            device.getStoreInformation(&store))
            free = store.freeSize;
        host.tell(faultText(fault, free, image.size), IDS_ERROR_CAPTION, MB_OK | MB_ICONWARNING);
        return endInstallation(device, host);
    }
    host.setProgress(70);
    // Once the reader is in place it is initialised, closed dialog or not:
    // only then it is installed whole.
    start(device, u"firstrun");
    host.setProgress(100);
    if (!host.stopped() && host.ask(userText(IDS_START_QUESTION), IDS_QUESTION_CAPTION,
                                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        start(device, u"");
    endInstallation(device, host);
}
