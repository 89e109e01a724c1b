// Floating-point digits and their layout, shared by the exported mscv_flt_
// and msfmt_float functions and the formatting engine. Scaling reads its
// powers of ten and limits from the double descriptor (mscv_fpu_double).
#pragma once

#include <cstdint>
#include <cstring>

#include "mscv.h"

namespace qrv::fmt::flt {

inline constexpr int kDoubleDigits = 16;  // N
inline constexpr int kSingleDigits = 7;   // S
inline constexpr int kExpDigits = 3;
// mscv_flt_fx needs N + 2 bytes ("-" or a 17th zero, and the NUL).
inline constexpr int kDigitBufferSize = kDoubleDigits + 2;

inline const double *large_powers(const mscv_fpu_format &f) { return static_cast<const double *>(f.large_powers); }
inline const double *small_powers(const mscv_fpu_format &f) { return static_cast<const double *>(f.small_powers); }
// The descriptor keeps its limits as bytes, which need not be aligned.
inline double value_of(const unsigned char *bytes) {
    double d;
    std::memcpy(&d, bytes, sizeof d);
    return d;
}

// mscv_flt_fx: digits of value into out (kDigitBufferSize bytes), E into
// *exponent; returns the NUL's address.
char *digits(int *exponent, char *out, double value) noexcept;

// msfmt_float: layout of a digit string; returns the NUL's address.
char *layout(char *out, int exponent, const char *digits, int precision, char letter, bool alternate) noexcept;

}  // namespace qrv::fmt::flt
