/* msfmt.h - the formatting engine and the layout of floating-point digits.
 *
 * The engine renders a printf-style format into an output sink. It differs
 * from C printf (docs/formatting.md has the whole grammar):
 *   - positional arguments "%1$" to "%9$", also for "*" ("*2$");
 *   - flags in a fixed order: one of " ", "#", "+", then one of "-", "0";
 *   - "%Q" prints a string between single quotes ("NULL" for null);
 *   - "%e", "%f", "%g" use 7 significant digits, "%le", "%lf", "%lg" 16,
 *     with three-digit exponents; a precision turns zero padding off;
 *   - widths and string precisions count display columns of UTF-8 text;
 *   - a field too narrow for its text prints as width "*" characters;
 *   - "%l" integers are 32 bits (a C long, low half), "%ll" 64 bits;
 *     "%lc" and "%ls" take UTF-16 (char16_t) text;
 *   - unknown conversions ("%hd", "%n") consume an argument and print
 *     their letters literally.
 * Limits of one call: 50 conversions, 50 argument slots, 5120 bytes of
 * rewritten format and literal widths up to 1024; beyond a limit the rest
 * of the format prints as literal text. "*" widths are cut to 1024 and
 * numeric precisions to 512. Reentrant; no heap memory except for wide
 * conversions; reports no errors of its own (a width or precision number
 * too large for an int leaves 16053 on the error stack).
 */
#ifndef MSFMT_H
#define MSFMT_H

#include <stdarg.h>

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Renders format with the arguments into sink(context, data, length),
 * in pieces. A null sink or format renders nothing. */
QRV_API void msfmt_args(qrv_sink_fn sink, void *context, const char *format, ...) QRV_NOEXCEPT;
QRV_API void msfmt_valist(qrv_sink_fn sink, void *context, const char *format, va_list args) QRV_NOEXCEPT;

/* Renders into buf without a limit and terminates it; returns the address
 * of the terminating NUL. */
QRV_API char *msfmt_buffer(char *buf, const char *format, ...) QRV_NOEXCEPT;

/* Renders at most size - 1 bytes into buf, dropping the rest silently (a
 * multibyte character may be cut), and terminates; returns the address of
 * the NUL. size < 1 writes nothing and returns buf. */
QRV_API char *msfmt_buffer_lim(char *buf, int size, const char *format, ...) QRV_NOEXCEPT;
QRV_API char *msfmt_buffer_lim_valist(char *buf, int size, const char *format, va_list args) QRV_NOEXCEPT;

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
