/* mscv.h - number conversions: integers to and from text, big-endian byte
 * packing, range conversions, the portable float encoding, and the decimal
 * digits of doubles and reading doubles from text.
 *
 * "long" in this family is 32 bits (int32_t / uint32_t) on every platform.
 * Every function is reentrant and may be called from any thread. Readers
 * report failures on the calling thread's error stack (which exists once
 * the thread is initialised by the frame); everything else reports nothing.
 */
#ifndef MSCV_H
#define MSCV_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* ====================================================================== */
/* Integer limits                                                          */
/* ====================================================================== */

/* Exported as pointers to constant values. */
QRV_API extern const int16_t *const mscv_smin;   /* -32768 */
QRV_API extern const int16_t *const mscv_smax;   /* 32767 */
QRV_API extern const int *const mscv_imin;       /* -2147483648 */
QRV_API extern const int *const mscv_imax;       /* 2147483647 */
QRV_API extern const unsigned *const mscv_umax;  /* 4294967295 */
QRV_API extern const int32_t *const mscv_lmin;   /* -2147483648 */
QRV_API extern const int32_t *const mscv_lmax;   /* 2147483647 */
QRV_API extern const uint32_t *const mscv_ulmax; /* 4294967295 */
QRV_API extern const int32_t *const mscv_uvlmin; /* -2147483648 */
QRV_API extern const int32_t *const mscv_uvlmax; /* 2147483647 */
/* Plain values: the smallest int (and long) divided by 10 and its
 * remainder, both truncated toward zero, and the largest long over 10. */
QRV_API extern const int mscv_mindivibase; /* -214748364 */
QRV_API extern const int mscv_minremibase; /* -8 */
QRV_API extern const int mscv_mindivlbase; /* -214748364 */
QRV_API extern const int mscv_minremlbase; /* -8 */
QRV_API extern const int mscv_maxdivlbase; /* 214748364 */

/* ====================================================================== */
/* Integer readers                                                         */
/* ====================================================================== */

/* Read a signed integer: white space, an optional "+" or "-", then decimal
 * digits or "0x"/"0X" and up to 8 significant hexadecimal digits (16 for
 * mscv_xi64) taken as a bit pattern ("0xFFFFFFFF" is -1). Return the first
 * byte after the number and store the value; on failure store nothing,
 * return null and start a new error report with 16052 "no digits", 16053
 * "number too large" or 16055 "number too small". A null text has no
 * digits; a null out is allowed (the number is only checked). */
QRV_API const char *mscv_xi(int *out, const char *text) QRV_NOEXCEPT;
QRV_API const char *mscv_xl(int32_t *out, const char *text) QRV_NOEXCEPT;
QRV_API const char *mscv_xi64(int64_t *out, const char *text) QRV_NOEXCEPT;
/* Read an unsigned integer in base 8 or 16 (any other base reads decimal):
 * white space, then digits of the base (letters of either case for 16), no
 * sign and no prefix. Failures as above: 16052 or 16053. */
QRV_API const char *mscv_xu(unsigned *out, const char *text, int base) QRV_NOEXCEPT;

/* The signed readers plus a check that only white space follows the
 * number: 1 on success, else 0 with the reader's error or 16051 "invalid
 * character". *out is written only on success. */
QRV_API int mscv_ai(int *out, const char *text) QRV_NOEXCEPT;
QRV_API int mscv_al(int32_t *out, const char *text) QRV_NOEXCEPT;
QRV_API int mscv_ai64(int64_t *out, const char *text) QRV_NOEXCEPT;

/* ====================================================================== */
/* Integer writers                                                         */
/* ====================================================================== */

/* Write the digits and a NUL into buf and return the NUL's address (null
 * for a null buf). Room needed with the NUL: 12 bytes for 32-bit decimal,
 * 12 for 32-bit octal, 21 for 64-bit decimal, 23 for 64-bit octal. Signed
 * writers are decimal with "-" before negative values. Unsigned writers use
 * base 8 or 16 (lower-case digits, no prefix); any other base writes
 * decimal. They report nothing. */
QRV_API char *mscv_ix(char *buf, int value) QRV_NOEXCEPT;
QRV_API char *mscv_lx(char *buf, int32_t value) QRV_NOEXCEPT;
QRV_API char *mscv_i64x(char *buf, int64_t value) QRV_NOEXCEPT;
QRV_API char *mscv_ux(char *buf, unsigned value, int base) QRV_NOEXCEPT;
QRV_API char *mscv_lux(char *buf, uint32_t value, int base) QRV_NOEXCEPT;
QRV_API char *mscv_u64x(char *buf, uint64_t value, int base) QRV_NOEXCEPT;

