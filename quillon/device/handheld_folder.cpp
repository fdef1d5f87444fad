// The handheld's files as the copy and the installation see them.
#include "handheld_folder.h"

#include "device_sync.h"
#include "user_texts.h"

namespace {

std::u16string folded(std::u16string s) {
    for (char16_t &c : s)
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
    return s;
}

// Whether `name` is longer than `suffix` and ends in it, case ignored.
bool endsWith(const std::u16string &name, const std::u16string &suffix) {
    return !suffix.empty() && name.size() > suffix.size() &&
           folded(name.substr(name.size() - suffix.size())) == folded(suffix);
}

}  // namespace

std::u16string temporaryName(const std::u16string &name) {
    if (name.empty()) return u"~";
    return name.substr(0, name.size() - 1) + u'~';
}

bool isStoreName(const std::u16string &name, const std::u16string &dataExtension) {
    return endsWith(name, dataExtension) || endsWith(name, u".ehd");
}

bool isLeftover(const std::u16string &name, const std::u16string &dataExtension) {
    if (name.empty() || name.back() != u'~') return false;
    for (const std::u16string &extension : {dataExtension, std::u16string(u".ehd")})
        if (extension.size() > 1 && endsWith(name, temporaryName(extension))) return true;
    return false;
}

bool listHandheldFolder(const DeviceApi &device, const std::u16string &folder,
                        HandheldListing &listing) {
    listing.clear();
    if (!device.findFirstFile || !device.findNextFile || !device.findClose) return false;
    CeFindData found = {};
    CeHandle search = device.findFirstFile((folder + u"*").c_str(), &found);
    if (!search || search == ceInvalidHandle()) {
        // An empty folder is found empty; anything else is no listing.
        uint32_t error = device.getLastError();
        return !(device.rapiGetError && device.rapiGetError() != 0) &&
               (error == kCeErrorFileNotFound || error == kCeErrorNoMoreFiles);
    }
    bool complete = true;
    for (;;) {
        found.name[sizeof found.name / sizeof found.name[0] - 1] = u'\0';
        if (!(found.attributes & kCeDirectory))
            listing[found.name] = uint64_t(found.sizeHigh) << 32 | found.sizeLow;
        found = {};
        if (!device.findNextFile(search, &found)) {
            complete = device.getLastError() == kCeErrorNoMoreFiles;
            break;
        }
    }
    device.findClose(search);
    return complete;
}

int64_t handheldFileSize(const DeviceApi &device, const std::u16string &path) {
    if (!device.findFirstFile || !device.findClose) return -1;
    CeFindData found = {};
    CeHandle search = device.findFirstFile(path.c_str(), &found);
    if (!search || search == ceInvalidHandle()) return -1;
    device.findClose(search);
    if (found.attributes & kCeDirectory) return -1;
    return static_cast<int64_t>(uint64_t(found.sizeHigh) << 32 | found.sizeLow);
}

DeviceFault faultOfLastCall(const DeviceApi &device) {
    if (connectionLost(device)) return DeviceFault::disconnected;
    switch (device.getLastError()) {
        case kCeErrorDiskFull:
            return DeviceFault::full;
        case kCeErrorSharingViolation:
            return DeviceFault::readerRunning;
        default:
            return DeviceFault::other;
    }
}

std::string sizeText(uint64_t bytes) {
    constexpr uint64_t kKilo = 1024, kMega = 1024 * 1024;
    if (bytes < 10 * kKilo) return std::to_string(bytes) + " Bytes";
    // Rounded up: a reader who frees what he is told must have enough.
    if (bytes < 10 * kMega) return std::to_string((bytes + kKilo - 1) / kKilo) + " KB";
    return std::to_string((bytes + kMega - 1) / kMega) + " MB";
}

std::string faultText(DeviceFault fault, uint64_t free, uint64_t needed) {
    switch (fault) {
        case DeviceFault::disconnected:
            return userText(IDS_DEVICE_DISCONNECTED);
        case DeviceFault::full:
            if (free == kRoomUnknown) return userText(IDS_DEVICE_NO_ROOM_UNTOLD);
            return formatText(userText(IDS_DEVICE_NO_ROOM), sizeText(free).c_str(),
                              sizeText(needed).c_str());
        case DeviceFault::readerRunning:
            return userText(IDS_DEVICE_READER_RUNS);
        default:
            return userText(IDS_IMAGE_NOT_COPIED);
    }
}

std::string syncSummary(int copied, int removed) {
    std::string text =
        copied == 1 ? userText(IDS_SYNC_DONE_ONE) : formatText(userText(IDS_SYNC_DONE), copied);
    if (removed == 1) text += userText(IDS_SYNC_REMOVED_ONE);
    if (removed > 1) text += formatText(userText(IDS_SYNC_REMOVED), removed);
    return text;
}
