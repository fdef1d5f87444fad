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

// The handheld reader's folder (ending in a backslash); empty when unset.
std::u16string readReaderFolder(const DeviceApi &device, CeKey key) {
    char16_t buffer[kReaderFolderSize + 1] = {};
    uint32_t type = 0, size = kReaderFolderSize * sizeof(char16_t);
    device.regQueryValueEx(key, u"PATH", nullptr, &type, reinterpret_cast<uint8_t *>(buffer),
                           &size);
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

int copyFileToDevice(const DeviceApi &device, const char16_t *devicePath, const char *localPath) {
    CeHandle target = device.createFile(devicePath, kCeGenericRead | kCeGenericWrite, kCeShareRead,
                                        nullptr, kCeCreateNew, kCeNormalFile, nullptr);
    if (device.getLastError() != 0) {
        if (validHandle(target)) device.closeHandle(target);
        return 1;
    }
    FILE *source = fopen(localPath, "rb");
    if (!source) {
        // Take the empty file back, or it would block every later copy.
        device.closeHandle(target);
        if (device.deleteFile) device.deleteFile(devicePath);
        messageBox(nullptr, userText(IDS_SOURCE_NOT_OPENED), userText(IDS_ERROR_CAPTION), MB_OK);
        return 1;
    }
    std::vector<uint8_t> content;
    readWholeFile(source, content);
    uint32_t written = 0;
    device.writeFile(target, content.data(), static_cast<uint32_t>(content.size()), &written,
                     nullptr);
    device.closeHandle(target);
    fclose(source);
    return 0;
}

int copyNewspapersToDevice(const DeviceApi &device, const LibraryBinding &library, CopyHost &host) {
    int32_t connection = device.rapiInit();
    host.pause(1000);
    if (connection != 0) {
        reportRemoteInitFailure(host.window());
        host.finish();
        return -1;
    }
    CeKey key = nullptr;
    device.regOpenKeyEx(ceCurrentUser(), kReaderKey, 0, 0, &key);
    if (!key) {
        messageBox(host.window(), userText(IDS_READER_NOT_INSTALLED), userText(IDS_SYNC_CAPTION),
                   MB_OK | MB_ICONWARNING);
        device.rapiUninit();
        host.finish();
        return -1;
    }
    // One folder for every file: asked once, not for each file.
    const std::u16string readerFolder = readReaderFolder(device, key);
    EditionEntry *list =
        library.getNewspaperListFromHD ? library.getNewspaperListFromHD() : nullptr;
    int handled = 0, copied = 0;
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
        int dataResult = copyFileToDevice(device, deviceData.c_str(), entry->path);
        host.setTitle(entry->info.title ? entry->info.title : "");
        if (dataResult == 0) ++copied;
        if (host.stopped()) break;
        copyFileToDevice(device, deviceHeader.c_str(), localHeader.c_str());
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
