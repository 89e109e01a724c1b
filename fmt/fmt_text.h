// UTF-8 stepping and display columns as the string family defines them:
// the length of a character follows from its first byte alone, and its
// width in columns from the character class of that byte. They stand in
// for msstr_nlength_disp and the character tables until those can be
// called directly.
#pragma once

#include <cstdint>

namespace qrv::fmt::text {

// Bytes of the character that starts with b: F0-F7 four, E0-EF three,
// C0-DF two, anything else one.
constexpr int char_length(unsigned char b) {
    if (b >= 0xF0 && b <= 0xF7) return 4;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xC0 && b <= 0xDF) return 2;
    return 1;
}

// Columns of the character that starts with b: backspace -1; control and
// invalid bytes 0 (0x00-0x08, 0x0E-0x1F, 0x7F, 0xF8-0xFF); any other byte
// at or above 0x80 starts a two-column character; other ASCII is one.
constexpr int char_columns(unsigned char b) {
    if (b == 0x08) return -1;
    if (b < 0x09 || (b >= 0x0E && b <= 0x1F) || b == 0x7F || b >= 0xF8) return 0;
    return b >= 0x80 ? 2 : 1;
}

// Display width of the characters whose first byte lies in s[0, n).
inline int64_t columns(const char *s, int64_t n) {
    int64_t width = 0;
    for (int64_t i = 0; i < n; i += char_length(static_cast<unsigned char>(s[i]))) {
        width += char_columns(static_cast<unsigned char>(s[i]));
    }
    return width;
}

// Bytes of s[0, n) to keep so that the running width never exceeds limit:
// the cut falls before the first character that would pass it.
inline int64_t cut_at_columns(const char *s, int64_t n, int64_t limit) {
    int64_t width = 0;
    int64_t i = 0;
    while (i < n) {
        int c = char_columns(static_cast<unsigned char>(s[i]));
        if (width + c > limit) return i;
        width += c;
        i += char_length(static_cast<unsigned char>(s[i]));
    }
    return n;
}

}  // namespace qrv::fmt::text
