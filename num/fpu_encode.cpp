// The portable float encoding: a machine value split into sign, a 15-bit
// exponent on one scale for every source format, and the mantissa as a bit
// stream, most significant bit first. The stored forms order byte-wise
// through mscv_fpu_cmp without being decoded.
#include <cstring>

#include "mscv.h"

namespace qrv::fpu {
namespace {

constexpr int kExpZero = MSCV_FPU_EXP_ZERO;
constexpr int kExpInfinity = MSCV_FPU_EXP_INFINITY;
// Stored exponent = raw exponent + kRebase - exponent offset.
constexpr int kRebase = 16384;
constexpr int kMaxMantissa = MSCV_FPU_MAX_MANTISSA;

constexpr unsigned mask_of(int bits) { return (1u << bits) - 1; }

// A cursor over a byte array. Bits past the end are dropped on writing and
// read as zeros, so a short array keeps the most significant bits.
class BitStream {
public:
    BitStream(unsigned char *bytes, int length) : bytes_(bytes), length_(length) {}

    // Appends the low n bits of value, most significant first.
    void write(unsigned value, int n) {
        for (int i = n - 1; i >= 0; --i, advance()) {
            if (index_ >= length_) continue;
            if ((value >> i) & 1u) bytes_[index_] |= static_cast<unsigned char>(0x80u >> used_);
        }
    }

    // ORs the next n bits into the low n bits of target.
    void read(unsigned char *target, int n) {
        unsigned bits = 0;
        for (int i = n - 1; i >= 0; --i, advance()) {
            if (index_ < length_ && (bytes_[index_] & (0x80u >> used_)) != 0) bits |= 1u << i;
        }
        *target = static_cast<unsigned char>(*target | bits);
    }

private:
    void advance() {
        if (++used_ == 8) {
            used_ = 0;
            ++index_;
        }
    }

