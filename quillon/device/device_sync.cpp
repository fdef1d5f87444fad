// The synchronisation walk over the stored editions and the copy of one
// file. A file on the handheld of the desktop file's name and size is left
// alone, so a second run adds only what is new; every file is written under
// a temporary name and moved into place once it arrived whole.
#include "device_sync.h"

#include <cstdio>
#include <set>
#include <vector>

#include "device_api.h"
#include "device_install.h"
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

// The size of a desktop file; -1 when it cannot be opened.
int64_t localSize(const char *path) {
    FILE *file = fopen(path, "rb");
    if (!file) return -1;
    int64_t size = fseek(file, 0, SEEK_END) == 0 ? static_cast<int64_t>(ftell(file)) : -1;
    fclose(file);
    return size;
}

std::u16string foldedName(std::u16string s) {
    for (char16_t &c : s)
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
    return s;
}

// The older way, for a connection that cannot move files or list them: the
// file under its own name, never replacing one there.
CopyResult copyUnderOwnName(const DeviceApi &device, const std::u16string &devicePath,
                            const std::vector<uint8_t> &content, DeviceFault &fault) {
    CeHandle target =
        device.createFile(devicePath.c_str(), kCeGenericRead | kCeGenericWrite, kCeShareRead,
                          nullptr, kCeCreateNew, kCeNormalFile, nullptr);
    // The handle says whether it worked; only then the last error says why
    // not (it is stale after a success, and 0 when the connection dropped).
    if (!validHandle(target)) {
        if (!connectionLost(device) && device.getLastError() == kCeErrorFileExists)
            return CopyResult::present;
        fault = faultOfLastCall(device);
        return CopyResult::failed;
    }
    bool written = writeWhole(device, target, content.data(), content.size());
    if (!written) fault = faultOfLastCall(device);
    if (!device.closeHandle(target) && written) {
        written = false;
        fault = faultOfLastCall(device);
    }
    if (written) return CopyResult::copied;
    // Half a file would be counted as there and block every later copy.
    if (device.deleteFile) device.deleteFile(devicePath.c_str());
    return CopyResult::failed;
}

// One stored edition to copy: its files on the desktop and the handheld.
struct Planned {
    EditionEntry *entry;
    std::u16string data, header;  // handheld paths
    std::string localHeader;
    int64_t dataSize, headerSize;  // on the desktop; -1: unreadable
};

// What the desktop keeps: the handheld names (folded) of every stored
// edition's two files, the extension of its data files, and each edition
// with a file name, in the list's order.
struct CopyPlan {
    std::set<std::u16string> kept;
    std::u16string dataExtension = u".eif";
    std::vector<Planned> editions;
};

CopyPlan planCopy(EditionEntry *list, const std::u16string &readerFolder) {
    CopyPlan plan;
    for (EditionEntry *entry = list; entry; entry = entry->next) {
        auto name = entry->path ? baseName(entry->path) : std::nullopt;
        auto base = entry->path ? baseNameWithoutExtension(entry->path) : std::nullopt;
        auto folder = entry->path ? folderOf(entry->path) : std::nullopt;
        if (!name || !base || !folder) continue;
        if (plan.kept.empty())
            if (auto extension = extensionOf(entry->path))
                plan.dataExtension = toDeviceText(*extension);
        plan.kept.insert(foldedName(toDeviceText(*name)));
        plan.kept.insert(foldedName(toDeviceText(*base) + u".ehd"));
        std::string localHeader = *folder + *base + ".ehd";
        plan.editions.push_back({entry, readerFolder + toDeviceText(*name),
                                 readerFolder + toDeviceText(*base) + u".ehd", localHeader,
                                 localSize(entry->path), localSize(localHeader.c_str())});
    }
    return plan;
}

// Removes from the reader's folder the leftovers of an earlier copy and the
// editions the desktop no longer keeps: only names of the store's pattern,
// and only while the desktop keeps any, so that an empty list never empties
// the handheld. Returns how many editions went; `there` gets what stays (by
// folded name). A reader holding a file, or a lost connection, is told and
// set as `fault`; any other file that stays harms nothing.
int tidyReaderFolder(const DeviceApi &device, const std::u16string &readerFolder,
                     const CopyPlan &plan, const HandheldListing &listing,
                     std::map<std::u16string, uint64_t> &there, CopyHost &host,
                     DeviceFault &fault) {
    int removed = 0;
    for (const auto &file : listing) {
        const std::u16string name = foldedName(file.first);
        bool leftover = isLeftover(name, plan.dataExtension);
        bool gone = !leftover && !plan.kept.empty() && isStoreName(name, plan.dataExtension) &&
                    !plan.kept.count(name);
        if (!leftover && !gone) {
            there[name] = file.second;
            continue;
        }
        if (host.stopped()) break;
        if (device.deleteFile && device.deleteFile((readerFolder + file.first).c_str())) {
            if (gone && !isStoreName(name, u".ehd")) ++removed;
            continue;
        }
        DeviceFault now = device.deleteFile ? faultOfLastCall(device) : DeviceFault::other;
        if (fault == DeviceFault::none &&
            (now == DeviceFault::readerRunning || now == DeviceFault::disconnected)) {
            fault = now;
            host.tell(faultText(fault, 0, 0), IDS_ERROR_CAPTION, MB_OK | MB_ICONWARNING);
        }
    }
    return removed;
}

}  // namespace

