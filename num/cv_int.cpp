// Integer readers and writers, the exported limits, big-endian byte packing
// and the 64-bit range conversions. One template per job serves every
// integer width.
#include <cstring>
#include <limits>
#include <type_traits>

#include "base/errids.h"
#include "mscv.h"
#include "mserror.h"
#include "text/tables.h"

namespace qrv::cv {
namespace {

using text::is_digit;
using text::is_white;

const char *fail(int32_t id) {
    mserror_reset_seterr(id, 0);
    return nullptr;
}

const char *skip_white(const char *p) {
    while (is_white(*p)) ++p;
    return p;
}

// Signed reader shared by all widths. Decimal digits accumulate as a
// negative number, so the smallest value is readable; the hexadecimal form
// is a bit pattern of at most 2 * sizeof(S) significant digits.
template <typename S>
const char *read_signed(S *out, const char *text) {
    using U = std::make_unsigned_t<S>;
    constexpr S kMin = std::numeric_limits<S>::min();
    constexpr S kMinDiv = kMin / 10;
    constexpr S kMinRem = kMin % 10;
    constexpr int kHexDigits = 2 * sizeof(S);

    if (text == nullptr) return fail(err::kNoDigits);
    const char *p = skip_white(text);
    bool negative = *p == '-';
    if (negative || *p == '+') ++p;

    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        const char *digits = p;
        while (*p == '0') ++p;
        U pattern = 0;
        int count = 0;
        for (unsigned v; (v = text::kDigitValue[text::byte(*p)]) < 16; ++p, ++count) {
            pattern = static_cast<U>(pattern << 4 | v);
        }
        if (p == digits) return fail(err::kNoDigits);
        if (count > kHexDigits) return fail(err::kNumberTooLarge);
        if (negative) pattern = static_cast<U>(0 - pattern);
        if (out != nullptr) *out = static_cast<S>(pattern);
        return p;
    }

