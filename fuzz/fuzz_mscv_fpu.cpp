// The portable float encoding on arbitrary values: encoding then decoding
// gives the same bits, stored forms order as the numbers do (-0.0 before
// +0.0), decoding any decomposed value gives a value that survives another
// round trip, and the comparison is antisymmetric on arbitrary bytes.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "mscv.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_mscv_fpu: %s\n", what);
        std::abort();
    }
}

// Bytes of the fuzz input, zero once they run out.
struct Input {
    const uint8_t *data;
    size_t size;
    size_t used = 0;
    void take(void *out, size_t n) {
        std::memset(out, 0, n);
        size_t k = used < size ? (size - used < n ? size - used : n) : 0;
        std::memcpy(out, data + used, k);
        used += n;
    }
};

template <typename F>
struct Stored {
    static constexpr int kLength = sizeof(F) == 8 ? 7 : 3;
    unsigned char bytes[2 + kLength] = {};
    explicit Stored(F value) {
        int sign = 0, exponent = 0;
        mscv_fpu_encode(&sign, &exponent, bytes + 2, kLength, reinterpret_cast<const unsigned char *>(&value), format());
        bytes[0] = static_cast<unsigned char>(sign << 7 | exponent >> 8);
        bytes[1] = static_cast<unsigned char>(exponent);
    }
    static const mscv_fpu_format *format() { return sizeof(F) == 8 ? mscv_fpu_double : mscv_fpu_single; }
    F decode() const {
        F value;
        mscv_fpu_decode(reinterpret_cast<unsigned char *>(&value), format(), bytes[0] >> 7,
                        (bytes[0] & 0x7F) << 8 | bytes[1], bytes + 2, kLength);
        return value;
    }
};

template <typename F, typename Bits>
void round_trip_and_order(F a, F b) {
    if (std::isnan(a) || std::isnan(b)) return;
    Stored<F> sa(a), sb(b);
    check(std::bit_cast<Bits>(sa.decode()) == std::bit_cast<Bits>(a), "round trip changed the bits");
    int expected = a < b ? -1 : a > b ? 1 : std::signbit(a) == std::signbit(b) ? 0 : std::signbit(a) ? -1 : 1;
    check(mscv_fpu_cmp(sa.bytes, sb.bytes, Stored<F>::kLength) == expected, "order of stored forms");
}

template <typename F, typename Bits>
void decode_anything(Input &in) {
    int sign = 0, exponent = 0;
    uint8_t length = 0;
    unsigned char mantissa[40];
    in.take(&sign, 1);
    in.take(&exponent, 2);
    in.take(&length, 1);
    in.take(mantissa, sizeof mantissa);
    unsigned char value[8];
    const mscv_fpu_format *format = Stored<F>::format();
    mscv_fpu_decode(value, format, sign & 1, exponent, mantissa, length % 41);
    F decoded;
    std::memcpy(&decoded, value, sizeof decoded);
    check(!std::isnan(decoded), "decoding produced a NaN");
    check(std::bit_cast<Bits>(Stored<F>(decoded).decode()) == std::bit_cast<Bits>(decoded), "decoded value unstable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    double da, db;
    float fa, fb;
    in.take(&da, 8);
    in.take(&db, 8);
    in.take(&fa, 4);
    in.take(&fb, 4);
    round_trip_and_order<double, uint64_t>(da, db);
    round_trip_and_order<float, uint32_t>(fa, fb);
    round_trip_and_order<double, uint64_t>(da, static_cast<double>(fa));
    decode_anything<double, uint64_t>(in);
    decode_anything<float, uint32_t>(in);
    unsigned char a[34] = {}, b[34] = {};
    Input raw{data, size};
    raw.take(a, sizeof a);
    raw.take(b, sizeof b);
    for (int length : {0, 1, 3, 7, 32}) {
        check(mscv_fpu_cmp(a, b, length) == -mscv_fpu_cmp(b, a, length), "comparison not antisymmetric");
    }
    return 0;
}
