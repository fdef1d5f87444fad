// The handheld's remote interface: the calls of the platform's desktop
// connection software ("ceutil.dll" and "rapi.dll") and the values they take,
// declared with plain types so that the copy and the installation build and
// can be tested everywhere. Texts on the handheld are UTF-16.
#ifndef QUILLON_REMOTE_API_H
#define QUILLON_REMOTE_API_H

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define CE_CALL __stdcall
#else
#define CE_CALL
#endif

using CeHandle = void *;
using CeKey = void *;

constexpr uint32_t kCeGenericRead = 0x80000000u;
constexpr uint32_t kCeGenericWrite = 0x40000000u;
constexpr uint32_t kCeShareRead = 0x1u;
constexpr uint32_t kCeCreateNew = 1;     // fails when the file exists
constexpr uint32_t kCeCreateAlways = 2;  // replaces an existing file
constexpr uint32_t kCeNormalFile = 0x80u;
constexpr uint32_t kCeRegString = 1;  // REG_SZ

// Last-error values.
constexpr uint32_t kCeErrorFileNotFound = 2;
constexpr uint32_t kCeErrorPathNotFound = 3;
constexpr uint32_t kCeErrorInvalidHandle = 6;
constexpr uint32_t kCeErrorFileExists = 80;      // CREATE_NEW on an existing file
constexpr uint32_t kCeErrorAlreadyExists = 183;  // CREATE_ALWAYS replaced a file
constexpr uint32_t kCeErrorMoreData = 234;
constexpr uint32_t kCeErrorDiskFull = 112;
constexpr uint32_t kCeErrorSharingViolation = 32;  // a running program holds the file
constexpr uint32_t kCeErrorNoMoreFiles = 18;
constexpr uint32_t kCeDirectory = 0x10u;  // a folder, among the found entries

// The handle a failed create returns.
inline CeHandle ceInvalidHandle() { return reinterpret_cast<CeHandle>(static_cast<intptr_t>(-1)); }
// The root key of the handheld's current user (HKEY_CURRENT_USER).
inline CeKey ceCurrentUser() {
    return reinterpret_cast<CeKey>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001u)));
}

// The handheld's version record (CEOSVERSIONINFO).
struct CeVersionInfo {
    uint32_t size;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t platform;
    char16_t servicePack[128];
};

using CeGetDeviceIdCall = uint32_t(CE_CALL *)();
using CeRapiInitCall = int32_t(CE_CALL *)();  // 0 when the connection is up
using CeRapiUninitCall = int32_t(CE_CALL *)();
using CeCreateFileCall = CeHandle(CE_CALL *)(const char16_t *path, uint32_t access, uint32_t share,
                                             void *security, uint32_t disposition,
                                             uint32_t attributes, CeHandle templateFile);
using CeGetLastErrorCall = uint32_t(CE_CALL *)();
using CeCloseHandleCall = int32_t(CE_CALL *)(CeHandle handle);
using CeCreateProcessCall = int32_t(CE_CALL *)(const char16_t *program, const char16_t *commandLine,
                                               void *processSecurity, void *threadSecurity,
                                               int32_t inheritHandles, uint32_t flags,
                                               void *environment, char16_t *folder, void *startup,
                                               void *processInfo);
using CeWriteFileCall = int32_t(CE_CALL *)(CeHandle handle, const void *data, uint32_t size,
                                           uint32_t *written, void *overlapped);
using CeRegOpenKeyExCall = int32_t(CE_CALL *)(CeKey root, const char16_t *path, uint32_t options,
                                              uint32_t access, CeKey *key);
using CeRegQueryValueExCall = int32_t(CE_CALL *)(CeKey key, const char16_t *name,
                                                 uint32_t *reserved, uint32_t *type, uint8_t *data,
                                                 uint32_t *size);
using CeRegCloseKeyCall = int32_t(CE_CALL *)(CeKey key);
using CeGetVersionExCall = int32_t(CE_CALL *)(CeVersionInfo *info);
using CeDeleteFileCall = int32_t(CE_CALL *)(const char16_t *path);
// Non-zero (an HRESULT) when the last call failed because the connection
// did, rather than on the handheld.
using CeRapiGetErrorCall = uint32_t(CE_CALL *)();

// One entry a search of the handheld's folders found (CE_FIND_DATA).
struct CeFindData {
    uint32_t attributes;
    uint32_t times[6];  // created, last read, last written (FILETIMEs)
    uint32_t sizeHigh;
    uint32_t sizeLow;
    uint32_t objectId;
    char16_t name[260];
};

// The size and the free room of the handheld's store (STORE_INFORMATION).
struct CeStoreInformation {
    uint32_t storeSize;
    uint32_t freeSize;
};

using CeFindFirstFileCall = CeHandle(CE_CALL *)(const char16_t *pattern, CeFindData *found);
using CeFindNextFileCall = int32_t(CE_CALL *)(CeHandle search, CeFindData *found);
using CeFindCloseCall = int32_t(CE_CALL *)(CeHandle search);
// Fails when the new name exists already.
using CeMoveFileCall = int32_t(CE_CALL *)(const char16_t *from, const char16_t *to);
using CeGetStoreInformationCall = int32_t(CE_CALL *)(CeStoreInformation *information);

// The bound calls; every entry is null until bound.
struct DeviceApi {
    CeGetDeviceIdCall getDeviceId;  // ceutil.dll: the presence test
    CeRapiInitCall rapiInit;        // rapi.dll from here on, in binding order
    CeRapiUninitCall rapiUninit;
    CeCreateFileCall createFile;
    CeGetLastErrorCall getLastError;
    CeCloseHandleCall closeHandle;
    CeCreateProcessCall createProcess;
    CeWriteFileCall writeFile;
    CeRegOpenKeyExCall regOpenKeyEx;
    CeRegQueryValueExCall regQueryValueEx;
    CeRegCloseKeyCall regCloseKey;
    CeGetVersionExCall getVersionEx;
    // Not among the twelve, each bound when rapi.dll has it: taking back a
    // handheld file whose copy failed, and telling a lost connection.
    CeDeleteFileCall deleteFile;
    CeRapiGetErrorCall rapiGetError;
    // Also optional: listing the reader's folder (the sizes of what is there,
    // leftovers), moving a file that arrived whole into place, and the room
    // left. Without them files are written under their own names.
    CeFindFirstFileCall findFirstFile;
    CeFindNextFileCall findNextFile;
    CeFindCloseCall findClose;
    CeMoveFileCall moveFile;
    CeGetStoreInformationCall getStoreInformation;
};

#endif
