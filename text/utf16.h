// Strict UTF-8 <-> UTF-16 (little-endian units in host order): the one
// converter that the code-page service, the wide string functions, the
// built-in Wchar translator and its plug-in share. Header-only, so that the
// plug-in builds from it without the library.
//
// Strict means what text/utf8.h means for UTF-8, and for UTF-16 that every
// surrogate comes in a high-low pair. A conversion stops at the first
// sequence that is invalid or truncated, or when the output is full, and
// says which and where: nothing is half-converted silently.
//
// Runs of ASCII take a fast path, 16 bytes (or 8 units) at a time. Units
// are char16_t or the C headers' uint16_t (qrv_wchar), each read as itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/utf8.h"

namespace qrv::utf16 {

enum class Stop : uint8_t {
    kDone,       // all input converted
    kInvalid,    // input[read] starts no valid sequence
    kTruncated,  // input ends inside a sequence that starts at input[read]
    kFull,       // the output has no room for the character at input[read]
};

struct Result {
    size_t read;     // input consumed (bytes, or units)
    size_t written;  // output produced (units, or bytes)
    Stop stop;
};

namespace detail {

// Copies ASCII while both sides have 16 (or 8) places; returns the count.
template <typename Unit>
inline size_t ascii_to_units(const unsigned char *in, size_t n, Unit *out, size_t room) noexcept {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n && i + 16 <= room) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(v) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        i += 16;
    }
#endif
    while (i < n && i < room && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
}

inline size_t ascii_count(const unsigned char *in, size_t n) noexcept {
    size_t i = 0;
#if defined(__SSE2__)
    while (i + 16 <= n && _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i))) == 0) i += 16;
#endif
    while (i < n && in[i] < 0x80) ++i;
    return i;
}

template <typename Unit>
inline size_t units_to_ascii(const Unit *in, size_t n, unsigned char *out, size_t room) noexcept {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    while (i + 8 <= n && i + 8 <= room) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)) != 0xFFFF) break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(v, v));
        i += 8;
    }
#endif
    while (i < n && i < room && in[i] < 0x80) {
        out[i] = static_cast<unsigned char>(in[i]);
        ++i;
    }
    return i;
}

// The code point of the valid sequence of length k at p.
inline uint32_t decode(const unsigned char *p, int k) noexcept {
    switch (k) {
        case 1:
            return p[0];
        case 2:
            return (uint32_t{p[0] & 0x1Fu} << 6) | (p[1] & 0x3Fu);
        case 3:
            return (uint32_t{p[0] & 0x0Fu} << 12) | (uint32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
        default:
            return (uint32_t{p[0] & 0x07u} << 18) | (uint32_t{p[1] & 0x3Fu} << 12) | (uint32_t{p[2] & 0x3Fu} << 6) |
                   (p[3] & 0x3Fu);
    }
}

// Whether the bytes at p (n of them, n < the length p[0] announces) could
// still start a valid sequence: the input was cut, not corrupted.
inline bool valid_prefix(const unsigned char *p, size_t n) noexcept {
    unsigned char full[4] = {p[0], 0x80, 0x80, 0x80};
    for (size_t i = 1; i < n; ++i) full[i] = p[i];
    // The smallest continuation that the lead byte allows.
    if (p[0] == 0xE0 && n < 2) full[1] = 0xA0;
    if (p[0] == 0xF0 && n < 2) full[1] = 0x90;
    return utf8::sequence_length(full, 4) > static_cast<int>(n);
}

inline int announced_length(unsigned char c) noexcept { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

inline bool is_high(uint32_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low(uint32_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace detail

// UTF-8 (n bytes) to UTF-16 units (char16_t or the C headers' uint16_t).
// With out null only counts (room unused).
template <typename Unit>
inline Result from_utf8(const char *input, size_t n, Unit *out, size_t room) noexcept {
    auto *in = reinterpret_cast<const unsigned char *>(input);
    size_t i = 0, o = 0;
    const bool count_only = out == nullptr;
    while (i < n) {
        if (in[i] < 0x80) {
            size_t k = count_only ? detail::ascii_count(in + i, n - i)
                                  : detail::ascii_to_units(in + i, n - i, out + o, room - o);
            if (k == 0) return {i, o, Stop::kFull};
            i += k;
            o += k;
            continue;
        }
        int length = utf8::sequence_length(in + i, n - i);
        if (length == 0) {
            bool cut = n - i < static_cast<size_t>(detail::announced_length(in[i])) && detail::valid_prefix(in + i, n - i);
            return {i, o, cut ? Stop::kTruncated : Stop::kInvalid};
        }
        uint32_t cp = detail::decode(in + i, length);
        size_t units = cp >= 0x10000 ? 2 : 1;
        if (!count_only) {
            if (room - o < units) return {i, o, Stop::kFull};
            if (units == 2) {
                cp -= 0x10000;
                out[o] = static_cast<Unit>(0xD800 + (cp >> 10));
                out[o + 1] = static_cast<Unit>(0xDC00 + (cp & 0x3FF));
            } else {
                out[o] = static_cast<Unit>(cp);
            }
        }
        i += static_cast<size_t>(length);
        o += units;
    }
    return {i, o, Stop::kDone};
}

// UTF-16 (n units) to UTF-8 bytes. With out null only counts.
template <typename Unit>
inline Result to_utf8(const Unit *in, size_t n, char *output, size_t room) noexcept {
    auto *out = reinterpret_cast<unsigned char *>(output);
    size_t i = 0, o = 0;
    const bool count_only = out == nullptr;
    while (i < n) {
        uint32_t u = in[i];
        if (u < 0x80) {
            if (count_only) {
                ++i, ++o;
                continue;
            }
            size_t k = detail::units_to_ascii(in + i, n - i, out + o, room - o);
            if (k == 0) return {i, o, Stop::kFull};
            i += k;
            o += k;
            continue;
        }
        uint32_t cp = u;
        size_t used = 1;
        if (detail::is_high(u)) {
            if (i + 1 >= n) return {i, o, Stop::kTruncated};
            if (!detail::is_low(in[i + 1])) return {i, o, Stop::kInvalid};
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
            used = 2;
        } else if (detail::is_low(u)) {
            return {i, o, Stop::kInvalid};
        }
        unsigned char bytes[4];
        int k = utf8::encode(cp, bytes);
        if (!count_only) {
            if (room - o < static_cast<size_t>(k)) return {i, o, Stop::kFull};
            std::memcpy(out + o, bytes, static_cast<size_t>(k));
        }
        i += used;
        o += static_cast<size_t>(k);
    }
    return {i, o, Stop::kDone};
}

// Length in units of the NUL-terminated UTF-16 text s.
template <typename Unit>
inline size_t length(const Unit *s) noexcept {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace qrv::utf16
