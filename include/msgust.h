/* msgust.h - start-up helpers of the product's programs: the standard
 * redirection options of every command line, the user's name and the
 * month abbreviations of the current message language. */
#ifndef MSGUST_H
#define MSGUST_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Takes the redirection options off the front of the command line (after
 * argument 0, while arguments begin with '-' or '+'; letters in any case):
 *   -MSPROGNAME name  argument 0 becomes name
 *   -MSSTDIN file     standard input reads file
 *   -MSSTDOUT file    standard output writes file (truncated); +MSSTDOUT appends
 *   -MSSTDERR file    standard error writes file (truncated); +MSSTDERR appends
 * A later option for the same stream replaces an earlier one; an option
 * without its value is dropped; other '-' or '+' arguments stay. The
 * vector is compacted (ended by a null entry) and *argc updated. Then the
 * streams are reopened in the order input, output, error; standard error
 * naming the same file as standard output shares its stream. 1, or 0 when
 * a file cannot be opened (the stream layer's error stands; redirections
 * made before stay). Call once at start-up, before other threads run. */
QRV_API int msgust_stdio(int *argc, char ***argv) QRV_NOEXCEPT;
/* The same for a command line of UTF-16 strings; file names are converted
 * to UTF-8 to be opened (0 when one does not convert). */
QRV_API int msgust_stdio_wchar(int *argc, qrv_wchar ***argv) QRV_NOEXCEPT;

/* The effective user's login name in dst (at most len - 1 bytes and a
 * terminator), or "Unknown" cut to fit when it cannot be found; dst, or
 * null when dst is null or len < 2. */
QRV_API char *msgust_user_name_get(char *dst, int len) QRV_NOEXCEPT;

/* The abbreviated name of month 1 to 12 in the current message language
 * (as msnlsmsg_str_real returns it); null for other numbers. */
QRV_API const char *msgustdate_month_abbrev(int month) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSGUST_H */
