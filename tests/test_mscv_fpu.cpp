// The portable float encoding: decomposition of doubles and singles, exact
// round trips, narrowing to single with half-up rounding, and the ordering
// of stored forms.
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "mscv.h"
#include "text_support.h"

namespace {

struct Decomposed {
    int sign = -1, exponent = -1;
    std::vector<unsigned char> mantissa;
};

template <typename F>
Decomposed encode(F value, int mantissa_len) {
    const mscv_fpu_format *format = sizeof(F) == 8 ? mscv_fpu_double : mscv_fpu_single;
    Decomposed d;
    d.mantissa.assign(static_cast<size_t>(mantissa_len), 0xEE);
    mscv_fpu_encode(&d.sign, &d.exponent, d.mantissa.data(), mantissa_len, reinterpret_cast<unsigned char *>(&value),
                    format);
    return d;
}

template <typename F>
F decode(const Decomposed &d) {
    F value;
    mscv_fpu_decode(reinterpret_cast<unsigned char *>(&value), sizeof(F) == 8 ? mscv_fpu_double : mscv_fpu_single,
                    d.sign, d.exponent, d.mantissa.data(), static_cast<int>(d.mantissa.size()));
    return value;
}

// The stored form a caller assembles from a decomposed value.
std::vector<unsigned char> stored(const Decomposed &d) {
    std::vector<unsigned char> out(2 + d.mantissa.size());
    out[0] = static_cast<unsigned char>(d.sign << 7 | d.exponent >> 8);
    out[1] = static_cast<unsigned char>(d.exponent);
    for (size_t i = 0; i < d.mantissa.size(); ++i) out[2 + i] = d.mantissa[i];
    return out;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MscvFpu, EncodesKnownValues) {
    const struct { double value; bool single; int sign, exponent; std::vector<unsigned char> mantissa; } kCases[] = {
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
        {DBL_MAX, false, 0, 17406, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}},
        {FLT_TRUE_MIN, true, 0, 16256, {0, 0, 0x02}},
    };
    for (const auto &c : kCases) {
        Decomposed d = c.single ? encode(static_cast<float>(c.value), 3) : encode(c.value, 7);
        EXPECT_EQ(d.sign, c.sign) << c.value;
        EXPECT_EQ(d.exponent, c.exponent) << c.value;
        EXPECT_EQ(d.mantissa, c.mantissa) << c.value;
    }
}

TEST(MscvFpu, RoundTripsEveryNonNaNBitPattern) {
    std::mt19937_64 random(42);
    std::vector<uint64_t> patterns = {0, 0x8000000000000000, 1, 0x000FFFFFFFFFFFFF, 0x0010000000000000,
                                      0x7FEFFFFFFFFFFFFF, 0xFFEFFFFFFFFFFFFF, 0x7FF0000000000000};
    for (int i = 0; i < 20000; ++i) patterns.push_back(random());
    for (uint64_t bits : patterns) {
        auto d = std::bit_cast<double>(bits);
        auto f = std::bit_cast<float>(static_cast<uint32_t>(bits));
        if (!std::isnan(d)) {
            for (int length : {7, 8, 32}) ASSERT_EQ(std::bit_cast<uint64_t>(decode<double>(encode(d, length))), bits);
            // Two bytes keep the top 16 mantissa bits; the rest read as zeros.
            ASSERT_EQ(std::bit_cast<uint64_t>(decode<double>(encode(d, 2))), bits & 0xFFFFFFF000000000);
        }
        if (!std::isnan(f)) {
            ASSERT_EQ(std::bit_cast<uint32_t>(decode<float>(encode(f, 3))), static_cast<uint32_t>(bits));
            // Both widths share one scale: a normal single encodes as its double.
            if (std::isnormal(f)) {
                Decomposed as_single = encode(f, 3), as_double = encode(static_cast<double>(f), 3);
                ASSERT_EQ(stored(as_single), stored(as_double));
            }
        }
    }
}

TEST(MscvFpu, NarrowingToSingleRoundsHalfUp) {
    const struct { double in; float out; } kCases[] = {
        {1.0 + 0x1p-24, 1.0f + 0x1p-23f},  // a tie rounds up (IEEE would round to even: 1.0f)
        {1.0 + 0x1p-25, 1.0f},
        {2.0 - 0x1p-24, 2.0f},  // the carry runs out of the mantissa
        {-3.0, -3.0f},
        {FLT_MAX, FLT_MAX},
        {1e39, std::numeric_limits<float>::infinity()},
        {-1e39, -std::numeric_limits<float>::infinity()},
        {1e-50, 0.0f},
        {-1e-50, 0.0f},
    };
    for (const auto &c : kCases) {
        float got = decode<float>(encode(c.in, 7));
        EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(c.out)) << c.in;
    }
}

