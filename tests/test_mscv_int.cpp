// Integer readers and writers, limits and byte packing. Decimal reading and
// all writing are checked against glibc (strtoll, strtoull, snprintf) over a
// ladder of values; the deliberate differences have their own tables.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mscv.h"
#include "text_support.h"

namespace {

constexpr int32_t kInvalid = 16051, kNoDigits = 16052, kTooLarge = 16053, kTooSmall = 16055;

// The three signed readers seen through one 64-bit interface.
struct Reader {
    const char *name;
    int64_t lo, hi;
    const char *(*read)(void *out, const char *text);
    int (*check)(void *out, const char *text);
    size_t size;
};
template <typename T, const char *(*R)(T *, const char *), int (*C)(T *, const char *)>
Reader reader(const char *name) {
    return {name, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(),
            [](void *o, const char *t) { return R(static_cast<T *>(o), t); },
            [](void *o, const char *t) { return C(static_cast<T *>(o), t); }, sizeof(T)};
}
const Reader kReaders[] = {reader<int, mscv_xi, mscv_ai>("xi"), reader<int32_t, mscv_xl, mscv_al>("xl"),
                           reader<int64_t, mscv_xi64, mscv_ai64>("xi64")};

int64_t value_of(const Reader &r, const void *p) {
    int64_t v = 0;
    if (r.size == 4) return *static_cast<const int32_t *>(p);
    std::memcpy(&v, p, 8);
    return v;
}

// Magnitudes around every power of two and of ten, as decimal text.
std::vector<std::string> ladder() {
    std::vector<std::string> out;
    for (int k = 0; k < 64; ++k) {
        uint64_t p = uint64_t{1} << k;
        for (uint64_t m : {p - 1, p, p + 1}) out.push_back(std::to_string(m));
    }
    uint64_t p = 1;
    for (int k = 0; k < 20; ++k, p *= 10) {
        for (uint64_t m : {p - 1, p, p + 1}) out.push_back(std::to_string(m));
    }
    for (const char *big : {"18446744073709551615", "18446744073709551616", "99999999999999999999999"}) {
        out.push_back(big);
    }
    return out;
}

class SignedReaders : public LibraryTest, public ::testing::WithParamInterface<Reader> {};

TEST_P(SignedReaders, DecimalAgreesWithStrtoll) {
    const Reader &r = GetParam();
    for (const std::string &magnitude : ladder()) {
        for (const char *sign : {"", "+", "-"}) {
            for (const char *prefix : {"", " \t\n\v\f\r"}) {
                for (const char *suffix : {"", " \t", "z", " 7"}) {
                    std::string text = std::string(prefix) + sign + magnitude + suffix;
                    SCOPED_TRACE(text);
                    errno = 0;
                    char *oracle_end = nullptr;
                    long long expected = std::strtoll(text.c_str(), &oracle_end, 10);
                    bool in_range = errno != ERANGE && expected >= r.lo && expected <= r.hi;
                    int64_t out[1] = {};
                    const char *end = r.read(out, text.c_str());
                    if (in_range) {
                        ASSERT_EQ(end, oracle_end);
                        ASSERT_EQ(value_of(r, out), expected);
                    } else {
                        ASSERT_EQ(end, nullptr);
                        ASSERT_EQ(mserror_geterr_id(), *sign == '-' ? kTooSmall : kTooLarge);
                    }
                    bool clean = in_range && (*suffix == '\0' || std::strcmp(suffix, " \t") == 0);
                    ASSERT_EQ(r.check(out, text.c_str()), clean ? 1 : 0);
                    if (in_range && !clean) {
                        ASSERT_EQ(mserror_geterr_id(), kInvalid);
                    }
                }
            }
        }
    }
}

// Hexadecimal patterns and the other forms strtoll reads differently.
struct Case {
    const char *text;
    int bits;  // 32: xi and xl only, 64: xi64 only, 0: all three
    int64_t value;
    int end;  // offset of the returned pointer
    int32_t id;
};
const Case kCases[] = {
    {"0x", 0, 0, 0, kNoDigits},
    {"0x000", 0, 0, 5, 0},
    {"0x00000000FF", 0, 255, 12, 0},
    {"0XaBcDeF", 0, 0xabcdef, 8, 0},
    {"0x1g", 0, 1, 3, 0},
    {"0xg", 0, 0, 0, kNoDigits},
    {" -0x10", 0, -16, 6, 0},
    {"+0x7fffffff", 0, INT32_MAX, 11, 0},
    {"0xFFFFFFFF", 32, -1, 10, 0},
    {"0xFFFFFFFF", 64, 0xFFFFFFFF, 10, 0},
    {"-0x80000000", 32, INT32_MIN, 11, 0},
    {"0x123456789", 32, 0, 0, kTooLarge},
    {"-0x123456789", 32, 0, 0, kTooLarge},
    {"0x123456789", 64, 0x123456789, 11, 0},
    {"0xFFFFFFFFFFFFFFFF", 64, -1, 18, 0},
    {"-0x8000000000000000", 64, INT64_MIN, 19, 0},
    {"0x10000000000000000", 64, 0, 0, kTooLarge},
    {"-2147483648", 32, INT32_MIN, 11, 0},
    {"-9223372036854775808", 64, INT64_MIN, 20, 0},
    {"42abc", 0, 42, 2, 0},
    {"", 0, 0, 0, kNoDigits},
    {"   ", 0, 0, 0, kNoDigits},
    {"-", 0, 0, 0, kNoDigits},
    {"+ 5", 0, 0, 0, kNoDigits},
    {"--5", 0, 0, 0, kNoDigits},
    {"\xC3\xA9", 0, 0, 0, kNoDigits},
};

TEST_P(SignedReaders, NamedCases) {
    const Reader &r = GetParam();
    for (const Case &c : kCases) {
        if ((c.bits == 32 && r.size != 4) || (c.bits == 64 && r.size != 8)) continue;
        SCOPED_TRACE(c.text);
        mserror_reset_seterr_1arg(16151, 2);  // a failing read starts a new report
        Guarded out(r.size);
        const char *end = r.read(out.data(), c.text);
        if (c.id == 0) {
            ASSERT_EQ(end, c.text + c.end);
            EXPECT_EQ(value_of(r, out.data()), c.value);
            EXPECT_TRUE(out.canaries_intact());
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(drain_errors(), std::vector<int32_t>{c.id});
            EXPECT_TRUE(out.untouched_from(0));
        }
    }
}

TEST_P(SignedReaders, CheckedFailureLeavesOutputAlone) {
    const Reader &r = GetParam();
    for (const char *text : std::initializer_list<const char *>{"12a", "1 2", "", nullptr}) {
        Guarded out(r.size);
        EXPECT_EQ(r.check(out.data(), text), 0);
        EXPECT_EQ(drain_errors(), std::vector<int32_t>{text != nullptr && *text ? kInvalid : kNoDigits});
        EXPECT_TRUE(out.untouched_from(0));
    }
    int64_t out[1] = {};
    EXPECT_EQ(r.check(out, "  -2147483648  "), 1);
    EXPECT_EQ(value_of(r, out), INT32_MIN);
}

INSTANTIATE_TEST_SUITE_P(All, SignedReaders, ::testing::ValuesIn(kReaders),
                         [](const auto &info) { return std::string(info.param.name); });

class UnsignedReader : public LibraryTest {};

TEST_F(UnsignedReader, AgreesWithStrtoullOnDigitsOfTheBase) {
    const struct { int base; const char *format; } kBases[] = {{8, "%llo"}, {10, "%llu"}, {16, "%llx"}, {16, "%llX"}};
    for (const auto &b : kBases) {
        for (const std::string &magnitude : ladder()) {
            char text[64];
            errno = 0;
            unsigned long long m = std::strtoull(magnitude.c_str(), nullptr, 10);
            bool fits = errno == 0 && m <= UINT_MAX;
            std::snprintf(text, sizeof text, b.format, m);
            SCOPED_TRACE(text);
            unsigned out = 0;
            const char *end = mscv_xu(&out, text, b.base);
            if (fits) {
                ASSERT_EQ(end, text + std::strlen(text));
                ASSERT_EQ(out, m);
            } else {
                ASSERT_EQ(end, nullptr);
                ASSERT_EQ(mserror_geterr_id(), kTooLarge);
            }
        }
    }
}

TEST_F(UnsignedReader, NamedCases) {
    const struct { const char *text; int base; unsigned value; int end; int32_t id; } kUnsigned[] = {
        {"4294967295", 10, UINT_MAX, 10, 0}, {"4294967296", 10, 0, 0, kTooLarge},
        {"fF", 16, 255, 2, 0},               {"8", 8, 0, 0, kNoDigits},
        {"78", 8, 7, 1, 0},                  {"12", 2, 12, 2, 0},
        {"1a", 7, 1, 1, 0},                  {" \t19", 0, 19, 4, 0},
        {"0x10", 16, 0, 1, 0},               {"-1", 10, 0, 0, kNoDigits},
        {"+1", 10, 0, 0, kNoDigits},         {"", 16, 0, 0, kNoDigits},
        {"100000000", 16, 0, 0, kTooLarge},  {"40000000000", 8, 0, 0, kTooLarge},
    };
    for (const auto &c : kUnsigned) {
        SCOPED_TRACE(c.text);
        mserror_reset_seterr_1arg(16151, 2);
        Guarded out(sizeof(unsigned));
        const char *end = mscv_xu(reinterpret_cast<unsigned *>(out.data()), c.text, c.base);
        if (c.id == 0) {
            ASSERT_EQ(end, c.text + c.end);
            unsigned v;
            std::memcpy(&v, out.data(), sizeof v);
            EXPECT_EQ(v, c.value);
        } else {
            EXPECT_EQ(end, nullptr);
            EXPECT_EQ(drain_errors(), std::vector<int32_t>{c.id});
            EXPECT_TRUE(out.untouched_from(0));
        }
    }
}

// Writers against snprintf, each into a buffer of exactly the documented
// size for its type between canaries.
template <typename T, typename W>
void expect_writes(T value, const char *format, size_t room, W write) {
    char expected[40];
    std::snprintf(expected, sizeof expected, format, value);
    Guarded buf(room);
    char *end = write(buf.chars(), value);
    ASSERT_STREQ(buf.chars(), expected);
    ASSERT_EQ(end, buf.chars() + std::strlen(expected));
    ASSERT_TRUE(buf.untouched_from(std::strlen(expected) + 1));
}

TEST(Writers, AgreeWithSnprintf) {
    std::vector<uint64_t> values = {0, UINT64_MAX};
    for (int k = 0; k < 64; ++k) {
        uint64_t p = uint64_t{1} << k;
        values.insert(values.end(), {p - 1, p, p + 1, uint64_t{0} - p});
    }
    for (uint64_t v : values) {
        auto i32 = static_cast<int32_t>(v);
        auto u32 = static_cast<uint32_t>(v);
        auto i64 = static_cast<long long>(v);
        expect_writes(i32, "%d", 12, [](char *b, int x) { return mscv_ix(b, x); });
        expect_writes(i32, "%d", 12, [](char *b, int x) { return mscv_lx(b, x); });
        expect_writes(i64, "%lld", 21, [](char *b, long long x) { return mscv_i64x(b, x); });
        const struct { int base; const char *f32, *f64; } kBases[] = {
            {8, "%o", "%llo"}, {10, "%u", "%llu"}, {16, "%x", "%llx"}, {7, "%u", "%llu"}, {0, "%u", "%llu"}};
        for (const auto &b : kBases) {
            int base = b.base;
            expect_writes(u32, b.f32, 12, [base](char *p, unsigned x) { return mscv_ux(p, x, base); });
            expect_writes(u32, b.f32, 12, [base](char *p, unsigned x) { return mscv_lux(p, x, base); });
            expect_writes(static_cast<unsigned long long>(v), b.f64, 23,
                          [base](char *p, unsigned long long x) { return mscv_u64x(p, x, base); });
        }
    }
    EXPECT_EQ(mscv_ix(nullptr, 1), nullptr);
}

TEST(Limits, Values) {
    EXPECT_EQ(*mscv_smin, INT16_MIN);
    EXPECT_EQ(*mscv_smax, INT16_MAX);
    EXPECT_EQ(*mscv_imin, INT_MIN);
    EXPECT_EQ(*mscv_imax, INT_MAX);
    EXPECT_EQ(*mscv_umax, UINT_MAX);
    EXPECT_EQ(*mscv_lmin, INT32_MIN);
    EXPECT_EQ(*mscv_lmax, INT32_MAX);
    EXPECT_EQ(*mscv_ulmax, UINT32_MAX);
    EXPECT_EQ(*mscv_uvlmin, INT32_MIN);
    EXPECT_EQ(*mscv_uvlmax, INT32_MAX);
    EXPECT_EQ(mscv_mindivibase, -214748364);
    EXPECT_EQ(mscv_minremibase, -8);
    EXPECT_EQ(mscv_mindivlbase, -214748364);
    EXPECT_EQ(mscv_minremlbase, -8);
    EXPECT_EQ(mscv_maxdivlbase, 214748364);
}

TEST(Packing, BigEndianBothWays) {
    const struct { int64_t value; int width; const char *bytes; } kPacked[] = {
        {0x01020304, 4, "\x01\x02\x03\x04"},
        {-2, 4, "\xFF\xFF\xFF\xFE"},
        {0x1FFFE, 2, "\xFF\xFE"},  // only the low 16 bits are packed
        {0x0102030405060708, 8, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {INT64_MIN, 8, "\x80\0\0\0\0\0\0\0"},
    };
    for (const auto &c : kPacked) {
        Guarded out(static_cast<size_t>(c.width));
        unsigned char *p = out.data();
        unsigned char *end = c.width == 2   ? mscv_uint_to_2bytes(p, static_cast<unsigned>(c.value))
                             : c.width == 4 ? mscv_int_to_4bytes(p, static_cast<int>(c.value))
                                            : mscv_int64_to_8bytes(p, c.value);
        ASSERT_EQ(end, p + c.width);
        ASSERT_EQ(std::memcmp(p, c.bytes, static_cast<size_t>(c.width)), 0);
        ASSERT_TRUE(out.canaries_intact());
        const auto *in = reinterpret_cast<const unsigned char *>(c.bytes);
        if (c.width == 2) {
            unsigned u = 0;
            EXPECT_EQ(mscv_2bytes_to_uint(&u, in), in + 2);
            EXPECT_EQ(u, static_cast<unsigned>(c.value) & 0xFFFF);
        } else if (c.width == 4) {
            int i = 0;
            unsigned u = 0;
            EXPECT_EQ(mscv_4bytes_to_int(&i, in), in + 4);
            EXPECT_EQ(mscv_4bytes_to_uint(&u, in), in + 4);
            EXPECT_EQ(i, static_cast<int>(c.value));
            EXPECT_EQ(u, static_cast<unsigned>(c.value));
            unsigned char again[4];
            mscv_uint_to_4bytes(again, u);
            EXPECT_EQ(std::memcmp(again, in, 4), 0);
        } else {
            int64_t i = 0;
            EXPECT_EQ(mscv_8bytes_to_int64(&i, in), in + 8);
            EXPECT_EQ(i, c.value);
        }
    }
    unsigned char bytes[8];
    void *pointer = bytes;
    void *back = nullptr;
    EXPECT_EQ(mscv_voidp_to_8bytes(bytes, pointer), bytes + 8);
    EXPECT_EQ(mscv_8bytes_to_voidp(&back, bytes), bytes + 8);
    EXPECT_EQ(back, pointer);
}

}  // namespace
