// The library's life cycle: initialisation, resynchronisation and shutdown,
// in the order the layers below need them.
#pragma once

// Reads the configuration and scans the store (behind QL_Initialize and
// QL_ResyncNewspaper). Returns QL_OK or QL_ERR_CONFIG.
int initialiseLibrary();

// Frees the store's list, the open tree and the reader's tables.
void shutdownLibrary();