/* ====================================================================== */
/* Byte packing: most significant byte first                               */
/* ====================================================================== */

/* Each returns the address just after the bytes written or read; they
 * report nothing. The _uint and _voidp forms behave as their partners. */
QRV_API unsigned char *mscv_int_to_4bytes(unsigned char *out, int v) QRV_NOEXCEPT;
QRV_API unsigned char *mscv_uint_to_4bytes(unsigned char *out, unsigned v) QRV_NOEXCEPT;
QRV_API const unsigned char *mscv_4bytes_to_int(int *out, const unsigned char *in) QRV_NOEXCEPT;
QRV_API const unsigned char *mscv_4bytes_to_uint(unsigned *out, const unsigned char *in) QRV_NOEXCEPT;
/* The low 16 bits of v; reading gives a value in 0..65535. */
QRV_API unsigned char *mscv_uint_to_2bytes(unsigned char *out, unsigned v) QRV_NOEXCEPT;
QRV_API const unsigned char *mscv_2bytes_to_uint(unsigned *out, const unsigned char *in) QRV_NOEXCEPT;
QRV_API unsigned char *mscv_int64_to_8bytes(unsigned char *out, int64_t v) QRV_NOEXCEPT;
QRV_API unsigned char *mscv_voidp_to_8bytes(unsigned char *out, void *p) QRV_NOEXCEPT;
QRV_API const unsigned char *mscv_8bytes_to_int64(int64_t *out, const unsigned char *in) QRV_NOEXCEPT;
QRV_API const unsigned char *mscv_8bytes_to_voidp(void **out, const unsigned char *in) QRV_NOEXCEPT;

/* ====================================================================== */
/* Range conversions                                                       */
/* ====================================================================== */

/* Stores the low 32 bits of v; returns 1 when v fits in 32 bits, else 0. */
QRV_API int msint64_cvt_to_long(int32_t *out, int64_t v) QRV_NOEXCEPT;
/* When -2^63 <= d < 2^63 stores d truncated toward zero and returns 1;
 * otherwise (NaN included) returns 0 and leaves *out unchanged. */
QRV_API int msint64_cvt_from_double(int64_t *out, double d) QRV_NOEXCEPT;

/* ====================================================================== */
/* Float format descriptors                                                */
/* ====================================================================== */

/* A constant record describing a binary floating format as it lies in
 * memory (bytes in memory order of this little-endian host). The float
 * encoding below reads and builds values through it; decimal formatting
 * and parsing of floats use the same records. Read-only, any thread. */
typedef struct mscv_fpu_format {
    int size;                         /* bytes of a value */
    int sign_byte;                    /* byte holding the sign bit */
    int sign_mask;                    /* the sign bit in that byte */
    int exp_high_byte;                /* byte with the high exponent bits */
    int exp_low_byte;                 /* byte with the low exponent bits */
    int exp_high_mask;                /* exponent bits in the high byte */
    int exp_shift;                    /* right shift of (high << 8 | low) to the biased exponent */
    int exp_offset;                   /* bias plus one */
    int exp_largest;                  /* largest unbiased exponent accepted when building a value */
    int exp_smallest;                 /* below this a built value becomes zero */
    int exp_base16;                   /* 1 when the exponent counts hexadecimal digits (never here) */
    int hidden_bit;                   /* 1 when the leading mantissa bit is implicit */
    int mant_bytes;                   /* bytes holding mantissa bits */
    int mant_bits;                    /* stored mantissa bits */
    const int *mant_order;            /* index of each mantissa byte, most significant first */
    const int *mant_widths;           /* low bits of each of those bytes that belong to the mantissa */
    int exp_digits;                   /* digits of the decimal exponent in exponent notation */
    int dec_scale;                    /* twice the largest power-of-two decimal step */
    int dec_digits;                   /* decimal digits of precision */
    const void *large_powers;         /* 10^256 ... 10^16 (double) or 10^32, 10^16 (float) */
    const void *small_powers;         /* their reciprocals, same element type */
    int power_count;                  /* entries in each power table */
    const unsigned char *zero;        /* +0.0 */
    const unsigned char *maximum;     /* largest finite value */
    const unsigned char *neg_maximum; /* its negation */
    const unsigned char *min_normal;  /* smallest normal value */
    const unsigned char *pos_infinity;
    const unsigned char *neg_infinity;
} mscv_fpu_format;

/* IEEE double and IEEE single. */
QRV_API extern const mscv_fpu_format *const mscv_fpu_double;
QRV_API extern const mscv_fpu_format *const mscv_fpu_single;

/* ====================================================================== */
/* Portable float encoding                                                 */
/* ====================================================================== */

