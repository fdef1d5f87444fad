// What the copy and the installation know about the handheld's files: the
// temporary name a file is written under until it arrived whole, which names
// in the reader's folder are ours, the folder's listing with sizes, and the
// cause of a failed remote call in the reader's words.
#ifndef QUILLON_HANDHELD_FOLDER_H
#define QUILLON_HANDHELD_FOLDER_H

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "remote_api.h"

// The name a file is written under: its last character replaced by "~", so
// the path is no longer than the file's own and the handheld reader, which
// looks for its editions by extension, never opens a half file.
std::u16string temporaryName(const std::u16string &name);

// Whether a name in the reader's folder is a temporary name of ours that an
// earlier copy left behind: a data file ("*" + dataExtension) or a header
// file ("*.ehd") with its last character replaced by "~".
bool isLeftover(const std::u16string &name, const std::u16string &dataExtension);

// Whether a name in the reader's folder is one the desktop store gives its
// files: "*" + dataExtension or "*.ehd", case ignored.
bool isStoreName(const std::u16string &name, const std::u16string &dataExtension);

// The files (no folders) of a handheld folder, by name as the handheld spells
// it, with their sizes.
using HandheldListing = std::map<std::u16string, uint64_t>;

// Lists `folder` (ending in "\"). False when the connection cannot list (the
// calls are not bound) or the search failed other than finding nothing.
bool listHandheldFolder(const DeviceApi &device, const std::u16string &folder,
                        HandheldListing &listing);

// The size of one handheld file; -1 when it is not there or cannot be asked.
int64_t handheldFileSize(const DeviceApi &device, const std::u16string &path);

// Why a remote call failed, as the reader is told it.
enum class DeviceFault {
    none,
    disconnected,   // the connection went
    full,           // no room left on the handheld
    readerRunning,  // the handheld reader holds the file
    other,          // anything else: the file could not be copied
};

// The cause of the remote call that just failed.
DeviceFault faultOfLastCall(const DeviceApi &device);

// A size as the reader hears it: "520 Bytes", "38 KB", "12 MB".
std::string sizeText(uint64_t bytes);

// The free room of a handheld whose connection cannot tell it.
constexpr uint64_t kRoomUnknown = UINT64_MAX;

// The text for a fault; `free` and `needed` are told for a full handheld
// whose free room is known.
std::string faultText(DeviceFault fault, uint64_t free, uint64_t needed);

// The summary of a copy: editions copied and editions taken off the
// handheld, in correct German for one and for many.
std::string syncSummary(int copied, int removed);

#endif
