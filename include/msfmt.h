/* msfmt.h - the formatting engine and the layout of floating-point digits.
 *
 * All functions are reentrant and allocate nothing.
 */
#ifndef MSFMT_H
#define MSFMT_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Lays out a digit string made by mscv_flt_fx (with its exponent) as text:
 * letter 'e'/'E' exponent notation, 'f'/'F' fixed, 'g'/'G' (and any other
 * letter) general, 'h'/'H' significant-digit fixed. Lower-case letters
 * default to single-precision digit counts, upper-case ones to double.
 * precision < 0 means the default; alternate != 0 is the "#" form. The
 * exponent is always "e", a sign and at least three digits. Writes a NUL
 * and returns its address; out must hold the whole text (at most
 * precision + 330 bytes for finite doubles). Cannot fail. */
QRV_API char *msfmt_float(char *out, int exponent, const char *digits, int precision, char letter,
                          int alternate) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSFMT_H */
