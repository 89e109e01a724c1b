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
// UTF-8 goes 16 bytes at a time (SSE2) while the block holds only 1- to
// 3-byte sequences, else a character at a time, 2- and 3-byte ones from
// one load and a few masks; UTF-16 takes ASCII 8 units at a time. When the
// room holds any output of the input no room is checked per character.
// The block steps store whole vectors: places of the output past what a
// conversion reports written, but within its room, may be overwritten.
// Units are char16_t or the C headers' uint16_t (qrv_wchar), each read as
// itself.
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

// With room for 16 units at out and 16 bytes readable at in: converts the
// ASCII bytes that start in[0..15], writing all 16 places (those past the
// count are scratch in the caller's room); returns the count.
template <typename Unit>
inline size_t ascii_block_to_units(const unsigned char *in, Unit *out) noexcept {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(v, zero));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
    return mask == 0 ? 16 : static_cast<size_t>(__builtin_ctz(mask));
#else
    size_t i = 0;
    while (i < 16 && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
#endif
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

// With room for 8 bytes at out and 8 units readable at in: converts the
// ASCII units that start in[0..7], writing all 8 places (those past the
// count are scratch in the caller's room); returns the count.
template <typename Unit>
inline size_t ascii_block_to_bytes(const Unit *in, unsigned char *out) noexcept {
#if defined(__SSE2__)
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
    __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(v, v));
    unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(ascii)) & 0xFFFFu;
    return other == 0 ? 8 : static_cast<size_t>(__builtin_ctz(other)) / 2;
#else
    size_t i = 0;
    while (i < 8 && in[i] < 0x80) {
        out[i] = static_cast<unsigned char>(in[i]);
        ++i;
    }
    return i;
#endif
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

