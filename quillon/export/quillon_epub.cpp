// quillon-epub: an EPUB 3 of a stored edition, for Linux hosts and scripts,
// over the native library.
//   quillon-epub --list                 the stored editions, newest first
//   quillon-epub --edition N OUT.epub   the N-th of them (1 the newest)
//   quillon-epub IN.eif OUT.epub        one edition file
// The user's settings come from QLAPI_HOME as always, but the library never
// sees the user's store: it starts over copies in a folder of its own under
// TMPDIR, with the user's settings pointed there, so that its start-up scan
// (which normalises new editions, writes header files, deletes unreadable
// ones and trims the store) changes nothing of the user's. An edition given
// by file therefore makes the same book as the same edition in the store.
// Exit codes: 0 written, 1 no such edition or one the reader refuses, 2
// usage, 3 nothing could be written. Nothing is left behind on failure, and
// no file that was there before is changed unless the book replaces it.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "epub.h"
#include "platform/platform.h"
#include "private_settings.h"
#include "qlapi.h"
#include "static_binding.h"

namespace fs = std::filesystem;

namespace {

const char kHeaderSuffix[] = ".ehd";
// The mark of an edition the reader keeps: with it the copy lists what the
// store lists.
const char kKeepSuffix[] = ".ekp";

// The file in a message, between German quotation marks (UTF-8).
#define QUOTED_FILE "\xE2\x80\x9E{file}\xE2\x80\x9C"

// One message on stderr, in German; `text` is UTF-8 with {file} and
// {reason} as in the writer's sentences.
int fail(int code, const char *text, const std::string &file, const std::string &reason = "") {
    WriteFailure f;
    f.text = text;
    f.file = file;
    f.reason = reason;
    fprintf(stderr, "quillon-epub: %s\n", describe(f, false).c_str());
    return code;
}
int fail(int code, const WriteFailure &f) {
    fprintf(stderr, "quillon-epub: %s\n", describe(f, true).c_str());
    return code;
}

const char kUsage[] =
    "  quillon-epub --list                     die gespeicherten Zeitungen, die neueste zuerst\n"
    "  quillon-epub --edition N AUSGABE.epub   die N-te davon als E-Book\n"
    "  quillon-epub EINGABE.eif AUSGABE.epub   eine Zeitungsdatei als E-Book\n";

int usage() {
    fprintf(stderr, "quillon-epub: Diesen Aufruf gibt es nicht; so wird es aufgerufen:\n%s",
            kUsage);
    return 2;
}

bool endsWithNoCase(const std::string &name, const std::string &suffix) {
    return name.size() >= suffix.size() &&
           strcasecmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0;
}

// Copies a file into a new one; 0, or the errno of what failed (the
// standard library's copy says "input/output error" where a disk is full).
int copyFile(const std::string &from, const std::string &to) {
    FILE *in = fopen(from.c_str(), "rb");
    if (!in) return errno;
    FILE *out = fopen(to.c_str(), "wbx");
    int error = out ? 0 : errno;
    std::vector<char> buffer(1 << 16);
    for (size_t n; !error && (n = fread(buffer.data(), 1, buffer.size(), in)) > 0;)
        if (fwrite(buffer.data(), 1, n, out) != n) error = errno ? errno : EIO;
    if (!error && ferror(in)) error = EIO;
    if (out && fclose(out) != 0 && !error) error = errno;
    fclose(in);
    return error;
}

// A folder of our own, removed with everything in it at the end.
struct WorkFolder {
    std::string path;
    ~WorkFolder() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

// The book of the position-th edition (1 the newest) the library lists;
// `what` names the edition in the message when there is none.
int exportEdition(const LibraryBinding &library, int position, const std::string &out,
                  const std::string &what) {
    int n = 1;
    const NewspaperRecord *p = library.findFirstNewspaper();
    for (; p && n < position; p = library.findNextNewspaper(), ++n) {
    }
    // The file is the library's own word for this entry: a folder listing
    // matched by position would name another edition once the lists differ.
    const char *file = p && library.getNewspaperFile ? library.getNewspaperFile(p->id) : nullptr;
    EpubEdition edition;
    if (p) edition = epubEditionOf(*p, file ? file : "");
    if (!p)
        return fail(1,
                    "Es gibt keine Zeitung {file}; quillon-epub --list zeigt die "
                    "gespeicherten.",
                    what);
    EpubResult r = writeEpub(library, edition, out);
    if (!r.written) return fail(r.resorts == 0 && r.failure.reason.empty() ? 1 : 3, r.failure);
    printf("%s: %s mit %d Ressorts und %d Artikeln gespeichert.\n", out.c_str(),
           latin1ToUtf8(epubTitle(edition)).c_str(), r.resorts, r.articles);
    return 0;
}

// Why a scan of the work folder listed no edition although the copy is
// there: the library could not read or write it (most often a full folder).
int notPrepared(const std::string &input, const std::string &work) {
    struct statvfs vfs;
    struct stat st;
    bool full = statvfs(work.c_str(), &vfs) == 0 && stat(input.c_str(), &st) == 0 &&
                static_cast<double>(vfs.f_bavail) * vfs.f_frsize < 2.0 * st.st_size + 65536;
    return fail(3,
                QUOTED_FILE
                " konnte im Arbeitsordner nicht gelesen werden ({reason}); "
                "setzen Sie TMPDIR auf einen Ordner mit genug Platz.",
                input, full ? latin1ToUtf8(systemReason(ENOSPC)) : "Grund unbekannt");
}

int run(int argc, char **argv) {
    enum { kList, kEdition, kFile } mode;
    long position = 1;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("Aufruf:\n%s", kUsage);
        return 0;
    } else if (argc == 2 && strcmp(argv[1], "--list") == 0) {
        mode = kList;
    } else if (argc == 4 && strcmp(argv[1], "--edition") == 0) {
        char *end = nullptr;
        errno = 0;
        position = strtol(argv[2], &end, 10);
        if (!*argv[2] || *end || position < 1 || position > 65535 || errno) return usage();
        mode = kEdition;
    } else if (argc == 3 && argv[1][0] != '-' && argv[1][0] && argv[2][0]) {
        mode = kFile;
    } else {
        return usage();
    }
    const std::string out = mode == kList ? "" : argv[argc - 1];
    const std::string input = mode == kFile ? argv[1] : "";