/* Stored form: byte 0 bit 7 the sign, byte 0 bits 6-0 and byte 1 a 15-bit
 * exponent (0 zero, 32767 infinity, else the true binary exponent + 16383),
 * then the mantissa bits without the leading bit, most significant first.
 * Exponent 32767 with byte 2 nonzero is the null value. Values of both
 * widths share one exponent scale. */
#define MSCV_FPU_EXP_ZERO 0
#define MSCV_FPU_EXP_INFINITY 32767
#define MSCV_FPU_EXP_BIAS 16383
#define MSCV_FPU_MAX_MANTISSA 32
/* Stored forms of +infinity and null, 34 bytes each (room for a mantissa of
 * up to 32 bytes; the bytes after the first three are zero). */
QRV_API extern const unsigned char *const mscv_fpu_dinfy;
QRV_API extern const unsigned char *const mscv_fpu_dnull;
QRV_API extern const unsigned char *const mscv_fpu_sinfy;
QRV_API extern const unsigned char *const mscv_fpu_snull;

/* Splits the machine value (format->size bytes) into sign (1 negative),
 * stored exponent and mantissa_len mantissa bytes (7 hold a double's 52
 * bits, 3 a single's 23; further bits are dropped, unused bytes zero).
 * +0.0 has exponent 0; -0.0 and subnormals keep their raw exponent. A NaN
 * is encoded like any value: its exponent lies above every finite one, so
 * it orders between the finite values and infinity and decodes as
 * infinity of its sign. */
QRV_API void mscv_fpu_encode(int *sign, int *exponent, unsigned char *mantissa, int mantissa_len,
                             const unsigned char *value, const mscv_fpu_format *format) QRV_NOEXCEPT;
/* Builds the machine value from a decomposed value, rounding the mantissa
 * half up on the first dropped bit. Exponent 0 gives +0.0, 32767 infinity
 * of the sign; exponents outside the format give +0.0 or infinity. Only the
 * first 32 mantissa bytes are read. */
QRV_API void mscv_fpu_decode(unsigned char *value, const mscv_fpu_format *format, int sign, int exponent,
                             const unsigned char *mantissa, int mantissa_len) QRV_NOEXCEPT;
/* Orders two stored forms (2 + mantissa_len bytes each): -1, 0 or 1. Null
 * sorts first, then -infinity, negative values, -0.0, +0.0, positive
 * values, +infinity. With mantissa_len < 1 only sign and exponent count
 * and there is no null. */
QRV_API int mscv_fpu_cmp(const unsigned char *a, const unsigned char *b, int mantissa_len) QRV_NOEXCEPT;

/* ====================================================================== */
/* Floating-point digits and reading                                       */
/* ====================================================================== */

/* Doubles become a fixed count of rounded decimal digits (16 for double
 * precision, 7 for single) by scaling with the powers of ten of
 * mscv_fpu_double, the same digits on every platform; msfmt_float
 * (msfmt.h) lays them out as text. Reentrant; the tables are constant. */

/* 1e1 ... 1e15, 1e-1 ... 1e-15, and their length (15). */
QRV_API extern const double mscv_flt_small[15];
QRV_API extern const double mscv_flt_rsmall[15];
QRV_API extern const int mscv_flt_nsmall;

/* Writes value as an optional "-" and exactly 16 decimal digits with
 * *exponent = E such that |value| = 0.d1d2...d16 x 10^E; zero (also -0.0)
 * is 17 zeros with E = 1, infinities "Infinity" / "-Infinity" and NaN "NaN"
 * with E = 1. digits needs 18 bytes. Returns the address of the NUL. The
 * 16th digit may be a unit off the correctly rounded one. */
QRV_API char *mscv_flt_fx(int *exponent, char *digits, double value) QRV_NOEXCEPT;

/* Reads a whole text (white space around allowed) as a double: decimal with
 * optional exponent, "Infinity"/"Inf" in any case, or "0x" and up to 8
 * hexadecimal digits read as a signed 32-bit value. 1 on success; 0 with
 * *value unchanged and a new report (the error stack is cleared first) of
 * 16051 invalid character, 16052 no digits, 16053 / 16055 number too large
 * / small (exponent), 16054 floating point overflow or 16056 floating point
 * underflow (also for results that would be subnormal). */
QRV_API int mscv_flt_af(double *value, const char *text) QRV_NOEXCEPT;

/* 16, 7 and 3: double digits, single digits, printed exponent digits. */
QRV_API int mscv_flt_get_dprec(void) QRV_NOEXCEPT;
QRV_API int mscv_flt_get_sprec(void) QRV_NOEXCEPT;
QRV_API int mscv_flt_get_dexpndigits(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSCV_H */
