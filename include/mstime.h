/* mstime.h - the library's notion of "now", and timeval arithmetic.
 *
 * "Now" is the system clock shifted by the process-wide time offset that
 * the MS variable MSTIMEOFFSET sets at process initialisation: a number of
 * seconds, optionally signed and with a fraction ("3600", "-1.5", "2e3"),
 * so that a whole installation can run with its clock moved. A negative
 * shift never takes a time before 1970: it stops at zero. The clock
 * functions without the shift are msos_time and msos_get_timeval (msos.h).
 * Everything here is thread-safe; the offset does not change after
 * initialisation.
 */
#ifndef MSTIME_H
#define MSTIME_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Reads MSTIMEOFFSET (the environment file's or the environment's value,
 * else the initialisation file's) and sets the offset; called by process
 * initialisation. 1 on success (unset, empty or zero: no offset); 0 with a
 * new report of 16540 (not a number) or 16541 (its absolute value exceeds
 * the seconds left before the largest timeval), the offset then inactive. */
QRV_API int mstime_init(void) QRV_NOEXCEPT;

/* System UTC seconds since 1970 shifted by the offset's whole seconds, also
 * stored in *seconds when seconds is not null. */
QRV_API int64_t mstime_gettime(int64_t *seconds) QRV_NOEXCEPT;
/* The fine-grained clock shifted by the offset, in UTC or local time: 0, or
 * -1 with *tv zero when no clock can be read (or tv is null). */
QRV_API int mstime_get_timeval(mstime_timeval *tv) QRV_NOEXCEPT;
QRV_API int mstime_get_local_timeval(mstime_timeval *tv) QRV_NOEXCEPT;

/* The local wall-clock time now, without the offset: full year, month
 * 1-12, day 1-31, hour, minute, second. Null pointers are skipped. */
QRV_API void mstime_getlocal_time(int *year, int *month, int *day, int *hour, int *minute, int *second) QRV_NOEXCEPT;
QRV_API void mstime_getlocal_yymmdd(int *year, int *month, int *day) QRV_NOEXCEPT;

/* *result = a + b, returned. A null a or b counts as zero; with a null
 * result nothing is written and null is returned. Nanoseconds outside
 * 0..999999999 are carried into the seconds; a sum beyond the largest
 * timeval stays at the largest (seconds INT64_MAX, 999999999 ns). */
QRV_API mstime_timeval *mstime_timeval_add(mstime_timeval *result, const mstime_timeval *a,
                                           const mstime_timeval *b) QRV_NOEXCEPT;
/* *result = a - b, or zero when a <= b; returned (nulls as for add). */
QRV_API mstime_timeval *mstime_timeval_sub(mstime_timeval *result, const mstime_timeval *a,
                                           const mstime_timeval *b) QRV_NOEXCEPT;
/* -1, 0 or 1 as a is before, equal to or after b: seconds first, then
 * nanoseconds. A null counts as zero. */
QRV_API int mstime_timeval_cmp(const mstime_timeval *a, const mstime_timeval *b) QRV_NOEXCEPT;
/* Seconds plus nanoseconds / 1e9 (0 for null). */
QRV_API double mstime_timeval_to_double(const mstime_timeval *tv) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSTIME_H */
