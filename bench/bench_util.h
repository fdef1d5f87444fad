// Timing and memory helpers shared by the benchmarks.
#pragma once

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "qlapi.h"

inline double seconds(const std::function<void()> &work, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

inline long statusKilobytes(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return atol(line.c_str() + strlen(field));
    return 0;
}

// The memory a piece of work adds at its peak, measured in a fresh child
// process that first prepares its input: the parent's heap, warm from
// earlier runs, must not hide what the work needs.
inline double peakMegabytes(const std::function<void()> &prepare,
                            const std::function<void()> &work) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        prepare();
        malloc_trim(0);  // free memory the parent left in the heap is not the work's
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
        long before = statusKilobytes("VmRSS:");
        work();
        long added = statusKilobytes("VmHWM:") - before;
        if (write(fds[1], &added, sizeof added) != sizeof added) _exit(1);
        _exit(0);
    }
    long added = -1;
    if (read(fds[0], &added, sizeof added) != sizeof added) added = -1;
    waitpid(child, nullptr, 0);
    close(fds[0]);
    close(fds[1]);
    return added / 1024.0;
}

inline void writeFile(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A settings file in home for a library that reads its editions from news
// (both absolute, news with its trailing "/") and keeps 255 of them.
inline void configureLibrary(const std::string &home, const std::string &news) {
    setenv("QLAPI_HOME", home.c_str(), 1);
    writeFile(home + "/qlapi.ini",
              "[FILES]\nPATH=" + news +
                  "\n[CONNECTIONS]\nServer=B\n[B]\nappl=internal\nurl=http://127.0.0.1/\n"
                  "login=l\npassword=p\nclass=C\n[NEWSPAPERS]\nmaxpapers=255\n"
                  "[COUNTRIES]\nde=49\n");
}

// Reads an opened edition whole through the finds; gives the number of
// paragraphs.
inline size_t walkEdition(ItemId edition) {
    size_t paragraphs = 0;
    for (const ItemRecord *r = QL_FindFirstResort(edition); r; r = QL_FindNextResort(edition)) {
        ItemId resort = r->id;
        for (const ItemRecord *a = QL_FindFirstArticle(resort); a; a = QL_FindNextArticle(resort)) {
            ItemId article = a->id;
            for (const char *p = QL_FindFirstParagraph(article); p;
                 p = QL_FindNextParagraph(article))
                ++paragraphs;
        }
    }
    return paragraphs;
}
