// The work around each transfer: cleaning the server's working folder
// before an attempt, and starting its unpacker after a transfer.
#pragma once

#include "config/configuration.h"
#include "download/fetch_state.h"

// Deletes the leftovers of transfer programs in the server's folder; hidden
// and system files stay.
void cleanServerFolder(const Serverinfo &server);

// Starts the server's unpacker in its folder when a library-side transfer
// ran, then waits the fixed time. False when the fetch was abandoned. The
// program is started by its path as written (program); the record keeps it
// upper-cased.
bool startUnpacker(const Fetch &fetch, const Serverinfo &server, const char *program,
                   bool librarySide);
