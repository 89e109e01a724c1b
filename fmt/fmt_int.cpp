// Integer reading and writing for the float reader and the engine.
#include "fmt/fmt_int.h"

#include <climits>

#include "error/errids.h"
#include "mserror.h"

namespace qrv::fmt::num {
namespace {

int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char *fail(int32_t id) {
    mserror_reset_seterr(id, 0);
    return nullptr;
}

}  // namespace

const char *read_int32(int32_t *out, const char *text) noexcept {
    auto p = reinterpret_cast<const unsigned char *>(text);
    while (is_space(*p)) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;

    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        if (*p != '0' && hex_value(*p) < 0) return fail(err::kNoDigits);
        while (*p == '0') ++p;
        uint32_t bits = 0;
        int count = 0;
        for (int d; (d = hex_value(*p)) >= 0; ++p, ++count) bits = (bits << 4) | static_cast<uint32_t>(d);
        if (count > 8) return fail(err::kNumberTooLarge);
        // The bit pattern is the value: "0xFFFFFFFF" is -1.
        if (negative) bits = 0u - bits;
        *out = static_cast<int32_t>(bits);
        return reinterpret_cast<const char *>(p);
    }

    if (!is_digit(*p)) return fail(err::kNoDigits);
    // Accumulated as a negative number so that the smallest value fits.
    constexpr int32_t kMinDiv = INT32_MIN / 10;  // -214748364
    constexpr int32_t kMinRem = INT32_MIN % 10;  // -8
    int32_t acc = 0;
    for (; is_digit(*p); ++p) {
        int32_t d = *p - '0';
        if (acc < kMinDiv || (acc == kMinDiv && -d < kMinRem)) {
            return fail(negative ? err::kNumberTooSmall : err::kNumberTooLarge);
        }
        acc = acc * 10 - d;
    }
    if (!negative) {
        if (acc == INT32_MIN) return fail(err::kNumberTooLarge);
        acc = -acc;
    }
    *out = acc;
    return reinterpret_cast<const char *>(p);
}

namespace {

// Digits of v in a base known at compile time (divisions become multiplies).
template <unsigned Base>
char *digits_in(char *out, uint64_t v) {
    char text[24];
    int n = 0;
    do {
        text[n++] = "0123456789abcdef"[v % Base];
        v /= Base;
    } while (v != 0);
    while (n > 0) *out++ = text[--n];
    return out;
}

}  // namespace

char *write_unsigned(char *out, uint64_t v, int base) noexcept {
    if (base == 16) return digits_in<16>(out, v);
    if (base == 8) return digits_in<8>(out, v);
    return digits_in<10>(out, v);
}

char *write_signed(char *out, int64_t v) noexcept {
    if (v >= 0) return write_unsigned(out, static_cast<uint64_t>(v), 10);
    *out++ = '-';
    return write_unsigned(out, 0 - static_cast<uint64_t>(v), 10);
}

}  // namespace qrv::fmt::num