void CopyHost::tell(const std::string &text, int captionId, unsigned style) {
    messageBox(window(), text, userText(captionId), style);
}

int CopyHost::ask(const std::string &text, int captionId, unsigned style) {
    return messageBox(window(), text, userText(captionId), style);
}

bool writeInPlace(const DeviceApi &device, const std::u16string &devicePath, const void *data,
                  size_t size, DeviceFault &fault) {
    const std::u16string temporary = temporaryName(devicePath);
    fault = DeviceFault::none;
    CeHandle target =
        device.createFile(temporary.c_str(), kCeGenericRead | kCeGenericWrite, kCeShareRead,
                          nullptr, kCeCreateAlways, kCeNormalFile, nullptr);
    if (!validHandle(target)) {
        fault = faultOfLastCall(device);
        return false;
    }
    bool whole = writeWhole(device, target, data, size);
    if (!whole) fault = faultOfLastCall(device);
    if (!device.closeHandle(target) && whole) {
        whole = false;
        fault = faultOfLastCall(device);
    }
    // What arrived is measured, not trusted: a short file must never be
    // moved into place.
    if (whole && handheldFileSize(device, temporary) != static_cast<int64_t>(size)) {
        whole = false;
        fault = connectionLost(device) ? DeviceFault::disconnected : DeviceFault::other;
    }
    // The file there (older, or short) makes way; a running reader keeps it.
    if (whole && handheldFileSize(device, devicePath) >= 0 &&
        !device.deleteFile(devicePath.c_str())) {
        whole = false;
        fault = faultOfLastCall(device);
    }
    if (whole && !device.moveFile(temporary.c_str(), devicePath.c_str())) {
        whole = false;
        fault = faultOfLastCall(device);
    }
    if (!whole) device.deleteFile(temporary.c_str());
    return whole;
}

