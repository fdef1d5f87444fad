// Synchronisation: copying the newest stored editions, each with its header
// file, into the handheld reader's folder. Runs on a thread of its own
// behind the copy progress dialog.
#ifndef QUILLON_DEVICE_SYNC_H
#define QUILLON_DEVICE_SYNC_H

#include <cstddef>

#include "library_binding.h"
#include "remote_api.h"

// At most this many stored editions are looked at, newest first.
constexpr int kEditionsToCopy = 10;
// A handheld path, terminator included, never exceeds this many characters.
constexpr size_t kDevicePathSize = 388;
// The handheld reader's folder is read with room for this many characters.
constexpr size_t kReaderFolderSize = 260;

// The progress dialog as the copy thread sees it.
class CopyHost {
  public:
    virtual ~CopyHost() = default;
    virtual void *window() = 0;  // owner of the copy's message boxes
    virtual void pause(unsigned milliseconds) = 0;
    // True once the dialog was closed early: the copy stops before its next
    // file and tells nothing more.
    virtual bool stopped() = 0;
    virtual void setProgress(int percent) = 0;
    virtual void setTitle(const char *title) = 0;  // the edition being copied
    virtual void finish() = 0;                     // closes the dialog
};

// The copy thread: connects, copies, disconnects, tells the user the
// number of editions copied and closes the dialog. Returns that number, or
// -1 when the handheld could not be reached or has no reader installed.
int copyNewspapersToDevice(const DeviceApi &device, const LibraryBinding &library, CopyHost &host);

// Copies one desktop file to a new handheld file; a file already on the
// handheld is left alone. 0 on success, 1 on failure.
int copyFileToDevice(const DeviceApi &device, const char16_t *devicePath, const char *localPath);

#endif
