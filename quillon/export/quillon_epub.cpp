// quillon-epub: an EPUB 3 of a stored edition, for Linux hosts and scripts,
// over the native library.
//   quillon-epub --list                 the stored editions, newest first
//   quillon-epub --edition N OUT.epub   the N-th of them (1 the newest)
//   quillon-epub IN.eif OUT.epub        one edition file, read as the
//                                       library reads a new edition (the
//                                       file itself is left as it is)
// The library's settings come from QLAPI_HOME as always. Exit codes: 0
// written, 1 no such edition or one the reader refuses, 2 usage, 3 the
// file could not be written. Nothing is left behind on failure.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "epub.h"
#include "qlapi.h"
#include "static_binding.h"

namespace fs = std::filesystem;

namespace {

int usage() {
    fprintf(stderr,
            "usage: quillon-epub --list\n"
            "       quillon-epub --edition N OUT.epub\n"
            "       quillon-epub IN.eif OUT.epub\n");
    return 2;
}

// The position-th stored edition (1 the newest) with its file's language.
bool findEdition(const LibraryBinding &library, int position, EpubEdition &edition) {
    EditionEntry *files = library.getNewspaperListFromHD();
    const EditionEntry *file = files;
    int n = 1;
    const NewspaperRecord *p = library.findFirstNewspaper();
    for (; p && n < position; p = library.findNextNewspaper(), ++n)
        if (file) file = file->next;
    bool found = p != nullptr;
    if (found) edition = epubEditionOf(*p, file && file->path ? file->path : "");
    library.removeNewspaperTree(files);
    return found;
}

int exportEdition(const LibraryBinding &library, int position, const std::string &out,
                  const std::string &what) {
    EpubEdition edition;
    if (!findEdition(library, position, edition)) {
        fprintf(stderr, "quillon-epub: %s is no edition the reader can read\n", what.c_str());
        return 1;
    }
    EpubResult r = writeEpub(library, edition, out);
    if (!r.written) {
        fprintf(stderr, "quillon-epub: %s: %s\n", out.c_str(), r.error.c_str());
        return r.resorts == 0 ? 1 : 3;
    }
    printf("%s: %s vom %s, %d resorts, %d articles\n", out.c_str(), edition.title.c_str(),
           edition.date.c_str(), r.resorts, r.articles);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    LibraryBinding library = staticLibraryBinding();
    if (argc == 2 && strcmp(argv[1], "--list") == 0) {
        if (QL_Initialize(1) != QL_OK) {
            fprintf(stderr, "quillon-epub: the library did not start (error %d)\n", QL_DllError());
            return 1;
        }
        int n = 1;
        for (const NewspaperRecord *p = QL_FindFirstNewspaper(); p; p = QL_FindNextNewspaper())
            printf("%d\t%s\t%s\n", n++, p->date, p->title);
        QL_Initialize(0);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "--edition") == 0) {
        char *end = nullptr;
        long position = strtol(argv[2], &end, 10);
        if (!*argv[2] || *end || position < 1) return usage();
        if (QL_Initialize(1) != QL_OK) {
            fprintf(stderr, "quillon-epub: the library did not start (error %d)\n", QL_DllError());
            return 1;
        }
        int rc = exportEdition(library, static_cast<int>(position), argv[3],
                               std::string("edition ") + argv[2]);
        QL_Initialize(0);
        return rc;
    }
    if (argc != 3 || argv[1][0] == '-') return usage();

    // A folder of its own with a copy of the file and settings over it: the
    // library normalises the copy, never the caller's file.
    std::error_code error;
    fs::path in = argv[1];
    if (!fs::is_regular_file(in, error)) {
        fprintf(stderr, "quillon-epub: %s: no such file\n", argv[1]);
        return 1;
    }
    fs::path work = fs::temp_directory_path() / ("quillon-epub-" + std::to_string(getpid()));
    fs::remove_all(work, error);
    fs::create_directories(work / "news", error);
    fs::copy_file(in, work / "news" / "edition.eif", error);
    if (error) {
        fprintf(stderr, "quillon-epub: %s: %s\n", argv[1], error.message().c_str());
        fs::remove_all(work, error);
        return 1;
    }
    // The library wants a connection named, though nothing is fetched.
    std::ofstream(work / "qlapi.ini")
        << "[FILES]\nPATH=" << (work / "news").string()
        << "/\n[CONNECTIONS]\nServer=None\n[None]\nappl=internal\nurl=http://127.0.0.1/\n"
           "login=-\npassword=-\nclass=-\n[NEWSPAPERS]\nmaxpapers=1\n[COUNTRIES]\nde=49\n";
    setenv("QLAPI_HOME", work.c_str(), 1);
    int rc = 1;
    if (QL_Initialize(1) == QL_OK) {
        rc = exportEdition(library, 1, argv[2], argv[1]);
        QL_Initialize(0);
    } else {
        fprintf(stderr, "quillon-epub: the library did not start (error %d)\n", QL_DllError());
    }
    fs::remove_all(work, error);
    return rc;
}
