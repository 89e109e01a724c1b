/* msversion.h - the library's version and the per-kind version checks.
 *
 * A version number packs major.minor.revision into 32 bits as
 * (major & 127) << 24 | minor << 16 | revision; 10.20.7 is 0x0A140007.
 * Versions compare as unsigned numbers. Everything here is constant or
 * reentrant and may be used from any thread.
 */
#ifndef MSVERSION_H
#define MSVERSION_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSVERSION_PACK(major, minor, revision) \
    ((int32_t)((((uint32_t)(major)&127u) << 24) + ((uint32_t)(minor) << 16) + (uint32_t)(revision)))

/* The library's version: 10, 20, 7 and 0x0A140007. */
QRV_API extern const int32_t msversion_ver_major;
QRV_API extern const int32_t msversion_ver_minor;
QRV_API extern const int32_t msversion_ver_revision;
QRV_API extern const int32_t msversion_dbms;

/* Identification texts: the package name with the version (both version
 * texts are the same), and the maker's name, mail address and web site. */
QRV_API extern const char msversion_version[];
QRV_API extern const char msversion_version_w_revision[];
QRV_API extern const char msversion_package_name[];
QRV_API extern const char msversion_copyright[];
QRV_API extern const char msversion_company_name[];
QRV_API extern const char msversion_email[];
QRV_API extern const char msversion_website[];

/* Reads "major.minor", optionally followed by ".revision" or " rrevision",
 * each number as mscv_xl reads it (parts not read count 0). 0 when the
 * major number cannot be read (mscv_xl's error is left on the stack);
 * failures of the later parts report nothing. */
QRV_API int32_t msversion_convert(const char *text) QRV_NOEXCEPT;

/* Classifies data of version for kind (0 to 15): 0 newer than this library
 * (its revision ignored), 1 current (the kind's last threshold reached), 2
 * supported but older, 3 not supported (below the first threshold, or a
 * kind without thresholds, unknown kinds included). */
QRV_API int msversion_check(int kind, int32_t version) QRV_NOEXCEPT;
/* The number of thresholds of kind that version has reached; -1 when it is
 * newer than this library; 0 for a kind without thresholds. */
QRV_API int msversion_supported(int kind, int32_t version) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSVERSION_H */
