// Shared memory, windows of other programs and child processes on Windows.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

bool openSharedMemory(const char *name, size_t size, SharedMemory &out) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(size), name);
    if (!mapping) return false;
    void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    out.view = view;
    out.size = size;
    out.handle = reinterpret_cast<uintptr_t>(mapping);
    return true;
}

void closeSharedMemory(SharedMemory &block) {
    if (block.view) UnmapViewOfFile(block.view);
    if (block.handle) CloseHandle(reinterpret_cast<HANDLE>(block.handle));
    block = SharedMemory();
}

void removeSharedMemory(const char *) {}

std::string windowSocketPath(const char *) { return std::string(); }

bool findWindowByClass(const char *windowClass, WindowRef &out) {
    HWND window = FindWindowA(windowClass, nullptr);
    if (!window) return false;
    out.handle = reinterpret_cast<uintptr_t>(window);
    return true;
}

bool postWindowMessage(const WindowRef &window, unsigned message) {
    return PostMessageA(reinterpret_cast<HWND>(window.handle), message, 0, 0) != 0;
}

bool startProcess(const ProcessStart &start, ChildProcess &out) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = start.show == ShowWindow::hidden                ? SW_HIDE
                     : start.show == ShowWindow::minimisedNoActivate ? SW_SHOWMINNOACTIVE
                                                                     : SW_SHOWNORMAL;
    HANDLE outRead = nullptr, outWrite = nullptr, errWrite = nullptr, inRead = nullptr,
           inWrite = nullptr;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (start.captureOutput) {
        // Output and error into one pipe; the input pipe is never written.
        if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return false;
        if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
            CloseHandle(outRead);
            CloseHandle(outWrite);
            return false;
        }
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
        DuplicateHandle(GetCurrentProcess(), outWrite, GetCurrentProcess(), &errWrite, 0, TRUE,
                        DUPLICATE_SAME_ACCESS);
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdOutput = outWrite;
        si.hStdError = errWrite;
        si.hStdInput = inRead;
    }
    std::vector<char> commandLine(start.commandLine.begin(), start.commandLine.end());
    commandLine.push_back('\0');
    PROCESS_INFORMATION pi{};
    BOOL ok = CreateProcessA(
        start.program.c_str(), start.commandLine.empty() ? nullptr : commandLine.data(), nullptr,
        nullptr, start.captureOutput, start.captureOutput ? CREATE_NEW_CONSOLE : 0, nullptr,
        start.folder.empty() ? nullptr : start.folder.c_str(), &si, &pi);
    if (start.captureOutput) {
        CloseHandle(outWrite);
        if (errWrite) CloseHandle(errWrite);
        CloseHandle(inRead);
        CloseHandle(inWrite);
    }
    if (!ok) {
        if (outRead) CloseHandle(outRead);
        return false;
    }
    CloseHandle(pi.hThread);
    out.process = reinterpret_cast<uintptr_t>(pi.hProcess);
    out.output = reinterpret_cast<uintptr_t>(outRead);
    out.running = true;
    return true;
}

long readProcessOutput(ChildProcess &child, char *buffer, size_t size) {
    if (!child.output) return -1;
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(child.output), buffer, static_cast<DWORD>(size), &got,
                  nullptr))
        return -1;  // the program has closed its output
    return static_cast<long>(got);
}

void terminateProcess(const ChildProcess &child) {
    if (child.running) TerminateProcess(reinterpret_cast<HANDLE>(child.process), 1);
}

void closeProcess(ChildProcess &child, bool terminate) {
    if (terminate) terminateProcess(child);
    if (child.output) CloseHandle(reinterpret_cast<HANDLE>(child.output));
    if (child.process) CloseHandle(reinterpret_cast<HANDLE>(child.process));
    child = ChildProcess();
}

void adviseLargeBlock(void *, size_t) {}

}  // namespace platform