namespace detail {

// How a conversion treats its output: only counts, writes with a check of
// the room before each character, or writes without checks (the room is
// known to hold the whole output).
enum class Out { kCount, kChecked, kUnchecked };

inline uint32_t load32(const unsigned char *p) noexcept {
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// The character at in[0] when it is a valid 2- or 3-byte sequence (the
// common ones: Latin, Greek, Cyrillic, CJK) decoded from one 32-bit load
// (4 bytes readable), with *length set; 0 for anything else, which the
// general step then decides.
inline uint32_t decode_short(const unsigned char *in, int *length) noexcept {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t w = load32(in);
    if ((w & 0xC0E0u) == 0x80C0u) {
        uint32_t cp = ((w & 0x1Fu) << 6) | ((w >> 8) & 0x3Fu);
        *length = 2;
        return cp >= 0x80 ? cp : 0;
    }
    if ((w & 0xC0C0F0u) == 0x8080E0u) {
        uint32_t cp = ((w & 0x0Fu) << 12) | ((w >> 2) & 0xFC0u) | ((w >> 16) & 0x3Fu);
        *length = 3;
        return cp >= 0x800 && cp - 0xD800u >= 0x800u ? cp : 0;  // no overlong form, no surrogate
    }
#else
    (void)in;
    (void)length;
#endif
    return 0;
}

#if defined(__SSE2__)
// The characters that start in in[0..15] (18 bytes readable, room for 16
// units at out) when they are all valid sequences of 1 to 3 bytes: every
// byte position is decoded as if a character started there, in 16-bit
// lanes, and the positions that do start one are kept in order. Returns
// the bytes consumed (16 to 18, the last character may end past the 16)
// with *units the units written; 0 when the block holds anything else (a
// 4-byte sequence or an invalid one), which the character step decides.
template <typename Unit>
inline size_t block_to_units(const unsigned char *in, Unit *out, size_t *units) noexcept {
    auto load = [](const unsigned char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
    auto mask = [](__m128i m) { return static_cast<uint32_t>(_mm_movemask_epi8(m)); };
    auto byte = [](int b) { return _mm_set1_epi8(static_cast<char>(b)); };
    const __m128i v0 = load(in), v1 = load(in + 1), v2 = load(in + 2);
    // Byte classes by signed compares: 00-7F >= 0, 80-BF < -64 (0xC0).
    const uint32_t ascii = mask(_mm_cmpgt_epi8(v0, byte(-1)));
    const uint32_t cont = mask(_mm_cmplt_epi8(v0, byte(0xC0)));
    const uint32_t from_c2 = mask(_mm_cmpgt_epi8(v0, byte(0xC1))) & ~ascii;
    const uint32_t from_e0 = mask(_mm_cmpgt_epi8(v0, byte(0xDF))) & ~ascii;
    const uint32_t from_f0 = mask(_mm_cmpgt_epi8(v0, byte(0xEF))) & ~ascii;
    const uint32_t lead2 = from_c2 & ~from_e0, lead3 = from_e0 & ~from_f0;
    if ((ascii | cont | lead2 | lead3) != 0xFFFF) return 0;  // C0, C1, F0-FF
    // Continuation bytes exactly where the leads need them (bytes 16 and
    // 17, read from v2's last two lanes, only where needed).
    const uint32_t expected = ((lead2 | lead3) << 1) | (lead3 << 2);
    const uint32_t have = cont | ((mask(_mm_cmplt_epi8(v2, byte(0xC0))) >> 14) << 16);
    if (((expected ^ have) & (0xFFFFu | expected)) != 0) return 0;
    // No overlong 3-byte form (E0 80-9F) and no surrogate (ED A0-BF).
    const uint32_t next_low = mask(_mm_cmplt_epi8(v1, byte(0xA0)));  // 80-9F
    const uint32_t next_high = mask(_mm_cmpgt_epi8(v1, byte(0x9F))) & mask(_mm_cmplt_epi8(v1, byte(0xC0)));
    const uint32_t e0 = mask(_mm_cmpeq_epi8(v0, byte(0xE0))), ed = mask(_mm_cmpeq_epi8(v0, byte(0xED)));
    if ((e0 & next_low) != 0 || (ed & next_high) != 0) return 0;

    const __m128i zero = _mm_setzero_si128();
    const __m128i low6 = _mm_set1_epi16(0x3F);
    alignas(16) uint16_t decoded[16];
    for (int half = 0; half < 2; ++half) {
        __m128i b0 = half == 0 ? _mm_unpacklo_epi8(v0, zero) : _mm_unpackhi_epi8(v0, zero);
        __m128i b1 = _mm_and_si128(half == 0 ? _mm_unpacklo_epi8(v1, zero) : _mm_unpackhi_epi8(v1, zero), low6);
        __m128i b2 = _mm_and_si128(half == 0 ? _mm_unpacklo_epi8(v2, zero) : _mm_unpackhi_epi8(v2, zero), low6);
        __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6), b1);
        __m128i three = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(b0, 12), _mm_slli_epi16(b1, 6)), b2);
        __m128i is2 = _mm_cmpgt_epi16(b0, _mm_set1_epi16(0xBF));
        __m128i is3 = _mm_cmpgt_epi16(b0, _mm_set1_epi16(0xDF));
        __m128i value = _mm_or_si128(_mm_andnot_si128(is2, b0), _mm_and_si128(is2, two));
        value = _mm_or_si128(_mm_andnot_si128(is3, value), _mm_and_si128(is3, three));
        _mm_store_si128(reinterpret_cast<__m128i *>(decoded + 8 * half), value);
    }
    const uint32_t starts = ascii | lead2 | lead3;
    size_t k = 0;
    if (starts == 0x9249u) {  // six 3-byte characters (a CJK run): no loop to mispredict
        for (int j = 0; j < 16; j += 3) out[k++] = static_cast<Unit>(decoded[j]);
    } else {
        for (uint32_t m = starts; m != 0; m &= m - 1) out[k++] = static_cast<Unit>(decoded[__builtin_ctz(m)]);
    }
    *units = k;
    return 16 + ((expected >> 16) & 1) + ((expected >> 17) & 1);
}
#endif