    unsigned char *bytes_;
    int length_;
    int index_ = 0;
    int used_ = 0;
};

bool same_bytes(const unsigned char *a, const unsigned char *b, int size) {
    return std::memcmp(a, b, static_cast<size_t>(size)) == 0;
}

bool bit_at(const unsigned char *bytes, int bit) { return (bytes[bit / 8] >> (7 - bit % 8)) & 1; }

// Rounds half up on bit m, the first bit the target cannot hold. Returns
// true when the carry ran out of the first byte and the exponent must grow.
bool round_mantissa(unsigned char *work, int length, int m) {
    if (m < 1 || m >= length * 8 || !bit_at(work, m)) return false;
    int index = (m - 1) / 8;
    unsigned carry = 1u << (7 - (m - 1) % 8);
    for (; index >= 0 && carry != 0; --index) {
        unsigned sum = work[index] + carry;
        work[index] = static_cast<unsigned char>(sum);
        carry = sum >> 8;
    }
    if (carry == 0) return false;
    // 1.111... + ulp = 10.000...: shift in a zero from the top.
    for (int i = length - 1; i >= 0; --i) {
        work[i] = static_cast<unsigned char>(work[i] >> 1 | (i > 0 ? (work[i - 1] & 1u) << 7 : 0u));
    }
    return true;
}

void encode(int *sign, int *exponent, unsigned char *mantissa, int mantissa_len, const unsigned char *value,
            const mscv_fpu_format *d) {
    if (mantissa != nullptr && mantissa_len > 0) std::memset(mantissa, 0, static_cast<size_t>(mantissa_len));
    if (sign == nullptr || exponent == nullptr || value == nullptr || d == nullptr) return;
    *sign = (value[d->sign_byte] & d->sign_mask) != 0;
    if (same_bytes(value, d->pos_infinity, d->size) || same_bytes(value, d->neg_infinity, d->size)) {
        *exponent = kExpInfinity;
        return;
    }
    int raw = ((value[d->exp_high_byte] & d->exp_high_mask) << 8 | value[d->exp_low_byte]) >> d->exp_shift;
    if (raw == 0 && same_bytes(value, d->zero, d->size)) {
        *exponent = kExpZero;
        return;
    }
    *exponent = raw + kRebase - d->exp_offset;
    BitStream stream(mantissa, mantissa != nullptr ? mantissa_len : 0);
    for (int i = 0; i < d->mant_bytes; ++i) {
        int width = d->mant_widths[i];
        stream.write(value[d->mant_order[i]] & mask_of(width), width);
    }
}

void decode(unsigned char *value, const mscv_fpu_format *d, int sign, int exponent, const unsigned char *mantissa,
            int mantissa_len) {
    if (value == nullptr || d == nullptr) return;
    const auto size = static_cast<size_t>(d->size);
    if (exponent == kExpZero) {
        std::memcpy(value, d->zero, size);
        return;
    }
    if (exponent == kExpInfinity) {
        std::memcpy(value, sign != 0 ? d->neg_infinity : d->pos_infinity, size);
        return;
    }
    int length = mantissa == nullptr || mantissa_len < 0 ? 0
                 : mantissa_len > kMaxMantissa           ? kMaxMantissa
                                                         : mantissa_len;
    unsigned char work[kMaxMantissa] = {};
    if (length > 0) std::memcpy(work, mantissa, static_cast<size_t>(length));
    if (round_mantissa(work, length, d->mant_bits)) ++exponent;

    int q = exponent - kRebase;
    if (q < d->exp_smallest) {
        std::memcpy(value, d->zero, size);
        return;
    }
    if (q > d->exp_largest) {
        std::memcpy(value, sign != 0 ? d->neg_infinity : d->pos_infinity, size);
        return;
    }
    std::memset(value, 0, size);
    if (sign != 0) value[d->sign_byte] = static_cast<unsigned char>(value[d->sign_byte] | d->sign_mask);
    unsigned bits = static_cast<unsigned>(q + d->exp_offset) << d->exp_shift;
    value[d->exp_high_byte] = static_cast<unsigned char>(value[d->exp_high_byte] | (bits >> 8));
    value[d->exp_low_byte] = static_cast<unsigned char>(bits);
    BitStream stream(work, length);
    for (int i = 0; i < d->mant_bytes; ++i) stream.read(&value[d->mant_order[i]], d->mant_widths[i]);
}

int stored_exponent(const unsigned char *form) { return (form[0] & 0x7f) << 8 | form[1]; }

bool is_null(const unsigned char *form, int mantissa_len) {
    return stored_exponent(form) == kExpInfinity && mantissa_len >= 1 && form[2] != 0;
}

int compare(const unsigned char *a, const unsigned char *b, int mantissa_len) {
    bool a_null = is_null(a, mantissa_len);
    bool b_null = is_null(b, mantissa_len);
    if (a_null || b_null) return a_null == b_null ? 0 : a_null ? -1 : 1;
    bool a_negative = (a[0] & 0x80) != 0;
    if (a_negative != ((b[0] & 0x80) != 0)) return a_negative ? -1 : 1;
    int order = 0;
    int ea = stored_exponent(a);
    int eb = stored_exponent(b);
    if (ea != eb) {
        order = ea < eb ? -1 : 1;
    } else {
        for (int i = 2; i < mantissa_len + 2; ++i) {
            if (a[i] != b[i]) {
                order = a[i] < b[i] ? -1 : 1;
                break;
            }
        }
    }
    return a_negative ? -order : order;
}

// Stored forms of infinity and null with room for the longest mantissa.
constexpr unsigned char kInfinity[2 + kMaxMantissa] = {0x7f, 0xff};
constexpr unsigned char kNull[2 + kMaxMantissa] = {0x7f, 0xff, 0x01};

}  // namespace
}  // namespace qrv::fpu

extern "C" {

// Constant data needs "extern" beside its initialiser to keep the exported
// visibility of the header's declaration.
QRV_API extern const unsigned char *const mscv_fpu_dinfy = qrv::fpu::kInfinity;
QRV_API extern const unsigned char *const mscv_fpu_dnull = qrv::fpu::kNull;
QRV_API extern const unsigned char *const mscv_fpu_sinfy = qrv::fpu::kInfinity;
QRV_API extern const unsigned char *const mscv_fpu_snull = qrv::fpu::kNull;

QRV_API void mscv_fpu_encode(int *sign, int *exponent, unsigned char *mantissa, int mantissa_len,
                             const unsigned char *value, const mscv_fpu_format *format) noexcept {
    qrv::fpu::encode(sign, exponent, mantissa, mantissa_len, value, format);
}

QRV_API void mscv_fpu_decode(unsigned char *value, const mscv_fpu_format *format, int sign, int exponent,
                             const unsigned char *mantissa, int mantissa_len) noexcept {
    qrv::fpu::decode(value, format, sign, exponent, mantissa, mantissa_len);
}

QRV_API int mscv_fpu_cmp(const unsigned char *a, const unsigned char *b, int mantissa_len) noexcept {
    return qrv::fpu::compare(a, b, mantissa_len);
}

}  // extern "C"
