// Small text helpers for the library's fixed-size, zero-terminated fields.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies value into a field of size bytes, cut to size - 1 characters.
// Returns false when the value had to be cut.
bool copyField(char *field, size_t size, const char *value);
template <size_t N>
bool copyField(char (&field)[N], const char *value) {
    return copyField(field, N, value);
}

// A copy of text cut to limit characters, in memory from allocator; null
// when that gives none.
char *copyText(const char *text, size_t limit, void *(*allocator)(size_t));

// Upper-cases the ASCII letters in place; other bytes stay as they are.
void upperCase(char *text);

// Compares without regard to case (ASCII letters fold to lower case);
// negative, zero or positive like strcmp.
int compareNoCase(const char *a, const char *b);

// The integer at the start of text, as the profile functions read one:
// blanks, an optional sign, then decimal digits; 0 when there are none.
// Saturates at the limits of 32 bits.
int32_t parseLeadingInt(const char *text);