    // The user's settings and store, read before anything is made.
    UserSettings user = readUserSettings(platform::settingsFilePath());
    std::vector<std::string> originals;  // the files the library will see copies of
    if (mode == kFile) {
        struct stat st;
        if (stat(input.c_str(), &st) != 0)
            return fail(1,
                        QUOTED_FILE
                        " kann nicht gelesen werden ({reason}); geben Sie eine "
                        "Zeitungsdatei an.",
                        input, latin1ToUtf8(systemReason(errno)));
        if (!S_ISREG(st.st_mode))
            return fail(1,
                        QUOTED_FILE
                        " ist keine Datei, sondern ein Ordner oder Ger\xC3\xA4t; "
                        "geben Sie eine Zeitungsdatei an.",
                        input);
        originals.push_back(input);
    } else {
        if (user.storeFolder.empty())
            return fail(1,
                        "In " QUOTED_FILE
                        " ist kein Zeitungsordner eingestellt ([FILES] PATH); "
                        "es gibt nichts zu lesen.",
                        user.path);
        std::error_code error;
        for (fs::directory_iterator it(user.storeFolder, error), end; !error && it != end;
             it.increment(error)) {
            std::string name = it->path().filename().string();
            std::error_code statError;
            if ((endsWithNoCase(name, user.dataSuffix) || endsWithNoCase(name, kHeaderSuffix) ||
                 endsWithNoCase(name, kKeepSuffix)) &&
                it->is_regular_file(statError))
                originals.push_back(it->path().string());
        }
        if (error)
            return fail(1,
                        "Der Zeitungsordner " QUOTED_FILE
                        " kann nicht gelesen werden ({reason}); "
                        "pr\xC3\xBC"
                        "fen Sie [FILES] PATH.",
                        user.storeFolder, latin1ToUtf8(systemReason(error.value())));
    }
    if (mode != kList) {
        // The book never takes the place of a file it is made from.
        for (const std::string &original : originals)
            if (sameFile(original, out)) {
                WriteFailure same;
                same.text = kSameFile;
                same.file = out;
                return fail(3, same);
            }
        if (WriteFailure refused = checkTarget(out)) return fail(3, refused);
    }

