// The portable float encoding: decomposition of doubles and singles, exact
// round trips, narrowing to single with half-up rounding, and the ordering
// of stored forms.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "mscv.h"
#include "text_support.h"

namespace {

using Bytes = std::vector<unsigned char>;
struct Decomposed {
    int sign = -1, exponent = -1;
    Bytes mantissa;
};
template <typename F>
const mscv_fpu_format *format_of() {
    return sizeof(F) == 8 ? mscv_fpu_double : mscv_fpu_single;
}

// Encoding and decoding through guarded memory: nothing outside the
// mantissa bytes or the value may change.
template <typename F>
Decomposed encode(F value, int length) {
    Decomposed d;
    Canary mantissa(static_cast<size_t>(length > 0 ? length : 0));
    mscv_fpu_encode(&d.sign, &d.exponent, mantissa.data(), length, reinterpret_cast<unsigned char *>(&value),
                    format_of<F>());
    EXPECT_TRUE(mantissa.untouched_from(static_cast<size_t>(length > 0 ? length : 0)));
    d.mantissa.assign(mantissa.data(), mantissa.data() + (length > 0 ? length : 0));
    return d;
}

template <typename F>
auto decode_bits(const Decomposed &d) {
    Canary value(sizeof(F));
    mscv_fpu_decode(value.data(), format_of<F>(), d.sign, d.exponent, d.mantissa.data(),
                    static_cast<int>(d.mantissa.size()));
    EXPECT_TRUE(value.untouched_from(sizeof(F)));
    std::conditional_t<sizeof(F) == 8, uint64_t, uint32_t> bits;
    std::memcpy(&bits, value.data(), sizeof bits);
    return bits;
}

// The stored form a caller assembles from a decomposed value.
Bytes stored(const Decomposed &d) {
    Bytes out(2 + d.mantissa.size());
    out[0] = static_cast<unsigned char>(d.sign << 7 | d.exponent >> 8);
    out[1] = static_cast<unsigned char>(d.exponent);
    std::copy(d.mantissa.begin(), d.mantissa.end(), out.begin() + 2);
    return out;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kInfF = std::numeric_limits<float>::infinity();

TEST(MscvFpu, EncodesKnownValues) {
    const struct {
        double value;
        bool single;
        int sign, exponent;
        Bytes mantissa;
    } kCases[] = {
        {1.0, false, 0, 16383, {0, 0, 0, 0, 0, 0, 0}},
        {1.0, true, 0, 16383, {0, 0, 0}},
        {-2.0, false, 1, 16384, {0, 0, 0, 0, 0, 0, 0}},
        {1.5, true, 0, 16383, {0x80, 0, 0}},
        {0.0, false, 0, 0, {0, 0, 0, 0, 0, 0, 0}},
        {-0.0, false, 1, 15360, {0, 0, 0, 0, 0, 0, 0}},
        {-0.0, true, 1, 16256, {0, 0, 0}},
        {kInf, false, 0, 32767, {0, 0, 0, 0, 0, 0, 0}},
        {-kInf, true, 1, 32767, {0, 0, 0}},
        {DBL_TRUE_MIN, false, 0, 15360, {0, 0, 0, 0, 0, 0, 0x10}},
        {-0.75, false, 1, 16382, {0x80}},
        {3.0, true, 0, 16384, {}},  // short and empty mantissas
        {DBL_MAX, false, 0, 17406, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}},
        {FLT_TRUE_MIN, true, 0, 16256, {0, 0, 0x02}},
    };
    for (const auto &c : kCases) {
        auto length = static_cast<int>(c.mantissa.size());
        Decomposed d = c.single ? encode(static_cast<float>(c.value), length) : encode(c.value, length);
        EXPECT_EQ(std::tuple(d.sign, d.exponent, d.mantissa), std::tuple(c.sign, c.exponent, c.mantissa)) << c.value;
    }
}

TEST(MscvFpu, RoundTripsEveryNonNaNBitPattern) {
    std::mt19937_64 random(42);
    std::vector<uint64_t> patterns = {
        0, 1, 0x8000000000000000, 0x000FFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFF, 0x7FF0000000000000};
    for (int i = 0; i < 20000; ++i) patterns.push_back(random());
    for (uint64_t bits : patterns) {
        auto d = std::bit_cast<double>(bits);
        auto f = std::bit_cast<float>(static_cast<uint32_t>(bits));
        if (!std::isnan(d)) {
            for (int length : {7, 8, 32}) ASSERT_EQ(decode_bits<double>(encode(d, length)), bits);
            // Two bytes keep the top 16 mantissa bits; the rest read as zeros.
            ASSERT_EQ(decode_bits<double>(encode(d, 2)), bits & 0xFFFFFFF000000000);
        }
        if (!std::isnan(f)) {
            ASSERT_EQ(decode_bits<float>(encode(f, 3)), static_cast<uint32_t>(bits));
            // Both widths share one scale: a normal single encodes as its double.
            if (std::isnormal(f)) {
                ASSERT_EQ(stored(encode(f, 3)), stored(encode(static_cast<double>(f), 3)));
            }
        }
    }
}

TEST(MscvFpu, NarrowsToSingleWithHalfUpRounding) {
    const struct {
        Decomposed in;
        float out;
    } kCases[] = {
        {encode(1.0 + 0x1p-24, 7), 1.0f + 0x1p-23f},  // a tie rounds up (IEEE: to even, 1.0f)
        {encode(1.0 + 0x1p-25, 7), 1.0f},
        {encode(2.0 - 0x1p-24, 7), 2.0f},  // the carry runs out of the mantissa
        {encode(-3.0, 7), -3.0f},
        {encode(static_cast<double>(FLT_MAX), 7), FLT_MAX},
        {encode(1e39, 7), kInfF},
        {encode(-1e39, 7), -kInfF},
        {encode(-1e-50, 7), 0.0f},
        {{0, 16383 + 200, {0x12}}, kInfF},
        {{1, 16383 - 200, {0x12}}, 0.0f},
        {{1, 0, {0x12}}, 0.0f},
        {{1, 32767, {0x12}}, -kInfF},
        {{0, -5, {}}, 0.0f},
        {{0, 1 << 20, {}}, kInfF},
    };
    for (const auto &c : kCases) EXPECT_EQ(decode_bits<float>(c.in), std::bit_cast<uint32_t>(c.out)) << c.in.exponent;
}

TEST(MscvFpu, StoredFormsOrder) {
    const unsigned char null[34] = {0x7F, 0xFF, 0x01}, infinity[34] = {0x7F, 0xFF};
    EXPECT_TRUE(!std::memcmp(mscv_fpu_dnull, null, 34) && !std::memcmp(mscv_fpu_snull, null, 34) &&
                !std::memcmp(mscv_fpu_dinfy, infinity, 34) && !std::memcmp(mscv_fpu_sinfy, infinity, 34));
    std::vector<Bytes> ascending = {Bytes(mscv_fpu_dnull, mscv_fpu_dnull + 9)};
    for (double v : {-kInf, -DBL_MAX, -1.0, -DBL_MIN, -DBL_TRUE_MIN, -0.0, 0.0, DBL_TRUE_MIN, DBL_MIN, 1.0, 1.5, 2.0,
                     DBL_MAX, kInf}) {
        ascending.push_back(stored(encode(v, 7)));
    }
    for (size_t i = 0; i < ascending.size(); ++i) {
        for (size_t j = 0; j < ascending.size(); ++j) {
            EXPECT_EQ(mscv_fpu_cmp(ascending[i].data(), ascending[j].data(), 7), i < j ? -1 : i > j ? 1 : 0) << i << j;
        }
    }
    // Nulls are equal whatever their sign and other bytes; without mantissa
    // bytes there is no null and only sign and exponent count.
    const unsigned char other_null[9] = {0xFF, 0xFF, 0x05, 0x33};
    EXPECT_EQ(mscv_fpu_cmp(mscv_fpu_snull, other_null, 3), 0);
    EXPECT_EQ(mscv_fpu_cmp(mscv_fpu_dinfy, mscv_fpu_dnull, 0), 0);
    EXPECT_EQ(mscv_fpu_cmp(ascending[10].data(), ascending[11].data(), 0), 0);  // 1.0 and 1.5
}

}  // namespace
