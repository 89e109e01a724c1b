/* msbin.h - the build tools' family: the functions behind the product's
 * compile, link, archive and database-creation tools. This part holds the
 * database description file and variable-file updates; the rest of the
 * family is declared here as it comes.
 *
 * Files are rewritten in place without ever being half written: the new
 * content goes to a file beside the old one, reaches the disk, and then
 * replaces the old file in one step. A failure at any point leaves the old
 * file as it was (and removes the partial new one where it can).
 *
 * Failures return 0 with the error of the file and stream layers (msfio.h,
 * mssio.h) on the calling thread's error stack.
 */
#ifndef MSBIN_H
#define MSBIN_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* The size of each buffer handed to msbin_upd_tabzero: a value of the
 * longest line the file may hold, with its terminator. */
#define MSBIN_TABZERO_VALUE_SIZE 1024

/* The database description file format that msbin_upd_tabzero writes. */
#define MSBIN_TABZERO_MAJOR 10
#define MSBIN_TABZERO_MINOR 20

/* Brings the description file of database directory ("tabzero.txt", else
 * "tabzero") up to the current format and rewrites it in place. Each buffer
 * must hold MSBIN_TABZERO_VALUE_SIZE bytes; they start as "" and receive the
 * file's data-file code, its block size, and "MSVALIDATESIZE=<value>" when
 * the file has a validate-size line. Returns the upgrade class of the
 * version the file held: 3 (current), 2 (8.61 to 8.99), 1 (other 8.x, 9.x,
 * 6.01 and later 6.x, other 10.x, 11 and later), 0 (older: the file is
 * rewritten as well). 0 on failure, the file untouched: 10665 "neither
 * tabzero.txt nor tabzero found in directory '%s'", a version that is not
 * a number (the number reader's error), or the file layers' errors; a
 * success pushes nothing, which tells class 0 from a failure. A line longer
 * than the buffers is copied whole; only its first 1023 bytes are read. */
QRV_API int msbin_upd_tabzero(const char *directory, char *dfc, char *block_size, char *validate_size) QRV_NOEXCEPT;

/* Sets name=value in the variable file path: the first line beginning with
 * "name=" is replaced, else the line is appended. With keep_backup, the old
 * file is first copied to the first free "path.000" to "path.999" (none
 * free: 0). The new content is written to "path.tmp". 1, or 0 (file
 * untouched; also when "name=" needs more than 63 bytes). */
QRV_API int msbin_update_varfile(const char *path, const char *name, const char *value, int keep_backup) QRV_NOEXCEPT;

/* Copies source over destination (created or truncated), or appends it to
 * destination (created when it cannot be opened). 1 when the whole source
 * was copied, else 0. Source and destination naming one file (also through
 * a link) is refused: 0 with the OS error EINVAL and 16473 (the
 * destination), the file untouched. */
QRV_API int msbin_copy_file(const char *destination, const char *source) QRV_NOEXCEPT;
QRV_API int msbin_concat_file(const char *destination, const char *source) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSBIN_H */
