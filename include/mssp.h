/* mssp.h - the accounted space allocator.
 *
 * Every record of the library and of the product's programs is a space: a
 * block of the C heap without a header of its own, counted in process-wide
 * statistics with high-water marks, and optionally held under a ceiling of
 * 90 % of the MS variable MSSPACELIMIT (raised to at least 4 MiB). All
 * functions are thread-safe.
 */
#ifndef MSSP_H
#define MSSP_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Statistic selectors of mssp_get_spstat and mssp_reset_spstat_hwm. */
#define MSSP_STAT_SPACES_HWM 0
#define MSSP_STAT_BIGGEST 1
#define MSSP_STAT_BYTES_HWM 2
#define MSSP_STAT_SPACES 3
#define MSSP_STAT_BYTES 4

/* A space of size bytes; null for size 0 (nothing reported). A negative size
 * pushes 16004 (stack reset first); with check_limit nonzero, passing the
 * ceiling pushes 16007 (stack reset first); an exhausted heap pushes the
 * system error and 16002. */
QRV_API void *mssp_get_ex(int size, int check_limit) QRV_NOEXCEPT;

/* Resizes space (null: as mssp_get_ex). Shrinking by less than 1024 bytes
 * returns space unchanged; size 0 frees it and returns null. A negative size
 * pushes 16004 and leaves space alone. A resize refused by the ceiling
 * (16007) or by the heap (16002) frees space and returns null. */
QRV_API void *mssp_reget_ex(void *space, int size, int check_limit) QRV_NOEXCEPT;

/* Releases space (its first byte is overwritten with 0xAA first). 1, also
 * for null. */
QRV_API int mssp_free_rv(void *space) QRV_NOEXCEPT;

/* The heap's usable size of space (at least what was asked); 0 for null. */
QRV_API int mssp_size(void *space) QRV_NOEXCEPT;

/* 1: the heap aborts the process itself when it finds corruption. */
QRV_API int mssp_check(void) QRV_NOEXCEPT;

/* A statistic by selector (MSSP_STAT_...), -1 for an unknown selector.
 * Values beyond 32 bits read as INT32_MAX. */
QRV_API int mssp_get_spstat(int selector) QRV_NOEXCEPT;

/* Resets a high-water mark: spaces and bytes marks to their current values,
 * the biggest allocation to 0; the current counts cannot be reset. 1. */
QRV_API int mssp_reset_spstat_hwm(int selector) QRV_NOEXCEPT;

/* Writes "svpid (P) alloc mem(HWM) B(H) bytes, alloc spaces(HWM) S(H) units,
 * max single alloc M bytes\n" into buf, cut to len - 1 bytes and terminated.
 * Returns buf, or null when buf is null or len < 1. */
QRV_API char *mssp_stat_fmt_report_for_svr(char *buf, int len) QRV_NOEXCEPT;

/* 0 silences the warning about spaces still allocated at the end of the
 * process (MSDEBUG "memchk"); on by default. */
QRV_API void mssp_end_ngot_set(int on) QRV_NOEXCEPT;

/* Records that the system's own statistics were asked for (MSDEBUG "statm"). */
QRV_API void mssp_enable_os_spstat(int on) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSSP_H */