    // The work folder: made new, with a name of its own.
    const char *tmp = getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    std::string pattern = base + "/quillon-epub-XXXXXX";
    WorkFolder work;
    if (!mkdtemp(&pattern[0]))
        return fail(3,
                    "Im Ordner f\xC3\xBCr Zwischendateien " QUOTED_FILE
                    " kann nichts angelegt "
                    "werden ({reason}); setzen Sie TMPDIR auf einen vorhandenen, "
                    "beschreibbaren Ordner.",
                    base, latin1ToUtf8(systemReason(errno)));
    work.path = pattern;
    std::string news = work.path + "/news";
    std::string copied;  // the copy of the input in file mode
    std::error_code error;
    fs::create_directory(news, error);
    for (size_t i = 0; !error && i < originals.size(); ++i) {
        std::string name = mode == kFile ? "edition" + user.dataSuffix
                                         : fs::path(originals[i]).filename().string();
        if (int copyError = copyFile(originals[i], news + "/" + name))
            return fail(3,
                        QUOTED_FILE
                        " konnte nicht in den Arbeitsordner kopiert werden "
                        "({reason}); setzen Sie TMPDIR auf einen Ordner mit genug Platz.",
                        originals[i], latin1ToUtf8(systemReason(copyError)));
        if (mode == kFile) copied = news + "/" + name;
    }
    if (error)
        return fail(3,
                    "Der Arbeitsordner " QUOTED_FILE
                    " kann nicht angelegt werden ({reason}); "
                    "setzen Sie TMPDIR auf einen beschreibbaren Ordner.",
                    news, latin1ToUtf8(systemReason(error.value())));
    int written = writePrivateSettings(user, work.path + "/qlapi.ini", news, mode == kFile);
    if (written != 0)
        return fail(3,
                    "Die Einstellungen im Arbeitsordner " QUOTED_FILE
                    " konnten nicht geschrieben "
                    "werden ({reason}); setzen Sie TMPDIR auf einen Ordner mit genug Platz.",
                    work.path, latin1ToUtf8(systemReason(written)));
    setenv("QLAPI_HOME", work.path.c_str(), 1);

    if (QL_Initialize(1) != QL_OK)
        return fail(1,
                    "Die Bibliothek konnte mit " QUOTED_FILE
                    " nicht starten ({reason}); "
                    "pr\xC3\xBC"
                    "fen Sie die Einstellungen.",
                    user.path, "Fehler " + std::to_string(QL_DllError()));
    LibraryBinding library = staticLibraryBinding();
    int rc = 0;
    if (mode == kList) {
        int n = 1;
        for (const NewspaperRecord *p = QL_FindFirstNewspaper(); p; p = QL_FindNextNewspaper())
            printf("%d\t%s\t%s\n", n++, p->date, latin1ToUtf8(p->title).c_str());
    } else if (mode == kEdition) {
        rc = exportEdition(library, static_cast<int>(position), out,
                           "Nummer " + std::to_string(position));
    } else if (!QL_FindFirstNewspaper()) {
        rc = fs::exists(copied, error)
                 ? notPrepared(input, work.path)
                 : fail(1,
                        QUOTED_FILE
                        " ist keine Zeitung, die der Leser lesen kann; es wurde "
                        "nichts gespeichert.",
                        input);
    } else {
        rc = exportEdition(library, 1, out, input);
    }
    QL_Initialize(0);
    return rc;
}

}  // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "quillon-epub: Der Speicher reicht nicht; es wurde nichts gespeichert.\n");
    } catch (...) {
        fprintf(stderr,
                "quillon-epub: Ein unerwarteter Fehler ist aufgetreten; es wurde nichts "
                "gespeichert.\n");
    }
    return 3;
}
