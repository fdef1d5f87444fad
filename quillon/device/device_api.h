// The handheld's remote interface, bound at run time when the platform's
// desktop connection software is installed, and what the copy and the
// installation share on top of it.
#ifndef QUILLON_DEVICE_API_H
#define QUILLON_DEVICE_API_H

#include <string>

#include "library_binding.h"
#include "remote_api.h"

// The process-wide binding, written only during start-up.
extern DeviceApi g_device;

// Binds "ceutil.dll" and "rapi.dll"; reports nothing, and leaves the
// presence test answering "no handheld" when anything is missing.
void bindDeviceApi();

// Fills `api` from the two libraries. The presence test is replaced by
// noDevicePresent unless all twelve calls are bound; without the first
// library the second is never loaded.
void bindDeviceLibraries(DeviceApi &api, const char *ceutilName, const char *rapiName,
                         LibraryLoader load, SymbolLookup lookup);

// The presence test of the binding: non-zero while a handheld is connected.
int devicePresent();

// The presence test of an incomplete binding: always 0.
uint32_t CE_CALL noDevicePresent();

// A desktop text (the system's code page) as a handheld text.
std::u16string toDeviceText(const std::string &text);

// Tells the user that the connection to the handheld could not be set up.
void reportRemoteInitFailure(void *owner);

#endif