CopyResult copyFileToDevice(const DeviceApi &device, const std::u16string &devicePath,
                            const char *localPath, int64_t sizeThere, DeviceFault &fault) {
    fault = DeviceFault::none;
    // Read first: nothing is made on the handheld for a file that cannot be.
    FILE *source = fopen(localPath, "rb");
    std::vector<uint8_t> content;
    bool read = source && readWholeFile(source, content);
    if (source) fclose(source);
    if (!read) {
        messageBox(nullptr, userText(IDS_SOURCE_NOT_OPENED), userText(IDS_ERROR_CAPTION), MB_OK);
        return CopyResult::sourceMissing;
    }
    bool safe = device.moveFile && device.deleteFile && device.findFirstFile && device.findClose &&
                sizeThere != kSizeUnknown;
    if (!safe) return copyUnderOwnName(device, devicePath, content, fault);
    // An empty or short file of that name is no copy.
    if (sizeThere >= 0 && static_cast<uint64_t>(sizeThere) == content.size())
        return CopyResult::present;
    return writeInPlace(device, devicePath, content.data(), content.size(), fault)
               ? CopyResult::copied
               : CopyResult::failed;
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
    // What an installation cut off by the cable left in the start menu.
    if (device.deleteFile) device.deleteFile(temporaryName(kHandheldReaderPath).c_str());
    CeKey key = nullptr;
    device.regOpenKeyEx(ceCurrentUser(), kReaderKey, 0, 0, &key);
    // One folder for every file: asked once, not for each file. A key
    // without a usable folder is as good as none.
    const std::u16string readerFolder = key ? readReaderFolder(device, key) : std::u16string();
    // Closed early: stopped before the library is asked for anything.
    if (readerFolder.empty() || host.stopped()) {
        if (key) device.regCloseKey(key);
        if (!host.stopped())
            messageBox(host.window(), userText(IDS_READER_NOT_INSTALLED),
                       userText(IDS_SYNC_CAPTION), MB_OK | MB_ICONWARNING);
        device.rapiUninit();
        host.finish();
        return -1;
    }
    // The stop was checked just before: a window that stopped waiting for
    // this thread may be using the library.
    EditionEntry *list =
        library.getNewspaperListFromHD ? library.getNewspaperListFromHD() : nullptr;
    const CopyPlan copyPlan = planCopy(list, readerFolder);
    const std::vector<Planned> &plan = copyPlan.editions;

    HandheldListing listing;
    const bool listed = listHandheldFolder(device, readerFolder, listing);
    std::map<std::u16string, uint64_t> there;  // by folded name
    DeviceFault fault = DeviceFault::none;
    uint64_t faultFree = 0, faultNeeded = 0;
    const int removed =
        tidyReaderFolder(device, readerFolder, copyPlan, listing, there, host, fault);
    auto sizeThere = [&](const std::u16string &path) -> int64_t {
        if (!listed) return kSizeUnknown;
        auto found = there.find(foldedName(path.substr(readerFolder.size())));
        return found == there.end() ? -1 : static_cast<int64_t>(found->second);
    };
    // The bytes still to copy from the `from`th planned edition on.
    auto neededFrom = [&](size_t from) {
        uint64_t needed = 0;
        for (size_t i = from, looked = 0; i < plan.size() && looked < kEditionsToCopy; ++i) {
            ++looked;
            if (plan[i].dataSize > 0 && sizeThere(plan[i].data) != plan[i].dataSize)
                needed += static_cast<uint64_t>(plan[i].dataSize);
            if (plan[i].headerSize > 0 && sizeThere(plan[i].header) != plan[i].headerSize)
                needed += static_cast<uint64_t>(plan[i].headerSize);
        }
        return needed;
    };
    auto freeRoom = [&](uint64_t &free) {
        CeStoreInformation store = {};
        if (!device.getStoreInformation || !device.getStoreInformation(&store)) return false;
        free = store.freeSize;
        return true;
    };
    // Room for everything, asked before the first byte where the
    // connection can tell.
    if (fault == DeviceFault::none && listed && freeRoom(faultFree) && faultFree < neededFrom(0)) {
        fault = DeviceFault::full;
        faultNeeded = neededFrom(0);
        host.tell(faultText(fault, faultFree, faultNeeded), IDS_ERROR_CAPTION,
                  MB_OK | MB_ICONWARNING);
    }

    int handled = 0, copied = 0;
    size_t next = 0;
    for (EditionEntry *entry = list;
         entry && handled < kEditionsToCopy && !host.stopped() && fault != DeviceFault::full &&
         fault != DeviceFault::disconnected;
         entry = entry->next) {
        host.setProgress(10 * (handled + 1));
        if (!entry->path) continue;
        ++handled;
        if (next >= plan.size() || plan[next].entry != entry) continue;  // a path of no file name
        const Planned &edition = plan[next++];
        // A path that does not fit the handheld's path buffer is not tried.
        if (edition.data.size() >= kDevicePathSize || edition.header.size() >= kDevicePathSize)
            continue;
        DeviceFault dataFault = DeviceFault::none, headerFault = DeviceFault::none;
        CopyResult data =
            copyFileToDevice(device, edition.data, entry->path, sizeThere(edition.data), dataFault);
        host.setTitle(entry->info.title ? entry->info.title : "");
        CopyResult header =
            host.stopped() || data == CopyResult::failed
                ? CopyResult::failed
                : copyFileToDevice(device, edition.header, edition.localHeader.c_str(),
                                   sizeThere(edition.header), headerFault);
        // An edition is on the handheld when both of its files are.
        auto arrived = [](CopyResult r) {
            return r == CopyResult::copied || r == CopyResult::present;
        };
        if (arrived(data) && arrived(header) &&
            (data == CopyResult::copied || header == CopyResult::copied))
            ++copied;
        DeviceFault now = dataFault != DeviceFault::none ? dataFault : headerFault;
        // The first failure is told, by its cause; a lost connection or a
        // full handheld ends the walk.
        if (now != DeviceFault::none && fault == DeviceFault::none) {
            fault = now;
            if (fault == DeviceFault::full) {
                if (!freeRoom(faultFree)) faultFree = kRoomUnknown;
                faultNeeded = neededFrom(next - 1);
            }
            host.tell(faultText(fault, faultFree, faultNeeded), IDS_ERROR_CAPTION,
                      MB_OK | MB_ICONWARNING);
        }
    }
    device.regCloseKey(key);
    device.rapiUninit();
    if (list && library.removeNewspaperTree) library.removeNewspaperTree(list);
    host.tell(syncSummary(copied, removed), IDS_NOTICE_CAPTION, MB_OK);
    host.finish();
    return copied;
}
