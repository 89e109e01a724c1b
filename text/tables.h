// Character classes, case maps and the UTF-8 character-length rule shared by
// the string functions and the number readers. Everything is built at
// compile time; the exported mstables_ arrays are copies of these.
#pragma once

#include <array>
#include <cstdint>

namespace qrv::text {

// Bits of the character-type table.
inline constexpr uint8_t kUpper = 0x01;  // "A"-"Z" and "_"
inline constexpr uint8_t kLower = 0x02;  // "a"-"z"
inline constexpr uint8_t kMulti = 0x03;  // any byte of a multibyte character
inline constexpr uint8_t kDigit = 0x04;
inline constexpr uint8_t kPunct = 0x08;
inline constexpr uint8_t kTab = 0x10;
inline constexpr uint8_t kOtherWhite = 0x20;  // line feed .. carriage return
inline constexpr uint8_t kSpace = 0x40;
inline constexpr uint8_t kHexLetter = 0x80;
inline constexpr uint8_t kWhite = kTab | kOtherWhite | kSpace;
inline constexpr uint8_t kPrintable = 0x7F;  // none of these bits: control or invalid

using Table = std::array<uint8_t, 256>;

constexpr Table make_char_type() {
    Table t{};
    auto mark = [&t](int from, int to, uint8_t bits) {
        for (int c = from; c <= to; ++c) t[c] |= bits;
    };
    mark('A', 'Z', kUpper);
    mark('_', '_', kUpper);
    mark('a', 'z', kLower);
    mark(0x80, 0xF7, kMulti);
    mark('0', '9', kDigit);
    mark(0x21, 0x2F, kPunct);
    mark(0x3A, 0x40, kPunct);
    mark(0x5B, 0x5E, kPunct);
    mark(0x60, 0x60, kPunct);
    mark(0x7B, 0x7E, kPunct);
    mark(0x09, 0x09, kTab);
    mark(0x0A, 0x0D, kOtherWhite);
    mark(0x20, 0x20, kSpace);
    mark('A', 'F', kHexLetter);
    mark('a', 'f', kHexLetter);
    return t;
}

constexpr Table make_case_map(char from_first, char to_first) {
    Table t{};
    for (int c = 0; c < 256; ++c) t[c] = static_cast<uint8_t>(c);
    for (int i = 0; i < 26; ++i) t[from_first + i] = static_cast<uint8_t>(to_first + i);
    return t;
}

// Account names: bit 0 allowed in a user name, bit 1 allowed in a password.
inline constexpr uint8_t kLoginOk = 0x01;
inline constexpr uint8_t kPasswdOk = 0x02;

constexpr std::array<uint8_t, 128> make_account_table() {
    std::array<uint8_t, 128> t{};
    for (int c = 0x20; c < 0x7F; ++c) t[c] = kLoginOk | kPasswdOk;
    for (char c : "\"#%*+,/:;<=>?[\\]|") {
        if (c != '\0') t[static_cast<uint8_t>(c)] = kPasswdOk;
    }
    return t;
}

// Value of a digit in any base up to 36 ("0"-"9", then letters of either
// case); 36 for bytes that are no digit at all.
constexpr Table make_digit_values() {
    Table t{};
    for (auto &v : t) v = 36;
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 26; ++i) {
        t['a' + i] = static_cast<uint8_t>(10 + i);
        t['A' + i] = static_cast<uint8_t>(10 + i);
    }
    return t;
}

// Length of the character a first byte starts (1 for bytes that start none).
constexpr Table make_char_lengths() {
    Table t{};
    for (int c = 0; c < 256; ++c) {
        t[c] = c >= 0xF0 && c <= 0xF7 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC0 && c <= 0xDF ? 2 : 1;
    }
    return t;
}

inline constexpr Table kCharType = make_char_type();
inline constexpr Table kLowerMap = make_case_map('A', 'a');
inline constexpr Table kUpperMap = make_case_map('a', 'A');
inline constexpr std::array<uint8_t, 128> kAccount = make_account_table();
inline constexpr Table kDigitValue = make_digit_values();
inline constexpr Table kCharLength = make_char_lengths();

constexpr uint8_t byte(char c) { return static_cast<uint8_t>(c); }
constexpr bool is_white(char c) { return (kCharType[byte(c)] & kWhite) != 0; }
constexpr bool is_digit(char c) { return static_cast<unsigned>(byte(c) - '0') < 10u; }
constexpr int char_length(char first) { return kCharLength[byte(first)]; }

// The byte after the character at p. A character cut short by the
// terminator ends at the terminator, so stepping never passes the end.
inline const char *next_char(const char *p) {
    int n = char_length(*p);
    const char *q = p + 1;
    while (--n > 0 && *q != '\0') ++q;
    return q;
}

// The same, reading no byte at or past end: for buffers that need not be
// terminated within their length.
inline const char *next_char_within(const char *p, const char *end) {
    int n = char_length(*p);
    const char *q = p + 1;
    while (--n > 0 && q < end && *q != '\0') ++q;
    return q;
}

// Display columns of the character starting with first.
constexpr int display_width(char first) {
    if (first == '\b') return -1;
    if ((kCharType[byte(first)] & kPrintable) == 0) return 0;
    return byte(first) >= 0x80 ? 2 : 1;
}

}  // namespace qrv::text

// Spells out the 256 entries of a constexpr table as an initialiser list, so
// the exported C arrays are copies of the tables above.
#define QRV_TABLE_4(t, i) t[(i)], t[(i) + 1], t[(i) + 2], t[(i) + 3]
#define QRV_TABLE_16(t, i) QRV_TABLE_4(t, i), QRV_TABLE_4(t, (i) + 4), QRV_TABLE_4(t, (i) + 8), QRV_TABLE_4(t, (i) + 12)
#define QRV_TABLE_64(t, i) \
    QRV_TABLE_16(t, i), QRV_TABLE_16(t, (i) + 16), QRV_TABLE_16(t, (i) + 32), QRV_TABLE_16(t, (i) + 48)
#define QRV_TABLE_256(t) QRV_TABLE_64(t, 0), QRV_TABLE_64(t, 64), QRV_TABLE_64(t, 128), QRV_TABLE_64(t, 192)
