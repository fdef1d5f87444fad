// The inner loops that see every byte of an edition, sixteen bytes at a
// time where the processor has SSE2 (every x86-64 does), a byte at a time
// elsewhere. Each gives the same answers as its plain loop.
#pragma once

#include <cstddef>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QL_SSE2 1
#endif

// Text bytes the normalisation copies as they are: 0x20-0x7F except "<",
// ">" and "&".
inline bool isPlainTextByte(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '<' && c != '>' && c != '&';
}

// How many bytes from p on are plain text bytes (at most n).
inline size_t plainTextLength(const unsigned char *p, size_t n) {
    size_t i = 0;
#ifdef QL_SSE2
    const __m128i blank = _mm_set1_epi8(0x20), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>'),
                  amp = _mm_set1_epi8('&');
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        // Signed, bytes from 0x80 on are below 0x20 as well.
        __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, blank), _mm_cmpeq_epi8(v, lt)),
                                    _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, amp)));
        if (int mask = _mm_movemask_epi8(stop)) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < n && isPlainTextByte(p[i])) ++i;
    return i;
}

// How many bytes of a text run from p on need no rewriting by the reader:
// no "&", no line break, no blank followed by a blank (at most n; the byte
// p[n] must be readable).
inline size_t unchangedRunLength(const char *p, size_t n) {
    size_t i = 0;
#ifdef QL_SSE2
    const __m128i blank = _mm_set1_epi8(' '), amp = _mm_set1_epi8('&'), cr = _mm_set1_epi8('\r'),
                  lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 1));
        __m128i stop = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, cr)),
            _mm_or_si128(_mm_cmpeq_epi8(v, lf),
                         _mm_and_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(next, blank))));
        if (int mask = _mm_movemask_epi8(stop)) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    for (; i < n; ++i) {
        char c = p[i];
        if (c == '&' || c == '\r' || c == '\n' || (c == ' ' && p[i + 1] == ' ')) break;
    }
    return i;
}

// The first "<" or ">" from p on, or end.
inline char *findMarkup(char *p, char *end) {
#ifdef QL_SSE2
    const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
    for (; end - p >= 16; p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (int mask =
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, gt))))
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && *p != '<' && *p != '>') ++p;
    return p;
}
