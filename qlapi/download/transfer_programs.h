// External transfer programs: a piped console program whose standard output
// carries its receipts, and a postmaster that owns a window and is driven
// through the shared block.
#pragma once

#include <memory>

#include "config/configuration.h"
#include "download/fetch_state.h"

// Starts appl with command in folder and a reader of its output. Gives the
// reader as the transfer thread, or null when no reader could be started.
// A reader still running from before answers "BUSY".
std::shared_ptr<TransferThread> startPipedTransfer(std::shared_ptr<Fetch> fetch,
                                                   const Serverinfo &server);

// Starts a postmaster program; false when it could not be started.
bool startPostmaster(const Serverinfo &server);

// Hands the server over to the postmaster: its name, then its Serverinfo
// image, each announced by message 1025. False when the fetch was abandoned.
bool handOverToPostmaster(const Fetch &fetch, const platform::WindowRef &window,
                          const char *serverName, const Serverinfo &server);

// Whether a piped reader is still reading.
bool pipedReaderActive();
