// Start-up steps between the main window and the message loop that do not
// touch the window system: binding the library and initialising it.
#ifndef QUILLON_STARTUP_H
#define QUILLON_STARTUP_H

#include "library_binding.h"

// Binds the loaded library `module` (null when it could not be loaded) into
// g_binding, sets g_enhanced and calls QL_Initialize(1). Every failure has
// been shown to the user when this returns false; the program then ends
// with exit code 0.
bool startLibrary(void *module, SymbolLookup lookup);

#endif