TEST(MscvFpu, DecodesOutOfRangeAndReservedExponents) {
    const struct { int sign, exponent; float out; } kCases[] = {
        {0, 16383 + 200, std::numeric_limits<float>::infinity()},
        {1, 16383 + 200, -std::numeric_limits<float>::infinity()},
        {0, 16383 - 200, 0.0f},
        {1, 16383 - 200, 0.0f},
        {1, 0, 0.0f},
        {1, 32767, -std::numeric_limits<float>::infinity()},
        {0, -5, 0.0f},
        {0, 1 << 20, std::numeric_limits<float>::infinity()},
    };
    for (const auto &c : kCases) {
        Decomposed d{c.sign, c.exponent, {0x12, 0x34, 0x56}};
        EXPECT_EQ(std::bit_cast<uint32_t>(decode<float>(d)), std::bit_cast<uint32_t>(c.out)) << c.exponent;
    }
}

TEST(MscvFpu, WritesOnlyTheCallersBytes) {
    double value = -1234.5678;
    int sign = 0, exponent = 0;
    Guarded mantissa(3);
    mscv_fpu_encode(&sign, &exponent, mantissa.data(), 3, reinterpret_cast<unsigned char *>(&value), mscv_fpu_double);
    EXPECT_TRUE(mantissa.canaries_intact());
    Guarded none(0);
    mscv_fpu_encode(&sign, &exponent, none.data(), -1, reinterpret_cast<unsigned char *>(&value), mscv_fpu_double);
    EXPECT_TRUE(none.untouched_from(0));
    for (const mscv_fpu_format *format : {mscv_fpu_double, mscv_fpu_single}) {
        Guarded out(static_cast<size_t>(format->size));
        mscv_fpu_decode(out.data(), format, 1, 16390, mantissa.data(), 3);
        EXPECT_TRUE(out.canaries_intact());
    }
}

TEST(MscvFpu, StoredFormsOrder) {
    std::vector<std::vector<unsigned char>> ascending = {
        std::vector<unsigned char>(mscv_fpu_dnull, mscv_fpu_dnull + 9)};
    for (double v : {-kInf, -DBL_MAX, -1.0, -DBL_MIN, -DBL_TRUE_MIN, -0.0, 0.0, DBL_TRUE_MIN, DBL_MIN, 1.0, 1.5, 2.0,
                     DBL_MAX, kInf}) {
        ascending.push_back(stored(encode(v, 7)));
    }
    for (size_t i = 0; i < ascending.size(); ++i) {
        for (size_t j = 0; j < ascending.size(); ++j) {
            int expected = i < j ? -1 : i > j ? 1 : 0;
            EXPECT_EQ(mscv_fpu_cmp(ascending[i].data(), ascending[j].data(), 7), expected) << i << " vs " << j;
        }
    }
    // Nulls are equal whatever their sign and other bytes; without mantissa
    // bytes there is no null and only sign and exponent count.
    const unsigned char other_null[9] = {0xFF, 0xFF, 0x05, 0x33};
    EXPECT_EQ(mscv_fpu_cmp(mscv_fpu_snull, other_null, 3), 0);
    EXPECT_EQ(mscv_fpu_cmp(mscv_fpu_dinfy, mscv_fpu_dnull, 0), 0);
    EXPECT_EQ(mscv_fpu_cmp(ascending[10].data(), ascending[11].data(), 0), 0);  // 1.0 and 1.5
}

TEST(MscvFpu, ExportedConstantsAndDescriptors) {
    const unsigned char infinity[34] = {0x7F, 0xFF};
    const unsigned char null[34] = {0x7F, 0xFF, 0x01};
    EXPECT_EQ(std::memcmp(mscv_fpu_dinfy, infinity, 34), 0);
    EXPECT_EQ(std::memcmp(mscv_fpu_sinfy, infinity, 34), 0);
    EXPECT_EQ(std::memcmp(mscv_fpu_dnull, null, 34), 0);
    EXPECT_EQ(std::memcmp(mscv_fpu_snull, null, 34), 0);
    const double d_values[] = {0.0, DBL_MAX, -DBL_MAX, DBL_MIN, kInf, -kInf};
    const float s_values[] = {0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, HUGE_VALF, -HUGE_VALF};
    const mscv_fpu_format *d = mscv_fpu_double, *s = mscv_fpu_single;
    const unsigned char *d_fields[] = {d->zero, d->maximum, d->neg_maximum, d->min_normal, d->pos_infinity,
                                       d->neg_infinity};
    const unsigned char *s_fields[] = {s->zero, s->maximum, s->neg_maximum, s->min_normal, s->pos_infinity,
                                       s->neg_infinity};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::memcmp(d_fields[i], &d_values[i], 8), 0) << i;
        EXPECT_EQ(std::memcmp(s_fields[i], &s_values[i], 4), 0) << i;
    }
    EXPECT_EQ(d->mant_bits, DBL_MANT_DIG - 1);
    EXPECT_EQ(s->mant_bits, FLT_MANT_DIG - 1);
    EXPECT_EQ(d->exp_offset, DBL_MAX_EXP);
    EXPECT_EQ(s->exp_offset, FLT_MAX_EXP);
}

}  // namespace
