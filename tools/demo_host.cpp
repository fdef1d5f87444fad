// A console host for the library: loads it at run time as the desktop
// program does, initialises it, optionally fetches (printing every
// notification), prints every stored newspaper with its resorts, articles
// and paragraphs, and shuts it down.
//
//   demo_host [--fetch] [library]     default: qlapi.dll / libqlapi.so beside it
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "qlapi.h"

namespace {

// Edition texts are ISO 8859-1; the terminal wants UTF-8.
std::string utf8(const char *latin1) {
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(latin1 ? latin1 : ""); *p;
         ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else {
            out += static_cast<char>(0xC0 | (*p >> 6));
            out += static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

struct Api {
    int(QLAPI_CALL *initialize)(int);
    int(QLAPI_CALL *registerCallback)(QL_HostWindow, unsigned int);
    int(QLAPI_CALL *getNewspaper)(int);
    int(QLAPI_CALL *resync)();
    int(QLAPI_CALL *dllError)();
    const NewspaperRecord *(QLAPI_CALL *firstNewspaper)();
    const NewspaperRecord *(QLAPI_CALL *nextNewspaper)();
    const ItemRecord *(QLAPI_CALL *firstResort)(ItemId);
    const ItemRecord *(QLAPI_CALL *nextResort)(ItemId);
    const ItemRecord *(QLAPI_CALL *firstArticle)(ItemId);
    const ItemRecord *(QLAPI_CALL *nextArticle)(ItemId);
    const char *(QLAPI_CALL *firstParagraph)(ItemId);
    const char *(QLAPI_CALL *nextParagraph)(ItemId);
};
Api api{};

void *loadLibrary(const char *name) {
#ifdef _WIN32
    return reinterpret_cast<void *>(LoadLibraryA(name));
#else
    return dlopen(name, RTLD_NOW);
#endif
}

void *symbol(void *library, const char *name) {
#ifdef _WIN32
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <typename F>
bool bind(void *library, const char *name, F &out) {
    out = reinterpret_cast<F>(symbol(library, name));
    if (!out) fprintf(stderr, "demo_host: the library lacks %s\n", name);
    return out != nullptr;
}

void printResorts(ItemId parent, int depth) {
    for (const ItemRecord *r = api.firstResort(parent); r; r = api.nextResort(parent)) {
        printf("%*sResort %08x: %s\n", depth * 2, "", static_cast<unsigned>(r->id),
               utf8(r->title).c_str());
        ItemId resort = r->id;
        for (const ItemRecord *a = api.firstArticle(resort); a; a = api.nextArticle(resort)) {
            printf("%*sArticle %08x: %s\n", depth * 2 + 2, "", static_cast<unsigned>(a->id),
                   utf8(a->headline).c_str());
            ItemId article = a->id;
            for (const char *p = api.firstParagraph(article); p; p = api.nextParagraph(article))
                printf("%*s%s\n", depth * 2 + 4, "", utf8(p).c_str());
        }
        printResorts(resort, depth + 1);
    }
}

std::atomic<bool> g_fetchEnded{false};
const unsigned kHostMessage = 1034;

const char *statusName(intptr_t code) {
    static const char *const names[] = {"NOMODEM",
                                        "NOMODEMPOSTMASTER",
                                        "NOFTPPOSTMASTER",
                                        "DEVICEBUSY",
                                        "PIPEERROR",
                                        "NP_PRESENT",
                                        "THREADCREATEERROR",
                                        "TRANSMISSIONERROR",
                                        "PHONEBUSY",
                                        "NOPICKUP",
                                        "ACCESSDENIED",
                                        "ERROR",
                                        "TRANSMISSIONCOMPLETE",
                                        "DORESYNC",
                                        "POSTMASTERSTARTUPERROR",
                                        "TRANSMISSIONCANCELLED"};
    return code >= 9 && code <= 24 ? names[code - 9] : "?";
}

// What the download dialog would show, one line per notification.
void onNotification(uintptr_t category, intptr_t code) {
    if (category == QL_NOTIFY_PROGRESS) {
        printf("  progress %d%%\n", static_cast<int>(code));
    } else if (category == QL_NOTIFY_STATUS) {
        printf("  status %d %s\n", static_cast<int>(code), statusName(code));
        if (code == QL_STATUS_DORESYNC) {
            printf("  QL_ResyncNewspaper() = %d\n", api.resync());
            g_fetchEnded = true;
        }
    } else {
        printf("  library error %d\n", static_cast<int>(code));
    }
    fflush(stdout);
}

#ifdef _WIN32
LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kHostMessage) {
        onNotification(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
#else
intptr_t hostProc(QL_HostWindowRec *, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == kHostMessage) onNotification(wParam, lParam);
    return 0;
}
#endif

// Fetches with force and waits for the end, as the download dialog does.
void fetch() {
#ifdef _WIN32
    WNDCLASSA wc{};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DemoHost";
    RegisterClassA(&wc);
    QL_HostWindow window =
        CreateWindowA("DemoHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
#else
    static QL_HostWindowRec record{hostProc, nullptr};
    QL_HostWindow window = &record;
#endif
    api.registerCallback(window, kHostMessage);
    int rc = api.getNewspaper(1);
    printf("QL_GetNewspaper(1) = %d\n", rc);
    auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (rc == QL_OK && !g_fetchEnded && std::chrono::steady_clock::now() < end) {
#ifdef _WIN32
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    api.registerCallback(nullptr, 0);
}

}  // namespace

int main(int argc, char **argv) {
    bool withFetch = argc > 1 && strcmp(argv[1], "--fetch") == 0;
    if (withFetch) --argc, ++argv;
#ifdef _WIN32
    const char *name = argc > 1 ? argv[1] : "qlapi.dll";
#else
    const char *name = argc > 1 ? argv[1] : "libqlapi.so";
#endif
    void *library = loadLibrary(name);
    if (!library) {
        fprintf(stderr, "demo_host: cannot load %s\n", name);
        return 2;
    }
    if (!bind(library, "QL_Initialize", api.initialize) ||
        !bind(library, "QL_RegisterCallback", api.registerCallback) ||
        !bind(library, "QL_GetNewspaper", api.getNewspaper) ||
        !bind(library, "QL_ResyncNewspaper", api.resync) ||
        !bind(library, "QL_DllError", api.dllError) ||
        !bind(library, "QL_FindFirstNewspaper", api.firstNewspaper) ||
        !bind(library, "QL_FindNextNewspaper", api.nextNewspaper) ||
        !bind(library, "QL_FindFirstResort", api.firstResort) ||
        !bind(library, "QL_FindNextResort", api.nextResort) ||
        !bind(library, "QL_FindFirstArticle", api.firstArticle) ||
        !bind(library, "QL_FindNextArticle", api.nextArticle) ||
        !bind(library, "QL_FindFirstParagraph", api.firstParagraph) ||
        !bind(library, "QL_FindNextParagraph", api.nextParagraph))
        return 2;

    int rc = api.initialize(1);
    printf("QL_Initialize(1) = %d\n", rc);
    if (rc != QL_OK) {
        printf("The library could not be initialised (error %d).\n", rc);
        return 1;
    }
    if (withFetch) fetch();
    int count = 0;
    for (const NewspaperRecord *n = api.firstNewspaper(); n; n = api.nextNewspaper()) {
        ++count;
        printf("Newspaper %08x: %s, %s (country %d)\n", static_cast<unsigned>(n->id),
               utf8(n->title).c_str(), n->date, n->countryCode);
        printResorts(n->id, 1);
    }
    printf("%d newspaper(s) stored; QL_DllError() = %d\n", count, api.dllError());
    printf("QL_Initialize(0) = %d\n", api.initialize(0));
    return 0;
}
