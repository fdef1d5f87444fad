// The library's own HTTP transfer of one server's editions.
#pragma once

#include <memory>

#include "download/fetch_state.h"

// Starts the transfer of the server with the given index on a thread of its
// own; null when the thread cannot be created.
std::shared_ptr<TransferThread> startInternalTransfer(std::shared_ptr<Fetch> fetch,
                                                      int serverIndex);
