/* mstables.h - constant character tables.
 *
 * All tables are read-only and indexed by the byte value (cast the char to
 * unsigned char first); they may be read from any thread.
 */
#ifndef MSTABLES_H
#define MSTABLES_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Character classes, one byte of bits per byte value:
 * 0x01 upper-case letter ("A"-"Z" and "_"), 0x02 lower-case letter
 * ("a"-"z"), 0x03 (both) any byte of a multibyte character (0x80-0xF7),
 * 0x04 decimal digit, 0x08 punctuation, 0x10 tab, 0x20 line feed, vertical
 * tab, form feed and carriage return, 0x40 space, 0x80 hexadecimal letter
 * (together with 0x01 or 0x02). Control bytes and 0xF8-0xFF have no bit. */
#define MSTABLES_UPPER 0x01
#define MSTABLES_LOWER 0x02
#define MSTABLES_MULTI 0x03
#define MSTABLES_DIGIT 0x04
#define MSTABLES_PUNCT 0x08
#define MSTABLES_TAB 0x10
#define MSTABLES_OTHER_WHITE 0x20
#define MSTABLES_SPACE 0x40
#define MSTABLES_HEX_LETTER 0x80
/* White space everywhere in the library: tab, line feed, vertical tab, form
 * feed, carriage return and space. */
#define MSTABLES_WHITE 0x70
QRV_API extern const unsigned char mstables_char_type[256];

/* Case maps: "A"-"Z" to "a"-"z" (lc) and back (uc); every other byte,
 * 0x80 and above included, maps to itself. */
QRV_API extern const unsigned char mstables_char_lc[256];
QRV_API extern const unsigned char mstables_char_uc[256];

/* The platform words that select platform-specific entries of variable
 * files, most specific first, ending with a null pointer:
 * "SYS_OS_LINUX_X64", "SYS_OS_LINUX", "ALL". */
QRV_API extern const char *const mstables_syslabels[];

QRV_EXTERN_C_END

#endif /* MSTABLES_H */
