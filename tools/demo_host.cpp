// A console host for the library: loads it at run time as the desktop
// program does, initialises it, prints every stored newspaper with its
// resorts, articles and paragraphs, and shuts it down.
//
//   demo_host [library]     default: qlapi.dll / libqlapi.so beside it
#include <cstdio>
#include <string>

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

void printResorts(const Api &api, ItemId parent, int depth) {
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
        printResorts(api, resort, depth + 1);
    }
}

}  // namespace

int main(int argc, char **argv) {
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
    Api api{};
    if (!bind(library, "QL_Initialize", api.initialize) ||
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
    int count = 0;
    for (const NewspaperRecord *n = api.firstNewspaper(); n; n = api.nextNewspaper()) {
        ++count;
        printf("Newspaper %08x: %s, %s (country %d)\n", static_cast<unsigned>(n->id),
               utf8(n->title).c_str(), n->date, n->countryCode);
        printResorts(api, n->id, 1);
    }
    printf("%d newspaper(s) stored; QL_DllError() = %d\n", count, api.dllError());
    printf("QL_Initialize(0) = %d\n", api.initialize(0));
    return 0;
}
