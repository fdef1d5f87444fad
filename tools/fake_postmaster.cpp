// A postmaster for tests and the demo: owns a window of the given class and
// plays the transfer side of the shared-block handshake.
//
//   fake_postmaster --class CLASS [--shm NAME] [--first OK|BUSY|ERROR|text]
//                   [--progress 10,50,100] [--final RECEIPT] [--stall-name]
//                   [--stall] [--dump FILE] [--lifetime MS]
//
// For each server handed to it, it takes the name, then the Serverinfo
// image (appended to FILE: the name, a line break, the 4,656 bytes), places
// the first receipt, the progress receipts and the final receipt. With
// --stall-name it never takes the name; with --stall it never answers after
// the first receipt. It ends after --lifetime (default 60 s).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "config/configuration.h"
#include "download/knobs.h"
#include "download/shared_block.h"

namespace {

struct Options {
    std::string windowClass, shm = kDefaultSharedBlockName, first = "OK", final = "TransactionDone",
                             dump;
    std::vector<std::string> progress;
    bool stallName = false, stall = false;
    int lifetime = 60000;
};
Options o;
std::string g_name;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool waitIdle(int limitMs) {
    for (int waited = 0; handshake() != SHM_IDLE; ++waited) {
        if (waited > limitMs) return false;
        sleepMs(1);
    }
    return true;
}

// Message 1025: the library has placed a name or a Serverinfo image.
void onMessage() {
    if (handshake() == SHM_NAME) {
        g_name = messageText();
        if (!o.stallName) setHandshake(SHM_IDLE);
        return;
    }
    if (handshake() != SHM_SERVERINFO) return;
    if (!o.dump.empty()) {
        std::ofstream out(o.dump, std::ios::binary | std::ios::app);
        out << g_name << '\n' << messageBytes(sizeof(Serverinfo));
    }
    placeText(o.first.c_str(), SHM_IDLE);
    if (o.first != "OK" || o.stall) return;
    sleepMs(300);  // the library polls for its first receipt every 100 ms
    for (const std::string &p : o.progress) {
        if (!waitIdle(30000)) return;
        placeText(("%" + p).c_str(), SHM_RECEIPT);
    }
    if (!waitIdle(30000)) return;
    placeText(o.final.c_str(), SHM_RECEIPT);
}

}  // namespace

#ifdef _WIN32
static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1) {
        onMessage();
        return 0;
    }
    if (message == WM_TIMER || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int runWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = o.windowClass.c_str();
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowA(o.windowClass.c_str(), "fake postmaster", WS_OVERLAPPEDWINDOW, 0, 0,
                                100, 100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    SetTimer(window, 1, static_cast<UINT>(o.lifetime), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
#else
static int runWindow() {
    std::string path = platform::windowSocketPath(o.windowClass.c_str());
    unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) return 1;
    timeval tv{0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.lifetime);
    while (std::chrono::steady_clock::now() < end) {
        uint32_t message = 0;
        if (recv(fd, &message, sizeof message, 0) == sizeof message && message == 1025) onMessage();
    }
    close(fd);
    unlink(path.c_str());
    return 0;
}
#endif

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--class")
            o.windowClass = value, ++i;
        else if (a == "--shm")
            o.shm = value, ++i;
        else if (a == "--first")
            o.first = value, ++i;
        else if (a == "--final")
            o.final = value, ++i;
        else if (a == "--dump")
            o.dump = value, ++i;
        else if (a == "--lifetime")
            o.lifetime = atoi(value), ++i;
        else if (a == "--stall-name")
            o.stallName = true;
        else if (a == "--stall")
            o.stall = true;
        else if (a == "--progress") {
            std::stringstream list(value);
            for (std::string p; std::getline(list, p, ',');) o.progress.push_back(p);
            ++i;
        }
    }
    if (o.windowClass.empty()) {
        fprintf(stderr, "usage: fake_postmaster --class CLASS [options]\n");
        return 2;
    }
    knobs::setSharedBlockName(o.shm.c_str());
    if (!openSharedBlock()) return 1;
    return runWindow();
}
