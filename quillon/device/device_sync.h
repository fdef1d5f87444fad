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
    // While true the thread waits for the connection software to connect,
    // which only a handheld or ending the connection from another thread
    // ends.
    virtual void connecting(bool) {}
};

// The copy thread: connects, copies, disconnects, tells the user the
// number of editions copied and closes the dialog. Returns that number, or
// -1 when the handheld could not be reached or has no reader installed.
int copyNewspapersToDevice(const DeviceApi &device, const LibraryBinding &library, CopyHost &host);

// What copying one file came to.
enum class CopyResult {
    copied,         // the whole file is on the handheld
    present,        // a file of that name was there already, and stays
    sourceMissing,  // the desktop file could not be read (the user was told)
    failed,         // it did not arrive whole; nothing of it stays
};

// Copies one desktop file to a new handheld file; a file already on the
// handheld is left alone.
CopyResult copyFileToDevice(const DeviceApi &device, const char16_t *devicePath,
                            const char *localPath);

// Writes all of data to an open handheld file; false unless every byte
// arrived.
bool writeWhole(const DeviceApi &device, CeHandle target, const void *data, size_t size);

// Whether the last remote call failed because the connection did (when
// the connection software can tell).
bool connectionLost(const DeviceApi &device);

#endif
