// Reaching the Internet before a library-side transfer: the proxy settings
// copied into http_proxy and ftp_proxy for a LAN, or a dial-up connection
// with the system's offline switch turned to online meanwhile.
#pragma once

#include "config/configuration.h"
#include "download/fetch_state.h"

// Whether the server is reached by dial-up: needsmodem "1" or "TRUE".
bool needsDialUp(const Serverinfo &server);

// Prepares the connection for one server. 0 on success; a dial-up failure
// returns its status code (9, 17, 18, 19 or 20) after sending it to the host.
int prepareConnection(Fetch &fetch, const Serverinfo &server);

// Puts back the offline switch when the server's dial turned it; called at
// the end of every server.
void restoreOfflineSetting(Fetch &fetch);

// Closes the library's dial-up connection when it is up (declared with the
// fetch state as hangUpDialledConnection).
