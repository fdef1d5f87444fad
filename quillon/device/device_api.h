// The handheld's remote interface, bound at run time when the platform's
// desktop connection software is installed.
#ifndef QUILLON_DEVICE_API_H
#define QUILLON_DEVICE_API_H

// Binds the remote interface; reports nothing, and leaves the presence test
// answering "no handheld" when anything is missing.
void bindDeviceApi();

// The presence test: non-zero while a handheld is connected.
int devicePresent();

// The presence test of an incomplete binding: always 0.
int noDevicePresent();

#endif
