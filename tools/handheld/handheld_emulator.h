// A handheld for development: the calls of the platform's desktop connection
// software, answered from a folder on the desktop named by QUILLON_HANDHELD.
// Built into our own ceutil.dll and rapi.dll, and linked into the tests.
#ifndef QUILLON_HANDHELD_EMULATOR_H
#define QUILLON_HANDHELD_EMULATOR_H

#include "remote_api.h"

extern "C" {
// ceutil.dll
uint32_t CE_CALL CeGetDeviceId();

// rapi.dll
int32_t CE_CALL CeRapiInit();
int32_t CE_CALL CeRapiUninit();
CeHandle CE_CALL CeCreateFile(const char16_t *path, uint32_t access, uint32_t share, void *security,
                              uint32_t disposition, uint32_t attributes, CeHandle templateFile);
uint32_t CE_CALL CeGetLastError();
int32_t CE_CALL CeCloseHandle(CeHandle handle);
int32_t CE_CALL CeCreateProcess(const char16_t *program, const char16_t *commandLine,
                                void *processSecurity, void *threadSecurity, int32_t inheritHandles,
                                uint32_t flags, void *environment, char16_t *folder, void *startup,
                                void *processInfo);
int32_t CE_CALL CeWriteFile(CeHandle handle, const void *data, uint32_t size, uint32_t *written,
                            void *overlapped);
int32_t CE_CALL CeRegOpenKeyEx(CeKey root, const char16_t *path, uint32_t options, uint32_t access,
                               CeKey *key);
int32_t CE_CALL CeRegQueryValueEx(CeKey key, const char16_t *name, uint32_t *reserved,
                                  uint32_t *type, uint8_t *data, uint32_t *size);
int32_t CE_CALL CeRegCloseKey(CeKey key);
int32_t CE_CALL CeGetVersionEx(CeVersionInfo *info);
int32_t CE_CALL CeDeleteFile(const char16_t *path);
uint32_t CE_CALL CeRapiGetError();
CeHandle CE_CALL CeFindFirstFile(const char16_t *pattern, CeFindData *found);
int32_t CE_CALL CeFindNextFile(CeHandle search, CeFindData *found);
int32_t CE_CALL CeFindClose(CeHandle search);
int32_t CE_CALL CeMoveFile(const char16_t *from, const char16_t *to);
int32_t CE_CALL CeGetStoreInformation(CeStoreInformation *information);
}

// The calls above as a bound table, for calling the emulator in-process.
DeviceApi handheldEmulatorApi();

// Plugs the handheld in or out, as a cable would: rewrites the "connected"
// setting of its handheld.ini and keeps every other line. False when no
// handheld is set up or its settings cannot be written.
bool setHandheldConnected(bool connected);

#endif
