// The user texts, held in fixed buffers for the whole run.
#include "user_texts.h"

#include <cstdarg>
#include <cstdio>

namespace {

char g_texts[IDS_LAST - IDS_FIRST + 1][kUserTextSize];

}  // namespace

void loadUserTexts(UserTextLoader loader) {
    for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
        char *buffer = g_texts[id - IDS_FIRST];
        buffer[0] = '\0';
        int n = loader(id, buffer, kUserTextSize);
        if (n < 0 || n >= kUserTextSize) n = n < 0 ? 0 : kUserTextSize - 1;
        buffer[n] = '\0';
    }
}

const char *userText(int id) {
    if (id < IDS_FIRST || id > IDS_LAST) return "";
    return g_texts[id - IDS_FIRST];
}

std::string formatText(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(&out[0], out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}
