/* msstr.h - UTF-8 aware string utilities.
 *
 * Functions that step by characters take the length of a character from its
 * first byte: 0x00-0x7F one byte, 0xC0-0xDF two, 0xE0-0xEF three, 0xF0-0xF7
 * four, any other byte one. A character cut short by the terminating NUL
 * ends there: no function reads past the terminator. White space is tab,
 * line feed, vertical tab, form feed, carriage return and space.
 *
 * None of these functions reports errors or allocates; all are reentrant
 * and may be called from any thread without initialising the library.
 * A null string reads as the empty string unless a function says otherwise.
 */
#ifndef MSSTR_H
#define MSSTR_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* First byte of s that is not white space (the terminator for a blank
 * string); null for null. */
QRV_API const char *msstr_head(const char *s) QRV_NOEXCEPT;
/* Just after the last byte of s that is not white space; s itself for an
 * empty or blank string; null for null. */
QRV_API const char *msstr_tail(const char *s) QRV_NOEXCEPT;
/* 1 when s is empty, null or only white space, else 0. */
QRV_API int msstr_qspace(const char *s) QRV_NOEXCEPT;
/* 1 when s begins with prefix (bytes compared exactly); 0 when either is
 * null or empty, or s does not begin with it. */
QRV_API int msstr_headeq(const char *s, const char *prefix) QRV_NOEXCEPT;
/* First occurrence of sub in s, bytes compared exactly; s itself when sub
 * is empty; null when absent or either argument is null. */
QRV_API const char *msstr_index(const char *s, const char *sub) QRV_NOEXCEPT;
/* As msstr_index, but ASCII letters match without regard to case. */
QRV_API const char *msstr_dindex(const char *s, const char *sub) QRV_NOEXCEPT;
/* The n-th occurrence of sub counted from the end of s (n = 1: the last;
 * overlapping occurrences count). Null when n < 1, sub is empty or longer
 * than s, or there are fewer than n occurrences. */
QRV_API const char *msstr_rindex(const char *s, const char *sub, int n) QRV_NOEXCEPT;
/* 0 for a null, empty or blank string and for the words "n", "no", "off"
 * and "false" in any case (white space around the word is ignored); 1 for
 * everything else ("0" and "f" are true). */
QRV_API int msstr_parse_str_boolean(const char *s) QRV_NOEXCEPT;

/* Bytes before the terminator, at most n (0 when n < 1). */
QRV_API int msstr_nlength(const char *s, int n) QRV_NOEXCEPT;
/* Number of characters of s. */
QRV_API int msstr_length_ch(const char *s) QRV_NOEXCEPT;
/* Number of characters whose first byte lies within the first n bytes. */
QRV_API int msstr_nlength_ch(const char *s, int n) QRV_NOEXCEPT;
/* Display columns: backspace -1, control bytes and 0xF8-0xFF 0, a
 * multibyte character 2, any other ASCII character 1. */
QRV_API int msstr_length_disp(const char *s) QRV_NOEXCEPT;
/* Display columns of the characters whose first byte lies within the first
 * n bytes. */
QRV_API int msstr_nlength_disp(const char *s, int n) QRV_NOEXCEPT;

/* Copies bytes of src until its terminator or until n bytes were copied.
 * Reaching the terminator stores it and returns its address; otherwise the
 * copy is left unterminated and dst + n is returned. n < 1 writes nothing
 * and returns dst. Null dst: nothing is written and null is returned. */
QRV_API char *msstr_ncopy(char *dst, const char *src, int n) QRV_NOEXCEPT;
/* Copies as many whole characters of src as fit in n bytes, then always a
 * terminator (dst needs n + 1 bytes); returns the terminator's address.
 * n < 1 stores only the terminator. Null dst: returns null. */
QRV_API char *msstr_ncopy_ch(char *dst, const char *src, int n) QRV_NOEXCEPT;

/* 1 when s is a valid user name of a database account, else 0 (also for
 * null). A user name does not begin with a space; ASCII characters must be
 * letters, digits, space or one of ! $ & ' ( ) - . @ ^ _ ` { } ~. Bytes
 * 0x80-0xF7 are allowed, but a lead byte (0xC0-0xF7) must be followed by
 * all its continuation bytes (0x80-0xBF); 0xF8-0xFF are refused. The empty
 * name is valid. */
QRV_API int msstr_check_login(const char *s) QRV_NOEXCEPT;
/* 1 when s is a valid password, else 0 (also for null): any printable
 * ASCII character (a leading space included), and bytes 0x80-0xF7 under
 * the same rule as for user names. */
QRV_API int msstr_check_passwd(const char *s) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSSTR_H */
