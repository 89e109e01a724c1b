// Strict UTF-8: the one copy of the sequence rules that the variable-file
// reader, the NLS compiler and the platform layer's UTF-16 conversion share.
// Strict means lead bytes C2-F4, the right number of continuation bytes, no
// overlong forms, no surrogates and nothing past U+10FFFF. (The msstr_
// family steps text by the lenient first-byte rule of text/tables.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qrv::utf8 {

// Length of the sequence at p (within n >= 1 bytes), or 0 when it is none.
constexpr int sequence_length(const unsigned char *p, size_t n) noexcept {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (n < static_cast<size_t>(length) || p[1] < low || p[1] > high) return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return length;
}

// Offset of the first byte that starts no valid sequence, or npos.
inline size_t first_invalid(std::string_view s) noexcept {
    auto *p = reinterpret_cast<const unsigned char *>(s.data());
    for (size_t i = 0; i < s.size();) {
        int length = sequence_length(p + i, s.size() - i);
        if (length == 0) return i;
        i += static_cast<size_t>(length);
    }
    return std::string_view::npos;
}

inline bool valid(std::string_view s) noexcept { return first_invalid(s) == std::string_view::npos; }

// Writes code point cp (at most U+10FFFF) to out; returns the byte count.
constexpr int encode(uint32_t cp, unsigned char out[4]) noexcept {
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace qrv::utf8
