// Range conversions between 64-bit integers, 32-bit longs and doubles.
#include <cmath>
#include <cstring>
#include <limits>

#include "mscv.h"
#include "text_support.h"

namespace {

TEST(Msint64, ToLongKeepsLowBitsAndTellsFit) {
    const struct {
        int64_t in;
        int32_t out;
        int fits;
    } kCases[] = {
        {0, 0, 1},
        {-1, -1, 1},
        {INT32_MAX, INT32_MAX, 1},
        {INT32_MIN, INT32_MIN, 1},
        {int64_t{INT32_MAX} + 1, INT32_MIN, 0},
        {int64_t{INT32_MIN} - 1, INT32_MAX, 0},
        {0x123456789, 0x23456789, 0},
        {INT64_MIN, 0, 0},
    };
    for (const auto &c : kCases) {
        int32_t out = 7;
        EXPECT_EQ(msint64_cvt_to_long(&out, c.in), c.fits) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(Msint64, FromDoubleTruncatesInsideTheRangeOnly) {
    constexpr double kTwo63 = 0x1p63, kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double in;
        int ok;
        int64_t out;
    } kCases[] = {
        {0.0, 1, 0},
        {-0.0, 1, 0},
        {2.9, 1, 2},
        {-2.9, 1, -2},
        {-kTwo63, 1, INT64_MIN},
        {std::nextafter(kTwo63, 0.0), 1, INT64_MAX - 1023},
        {kTwo63, 0, 0},
        {std::nextafter(-kTwo63, -kInf), 0, 0},
        {kInf, 0, 0},
        {-kInf, 0, 0},
        {kNaN, 0, 0},
        {-kNaN, 0, 0},
    };
    for (const auto &c : kCases) {
        Canary out(sizeof(int64_t));
        ASSERT_EQ(msint64_cvt_from_double(reinterpret_cast<int64_t *>(out.data()), c.in), c.ok) << c.in;
        int64_t got = 0;
        std::memcpy(&got, out.data(), sizeof got);
        if (c.ok) {
            EXPECT_EQ(got, c.out) << c.in;
        }
        EXPECT_TRUE(out.untouched_from(c.ok ? sizeof got : 0)) << c.in;
    }
}

}  // namespace
