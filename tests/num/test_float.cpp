// Floating-point digits, their layout and the float reader. Expected texts
// come from the digit and layout rules (16 digits, 5.1e-8 rounding, only
// the digit after the cut decides, three-digit exponents), not from glibc.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "mscv.h"
#include "msfmt.h"
#include "support.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using Float = LibraryTest;  // the reader's errors need the error stack

// ---- mscv_flt_fx -------------------------------------------------------

// "?" marks a digit that the scaling steps may leave one unit off.
struct DigitCase {
    double value;
    const char *digits;
    int exponent;
};

bool digits_match(const char *got, const char *want) {
    for (; *want != '\0'; ++got, ++want) {
        if (*got == '\0' || (*want != '?' && *got != *want)) return false;
    }
    return *got == '\0';
}

const DigitCase kDigitCases[] = {
    {1.0, "1000000000000000", 1},
    {0.0, "00000000000000000", 1},
    {-0.0, "00000000000000000", 1},
    {-2.5, "-2500000000000000", 1},
    {0.1, "1000000000000000", 0},
    {123.456, "1234560000000000", 3},
    {1e16, "1000000000000000", 17},  // first coarse step
    {9999999999999998.0, "999999999999999?", 16},
    {1e-5, "1000000000000000", -4},
    {1.0 / 3.0, "333333333333333?", 0},
    {5e-324, "494065645841246?", -323},  // smallest subnormal
    {DBL_MIN, "222507385850720?", -307},
    {DBL_MAX, "179769313486231?", 309},
    {kInf, "Infinity", 1},
    {-kInf, "-Infinity", 1},
    {std::nan(""), "NaN", 1},
};

TEST(FloatDigits, Table) {
    for (const DigitCase &c : kDigitCases) {
        char buf[18 + 4];
        std::memset(buf, 0x5A, sizeof buf);
        int e = -99;
        char *end = mscv_flt_fx(&e, buf, c.value);
        EXPECT_TRUE(digits_match(buf, c.digits)) << c.value << ": " << buf;
        EXPECT_EQ(e, c.exponent) << c.value;
        EXPECT_EQ(end, buf + std::strlen(c.digits));
        for (size_t i = 18; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 0x5A) << "canary at " << i;
    }
}

// ---- msfmt_float over hand-made digit strings ----------------------------

struct LayoutCase {
    const char *digits;
    int exponent;
    int precision;
    char letter;
    int alternate;
    const char *text;
};

const LayoutCase kLayoutCases[] = {
    // exponent notation: S and N defaults, three-digit exponent, carries
    {"1234567800000000", 5, -1, 'e', 0, "1.234568e+004"},
    {"9999999900000000", 1, -1, 'e', 0, "1.000000e+001"},
    {"9500000000000000", -9, 0, 'e', 0, "1e-009"},
    {"2000000000000000", 1, 0, 'e', 1, "2.e+000"},
    {"1234500000000000", 1, 20, 'E', 0, "1.23450000000000000000e+000"},
    {"4940656458412466", -323, -1, 'e', 0, "4.940656e-324"},
    {"1449999999999999", 1, 1, 'e', 0, "1.4e+000"},  // only digit 3 decides
    // fixed notation
    {"2500000000000000", 1, 0, 'f', 0, "3"},
    {"1234567890123456", 17, 1, 'f', 0, "12345678901234600.0"},  // 15 digits, then zeros
    {"9600000000000000", 0, 1, 'f', 0, "1.0"},
    {"9960000000000000", -1, 2, 'f', 0, "0.10"},
    {"9999999999999999", 15, 0, 'f', 0, "1000000000000000"},
    {"1234567890123456", -2, 20, 'f', 0, "0.00123456789012345600"},  // unrounded past N
    {"2675000000000000", 1, 2, 'f', 0, "2.68"},
    {"-Infinity", 1, 3, 'f', 0, "-Infinity"},
    {"NaN", 1, 3, 'g', 0, "NaN"},
    // general notation: round once, S/N bounds, trimming
    {"1000000000000000", -4, -1, 'g', 0, "1e-005"},
    {"1234567000000000", 7, -1, 'g', 0, "1.23457e+006"},
    {"9999999000000000", 2, -1, 'g', 0, "100"},
    {"1000000000000000", 1, -1, 'g', 1, "1.00000"},
    {"1000000000000000", 11, -1, 'g', 1, "1.00000e+010"},
    {"1234000000000000", 2, 0, 'g', 0, "12.34"},   // precision 0 is the default
    {"1234000000000000", 2, 1, 'x', 0, "1e+001"},  // other letters act as "g"
    {"1234567890123456", 2, 18, 'G', 0, "12.34567890123456"},
    {"1234567890123456", 2, 18, 'G', 1, "12.3456789012345600"},
    // significant-digit fixed notation
    {"1234567000000000", 7, -1, 'h', 0, "1234570"},
    {"1234567000000000", -2, 3, 'h', 0, "0.00123"},
    {"1234567890123456", 17, 18, 'H', 1, "12345678901234560.0"},
    {"1200000000000000", 2, 4, 'h', 1, "12.00"},
};

