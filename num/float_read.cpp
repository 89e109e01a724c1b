// Text to double (mscv_flt_af). Digits are gathered into integer chunks of
// up to nine digits, folded into a double, and the result is scaled by
// table powers of ten with overflow and underflow checked before each step.
#include <cstdint>
#include <limits>

#include "base/errids.h"
#include "mscv.h"
#include "mserror.h"
#include "num/float.h"
#include "text/tables.h"

namespace qrv::fmt::flt {
namespace {

// Folds digits into a double nine at a time. Once a chunk no longer changes
// the double the accumulator stops, and its digits are not counted: the
// scaling then makes up for them through `absorbed`.
struct Accumulator {
    double value = 0.0;
    bool active = true;
    int32_t chunk = 0;
    int32_t chunk_scale = 1;
    int64_t absorbed = 0;
    int chunk_digits = 0;

    void add(int d) {
        if (!active) return;
        if (chunk_scale <= mscv_maxdivlbase) {
            chunk = chunk * 10 + d;
            chunk_scale *= 10;
            ++chunk_digits;
            return;
        }
        flush();
        chunk = d;
        chunk_scale = 10;
        chunk_digits = 1;
    }

    void flush() {
        if (!active) return;
        double t = value;
        if (value > 0.0) t *= chunk_scale;
        double n = chunk + t;
        if (n == t) {
            active = false;
            return;
        }
        value = n;
        absorbed += chunk_digits;
    }
};

// True when text starts with word, ASCII letters compared without case.
bool starts_with_word(const unsigned char *text, const char *word) {
    for (; *word != '\0'; ++text, ++word) {
        if ((*text | 0x20) != *word) return false;
    }
    return true;
}

int fail(int32_t id) {
    mserror_reset_seterr(id, 0);
    return 0;
}

// value x 10^q, refusing results beyond the largest or below the smallest
// normal double; 0 with the error pushed.
int scale(double &value, int64_t q) {
    const mscv_fpu_format &f = *mscv_fpu_double;
    const double *large = large_powers(f);
    const double *small = small_powers(f);
    const double maximum = value_of(f.maximum);
    const double min_normal = value_of(f.min_normal);
    if (q >= f.dec_scale) return fail(err::kFloatOverflow);
    if (q <= -f.dec_scale) return fail(err::kFloatUnderflow);
    int64_t step = f.dec_scale / 2;
    if (q > 0) {
        for (int i = 0; i < f.power_count && q > 15; ++i, step /= 2) {
            if (q < step) continue;
            if (value > maximum * small[i]) return fail(err::kFloatOverflow);
            value *= large[i];
            q -= step;
        }
        if (q > 0) {
            if (value > mscv_flt_rsmall[q - 1] * maximum) return fail(err::kFloatOverflow);
            value *= mscv_flt_small[q - 1];
        }
    } else if (q < 0) {
        for (int i = 0; i < f.power_count && q < -15; ++i, step /= 2) {
            if (q > -step) continue;
            if (min_normal * large[i] > value) return fail(err::kFloatUnderflow);
            value *= small[i];
            q += step;
        }
        if (q < 0) {
            if (mscv_flt_small[-q - 1] * min_normal > value) return fail(err::kFloatUnderflow);
            value *= mscv_flt_rsmall[-q - 1];
        }
    }
    return 1;
}

int read(double *out, const char *text) {
    auto p = reinterpret_cast<const unsigned char *>(text != nullptr ? text : "");
    while (text::is_white(static_cast<char>(*p))) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;

    double result;
    if (starts_with_word(p, "infinity") || starts_with_word(p, "inf")) {
        p += starts_with_word(p, "infinity") ? 8 : 3;
        result = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        int32_t bits = 0;
        const char *end = mscv_xl(&bits, reinterpret_cast<const char *>(p));
        if (end == nullptr) return 0;
        p = reinterpret_cast<const unsigned char *>(end);
        // Negated as a 32-bit value, so "-0x80000000" stays -2147483648.
        uint32_t v = static_cast<uint32_t>(bits);
        if (negative) v = 0u - v;
        result = static_cast<double>(static_cast<int32_t>(v));
    } else {
        Accumulator acc;
        bool any_digit = false;
        bool significant = false;
        int64_t point = 0;  // decimal position relative to the first significant digit
        int64_t held = 0;   // zeros waiting for a nonzero digit
        auto take = [&](int d, bool integer_part) {
            any_digit = true;
            if (!significant) {
                if (d != 0) {
                    significant = true;
                    acc.add(d);
                    if (integer_part) point = 1;
                } else if (!integer_part) {
                    --point;
                }
                return;
            }
            if (integer_part) ++point;
            if (d == 0) {
                ++held;
                return;
            }
            for (; held > 0; --held) acc.add(0);
            acc.add(d);
        };
        for (; text::is_digit(static_cast<char>(*p)); ++p) take(*p - '0', true);
        if (*p == '.') {
            for (++p; text::is_digit(static_cast<char>(*p)); ++p) take(*p - '0', false);
        }
        if (!any_digit) return fail(err::kNoDigits);

        int exponent = 0;
        if (*p == 'e' || *p == 'E') {
            const char *end = mscv_xi(&exponent, reinterpret_cast<const char *>(p + 1));
            if (end == nullptr) return 0;
            p = reinterpret_cast<const unsigned char *>(end);
        }
        if (!significant) {
            result = 0.0;  // also for "-0": the sign is dropped
        } else {
            acc.flush();
            result = acc.value;
            if (!scale(result, exponent + point - acc.absorbed)) return 0;
            if (negative) result = -result;
        }
    }

    while (text::is_white(static_cast<char>(*p))) ++p;
    if (*p != '\0') return fail(err::kInvalidCharacter);
    *out = result;
    return 1;
}

}  // namespace
}  // namespace qrv::fmt::flt

extern "C" QRV_API int mscv_flt_af(double *value, const char *text) noexcept {
    return qrv::fmt::flt::read(value, text);
}
