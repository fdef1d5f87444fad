// Start-up: the system check, the user texts, the main window, the library,
// and the message loop.
#include "dialogs.h"  // windows.h first

#include <commctrl.h>
#include <objbase.h>

#include "../device/device_api.h"
#include "auto_fetch.h"
#include "prompt.h"
#include "startup.h"
#include "user_texts.h"

namespace {

bool isNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    g_instance = instance;
    // For the accessibility service that names unlabelled controls; where
    // COM or the service is missing, the controls simply go unnamed.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    bool nt = isNtFamily();
    loadUserTexts(loadStringTableText);
    if (!nt) {
        messageBox(nullptr, userText(IDS_WRONG_SYSTEM), userText(IDS_APP_TITLE),
                   MB_OK | MB_ICONWARNING);
        return -1;
    }
    // The scheduled fetch and the installer's task jobs: no main window.
    if (CommandJob job = commandJob(commandLine); job != CommandJob::None) {
        int code = job == CommandJob::Fetch ? runFetchCommand()
                                            : runTaskCommand(job == CommandJob::RemoveTask);
        if (SUCCEEDED(com)) CoUninitialize();
        return code;
    }

    HWND window = createMainWindow();
    if (!window) return 0;
    // The window stands before the library is loaded, which may take a while.
    ShowWindow(window, show);
    UpdateWindow(window);

    bindDeviceApi();
    // By bare name, so that the system's normal library search applies.
    if (!startLibrary(loadSystemLibrary("qlapi.dll"), systemExport)) return 0;

    HACCEL accelerators = createKeyAccelerators();  // the key table's, as the handbook lists them
    applyHandheldRule(window);
    startAutoFetching(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return static_cast<int>(message.wParam);
}
