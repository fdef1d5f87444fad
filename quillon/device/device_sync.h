// Synchronisation: copying the newest stored editions, each with its header
// file, into the handheld reader's folder. Runs on a thread of its own
// behind the copy progress dialog.
#ifndef QUILLON_DEVICE_SYNC_H
#define QUILLON_DEVICE_SYNC_H

#include <cstddef>
#include <string>

#include "handheld_folder.h"
#include "library_binding.h"
#include "remote_api.h"

// At most this many stored editions are looked at, newest first.
constexpr int kEditionsToCopy = 10;
// A handheld path, terminator included, never exceeds this many characters.
constexpr size_t kDevicePathSize = 388;
// The handheld reader's folder is read with room for this many characters.
constexpr size_t kReaderFolderSize = 260;

// The progress dialog as the copy thread (and the installation's thread)
// sees it.
class CopyHost {
  public:
    virtual ~CopyHost() = default;
    virtual void *window() = 0;  // owner of the copy's message boxes
    virtual void pause(unsigned milliseconds) = 0;
    // True once the dialog was closed early: the copy stops before its next
    // file or library call.
    virtual bool stopped() = 0;
    virtual void setProgress(int percent) = 0;
    virtual void setTitle(const char *title) = 0;  // the edition being copied
    virtual void finish() = 0;                     // closes the dialog
    // While true the thread waits for the connection software to connect,
    // which only a handheld or ending the connection from another thread
    // ends.
    virtual void connecting(bool) {}
    // Tells the reader something: a box owned by window(). A dialog closed
    // early may tell it later, or not at all when the program ends.
    virtual void tell(const std::string &text, int captionId, unsigned style);
    // Asks; IDYES or IDNO.
    virtual int ask(const std::string &text, int captionId, unsigned style);
};

// The copy thread: connects, removes leftovers and editions the desktop no
// longer keeps, copies, disconnects, tells the user the number of editions
// copied and closes the dialog. Returns that number, or -1 when the
// handheld could not be reached, has no reader installed or the dialog was
// closed before the copy began.
int copyNewspapersToDevice(const DeviceApi &device, const LibraryBinding &library, CopyHost &host);

// What copying one file came to.
enum class CopyResult {
    copied,         // the whole file is on the handheld
    present,        // the same file (name and size) was there already, and stays
    sourceMissing,  // the desktop file could not be read (the user was told)
    failed,         // it did not arrive whole; nothing of it stays
};

// The size of a handheld file when nothing is known about it: a file of that
// name counts as the same file.
constexpr int64_t kSizeUnknown = -2;

// Copies one desktop file to the handheld. `sizeThere` is the size of the
// file of that name on the handheld, -1 when there is none. Written under
// its temporary name and moved into place once it arrived whole, when the
// connection can move files and the size there is known; otherwise written
// under its own name. `fault` tells why a copy failed.
CopyResult copyFileToDevice(const DeviceApi &device, const std::u16string &devicePath,
                            const char *localPath, int64_t sizeThere, DeviceFault &fault);

// Writes `size` bytes to the handheld under the temporary name of `devicePath`,
// checks the size that arrived and moves the file into place, replacing one
// there. Nothing of it stays when that fails, and `fault` tells why.
bool writeInPlace(const DeviceApi &device, const std::u16string &devicePath, const void *data,
                  size_t size, DeviceFault &fault);

// Writes all of data to an open handheld file; false unless every byte
// arrived.
bool writeWhole(const DeviceApi &device, CeHandle target, const void *data, size_t size);

// Whether the last remote call failed because the connection did (when
// the connection software can tell).
bool connectionLost(const DeviceApi &device);

#endif