    if (!is_digit(*p)) return fail(err::kNoDigits);
    S acc = 0;
    do {
        S d = static_cast<S>(*p - '0');
        if (acc < kMinDiv || (acc == kMinDiv && -d < kMinRem)) {
            return fail(negative ? err::kNumberTooSmall : err::kNumberTooLarge);
        }
        acc = static_cast<S>(acc * 10 - d);
        ++p;
    } while (is_digit(*p));
    if (!negative) {
        if (acc == kMin) return fail(err::kNumberTooLarge);
        acc = static_cast<S>(-acc);
    }
    if (out != nullptr) *out = acc;
    return p;
}

template <typename S>
int read_checked(S *out, const char *text) {
    S value;
    const char *end = read_signed(&value, text);
    if (end == nullptr) return 0;
    if (*skip_white(end) != '\0') {
        fail(err::kInvalidCharacter);
        return 0;
    }
    if (out != nullptr) *out = value;
    return 1;
}

unsigned normal_base(int base) { return base == 8 || base == 16 ? static_cast<unsigned>(base) : 10u; }

const char *read_unsigned(unsigned *out, const char *text, int base_in) {
    const unsigned base = normal_base(base_in);
    const unsigned limit = std::numeric_limits<unsigned>::max() / base;
    const unsigned limit_digit = std::numeric_limits<unsigned>::max() % base;
    if (text == nullptr) return fail(err::kNoDigits);
    const char *p = skip_white(text);
    unsigned d = text::kDigitValue[text::byte(*p)];
    if (d >= base) return fail(err::kNoDigits);
    unsigned acc = 0;
    do {
        if (acc > limit || (acc == limit && d > limit_digit)) return fail(err::kNumberTooLarge);
        acc = acc * base + d;
        d = text::kDigitValue[text::byte(*++p)];
    } while (d < base);
    if (out != nullptr) *out = acc;
    return p;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

template <typename U>
int decimal_length(U v) {
    for (int n = 1;; n += 4, v /= 10000) {
        if (v < 10) return n;
        if (v < 100) return n + 1;
        if (v < 1000) return n + 2;
        if (v < 10000) return n + 3;
    }
}

void put_pair(char *p, unsigned pair) { std::memcpy(p, &kDigitPairs[pair * 2], 2); }

// Writes v from the end backwards, four digits per division and two digit
// pairs from the remainder, whose divisions do not wait for the next step.
// Wide values switch to 32-bit arithmetic once they fit: the divisions are
// cheaper.
template <typename U>
char *write_decimal(char *buf, U v) {
    if constexpr (sizeof(U) > sizeof(uint32_t)) {
        if (v <= std::numeric_limits<uint32_t>::max()) return write_decimal(buf, static_cast<uint32_t>(v));
    }
    char *end = buf + decimal_length(v);
    char *p = end;
    while (v >= 10000) {
        auto four = static_cast<unsigned>(v % 10000);
        v /= 10000;
        p -= 4;
        put_pair(p, four / 100);
        put_pair(p + 2, four % 100);
    }
    auto rest = static_cast<unsigned>(v);
    if (rest >= 100) {
        p -= 2;
        put_pair(p, rest % 100);
        rest /= 100;
    }
    if (rest >= 10) {
        put_pair(p - 2, rest);
    } else {
        p[-1] = static_cast<char>('0' + rest);
    }
    *end = '\0';
    return end;
}

template <typename U>
char *write_power_of_two(char *buf, U v, int shift) {
    int n = 1;
    for (U t = v >> shift; t != 0; t >>= shift) ++n;
    char *end = buf + n;
    const U mask = static_cast<U>((1u << shift) - 1);
    char *p = end;
    do {
        *--p = "0123456789abcdef"[v & mask];
        v >>= shift;
    } while (v != 0);
    *end = '\0';
    return end;
}

template <typename U>
char *write_unsigned(char *buf, U v, int base) {
    if (buf == nullptr) return nullptr;
    switch (normal_base(base)) {
        case 8:
            return write_power_of_two(buf, v, 3);
        case 16:
            return write_power_of_two(buf, v, 4);
        default:
            return write_decimal(buf, v);
    }
}

template <typename S>
char *write_signed(char *buf, S v) {
    using U = std::make_unsigned_t<S>;
    if (buf == nullptr) return nullptr;
    // The sign without a branch: a positive number's first digit overwrites
    // the '-', and a random sign is a branch no predictor gets right.
    const bool negative = v < 0;
    auto magnitude = static_cast<U>(v);
    magnitude = negative ? static_cast<U>(0 - magnitude) : magnitude;  // also right for the smallest value
    *buf = '-';
    return write_decimal(buf + negative, magnitude);
}

template <typename U>
unsigned char *pack(unsigned char *out, U v) {
    for (int i = sizeof(U) - 1; i >= 0; --i, v >>= 8) out[i] = static_cast<unsigned char>(v);
    return out + sizeof(U);
}

template <typename U>
U unpack(const unsigned char *in) {
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) v = static_cast<U>(v << 8 | in[i]);
    return v;
}

constexpr int16_t kSmin = std::numeric_limits<int16_t>::min();
constexpr int16_t kSmax = std::numeric_limits<int16_t>::max();
constexpr int kImin = std::numeric_limits<int>::min();
constexpr int kImax = std::numeric_limits<int>::max();
constexpr unsigned kUmax = std::numeric_limits<unsigned>::max();
constexpr int32_t kLmin = std::numeric_limits<int32_t>::min();
constexpr int32_t kLmax = std::numeric_limits<int32_t>::max();
constexpr uint32_t kUlmax = std::numeric_limits<uint32_t>::max();

}  // namespace
}  // namespace qrv::cv

using namespace qrv::cv;

