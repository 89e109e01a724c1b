// Doubles to decimal digits (mscv_flt_fx) and the layout of those digits
// (msfmt_float). The digits come from table-driven scaling with fixed
// rounding steps, not from a correctly-rounded conversion, so every
// platform prints the same text for the same double.
#include <cmath>
#include <cstring>

#include "mscv.h"
#include "msfmt.h"
#include "num/float.h"

namespace qrv::fmt::flt {
namespace {

constexpr int N = kDoubleDigits;
constexpr int S = kSingleDigits;
constexpr double kScaleLimit = 1e16;
constexpr double kRoundingAddend = 5.1e-8;

// Writes v as exactly count decimal digits, zero-filled on the left.
char *put_fixed_width(char *out, uint32_t v, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return out + count;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The N digits being laid out; positions past dN read as "0".
struct Digits {
    char d[N];
    char at(int64_t i) const { return i < N ? d[i] : '0'; }
};

// Rounds to k digits: only digit k + 1 decides, a carry may ripple into a
// new leading "1" (then E grows). Digits after k stay as they are because
// no layout shows them, except after a full carry, where every digit but
// the leading "1" is zero.
void round_to(Digits &ds, int k, int &exponent) {
    if (k < 1 || k >= N || ds.d[k] < '5') return;
    int i = k - 1;
    while (i >= 0 && ds.d[i] == '9') ds.d[i--] = '0';
    if (i >= 0) {
        ++ds.d[i];
        return;
    }
    std::memset(ds.d, '0', N);
    ds.d[0] = '1';
    ++exponent;
}

// Output with general trimming done on the fly: after a trimmed point the
// point and zeros are held back and written only when a nonzero digit
// follows, so nothing is ever written past the final text.
class Writer {
public:
    explicit Writer(char *out) : p_(out) {}
    void put(char c) {
        if (holding_) {
            if (c == '0') {
                ++zeros_held_;
                return;
            }
            release();
        }
        *p_++ = c;
    }
    void fill(char c, int64_t n) {
        for (; n > 0; --n) put(c);
    }
    // Digits from index `from` (0-based) up to but excluding `to`.
    void digits(const Digits &ds, int64_t from, int64_t to) {
        for (int64_t i = from; i < to; ++i) put(ds.at(i));
    }
    void point(bool trim) {
        if (!trim) {
            *p_++ = '.';
            return;
        }
        holding_ = point_held_ = true;
        zeros_held_ = 0;
    }
    // Drops whatever is still held: trailing zeros and a bare point.
    void end_fraction() { holding_ = point_held_ = false; }
    char *finish() {
        end_fraction();
        *p_ = '\0';
        return p_;
    }

private:
    // A nonzero digit follows: what was held is part of the text after all.
    void release() {
        if (point_held_) *p_++ = '.';
        for (; zeros_held_ > 0; --zeros_held_) *p_++ = '0';
        point_held_ = false;
    }

    char *p_;
    bool holding_ = false;
    bool point_held_ = false;
    int64_t zeros_held_ = 0;
};

void put_exponent(Writer &w, int exponent) {
    int64_t x = static_cast<int64_t>(exponent) - 1;
    w.put('e');
    w.put(x >= 0 ? '+' : '-');
    uint64_t mag = x >= 0 ? static_cast<uint64_t>(x) : static_cast<uint64_t>(-x);
    char text[24];
    int n = 0;
    do {
        text[n++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag != 0);
    for (; n < kExpDigits; ++n) text[n] = '0';
    while (n > 0) w.put(text[--n]);
}

// d1, the point and frac digits, the exponent. No rounding here.
void exponent_form(Writer &w, const Digits &ds, int exponent, int frac, bool alt, bool trim) {
    w.put(ds.at(0));
    if (frac > 0) {
        w.point(trim && !alt);
        w.digits(ds, 1, static_cast<int64_t>(frac) + 1);
        w.end_fraction();
    } else if (alt) {
        w.point(false);
    }
    put_exponent(w, exponent);
}

// p significant digits in fixed notation, without rounding, then trimming.
void significant_form(Writer &w, const Digits &ds, int64_t e, int64_t p, bool alt) {
    int64_t v = p < N ? p : N;
    if (e < 1) {
        w.put('0');
        w.point(!alt);
        w.fill('0', -e);
        w.digits(ds, 0, v);
        w.fill('0', p - v);
    } else if (e >= p) {
        w.digits(ds, 0, v);
        w.fill('0', e - v);
        w.point(!alt);
    } else if (e < v) {
        w.digits(ds, 0, e);
        w.point(!alt);
        w.digits(ds, e, v);
        w.fill('0', p - v);
    } else {
        w.digits(ds, 0, v);
        w.fill('0', e - v);
        w.point(!alt);
        w.fill('0', p - e);
    }
    w.end_fraction();
}

void fixed_form(Writer &w, Digits &ds, int e, int p, bool alt) {
    bool fifteen = false;  // large values show N - 1 significant digits
    if (e >= N) {
        round_to(ds, N - 1, e);
        fifteen = true;
        w.digits(ds, 0, N - 1);
        w.fill('0', static_cast<int64_t>(e) - (N - 1));
    } else if (e >= 1) {
        if (static_cast<int64_t>(e) + p < N) round_to(ds, e + p, e);
        w.digits(ds, 0, e);
    } else if (-static_cast<int64_t>(e) >= p || static_cast<int64_t>(e) + p >= N) {
        w.put('0');
    } else {
        round_to(ds, e + p, e);
        w.put(e < 1 ? '0' : ds.at(0));
    }
    if (p == 0) {
        if (alt) w.point(false);
        return;
    }
    w.point(false);
    const int64_t shown = fifteen ? N - 1 : N;
    if (e >= shown) {
        w.fill('0', p);
    } else if (e < 1) {
        int64_t zeros = -static_cast<int64_t>(e);
        if (p <= zeros) {
            w.fill('0', p);
        } else {
            int64_t count = p - zeros < shown ? p - zeros : shown;
            w.fill('0', zeros);
            w.digits(ds, 0, count);
            w.fill('0', p - zeros - count);
        }
    } else {
        int64_t count = p < shown - e ? p : shown - e;
        w.digits(ds, e, e + count);
        w.fill('0', p - count);
    }
}

}  // namespace

char *digits(int *exponent, char *out, double value) noexcept {
    if (std::isnan(value)) {
        std::memcpy(out, "NaN", 4);
        *exponent = 1;
        return out + 3;
    }
    if (value == 0.0) {
        std::memset(out, '0', N + 1);
        out[N + 1] = '\0';
        *exponent = 1;
        return out + N + 1;
    }
    char *o = out;
    if (value < 0.0) {
        *o++ = '-';
        value = -value;
    }
    if (std::isinf(value)) {
        std::memcpy(o, "Infinity", 9);
        *exponent = 1;
        return o + 8;
    }

    // Coarse scaling into [1, 1e16), k counting the decimal steps taken.
    const mscv_fpu_format &f = *mscv_fpu_double;
    const double *large = large_powers(f);
    const double *small = small_powers(f);
    int k = 0;
    int step = f.dec_scale / 2;
    if (value >= kScaleLimit) {
        for (int i = 0; i < f.power_count && value >= kScaleLimit; ++i, step /= 2) {
            if (value >= large[i]) {
                value *= small[i];
                k += step;
            }
        }
    } else if (value < 1.0) {
        int i = 0;
        while (value < 1.0 && i < f.power_count) {
            double scaled = value * large[i];
            if (scaled < kScaleLimit) {
                value = scaled;
                k -= step;
            } else {
                step /= 2;
                ++i;
            }
        }
    }

    // Fine position, then into [1e8, 1e9) and the rounding addend.
    int j = 0;
    while (j < 15 && mscv_flt_small[j] <= value) ++j;
    int e = j + k + 1;
    if (j >= 9) {
        value *= mscv_flt_rsmall[j - 9];
    } else if (j < 8) {
        value *= mscv_flt_small[7 - j];
    }
    value += kRoundingAddend;
    if (value >= 1e9) {
        value /= 10;
        ++e;
    }

    uint32_t head = 100000000;
    double fraction = 0.0;
    if (value >= 1e8) {
        head = static_cast<uint32_t>(value);
        fraction = value - static_cast<double>(head);
    }
    double scaled_fraction = fraction * mscv_flt_small[N - 9 - 1];
    auto tail = static_cast<uint32_t>(scaled_fraction);
    o = put_fixed_width(o, head, 9);
    o = put_fixed_width(o, tail, N - 9);
    *o = '\0';
    *exponent = e;
    return o;
}

char *layout(char *out, int exponent, const char *src, int precision, char letter, bool alt) noexcept {
    Writer w(out);
    if (*src == '-') w.put(*src++);
    if (!is_digit(*src)) {  // "Infinity" and "NaN" go out as they are
        while (*src != '\0') w.put(*src++);
        return w.finish();
    }
    Digits ds;
    int n = 0;
    while (n < N && is_digit(src[n])) {
        ds.d[n] = src[n];
        ++n;
    }
    for (; n < N; ++n) ds.d[n] = '0';

    int e = exponent;
    switch (letter) {
        case 'e':
        case 'E': {
            int p = precision >= 0 ? precision : (letter == 'E' ? N - 1 : S - 1);
            if (static_cast<int64_t>(p) + 1 < N) round_to(ds, p + 1, e);
            exponent_form(w, ds, e, p, alt, false);
            break;
        }
        case 'f':
        case 'F':
            fixed_form(w, ds, e, precision >= 0 ? precision : (letter == 'F' ? N - 1 : S - 1), alt);
            break;
        case 'h':
        case 'H': {
            int p = precision >= 1 ? precision : (letter == 'H' ? N - 1 : S - 1);
            if (p < N) round_to(ds, p, e);
            significant_form(w, ds, e, p, alt);
            break;
        }
        default: {  // "g", "G" and any other letter, which acts as "g"
            bool wide = letter == 'G';
            int p = precision >= 1 ? precision : (wide ? N - 1 : S - 1);
            if (p < N) round_to(ds, p, e);
            int x = e - 1;
            int lower = wide ? 3 - N : 3 - S;
            if (x < lower || x >= p) {
                exponent_form(w, ds, e, p - 1, alt, true);
            } else {
                significant_form(w, ds, e, p, alt);
            }
            break;
        }
    }
    return w.finish();
}

}  // namespace qrv::fmt::flt

extern "C" {

QRV_API char *mscv_flt_fx(int *exponent, char *digits, double value) noexcept {
    return qrv::fmt::flt::digits(exponent, digits, value);
}

QRV_API char *msfmt_float(char *out, int exponent, const char *digits, int precision, char letter,
                          int alternate) noexcept {
    return qrv::fmt::flt::layout(out, exponent, digits, precision, letter, alternate != 0);
}

}  // extern "C"
