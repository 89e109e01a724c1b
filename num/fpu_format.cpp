// The two float format descriptors (IEEE double and single on this
// little-endian host). Values are kept as bytes so that every field is a
// compile-time constant.
#include <array>
#include <bit>
#include <limits>

#include "mscv.h"

namespace qrv::fpu {
namespace {

template <typename F>
constexpr auto bytes_of(F value) {
    return std::bit_cast<std::array<unsigned char, sizeof(F)>>(value);
}

template <typename F>
struct Values {
    using L = std::numeric_limits<F>;
    static constexpr auto zero = bytes_of(F(0));
    static constexpr auto maximum = bytes_of(L::max());
    static constexpr auto neg_maximum = bytes_of(-L::max());
    static constexpr auto min_normal = bytes_of(L::min());
    static constexpr auto pos_infinity = bytes_of(L::infinity());
    static constexpr auto neg_infinity = bytes_of(-L::infinity());
};

constexpr int kDoubleOrder[] = {6, 5, 4, 3, 2, 1, 0};
constexpr int kDoubleWidths[] = {4, 8, 8, 8, 8, 8, 8};
constexpr int kSingleOrder[] = {2, 1, 0};
constexpr int kSingleWidths[] = {7, 8, 8};
constexpr double kDoubleLarge[] = {1e256, 1e128, 1e64, 1e32, 1e16};
constexpr double kDoubleSmall[] = {1e-256, 1e-128, 1e-64, 1e-32, 1e-16};
constexpr float kSingleLarge[] = {1e32f, 1e16f};
constexpr float kSingleSmall[] = {1e-32f, 1e-16f};

using D = Values<double>;
using S = Values<float>;

constexpr mscv_fpu_format kDouble = {
    8,
    7,
    0x80,
    7,
    6,
    0x7f,
    4,
    1024,
    1022,
    -1024,
    0,
    1,
    7,
    52,
    kDoubleOrder,
    kDoubleWidths,
    3,
    512,
    16,
    kDoubleLarge,
    kDoubleSmall,
    5,
    D::zero.data(),
    D::maximum.data(),
    D::neg_maximum.data(),
    D::min_normal.data(),
    D::pos_infinity.data(),
    D::neg_infinity.data(),
};

constexpr mscv_fpu_format kSingle = {
    4,
    3,
    0x80,
    3,
    2,
    0x7f,
    7,
    128,
    126,
    -128,
    0,
    1,
    3,
    23,
    kSingleOrder,
    kSingleWidths,
    2,
    64,
    7,
    kSingleLarge,
    kSingleSmall,
    2,
    S::zero.data(),
    S::maximum.data(),
    S::neg_maximum.data(),
    S::min_normal.data(),
    S::pos_infinity.data(),
    S::neg_infinity.data(),
};

static_assert(std::endian::native == std::endian::little, "the descriptors describe a little-endian host");

}  // namespace
}  // namespace qrv::fpu

extern "C" {

// Constant data needs "extern" beside its initialiser to keep the exported
// visibility of the header's declaration.
QRV_API extern const mscv_fpu_format *const mscv_fpu_double = &qrv::fpu::kDouble;
QRV_API extern const mscv_fpu_format *const mscv_fpu_single = &qrv::fpu::kSingle;

}  // extern "C"
