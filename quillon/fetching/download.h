// What the download dialog does while the library fetches, apart from its
// window: starting the fetch with its questions, turning each of the
// library's notifications into the user's message, and cancelling.
#ifndef QUILLON_DOWNLOAD_H
#define QUILLON_DOWNLOAD_H

#include "library_binding.h"

// The window message the library's notifications arrive as (WM_USER + 10).
constexpr unsigned kHostNotifyMessage = 0x0400 + 10;

// 0: only editions not yet fetched today; 1: everything again. Set by the
// main window before the dialog opens; the dialog may switch it to 1.
extern int g_downloadMode;

// The user's text for a status code the library reports as an error, 0 for
// one that is none.
int statusErrorText(intptr_t code);

// The window side of the download dialog.
class DownloadHost {
  public:
    virtual ~DownloadHost() = default;
    virtual QL_HostWindow hostWindow() = 0;  // the window the library notifies
    virtual void *window() const = 0;        // owner of the dialog's boxes
    // The size of a program update the server offered (UPDATE under
    // Software\VKT\Quillon\), 0 when there is none.
    virtual unsigned long updateOffer() = 0;
    virtual void setProgress(int percent) = 0;
    // How many newspapers the library keeps, as the settings say.
    virtual int paperLimit() const = 0;
    virtual void end(int result) = 0;  // closes the dialog with this result
};

class DownloadController {
  public:
    DownloadController(const LibraryBinding &library, DownloadHost &host)
        : library_(library), host_(host) {}

    // Registers with the library and starts the fetch, asking what has to be
    // asked first. False when the start was refused and the dialog has ended.
    bool start();
    // One notification of the library (category, code).
    void notify(uintptr_t category, intptr_t code);
    // Escape or the close box: stops the fetch and ends the dialog with 2.
    void cancel();
    // The dialog window is going: the library gets no host window any more.
    void destroyed();

  private:
    void finish(int result);

    const LibraryBinding &library_;
    DownloadHost &host_;
    // Once the dialog ends, notifications still on their way are not told.
    bool ended_ = false;
};

#endif
