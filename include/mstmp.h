/* mstmp.h - temporary-file names and path helpers.
 *
 * Temporary files live in the temporary directory chosen at process init
 * (msbasic_get_tmpdir). Each connection has its own series of names,
 * "QRV_<pid>_<postfix>_<connection>_<number>" with the process id, a 16-bit
 * postfix taken from the clock at process init and the numbers 0x4000 to
 * 0x4030 in hexadecimal, so that no two processes or connections share a
 * name; the connection's files are removed when it is released. A
 * connection's series is used by one thread at a time.
 *
 * Paths are joined with '/'.
 */
#ifndef MSTMP_H
#define MSTMP_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* msbasic_get_tmpdir. */
QRV_API char *mstmp_get_tmpdir(char *buffer, int *size) QRV_NOEXCEPT;
/* Sets the process's postfix (set from the clock at process init) and
 * returns it. Call before names are handed out. */
QRV_API uint16_t mstmp_set_tmpfile_postfix_value(uint16_t value) QRV_NOEXCEPT;
/* With sequence >= 0: the full path of that file of the connection's series
 * (the number taken modulo 65536), and the connection is marked as having
 * temporary files. With sequence < 0: only the connection's name prefix. 1,
 * or 0 when the result does not fit in size bytes or the temporary
 * directory is not active (nothing reported), or the connection is not one
 * (16310 "invalid connection handle", stack reset). */
QRV_API int mstmp_file(char *buffer, int size, int sequence, void *connection) QRV_NOEXCEPT;
/* The full path of a file of the connection's series that does not exist
 * yet (it is not created). 0 when all 48 candidates of one turn exist
 * (16351 "no non-existing tmp files", stack reset) and as mstmp_file. */
QRV_API int mstmp_newfile(char *buffer, int size, void *connection) QRV_NOEXCEPT;

/* Joins directory and name with '/' into buffer (which may be directory
 * itself): 1, or 0 with buffer set to "" when the result with its
 * terminator needs more than size bytes. Reentrant. */
QRV_API int mspath_mkpath(char *buffer, int size, const char *directory, const char *name) QRV_NOEXCEPT;
/* Joins the parts up to a null pointer with '/': 1, or 0 with buffer set
 * to "" when they do not fit. No parts give "" and 1. Reentrant. */
QRV_API int mspath_mkpath_multi(char *buffer, int size, ...) QRV_NOEXCEPT;
/* The last component of path: what follows its last '/', '\' or ':' (the
 * whole path when it has none). Null for null. Reentrant. */
QRV_API const char *mspath_tailname(const char *path) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSTMP_H */
