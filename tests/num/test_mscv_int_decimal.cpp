// Decimal writers at every change of digit count: the writer takes four
// digits per step, narrows 64-bit values to 32-bit arithmetic once they fit
// and places the sign without a branch, so each of those seams is crossed
// here, both signs, against snprintf, with nothing written past the NUL.
#include <cstdint>
#include <cstdio>
#include <limits>

#include "mscv.h"
#include "text_support.h"

namespace {

template <typename T, typename W>
void expect_decimal(T value, const char *format, W write) {
    char expected[32];
    auto length = static_cast<size_t>(std::snprintf(expected, sizeof expected, format, value));
    Canary buf(24);
    ASSERT_EQ(write(buf.chars(), value), buf.chars() + length) << expected;
    ASSERT_STREQ(buf.chars(), expected);
    ASSERT_TRUE(buf.untouched_from(length + 1)) << expected;
}

TEST(DecimalWriters, EveryDigitCountSeam) {
    std::vector<uint64_t> seams = {0, uint64_t{UINT32_MAX} - 1, UINT32_MAX, uint64_t{UINT32_MAX} + 1,
                                   std::numeric_limits<uint64_t>::max()};
    for (uint64_t p = 1; p <= std::numeric_limits<uint64_t>::max() / 10; p *= 10) {
        seams.insert(seams.end(), {p - 1, p, p + 1, p * 10 - 1});
    }
    for (uint64_t u : seams) {
        for (uint64_t v : {u, 0 - u}) {
            expect_decimal(static_cast<int>(v), "%d", [](char *b, int x) { return mscv_ix(b, x); });
            expect_decimal(static_cast<long long>(v), "%lld", [](char *b, long long x) { return mscv_i64x(b, x); });
            expect_decimal(static_cast<unsigned>(v), "%u", [](char *b, unsigned x) { return mscv_ux(b, x, 10); });
            expect_decimal(static_cast<unsigned long long>(v), "%llu",
                           [](char *b, unsigned long long x) { return mscv_u64x(b, x, 10); });
        }
    }
}

}  // namespace
