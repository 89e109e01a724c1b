// Floating-point digits and their layout, shared by the exported mscv_flt_
// and msfmt_float functions and the formatting engine.
#pragma once

#include <cstdint>

namespace qrv::fmt::flt {

inline constexpr int kDoubleDigits = 16;  // N
inline constexpr int kSingleDigits = 7;   // S
inline constexpr int kExpDigits = 3;
// mscv_flt_fx needs N + 2 bytes ("-" or a 17th zero, and the NUL).
inline constexpr int kDigitBufferSize = kDoubleDigits + 2;

// The tables behind the exported descriptor of IEEE double (the fine steps
// 1e1 ... 1e15 and their reciprocals are the exported mscv_flt_small and
// mscv_flt_rsmall).
inline constexpr int kPowerCount = 5;
extern const double kLargePowers[kPowerCount];  // 1e256 ... 1e16
extern const double kSmallPowers[kPowerCount];  // 1e-256 ... 1e-16
extern const double kMaximum;
extern const double kSmallestNormal;

// mscv_flt_fx: digits of value into out (kDigitBufferSize bytes), E into
// *exponent; returns the NUL's address.
char *digits(int *exponent, char *out, double value) noexcept;

// msfmt_float: layout of a digit string; returns the NUL's address.
char *layout(char *out, int exponent, const char *digits, int precision, char letter, bool alternate) noexcept;

}  // namespace qrv::fmt::flt
