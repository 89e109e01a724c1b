/* mscv.h - number conversions: integers, byte packing and floating point.
 *
 * The library reads and writes numbers with its own code so that accepted
 * syntax, rounding and error texts are identical on every platform. All
 * functions are reentrant; the exported tables and records are constant.
 * Readers that fail start a new report on the calling thread's error stack
 * (the stack is cleared first) and leave their result untouched.
 */
#ifndef MSCV_H
#define MSCV_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* ------------------------------------------------------------------------
 * Floating-point conversion
 *
 * Doubles become a fixed count of rounded decimal digits (N = 16 for double
 * precision, S = 7 for single) by table-driven scaling, the same digits on
 * every platform; msfmt_float (msfmt.h) lays them out as text.
 * ------------------------------------------------------------------------ */

/* Describes one binary floating format, its decimal precision and limits.
 * Byte indexes count in memory order on a little-endian host. */
typedef struct mscv_fpu_desc {
    int size;                    /* bytes of one value */
    int sign_byte;               /* byte holding the sign bit */
    int sign_mask;               /* the sign bit in that byte */
    int exp_high_byte;           /* byte with the high exponent bits */
    int exp_low_byte;            /* byte with the low exponent bits */
    int exp_high_mask;           /* exponent bits in the high byte */
    int exp_shift;               /* right shift of (high << 8 | low) to the biased exponent */
    int exp_offset;              /* bias plus one */
    int exp_largest;             /* largest unbiased exponent when building a value */
    int exp_smallest;            /* below this a built value becomes zero */
    int exp_base16;              /* 1 when the exponent counts hexadecimal digits */
    int hidden_bit;              /* 1 when the leading mantissa bit is implicit */
    int mant_bytes;              /* bytes holding mantissa bits */
    int mant_bits;               /* stored mantissa bits */
    const int *mant_byte_order;  /* mant_bytes indexes, most significant first */
    const int *mant_byte_bits;   /* low bits of each such byte in the mantissa */
    int exp_digits;              /* digits of a printed decimal exponent */
    int dec_scale;               /* twice the largest decimal scaling step */
    int dec_digits;              /* decimal digits: 16 (double) or 7 (single) */
    const void *large_powers;    /* 1e256 ... 1e16 (double) or 1e32, 1e16 (float) */
    const void *small_powers;    /* their reciprocals, same element type */
    int power_count;             /* entries in each power table */
    const void *zero;            /* the value 0 in this format */
    const void *maximum;         /* largest finite value */
    const void *neg_maximum;     /* its negation */
    const void *smallest_normal; /* smallest positive normal value */
    const void *pos_infinity;
    const void *neg_infinity;
} mscv_fpu_desc;

/* The IEEE double and IEEE single descriptors. */
QRV_API extern const mscv_fpu_desc *const mscv_fpu_double;
QRV_API extern const mscv_fpu_desc *const mscv_fpu_single;

/* 1e1 ... 1e15, 1e-1 ... 1e-15, and their length (15). */
QRV_API extern const double mscv_flt_small[15];
QRV_API extern const double mscv_flt_rsmall[15];
QRV_API extern const int mscv_flt_nsmall;

/* Writes value as an optional "-" and exactly 16 decimal digits with
 * *exponent = E such that |value| = 0.d1d2...d16 x 10^E; zero (also -0.0)
 * is 17 zeros with E = 1, infinities "Infinity" / "-Infinity" and NaN "NaN"
 * with E = 1. digits needs 18 bytes. Returns the address of the NUL. */
QRV_API char *mscv_flt_fx(int *exponent, char *digits, double value) QRV_NOEXCEPT;

/* Reads a whole text (white space around allowed) as a double: decimal with
 * optional exponent, "Infinity"/"Inf" in any case, or "0x" and up to 8
 * hexadecimal digits read as a signed 32-bit value. 1 on success; 0 with
 * *value unchanged and one of 16051 invalid character, 16052 no digits,
 * 16053 / 16055 number too large / small (exponent), 16054 floating point
 * overflow, 16056 floating point underflow (also for subnormal results). */
QRV_API int mscv_flt_af(double *value, const char *text) QRV_NOEXCEPT;

/* 16, 7 and 3: double digits, single digits, printed exponent digits. */
QRV_API int mscv_flt_get_dprec(void) QRV_NOEXCEPT;
QRV_API int mscv_flt_get_sprec(void) QRV_NOEXCEPT;
QRV_API int mscv_flt_get_dexpndigits(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSCV_H */
