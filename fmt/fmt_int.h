// Integer reading and writing used by the float reader and the formatting
// engine. They follow the rules of the exported mscv_ integer family (same
// syntax, limits and error ids) and stand in for it until that family can
// be called directly.
#pragma once

#include <cstdint>

namespace qrv::fmt::num {

// White space of the character tables: tab, LF, VT, FF, CR and space.
constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// A signed 32-bit integer as mscv_xi reads it: white space, a sign, then
// decimal digits or "0x" and at most 8 significant hexadecimal digits.
// Returns the position after the number; on failure null, with the error
// stack reset to 16052, 16053 or 16055, and *out untouched.
const char *read_int32(int32_t *out, const char *text) noexcept;

// Unsigned digits of v in base 8, 10 or 16 (lower-case letters), no NUL.
// Returns the end; out needs 22 bytes.
char *write_unsigned(char *out, uint64_t v, int base) noexcept;

// Signed decimal ("-" for negative values), no NUL; out needs 20 bytes.
char *write_signed(char *out, int64_t v) noexcept;

}  // namespace qrv::fmt::num
