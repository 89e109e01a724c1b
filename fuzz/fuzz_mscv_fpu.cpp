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

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_mscv_fpu: %s\n", #ok), std::abort()))

namespace {

template <typename F>
struct Stored {
    using Bits = std::conditional_t<sizeof(F) == 8, uint64_t, uint32_t>;
    static constexpr int kLength = sizeof(F) == 8 ? 7 : 3;
    static const mscv_fpu_format *format() { return sizeof(F) == 8 ? mscv_fpu_double : mscv_fpu_single; }
    unsigned char bytes[2 + kLength] = {};
    explicit Stored(F value) {
        int sign = 0, exponent = 0;
        mscv_fpu_encode(&sign, &exponent, bytes + 2, kLength, reinterpret_cast<const unsigned char *>(&value),
                        format());
        bytes[0] = static_cast<unsigned char>(sign << 7 | exponent >> 8);
        bytes[1] = static_cast<unsigned char>(exponent);
    }
    Bits decoded_bits() const {
        F value;
        mscv_fpu_decode(reinterpret_cast<unsigned char *>(&value), format(), bytes[0] >> 7,
                        (bytes[0] & 0x7F) << 8 | bytes[1], bytes + 2, kLength);
        return std::bit_cast<Bits>(value);
    }
};

template <typename F>
void round_trip_and_order(F a, F b) {
    if (std::isnan(a) || std::isnan(b)) return;
    Stored<F> sa(a), sb(b);
    CHECK(sa.decoded_bits() == std::bit_cast<typename Stored<F>::Bits>(a));
    int expected = a < b ? -1 : a > b ? 1 : std::signbit(a) == std::signbit(b) ? 0 : std::signbit(a) ? -1 : 1;
    CHECK(mscv_fpu_cmp(sa.bytes, sb.bytes, Stored<F>::kLength) == expected);
}

// A decomposed value from 44 input bytes: sign, exponent, length, mantissa.
template <typename F>
void decode_anything(const unsigned char *in) {
    F decoded;
    mscv_fpu_decode(reinterpret_cast<unsigned char *>(&decoded), Stored<F>::format(), in[0] & 1, in[1] << 8 | in[2],
                    in + 4, in[3] % 41);
    CHECK(!std::isnan(decoded));
    CHECK(Stored<F>(decoded).decoded_bits() == std::bit_cast<typename Stored<F>::Bits>(decoded));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned char in[24 + 2 * 44] = {};  // the input, zero once it runs out
    std::memcpy(in, data, size < sizeof in ? size : sizeof in);
    double da, db;
    float fa, fb;
    std::memcpy(&da, in, 8);
    std::memcpy(&db, in + 8, 8);
    std::memcpy(&fa, in + 16, 4);
    std::memcpy(&fb, in + 20, 4);
    round_trip_and_order(da, db);
    round_trip_and_order(fa, fb);
    round_trip_and_order(da, static_cast<double>(fa));
    decode_anything<double>(in + 24);
    decode_anything<float>(in + 24 + 44);
    unsigned char a[34] = {}, b[34] = {};
    std::memcpy(a, in, sizeof a);
    std::memcpy(b, in + sizeof a, sizeof b);
    for (int length : {0, 1, 3, 7, 32}) CHECK(mscv_fpu_cmp(a, b, length) == -mscv_fpu_cmp(b, a, length));
    return 0;
}