template <Out mode, typename Unit>
inline Result from_utf8(const unsigned char *in, size_t n, Unit *out, size_t room) noexcept {
    size_t i = 0, o = 0;
    while (i < n) {
#if defined(__SSE2__)
        if constexpr (mode != Out::kCount) {
            // 16 bytes at a time while 18 are readable and 16 units fit.
            if (n - i >= 18 && (mode == Out::kUnchecked || room - o >= 16)) {
                if (in[i] < 0x80 && ascii_block_to_units(in + i, out + o) == 16) {
                    i += 16;
                    o += 16;
                    continue;
                }
                size_t units = 0;
                if (size_t used = block_to_units(in + i, out + o, &units)) {
                    i += used;
                    o += units;
                    continue;
                }
            }
        }
#endif
        if (in[i] < 0x80) {
            size_t k = mode == Out::kCount       ? ascii_count(in + i, n - i)
                       : mode == Out::kUnchecked ? ascii_to_units(in + i, n - i, out + o, n - i)
                                                 : ascii_to_units(in + i, n - i, out + o, room - o);
            if (k == 0) return {i, o, Stop::kFull};
            i += k;
            o += k;
            continue;
        }
        if (n - i >= 4) {
            int length = 0;
            if (uint32_t cp = decode_short(in + i, &length)) {
                if constexpr (mode == Out::kChecked) {
                    if (o == room) return {i, o, Stop::kFull};
                }
                if constexpr (mode != Out::kCount) out[o] = static_cast<Unit>(cp);
                i += static_cast<size_t>(length);
                ++o;
                continue;
            }
        }
        int length = utf8::sequence_length(in + i, n - i);
        if (length == 0) {
            bool cut = n - i < static_cast<size_t>(announced_length(in[i])) && valid_prefix(in + i, n - i);
            return {i, o, cut ? Stop::kTruncated : Stop::kInvalid};
        }
        uint32_t cp = decode(in + i, length);
        size_t units = cp >= 0x10000 ? 2 : 1;
        if constexpr (mode == Out::kChecked) {
            if (room - o < units) return {i, o, Stop::kFull};
        }
        if constexpr (mode != Out::kCount) {
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

template <Out mode, typename Unit>
inline Result to_utf8(const Unit *in, size_t n, unsigned char *out, size_t room) noexcept {
    size_t i = 0, o = 0;
    while (i < n) {
        uint32_t u = in[i];
        if (u < 0x80) {
            if constexpr (mode == Out::kCount) {
                ++i, ++o;
                continue;
            }
            if constexpr (mode == Out::kUnchecked) {
                if (n - i >= 8) {  // the room holds 8 more bytes too
                    size_t k = ascii_block_to_bytes(in + i, out + o);
                    i += k;
                    o += k;
                    continue;
                }
            }
            size_t k = units_to_ascii(in + i, n - i, out + o, mode == Out::kUnchecked ? n - i : room - o);
            if (k == 0) return {i, o, Stop::kFull};
            i += k;
            o += k;
            continue;
        }
        if (u < 0x800) {
            if constexpr (mode == Out::kChecked) {
                if (room - o < 2) return {i, o, Stop::kFull};
            }
            if constexpr (mode != Out::kCount) {
                out[o] = static_cast<unsigned char>(0xC0 | (u >> 6));
                out[o + 1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            }
            ++i;
            o += 2;
            continue;
        }
        if (u - 0xD800u >= 0x800u) {  // not a surrogate
            if constexpr (mode == Out::kChecked) {
                if (room - o < 3) return {i, o, Stop::kFull};
            }
            if constexpr (mode != Out::kCount) {
                out[o] = static_cast<unsigned char>(0xE0 | (u >> 12));
                out[o + 1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
                out[o + 2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            }
            ++i;
            o += 3;
            continue;
        }
        if (!is_high(u)) return {i, o, Stop::kInvalid};
        if (i + 1 >= n) return {i, o, Stop::kTruncated};
        if (!is_low(in[i + 1])) return {i, o, Stop::kInvalid};
        uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
        if constexpr (mode == Out::kChecked) {
            if (room - o < 4) return {i, o, Stop::kFull};
        }
        if constexpr (mode != Out::kCount) utf8::encode(cp, out + o);
        i += 2;
        o += 4;
    }
    return {i, o, Stop::kDone};
}

}  // namespace detail

// UTF-8 (n bytes) to UTF-16 units (char16_t or the C headers' uint16_t).
// With out null only counts (room unused).
template <typename Unit>
inline Result from_utf8(const char *input, size_t n, Unit *out, size_t room) noexcept {
    auto *in = reinterpret_cast<const unsigned char *>(input);
    using detail::Out;
    if (out == nullptr) return detail::from_utf8<Out::kCount, Unit>(in, n, nullptr, 0);
    // Every byte gives at most one unit (4 bytes give 2).
    if (room >= n) return detail::from_utf8<Out::kUnchecked>(in, n, out, room);
    return detail::from_utf8<Out::kChecked>(in, n, out, room);
}

// UTF-16 (n units) to UTF-8 bytes. With out null only counts.
template <typename Unit>
inline Result to_utf8(const Unit *in, size_t n, char *output, size_t room) noexcept {
    auto *out = reinterpret_cast<unsigned char *>(output);
    using detail::Out;
    if (out == nullptr) return detail::to_utf8<Out::kCount>(in, n, out, 0);
    // Every unit gives at most 3 bytes (a pair gives 4).
    if (room / 3 >= n) return detail::to_utf8<Out::kUnchecked>(in, n, out, room);
    return detail::to_utf8<Out::kChecked>(in, n, out, room);
}

// Length in units of the NUL-terminated UTF-16 text s.
template <typename Unit>
inline size_t length(const Unit *s) noexcept {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace qrv::utf16
