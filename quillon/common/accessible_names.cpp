// Names for the controls that have no label before them, given through
// Microsoft Active Accessibility's dynamic annotation: a screen reader asks
// the control's accessible object for its name and gets this one. Where the
// service is missing (as under Wine) nothing happens and nothing fails.
#include <ole2.h>
#include <oleacc.h>

#include <map>
#include <string>

#include "dialogs.h"

namespace {

// Defined here rather than taken from liboleacc.a, whose symbols for these
// resolve to import thunks when linked statically.
const CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
const GUID kPropAccName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// The names asked for, by control, for the tests and for releasing.
std::map<HWND, std::string> g_names;

// The service, created on first use on the GUI thread; null where it is
// missing or COM is not running on this thread.
IAccPropServices *service() {
    static IAccPropServices *services = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        void *p = nullptr;
        if (SUCCEEDED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                       kIAccPropServices, &p)))
            services = static_cast<IAccPropServices *>(p);
    }
    return services;
}

}  // namespace

void setAccessibleName(HWND control, const char *name) {
    if (!control || !name) return;
    g_names[control] = name;
    IAccPropServices *s = service();
    if (!s) return;
    // The texts are the program's own, in the system's code page.
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 0) return;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, &wide[0], n);
    s->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kPropAccName,
                      wide.c_str());
}

void clearAccessibleName(HWND control) {
    if (g_names.erase(control) == 0) return;
    if (IAccPropServices *s = service()) {
        MSAAPROPID props[] = {kPropAccName};
        s->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, props, 1);
    }
}

const char *accessibleNameOf(HWND control) {
    auto it = g_names.find(control);
    return it == g_names.end() ? nullptr : it->second.c_str();
}
