// Binding the handheld's remote interface by name, and the pieces the copy
// and the installation share.
#include "device_api.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "prompt.h"
#include "user_texts.h"

DeviceApi g_device = {};  // no presence test before binding: no handheld

namespace {

template <typename Call>
void bindCall(Call &call, void *library, const char *name, SymbolLookup lookup) {
    call = reinterpret_cast<Call>(lookup(library, name));
}

bool complete(const DeviceApi &api) {
    return api.getDeviceId && api.rapiInit && api.rapiUninit && api.createFile &&
           api.getLastError && api.closeHandle && api.createProcess && api.writeFile &&
           api.regOpenKeyEx && api.regQueryValueEx && api.regCloseKey && api.getVersionEx;
}

}  // namespace

uint32_t CE_CALL noDevicePresent() { return 0; }

void bindDeviceLibraries(DeviceApi &api, const char *ceutilName, const char *rapiName,
                         LibraryLoader load, SymbolLookup lookup) {
    api = DeviceApi{};
    api.getDeviceId = noDevicePresent;
    void *ceutil = load(ceutilName);
    if (!ceutil) return;
    bindCall(api.getDeviceId, ceutil, "CeGetDeviceId", lookup);
    if (void *rapi = load(rapiName)) {
        bindCall(api.rapiInit, rapi, "CeRapiInit", lookup);
        bindCall(api.rapiUninit, rapi, "CeRapiUninit", lookup);
        bindCall(api.createFile, rapi, "CeCreateFile", lookup);
        bindCall(api.getLastError, rapi, "CeGetLastError", lookup);
        bindCall(api.closeHandle, rapi, "CeCloseHandle", lookup);
        bindCall(api.createProcess, rapi, "CeCreateProcess", lookup);
        bindCall(api.writeFile, rapi, "CeWriteFile", lookup);
        bindCall(api.regOpenKeyEx, rapi, "CeRegOpenKeyEx", lookup);
        bindCall(api.regQueryValueEx, rapi, "CeRegQueryValueEx", lookup);
        bindCall(api.regCloseKey, rapi, "CeRegCloseKey", lookup);
        bindCall(api.getVersionEx, rapi, "CeGetVersionEx", lookup);
        bindCall(api.deleteFile, rapi, "CeDeleteFile", lookup);
        bindCall(api.rapiGetError, rapi, "CeRapiGetError", lookup);
        bindCall(api.findFirstFile, rapi, "CeFindFirstFile", lookup);
        bindCall(api.findNextFile, rapi, "CeFindNextFile", lookup);
        bindCall(api.findClose, rapi, "CeFindClose", lookup);
        bindCall(api.moveFile, rapi, "CeMoveFile", lookup);
        bindCall(api.getStoreInformation, rapi, "CeGetStoreInformation", lookup);
    }
    if (!complete(api)) api.getDeviceId = noDevicePresent;
}

void bindDeviceApi() {
    bindDeviceLibraries(g_device, "ceutil.dll", "rapi.dll", loadSystemLibrary, systemExport);
}

int devicePresent() { return g_device.getDeviceId && g_device.getDeviceId() != 0 ? 1 : 0; }

std::u16string toDeviceText(const std::string &text) {
#ifdef _WIN32
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t *>(&out[0]), n);
    return out;
#else
    // Windows-1252, the code page of the German texts.
    static const char16_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text) out += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t(c);
    return out;
#endif
}

void reportRemoteInitFailure(void *owner) {
    messageBox(owner, userText(IDS_REMOTE_INIT_FAILED), userText(IDS_SYNC_CAPTION),
               MB_OK | MB_ICONWARNING);
}
