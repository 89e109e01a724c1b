// Integer readers and writers and byte packing. Decimal reading and
// all writing are checked against glibc (strtoll, strtoull, snprintf) over a
// ladder of values; the deliberate differences have their own tables.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mscv.h"
#include "msstr.h"
#include "text_support.h"

namespace {

constexpr int32_t kInvalid = 16051, kNoDigits = 16052, kTooLarge = 16053, kTooSmall = 16055;

// The three signed readers behind one interface that writes straight into
// the caller's memory.
struct Reader {
    const char *name;
    size_t size;
    const char *(*read)(void *out, const char *text);
    int (*check)(void *out, const char *text);
    int64_t value(const void *p) const {  // little-endian: the low bytes come first
        int64_t v = 0;
        std::memcpy(&v, p, size);
        return size == 4 ? static_cast<int32_t>(v) : v;
    }
};
template <typename T, const char *(*R)(T *, const char *), int (*C)(T *, const char *)>
Reader reader(const char *name) {
    return {name, sizeof(T), [](void *o, const char *t) { return R(static_cast<T *>(o), t); },
            [](void *o, const char *t) { return C(static_cast<T *>(o), t); }};
}
const Reader kReaders[] = {reader<int, mscv_xi, mscv_ai>("xi"), reader<int32_t, mscv_xl, mscv_al>("xl"),
                           reader<int64_t, mscv_xi64, mscv_ai64>("xi64")};

// Decimal magnitudes around every power of two and of ten, and beyond 64 bits.
std::vector<std::string> ladder() {
    std::vector<std::string> out = {"18446744073709551616", "99999999999999999999999"};
    uint64_t ten = 1;
    for (int k = 0; k < 64; ++k, ten = k < 20 ? ten * 10 : ten) {
        for (uint64_t p : {uint64_t{1} << k, ten}) {
            for (uint64_t m : {p - 1, p, p + 1}) out.push_back(std::to_string(m));
        }
    }
    return out;
}

class SignedReaders : public LibraryTest, public ::testing::WithParamInterface<Reader> {};

TEST_P(SignedReaders, DecimalAgreesWithStrtoll) {
    const Reader &r = GetParam();
    for (const std::string &magnitude : ladder()) {
        for (const char *sign : {"", "+", "-"}) {
            for (const char *suffix : {"", " \t", "z", " 7"}) {
                std::string text = std::string(" \t\n\v\f\r") + sign + magnitude + suffix;
                errno = 0;
                char *oracle_end = nullptr;
                long long expected = std::strtoll(text.c_str(), &oracle_end, 10);
                bool fits = errno != ERANGE && (r.size == 8 || expected == static_cast<int32_t>(expected));
                int64_t out[1];
                const char *end = r.read(out, text.c_str());
                ASSERT_EQ(end, fits ? oracle_end : nullptr) << text;
                if (fits) {
                    ASSERT_EQ(r.value(out), expected) << text;
                }
                if (!fits) {
                    ASSERT_EQ(mserror_geterr_id(), *sign == '-' ? kTooSmall : kTooLarge) << text;
                }
                bool blank_after = msstr_qspace(suffix);
                ASSERT_EQ(r.check(out, text.c_str()), fits && blank_after) << text;
                if (fits && !blank_after) {
                    ASSERT_EQ(mserror_geterr_id(), kInvalid) << text;
                }
            }
        }
    }
}

// Hexadecimal patterns, syntax errors and the other forms strtoll reads
// differently. bits: 32 for xi and xl only, 64 for xi64 only, 0 for all.
const struct {
    const char *text;
    int bits;
    int64_t value;
    int end;
    int32_t id;
} kCases[] = {
    {"0x", 0, 0, 0, kNoDigits},
    {"0x00000000FF", 0, 255, 12, 0},
    {"0XaBcDeF", 0, 0xabcdef, 8, 0},
    {"0x1g", 0, 1, 3, 0},
    {"0xg", 0, 0, 0, kNoDigits},
    {" -0x10", 0, -16, 6, 0},
    {"0xFFFFFFFF", 32, -1, 10, 0},
    {"0xFFFFFFFF", 64, 0xFFFFFFFF, 10, 0},
    {"-0x80000000", 32, INT32_MIN, 11, 0},
    {"0x123456789", 32, 0, 0, kTooLarge},
    {"0x123456789", 64, 0x123456789, 11, 0},
    {"0xFFFFFFFFFFFFFFFF", 64, -1, 18, 0},
    {"-0x8000000000000000", 64, INT64_MIN, 19, 0},
    {"0x10000000000000000", 64, 0, 0, kTooLarge},
    {"-9223372036854775808", 64, INT64_MIN, 20, 0},
    {"42abc", 0, 42, 2, 0},
    {"", 0, 0, 0, kNoDigits},
    {"+ 5", 0, 0, 0, kNoDigits},
    {"--5", 0, 0, 0, kNoDigits},
    {nullptr, 0, 0, 0, kNoDigits},
};

TEST_P(SignedReaders, NamedCasesWithCanaries) {
    const Reader &r = GetParam();
    for (const auto &c : kCases) {
        if (c.bits != 0 && c.bits != static_cast<int>(8 * r.size)) continue;
        SCOPED_TRACE(c.text ? c.text : "(null)");
        // Each failing read starts a new report: the earlier entry is gone.
        mserror_reset_seterr_1arg(16151, 2);
        Canary out(r.size), checked(r.size);
        const char *end = r.read(out.data(), c.text);
        bool trailing = c.id == 0 && !msstr_qspace(c.text + c.end);
        EXPECT_EQ(r.check(checked.data(), c.text), c.id == 0 && !trailing);
        if (c.id != 0 || trailing) {
            EXPECT_EQ(error_ids(), std::vector<int32_t>{trailing ? kInvalid : c.id});
            EXPECT_TRUE(checked.untouched_from(0));
        }
        if (c.id != 0) {
            EXPECT_EQ(end, nullptr);
            EXPECT_TRUE(out.untouched_from(0));
        } else {
            EXPECT_EQ(end, c.text + c.end);
            EXPECT_EQ(r.value(out.data()), c.value);
            EXPECT_TRUE(out.untouched_from(r.size));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, SignedReaders, ::testing::ValuesIn(kReaders),
                         [](const auto &info) { return std::string(info.param.name); });

class UnsignedReader : public LibraryTest {};

TEST_F(UnsignedReader, NamedCasesWithCanaries) {
    const struct {
        const char *text;
        int base;
        unsigned value;
        int end;
        int32_t id;
    } kUnsigned[] = {
        {"fF", 16, 255, 2, 0},       {"8", 8, 0, 0, kNoDigits}, {"78", 8, 7, 1, 0},
        {"1a", 7, 1, 1, 0},          {" \t19", 0, 19, 4, 0},    {"0x10", 16, 0, 1, 0},
        {"-1", 10, 0, 0, kNoDigits}, {"", 16, 0, 0, kNoDigits}, {"100000000", 16, 0, 0, kTooLarge},
    };
    for (const auto &c : kUnsigned) {
        mserror_reset_seterr_1arg(16151, 2);
        Canary out(sizeof(unsigned));
        EXPECT_EQ(mscv_xu(reinterpret_cast<unsigned *>(out.data()), c.text, c.base), c.id ? nullptr : c.text + c.end);
        unsigned v = 0;
        std::memcpy(&v, out.data(), sizeof v);
        if (c.id != 0) {
            EXPECT_EQ(error_ids(), std::vector<int32_t>{c.id}) << c.text;
        } else {
            EXPECT_EQ(v, c.value) << c.text;
        }
        EXPECT_TRUE(out.untouched_from(c.id ? 0 : sizeof v)) << c.text;
    }
}

// A writer's output against snprintf, in a buffer of exactly the documented
// size between canaries.
template <typename T, typename W>
void expect_writes(T value, const char *format, size_t room, W write) {
    char expected[40];
    size_t length = static_cast<size_t>(std::snprintf(expected, sizeof expected, format, value));
    Canary buf(room);
    ASSERT_EQ(write(buf.chars(), value), buf.chars() + length) << expected;
    ASSERT_STREQ(buf.chars(), expected);
    ASSERT_TRUE(buf.untouched_from(length + 1)) << expected;
}

// Writers against snprintf, and mscv_xu reading snprintf's digits back
// (values above 32 bits must fail with "number too large").
TEST_F(UnsignedReader, WritersAgreeWithSnprintfAndReadBack) {
    const struct {
        int base;
        const char *f32, *f64;
    } kBases[] = {{8, "%o", "%llo"}, {10, "%u", "%llu"}, {16, "%x", "%llx"}, {7, "%u", "%llu"}, {0, "%u", "%llu"}};
    for (int k = 0; k < 64; ++k) {
        uint64_t p = uint64_t{1} << k;
        for (uint64_t v : {p - 1, p, p + 1, 0 - p, 0 - p - 1}) {
            auto i32 = static_cast<int>(v);
            auto u32 = static_cast<unsigned>(v);
            auto u64 = static_cast<unsigned long long>(v);
            expect_writes(i32, "%d", 12, [](char *b, int x) { return mscv_ix(b, x); });
            expect_writes(i32, "%d", 12, [](char *b, int x) { return mscv_lx(b, x); });
            expect_writes(static_cast<long long>(v), "%lld", 21, [](char *b, long long x) { return mscv_i64x(b, x); });
            for (const auto &b : kBases) {
                int base = b.base;
                expect_writes(u32, b.f32, 12, [base](char *o, unsigned x) { return mscv_ux(o, x, base); });
                expect_writes(u32, b.f32, 12, [base](char *o, unsigned x) { return mscv_lux(o, x, base); });
                expect_writes(u64, b.f64, 23, [base](char *o, unsigned long long x) { return mscv_u64x(o, x, base); });
                char text[32];
                std::snprintf(text, sizeof text, base == 16 ? "%llX" : b.f64, u64);
                unsigned back = 0;
                bool fits = u64 <= UINT_MAX;
                ASSERT_EQ(mscv_xu(&back, text, base), fits ? text + std::strlen(text) : nullptr) << text;
                ASSERT_EQ(fits ? back : static_cast<unsigned>(mserror_geterr_id()), fits ? u32 : 16053u) << text;
            }
        }
    }
    EXPECT_EQ(mscv_ix(nullptr, 1), nullptr);
}

TEST(Packing, BigEndianBothWays) {
    const struct {
        uint64_t value;
        size_t width;
        const char *bytes;
    } kPacked[] = {
        {0x01020304, 4, "\x01\x02\x03\x04"},
        {0xFFFFFFFE, 4, "\xFF\xFF\xFF\xFE"},
        {0x1FFFE, 2, "\xFF\xFE"},
        {0x0102030405060708, 8, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {0x8000000000000000, 8, "\x80\0\0\0\0\0\0\0"},
    };
    for (const auto &c : kPacked) {
        Canary out(c.width);
        unsigned char *p = out.data();
        const auto *in = reinterpret_cast<const unsigned char *>(c.bytes);
        int64_t wide = 0;
        int narrow = 0;
        unsigned u = 0, u4 = 0;
        if (c.width == 2) {  // only the low 16 bits are packed
            EXPECT_TRUE(mscv_uint_to_2bytes(p, static_cast<unsigned>(c.value)) == p + 2 &&
                        mscv_2bytes_to_uint(&u, in) == in + 2);
            EXPECT_EQ(u, c.value & 0xFFFF);
        } else if (c.width == 4) {
            EXPECT_TRUE(mscv_int_to_4bytes(p, static_cast<int>(c.value)) == p + 4 &&
                        mscv_4bytes_to_int(&narrow, in) == in + 4 && mscv_4bytes_to_uint(&u4, in) == in + 4);
            EXPECT_EQ(std::tuple(narrow, u4), std::tuple(static_cast<int>(c.value), static_cast<unsigned>(c.value)));
        } else {
            EXPECT_TRUE(mscv_int64_to_8bytes(p, static_cast<int64_t>(c.value)) == p + 8 &&
                        mscv_8bytes_to_int64(&wide, in) == in + 8);
            EXPECT_EQ(static_cast<uint64_t>(wide), c.value);
        }
        EXPECT_EQ(std::memcmp(p, c.bytes, c.width), 0);
        EXPECT_TRUE(out.untouched_from(c.width));
    }
    unsigned char bytes[8];
    void *back = nullptr;
    EXPECT_TRUE(mscv_voidp_to_8bytes(bytes, &back) == bytes + 8 && mscv_8bytes_to_voidp(&back, bytes) == bytes + 8);
    EXPECT_EQ(back, static_cast<void *>(&back));
    EXPECT_EQ(mscv_uint_to_4bytes(bytes, 0x0A0B0C0D), bytes + 4);
    EXPECT_EQ(std::memcmp(bytes, "\x0A\x0B\x0C\x0D", 4), 0);
}

}  // namespace
