// A piped transfer program for tests and the demo: prints the receipts it
// is given, one line at a time, as a command-line downloader reports.
//
//   fake_transfer [--delay MS] [--lf | --crlf] [--together] [--hang]
//                 [--endless BYTES] LINE...
//
// --delay  pause between lines (default 50 ms), so each line is read alone
// --lf     end lines with LF alone (default CR LF)
// --together  write all lines with a single write
// --hang   keep running after the last line, with the output open
// --endless  first write a progress line "%50" that runs on for this many
//            blanks without a line end
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char **argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the line ends are ours to choose
#endif
    int delay = 50;
    std::string ending = "\r\n";
    bool together = false, hang = false;
    std::string all;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--delay") && i + 1 < argc) {
            delay = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--lf")) {
            ending = "\n";
        } else if (!strcmp(argv[i], "--crlf")) {
            ending = "\r\n";
        } else if (!strcmp(argv[i], "--together")) {
            together = true;
        } else if (!strcmp(argv[i], "--hang")) {
            hang = true;
        } else if (!strcmp(argv[i], "--endless") && i + 1 < argc) {
            fputs(("%50" + std::string(strtoul(argv[++i], nullptr, 10), ' ')).c_str(), stdout);
            fflush(stdout);
        } else if (together) {
            all += argv[i] + ending;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            fputs((argv[i] + ending).c_str(), stdout);
            fflush(stdout);
        }
    }
    if (together) {
        fputs(all.c_str(), stdout);
        fflush(stdout);
    }
    while (hang) std::this_thread::sleep_for(std::chrono::seconds(1));
    return 0;
}
