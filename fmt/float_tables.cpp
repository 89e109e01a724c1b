// The constant records of floating-point conversion: the two format
// descriptors, the exported power tables and the precision queries.
#include <limits>

#include "fmt/float.h"
#include "mscv.h"

namespace qrv::fmt::flt {

const double kLargePowers[kPowerCount] = {1e256, 1e128, 1e64, 1e32, 1e16};
const double kSmallPowers[kPowerCount] = {1e-256, 1e-128, 1e-64, 1e-32, 1e-16};
const double kMaximum = std::numeric_limits<double>::max();
const double kSmallestNormal = std::numeric_limits<double>::min();

namespace {

constexpr int kDoubleOrder[] = {6, 5, 4, 3, 2, 1, 0};
constexpr int kDoubleBits[] = {4, 8, 8, 8, 8, 8, 8};
constexpr int kSingleOrder[] = {2, 1, 0};
constexpr int kSingleBits[] = {7, 8, 8};

constexpr double kDoubleZero = 0.0;
constexpr double kDoubleNegMaximum = -std::numeric_limits<double>::max();
constexpr double kDoubleInf = std::numeric_limits<double>::infinity();
constexpr double kDoubleNegInf = -std::numeric_limits<double>::infinity();

constexpr float kSingleLarge[] = {1e32f, 1e16f};
constexpr float kSingleSmall[] = {1e-32f, 1e-16f};
constexpr float kSingleZero = 0.0f;
constexpr float kSingleMaximum = std::numeric_limits<float>::max();
constexpr float kSingleNegMaximum = -std::numeric_limits<float>::max();
constexpr float kSingleSmallestNormal = std::numeric_limits<float>::min();
constexpr float kSingleInf = std::numeric_limits<float>::infinity();
constexpr float kSingleNegInf = -std::numeric_limits<float>::infinity();

const mscv_fpu_desc kDoubleDesc = {
    .size = 8,
    .sign_byte = 7,
    .sign_mask = 0x80,
    .exp_high_byte = 7,
    .exp_low_byte = 6,
    .exp_high_mask = 0x7f,
    .exp_shift = 4,
    .exp_offset = 1024,
    .exp_largest = 1022,
    .exp_smallest = -1024,
    .exp_base16 = 0,
    .hidden_bit = 1,
    .mant_bytes = 7,
    .mant_bits = 52,
    .mant_byte_order = kDoubleOrder,
    .mant_byte_bits = kDoubleBits,
    .exp_digits = kExpDigits,
    .dec_scale = 512,
    .dec_digits = kDoubleDigits,
    .large_powers = kLargePowers,
    .small_powers = kSmallPowers,
    .power_count = kPowerCount,
    .zero = &kDoubleZero,
    .maximum = &kMaximum,
    .neg_maximum = &kDoubleNegMaximum,
    .smallest_normal = &kSmallestNormal,
    .pos_infinity = &kDoubleInf,
    .neg_infinity = &kDoubleNegInf,
};

const mscv_fpu_desc kSingleDesc = {
    .size = 4,
    .sign_byte = 3,
    .sign_mask = 0x80,
    .exp_high_byte = 3,
    .exp_low_byte = 2,
    .exp_high_mask = 0x7f,
    .exp_shift = 7,
    .exp_offset = 128,
    .exp_largest = 126,
    .exp_smallest = -128,
    .exp_base16 = 0,
    .hidden_bit = 1,
    .mant_bytes = 3,
    .mant_bits = 23,
    .mant_byte_order = kSingleOrder,
    .mant_byte_bits = kSingleBits,
    .exp_digits = 2,
    .dec_scale = 64,
    .dec_digits = kSingleDigits,
    .large_powers = kSingleLarge,
    .small_powers = kSingleSmall,
    .power_count = 2,
    .zero = &kSingleZero,
    .maximum = &kSingleMaximum,
    .neg_maximum = &kSingleNegMaximum,
    .smallest_normal = &kSingleSmallestNormal,
    .pos_infinity = &kSingleInf,
    .neg_infinity = &kSingleNegInf,
};

}  // namespace
}  // namespace qrv::fmt::flt

extern "C" {

QRV_API extern const mscv_fpu_desc *const mscv_fpu_double = &qrv::fmt::flt::kDoubleDesc;
QRV_API extern const mscv_fpu_desc *const mscv_fpu_single = &qrv::fmt::flt::kSingleDesc;

QRV_API extern const double mscv_flt_small[15] = {1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7, 1e8,
                                                  1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
QRV_API extern const double mscv_flt_rsmall[15] = {1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7, 1e-8,
                                                   1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};
QRV_API extern const int mscv_flt_nsmall = 15;

QRV_API int mscv_flt_get_dprec(void) noexcept { return qrv::fmt::flt::kDoubleDigits; }
QRV_API int mscv_flt_get_sprec(void) noexcept { return qrv::fmt::flt::kSingleDigits; }
QRV_API int mscv_flt_get_dexpndigits(void) noexcept { return qrv::fmt::flt::kExpDigits; }

}  // extern "C"
