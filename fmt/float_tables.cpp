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
    8, 7, 0x80, 7, 6, 0x7f, 4, 1024, 1022, -1024, 0, 1, 7, 52, kDoubleOrder, kDoubleBits,
    kExpDigits, 512, kDoubleDigits, kLargePowers, kSmallPowers, kPowerCount,
    &kDoubleZero, &kMaximum, &kDoubleNegMaximum, &kSmallestNormal, &kDoubleInf, &kDoubleNegInf,
};

const mscv_fpu_desc kSingleDesc = {
    4, 3, 0x80, 3, 2, 0x7f, 7, 128, 126, -128, 0, 1, 3, 23, kSingleOrder, kSingleBits,
    2, 64, kSingleDigits, kSingleLarge, kSingleSmall, 2,
    &kSingleZero, &kSingleMaximum, &kSingleNegMaximum, &kSingleSmallestNormal, &kSingleInf, &kSingleNegInf,
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
