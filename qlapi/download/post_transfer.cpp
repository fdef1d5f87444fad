// Cleaning the working folder and starting the unpacker.
#include "download/post_transfer.h"

#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/text_util.h"
#include "platform/platform.h"

void cleanServerFolder(const Serverinfo &server) {
    // An empty folder setting must never mean the folder the host runs in.
    if (!server.path[0]) {
        writeLog("No folder is set for this server; nothing is cleaned\n");
        return;
    }
    writeLog("Cleaning in %s some files. (*.exe, *.bat, *.gz *.htm *.html, *.dat, robots.txt)\n",
             server.path);
    // Suffixes, and one whole name.
    static const char *const kPatterns[] = {".exe",  ".bat", ".gz",       ".htm",
                                            ".html", ".dat", "robots.txt"};
    for (const char *pattern : kPatterns) {
        bool wholeName = pattern[0] != '.';
        for (const platform::DirEntry &file : platform::listFiles(server.path, pattern)) {
            if (file.hiddenOrSystem) continue;
            if (wholeName && compareNoCase(file.name.c_str(), pattern) != 0) continue;
            remove((std::string(server.path) + file.name).c_str());
        }
    }
}

bool startUnpacker(const Fetch &fetch, const Serverinfo &server, const char *program,
                   bool librarySide) {
    writeLog("starting unpacker: %s\n", server.unpacker);
    // The internal method names no program: the transfer unpacked its container.
    if (librarySide && compareNoCase(server.unpacker, "internal") != 0) {
        platform::ProcessStart start;
        start.program = program;
        start.folder = server.path;
        start.show = platform::ShowWindow::minimisedNoActivate;
        platform::ChildProcess child;
        if (platform::startProcess(start, child)) platform::closeProcess(child, false);
    }
    return fetchSleep(fetch, fetch.waits.afterUnpacker);
}
