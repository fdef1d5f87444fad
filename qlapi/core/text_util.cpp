// Small text helpers for the library's fixed-size, zero-terminated fields.
#include "core/text_util.h"

#include <cstring>

bool copyField(char *field, size_t size, const char *value) {
    if (size == 0) return false;
    size_t len = value ? strlen(value) : 0;
    size_t n = len < size ? len : size - 1;
    if (n) memcpy(field, value, n);
    field[n] = '\0';
    return n == len;
}

char *copyText(const char *text, size_t limit, void *(*allocator)(size_t)) {
    size_t n = strnlen(text, limit);
    char *copy = static_cast<char *>(allocator(n + 1));
    if (copy) {
        memcpy(copy, text, n);
        copy[n] = '\0';
    }
    return copy;
}

static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void upperCase(char *text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

int compareNoCase(const char *a, const char *b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(lower(*a));
        unsigned char cb = static_cast<unsigned char>(lower(*b));
        if (ca != cb || ca == 0) return ca - cb;
    }
}

int32_t parseLeadingInt(const char *text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX) {
            value = negative ? -int64_t(INT32_MIN) : INT32_MAX;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}