extern "C" {

// Constant data needs "extern" beside its initialiser to keep the exported
// visibility of the header's declaration.
QRV_API extern const int16_t *const mscv_smin = &kSmin;
QRV_API extern const int16_t *const mscv_smax = &kSmax;
QRV_API extern const int *const mscv_imin = &kImin;
QRV_API extern const int *const mscv_imax = &kImax;
QRV_API extern const unsigned *const mscv_umax = &kUmax;
QRV_API extern const int32_t *const mscv_lmin = &kLmin;
QRV_API extern const int32_t *const mscv_lmax = &kLmax;
QRV_API extern const uint32_t *const mscv_ulmax = &kUlmax;
QRV_API extern const int32_t *const mscv_uvlmin = &kLmin;
QRV_API extern const int32_t *const mscv_uvlmax = &kLmax;
QRV_API extern const int mscv_mindivibase = kImin / 10;
QRV_API extern const int mscv_minremibase = kImin % 10;
QRV_API extern const int mscv_mindivlbase = kLmin / 10;
QRV_API extern const int mscv_minremlbase = kLmin % 10;
QRV_API extern const int mscv_maxdivlbase = kLmax / 10;

QRV_API const char *mscv_xi(int *out, const char *text) noexcept { return read_signed(out, text); }
QRV_API const char *mscv_xl(int32_t *out, const char *text) noexcept { return read_signed(out, text); }
QRV_API const char *mscv_xi64(int64_t *out, const char *text) noexcept { return read_signed(out, text); }
QRV_API const char *mscv_xu(unsigned *out, const char *text, int base) noexcept {
    return read_unsigned(out, text, base);
}

QRV_API int mscv_ai(int *out, const char *text) noexcept { return read_checked(out, text); }
QRV_API int mscv_al(int32_t *out, const char *text) noexcept { return read_checked(out, text); }
QRV_API int mscv_ai64(int64_t *out, const char *text) noexcept { return read_checked(out, text); }

QRV_API char *mscv_ix(char *buf, int value) noexcept { return write_signed(buf, value); }
QRV_API char *mscv_lx(char *buf, int32_t value) noexcept { return write_signed(buf, value); }
QRV_API char *mscv_i64x(char *buf, int64_t value) noexcept { return write_signed(buf, value); }
QRV_API char *mscv_ux(char *buf, unsigned value, int base) noexcept { return write_unsigned(buf, value, base); }
QRV_API char *mscv_lux(char *buf, uint32_t value, int base) noexcept { return write_unsigned(buf, value, base); }
QRV_API char *mscv_u64x(char *buf, uint64_t value, int base) noexcept { return write_unsigned(buf, value, base); }

QRV_API unsigned char *mscv_int_to_4bytes(unsigned char *out, int v) noexcept {
    return pack(out, static_cast<uint32_t>(v));
}
QRV_API unsigned char *mscv_uint_to_4bytes(unsigned char *out, unsigned v) noexcept {
    return pack(out, static_cast<uint32_t>(v));
}
QRV_API const unsigned char *mscv_4bytes_to_int(int *out, const unsigned char *in) noexcept {
    *out = static_cast<int>(unpack<uint32_t>(in));
    return in + 4;
}
QRV_API const unsigned char *mscv_4bytes_to_uint(unsigned *out, const unsigned char *in) noexcept {
    *out = unpack<uint32_t>(in);
    return in + 4;
}
QRV_API unsigned char *mscv_uint_to_2bytes(unsigned char *out, unsigned v) noexcept {
    return pack(out, static_cast<uint16_t>(v));
}
QRV_API const unsigned char *mscv_2bytes_to_uint(unsigned *out, const unsigned char *in) noexcept {
    *out = unpack<uint16_t>(in);
    return in + 2;
}
QRV_API unsigned char *mscv_int64_to_8bytes(unsigned char *out, int64_t v) noexcept {
    return pack(out, static_cast<uint64_t>(v));
}
QRV_API unsigned char *mscv_voidp_to_8bytes(unsigned char *out, void *p) noexcept {
    return pack(out, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
}
QRV_API const unsigned char *mscv_8bytes_to_int64(int64_t *out, const unsigned char *in) noexcept {
    *out = static_cast<int64_t>(unpack<uint64_t>(in));
    return in + 8;
}
QRV_API const unsigned char *mscv_8bytes_to_voidp(void **out, const unsigned char *in) noexcept {
    *out = reinterpret_cast<void *>(static_cast<uintptr_t>(unpack<uint64_t>(in)));
    return in + 8;
}

QRV_API int msint64_cvt_to_long(int32_t *out, int64_t v) noexcept {
    *out = static_cast<int32_t>(v);
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

QRV_API int msint64_cvt_from_double(int64_t *out, double d) noexcept {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (!(d >= -kTwo63 && d < kTwo63)) return 0;  // NaN fails here too
    *out = static_cast<int64_t>(d);
    return 1;
}

}  // extern "C"
