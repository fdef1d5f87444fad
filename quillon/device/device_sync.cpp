// The synchronisation walk over the stored editions and the copy of one
// file. Files already on the handheld are never replaced, so a second run
// adds only what is new.
#include "device_sync.h"

#include <cstdio>
#include <vector>

#include "device_api.h"
#include "paths.h"
#include "prompt.h"
#include "user_texts.h"

namespace {

constexpr char16_t kReaderKey[] = u"Software\\VKT\\QLAPI";
constexpr size_t kReadChunk = 16384;

bool validHandle(CeHandle handle) { return handle && handle != ceInvalidHandle(); }

// The handheld reader's folder (ending in a backslash); empty when it is
// missing, empty or no text.
std::u16string readReaderFolder(const DeviceApi &device, CeKey key) {
    char16_t buffer[kReaderFolderSize + 1] = {};
    uint32_t type = 0, size = kReaderFolderSize * sizeof(char16_t);
    if (device.regQueryValueEx(key, u"PATH", nullptr, &type, reinterpret_cast<uint8_t *>(buffer),
                               &size) != 0 ||
        type != kCeRegString)
        return std::u16string();
    return buffer;
}

bool readWholeFile(FILE *file, std::vector<uint8_t> &content) {
    for (;;) {
        size_t had = content.size();
        content.resize(had + kReadChunk);
        size_t got = fread(content.data() + had, 1, kReadChunk, file);
        content.resize(had + got);
        if (got == 0) return !ferror(file);
    }
}

}  // namespace

CopyResult copyFileToDevice(const DeviceApi &device, const char16_t *devicePath,
                            const char *localPath) {
    CeHandle target = device.createFile(devicePath, kCeGenericRead | kCeGenericWrite, kCeShareRead,
                                        nullptr, kCeCreateNew, kCeNormalFile, nullptr);
    // The handle says whether it worked; only then the last error says why
    // not (it is stale after a success, and 0 when the connection dropped).
    if (!validHandle(target))
        return connectionLost(device) || device.getLastError() != kCeErrorFileExists
                   ? CopyResult::failed
                   : CopyResult::present;
    FILE *source = fopen(localPath, "rb");
    std::vector<uint8_t> content;
    bool read = source && readWholeFile(source, content);
    if (source) fclose(source);
    if (!read) {
        // Take the empty file back, or it would block every later copy.
        device.closeHandle(target);
        if (device.deleteFile) device.deleteFile(devicePath);
        messageBox(nullptr, userText(IDS_SOURCE_NOT_OPENED), userText(IDS_ERROR_CAPTION), MB_OK);
        return CopyResult::sourceMissing;
    }
    bool written = writeWhole(device, target, content.data(), content.size());
    if (!device.closeHandle(target)) written = false;
    if (written) return CopyResult::copied;
    // Half a file would be counted as there and block every later copy.
    if (device.deleteFile) device.deleteFile(devicePath);
    return CopyResult::failed;
}

bool writeWhole(const DeviceApi &device, CeHandle target, const void *data, size_t size) {
    if (size == 0) return true;
    uint32_t written = 0;
    return device.writeFile(target, data, static_cast<uint32_t>(size), &written, nullptr) &&
           written == size;
}

bool connectionLost(const DeviceApi &device) {
    return device.rapiGetError && device.rapiGetError() != 0;
}

int copyNewspapersToDevice(const DeviceApi &device, const LibraryBinding &library, CopyHost &host) {
    host.connecting(true);
    int32_t connection = device.rapiInit();
    host.connecting(false);
    host.pause(1000);
    if (connection != 0) {
        if (!host.stopped()) reportRemoteInitFailure(host.window());
        host.finish();
        return -1;
    }
    CeKey key = nullptr;
    device.regOpenKeyEx(ceCurrentUser(), kReaderKey, 0, 0, &key);
    // One folder for every file: asked once, not for each file. A key
    // without a usable folder is as good as none.
    const std::u16string readerFolder = key ? readReaderFolder(device, key) : std::u16string();
    if (readerFolder.empty()) {
        if (key) device.regCloseKey(key);
        if (!host.stopped())
            messageBox(host.window(), userText(IDS_READER_NOT_INSTALLED),
                       userText(IDS_SYNC_CAPTION), MB_OK | MB_ICONWARNING);
        device.rapiUninit();
        host.finish();
        return -1;
    }
    EditionEntry *list =
        library.getNewspaperListFromHD ? library.getNewspaperListFromHD() : nullptr;
    int handled = 0, copied = 0;
    bool toldFailure = false;
    for (EditionEntry *entry = list; entry && handled < kEditionsToCopy && !host.stopped();
         entry = entry->next) {
        host.setProgress(10 * (handled + 1));
        if (!entry->path) continue;
        ++handled;
        auto name = baseName(entry->path);
        auto base = baseNameWithoutExtension(entry->path);
        auto folder = folderOf(entry->path);
        if (!name || !base || !folder) continue;
        std::u16string deviceData = readerFolder + toDeviceText(*name);
        std::u16string deviceHeader = readerFolder + toDeviceText(*base) + u".ehd";
        // A path that does not fit the handheld's path buffer is not tried.
        if (deviceData.size() >= kDevicePathSize || deviceHeader.size() >= kDevicePathSize)
            continue;
        std::string localHeader = *folder + *base + ".ehd";
        CopyResult data = copyFileToDevice(device, deviceData.c_str(), entry->path);
        host.setTitle(entry->info.title ? entry->info.title : "");
        if (data == CopyResult::copied) ++copied;
        CopyResult header =
            host.stopped() || data == CopyResult::failed
                ? CopyResult::present
                : copyFileToDevice(device, deviceHeader.c_str(), localHeader.c_str());
        // A file that did not arrive whole is told once; a lost connection
        // or a full handheld ends the walk.
        if (data == CopyResult::failed || header == CopyResult::failed) {
            if (!toldFailure && !host.stopped())
                messageBox(host.window(), userText(IDS_IMAGE_NOT_COPIED),
                           userText(IDS_ERROR_CAPTION), MB_OK | MB_ICONWARNING);
            toldFailure = true;
            if (connectionLost(device) || device.getLastError() == kCeErrorDiskFull) break;
        }
        if (host.stopped()) break;
    }
    device.regCloseKey(key);
    device.rapiUninit();
    if (library.removeNewspaperTree) library.removeNewspaperTree(list);
    if (!host.stopped())
        messageBox(host.window(), formatText(userText(IDS_SYNC_DONE), copied),
                   userText(IDS_NOTICE_CAPTION), MB_OK);
    host.finish();
    return copied;
}