TEST(FloatLayout, Table) {
    for (const LayoutCase &c : kLayoutCases) {
        char out[96];
        std::memset(out, 0x5A, sizeof out);
        char *end = msfmt_float(out, c.exponent, c.digits, c.precision, c.letter, c.alternate);
        EXPECT_STREQ(out, c.text) << c.digits << " E=" << c.exponent << " P=" << c.precision << " " << c.letter;
        EXPECT_EQ(end, out + std::strlen(c.text));
        EXPECT_EQ(end[1], 0x5A) << "wrote past the terminator";
    }
}

// ---- mscv_flt_af -------------------------------------------------------

// Expected values follow the reading rule: the digits as an integer (exact
// below 2^53), times the table powers of ten.

struct ReadCase {
    const char *text;
    double value;
};

const ReadCase kReadCases[] = {
    {" 12.5 ", 12.5},
    {"-.5", -0.5},
    {"5.", 5.0},
    {"1e3", 1000.0},
    {"1E-3", 0.001},
    {"INF", kInf},
    {"-infinity", -kInf},
    {"0x1A", 26.0},
    {"-0x10", -16.0},
    {"0xFFFFFFFF", -1.0},
    {"-0x80000000", -2147483648.0},
    {"-0", 0.0},
    {"0e99", 0.0},
    {"\t\n1200\r", 1200.0},
    {"0.0012", 12 * 1e-4},
    {"1.e2", 100.0},
    {"1e 2", 100.0},
    {"1e+0x10", 1e16},
    {"3.141592653589793", 3141592653589793.0 * 1e-15},
    {"2.2250738585072014e-308", 22250738585072014.0 * 1e-256 * 1e-64 * 1e-4},
    // the fourth chunk no longer changes the double: 18 digits count
    {"123456789012345678901234567890", 123456789012345678.0 * 1e12},
};

TEST_F(Float, ReadAccepts) {
    for (const ReadCase &c : kReadCases) {
        double v = 7.0;
        ASSERT_EQ(mscv_flt_af(&v, c.text), 1) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_FALSE(std::signbit(v) && c.value == 0.0) << c.text << ": zero keeps no sign";
    }
}

struct RejectCase {
    const char *text;
    int32_t id;
};

const RejectCase kRejectCases[] = {
    {"", 16052},
    {"-", 16052},
    {"1e", 16052},
    {"0x", 16052},
    {"NaN", 16052},
    {"+-1", 16052},
    {"12x", 16051},
    {"Infin", 16051},
    {"1 2", 16051},
    {"0e5x", 16051},
    {"1e400", 16054},
    {"1e-400", 16056},
    {"4e-320", 16056},
    {"1.8e308", 16054},
    {"1e99999999999", 16053},
    {"1e-99999999999", 16055},
    {"1e-600", 16056},  // beyond the scaling table at once
    {"0x123456789", 16053},
};

TEST_F(Float, ReadRejectsAndKeepsTheResult) {
    for (const RejectCase &c : kRejectCases) {
        mserror_reset_seterr(1, 0);  // a failing read starts a new report
        mserror_seterr(2, 0);
        double v = 7.0;
        EXPECT_EQ(mscv_flt_af(&v, c.text), 0) << c.text;
        EXPECT_EQ(v, 7.0) << c.text;
        EXPECT_EQ(mserror_geterr_id(), c.id) << c.text;
        EXPECT_EQ(mserror_pop(), 1);
        EXPECT_EQ(mserror_pop(), 0) << c.text << ": one record only";
    }
}

}  // namespace
