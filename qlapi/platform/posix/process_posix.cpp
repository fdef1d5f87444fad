// Shared memory, window sockets and child processes on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

extern char **environ;

namespace platform {

void sleepMs(unsigned milliseconds) {
    struct timespec ts = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static std::string userShmName(const char *name) {
    return std::string("/") + name + "-" + std::to_string(getuid());
}

bool openSharedMemory(const char *name, size_t size, SharedMemory &out) {
    std::string shmName = userShmName(name);
    int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 ||
        (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)) {
        close(fd);
        return false;
    }
    void *view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) return false;
    out.view = view;
    out.size = size;
    out.handle = 1;
    return true;
}

void closeSharedMemory(SharedMemory &block) {
    if (block.view) munmap(block.view, block.size);
    block = SharedMemory();
}

void removeSharedMemory(const char *name) { shm_unlink(userShmName(name).c_str()); }

std::string windowSocketPath(const char *windowClass) {
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? std::string(runtime) + "/qlapi-windows"
                                          : "/tmp/qlapi-windows-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    // Class names may hold any character; the file name holds letters,
    // digits and the hex of everything else, shortened by a hash when long.
    std::string name;
    for (const char *p = windowClass; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (isalnum(c)) {
            name += static_cast<char>(c);
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02x", c);
            name += hex;
        }
    }
    if (dir.size() + name.size() + 2 > sizeof(sockaddr_un::sun_path))
        name = name.substr(0, 40) + "-" + std::to_string(std::hash<std::string>()(name));
    return dir + "/" + name;
}

static bool connectTo(const std::string &path, int &fd) {
    fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return false;
    }
    return true;
}

bool findWindowByClass(const char *windowClass, WindowRef &out) {
    // A socket file left by a program that has ended is no window.
    std::string path = windowSocketPath(windowClass);
    int fd;
    if (!connectTo(path, fd)) return false;
    close(fd);
    out.handle = 1;
    out.socketPath = path;
    return true;
}

bool postWindowMessage(const WindowRef &window, unsigned message) {
    int fd;
    if (!connectTo(window.socketPath, fd)) return false;
    uint32_t m = message;
    bool sent = send(fd, &m, sizeof m, MSG_DONTWAIT) == sizeof m;
    close(fd);
    return sent;
}

// Words of a command line: blanks separate them, double quotes group them.
static std::vector<std::string> splitCommandLine(const std::string &line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool startProcess(const ProcessStart &start, ChildProcess &out) {
    std::vector<std::string> words = splitCommandLine(start.commandLine);
    if (words.empty()) words.push_back(start.program);
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (start.captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (start.captureOutput) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    }
    if (!start.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, start.folder.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its own group, ended as one
    pid_t pid = 0;
    int rc = posix_spawn(&pid, start.program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (start.captureOutput) close(pipeFds[1]);
    if (rc != 0) {
        if (start.captureOutput) close(pipeFds[0]);
        return false;
    }
    out.process = static_cast<uintptr_t>(pid);
    out.output = start.captureOutput ? static_cast<uintptr_t>(pipeFds[0]) + 1 : 0;
    out.running = true;
    return true;
}

long readProcessOutput(ChildProcess &child, char *buffer, size_t size) {
    if (!child.output) return -1;
    ssize_t n;
    do {
        n = read(static_cast<int>(child.output - 1), buffer, size);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? static_cast<long>(n) : -1;
}

void terminateProcess(const ChildProcess &child) {
    if (child.running) kill(-static_cast<pid_t>(child.process), SIGKILL);
}

void closeProcess(ChildProcess &child, bool terminate) {
    if (child.output) close(static_cast<int>(child.output - 1));
    if (child.running) {
        pid_t pid = static_cast<pid_t>(child.process);
        if (terminate) kill(-pid, SIGKILL);
        // Reaped in the background so that no zombie stays; the library
        // never waits for a transfer program here.
        if (terminate || waitpid(pid, nullptr, WNOHANG) == 0) {
            std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
        }
    }
    child = ChildProcess();
}

void adviseLargeBlock(void *block, size_t size) {
#ifdef MADV_HUGEPAGE
    // madvise wants whole pages; the hint covers the pages inside the block.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

int runProgramAndWait(const std::string &file) {
    // The file was written just now and is run as a program.
    chmod(file.c_str(), 0700);
    std::string quoted = "'";
    for (char c : file) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    fflush(nullptr);
    int status = system(quoted.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace platform
