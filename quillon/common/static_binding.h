// The library's functions bound directly, for programs linked against the
// static library (the native tools, tests and benchmarks) instead of loading
// it at run time.
#ifndef QUILLON_STATIC_BINDING_H
#define QUILLON_STATIC_BINDING_H

#include "library_binding.h"

inline LibraryBinding staticLibraryBinding() {
    return LibraryBinding{QL_DllError,           QL_UseEnhancedInterface,   QL_WantUpdate,
                          QL_CancelDownload,     QL_GetNewspaperListFromHD, QL_RemoveNewspaperTree,
                          QL_Initialize,         QL_FindFirstNewspaper,     QL_FindNextNewspaper,
                          QL_FindFirstResort,    QL_FindNextResort,         QL_FindFirstArticle,
                          QL_FindNextArticle,    QL_FindFirstParagraph,     QL_FindNextParagraph,
                          QL_ResyncNewspaper,    QL_GetNewspaper,           QL_RegisterCallback,
                          QL_DeleteNewspaper,    QL_GetNewspaperFile,       QL_KeepNewspaper,
                          QL_TakeNewspaperReport};
}

#endif
