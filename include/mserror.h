/* mserror.h - the per-thread error stack.
 *
 * A failing function pushes an entry (an error id and up to nine number or
 * string arguments) and returns its failure value; callers may push further
 * entries that explain the failure at their level, so the stack reads from
 * the general (top) to the specific. Every function works on the calling
 * thread's stack only and takes no lock; on a thread without a stack (not
 * initialised by the frame) they do nothing and readers return 0 or null.
 *
 * Entry layout in 64-bit words, with p = mserror_geterr_stack():
 *   p[-1]      the error id
 *   p[-2]      the descriptor: bits 0-7 the argument count n, bit 8+i set
 *              when argument i is a string, bit 17+i set when argument i
 *              is a string the stack could not keep (see below)
 *   p[-3-i]    argument i: a number, or the string's offset in the buffer
 *              returned by mserror_geterr_argbuf()
 */
#ifndef MSERROR_H
#define MSERROR_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSERROR_MAX_ARGS 9
#define MSERROR_DESC_NARGS(desc) ((int)((desc)&0xFF))
#define MSERROR_DESC_IS_STR(desc, i) ((((desc) >> (8 + (i))) & 1) != 0)

/* Pushes an entry with room for n arguments (n > 9 is stored as 9, n < 0
 * pushes nothing); fill them with mserror_setarg / mserror_setarg_str.
 * If the stack cannot grow, its contents are lost and nothing is pushed. */
QRV_API void mserror_seterr(int32_t id, int n) QRV_NOEXCEPT;
/* Sets argument i of the top entry; ignored without a visible entry or for
 * i outside 0..n-1. A null text is stored as "(nil)". If the string buffer
 * cannot grow, the argument and every string argument stored before it
 * become the number 0, marked by bit 17+i; the renderers show each as "",
 * never as the text of a later string. */
QRV_API void mserror_setarg(int64_t value, int i) QRV_NOEXCEPT;
QRV_API void mserror_setarg_str(const char *text, int i) QRV_NOEXCEPT;
/* Hides every visible entry (down to the cleanup floor). */
QRV_API void mserror_reset(void) QRV_NOEXCEPT;

/* Convenience forms: the reset forms start a new report, the plain forms add
 * an explanation on top. */
QRV_API void mserror_reset_seterr(int32_t id, int n) QRV_NOEXCEPT;
QRV_API void mserror_reset_seterr_1arg(int32_t id, int64_t a) QRV_NOEXCEPT;
QRV_API void mserror_reset_seterr_1arg_str(int32_t id, const char *s) QRV_NOEXCEPT;
QRV_API void mserror_reset_seterr_2arg_str(int32_t id, const char *s1, const char *s2) QRV_NOEXCEPT;
QRV_API void mserror_reset_seterr_3arg_str(int32_t id, const char *s1, const char *s2, const char *s3) QRV_NOEXCEPT;
QRV_API void mserror_reset_seterr_4arg_str(int32_t id, const char *s1, const char *s2, const char *s3,
                                           const char *s4) QRV_NOEXCEPT;
QRV_API void mserror_seterr_1arg(int32_t id, int64_t a) QRV_NOEXCEPT;
QRV_API void mserror_seterr_2arg(int32_t id, int64_t a, int64_t b) QRV_NOEXCEPT;
QRV_API void mserror_seterr_1arg_str(int32_t id, const char *s) QRV_NOEXCEPT;
QRV_API void mserror_seterr_2arg_str(int32_t id, const char *s1, const char *s2) QRV_NOEXCEPT;
QRV_API void mserror_seterr_3arg_str(int32_t id, const char *s1, const char *s2, const char *s3) QRV_NOEXCEPT;

/* Starts a new report with 16151 "O/S error %ld: %s": the error number (an
 * errno value) and the system's text for it. _geterror uses the thread's
 * last operating-system error. */
QRV_API void mserror_seterr_os(int32_t os_error) QRV_NOEXCEPT;
QRV_API void mserror_seterr_os_geterror(void) QRV_NOEXCEPT;

/* Reading the top entry. */
QRV_API int64_t *mserror_geterr_stack(void) QRV_NOEXCEPT;
QRV_API int32_t mserror_geterr_id(void) QRV_NOEXCEPT;
/* 1 and *out = argument i (a string's address for string arguments; valid
 * until the next string argument is pushed); 0 without entry or argument. */
QRV_API int mserror_geterr_arg(int64_t *out, int i) QRV_NOEXCEPT;
QRV_API char *mserror_geterr_argbuf(void) QRV_NOEXCEPT;
/* Removes the top entry; 1, or 0 if no entry is visible. */
QRV_API int mserror_pop(void) QRV_NOEXCEPT;

/* Save and restore the whole stack around destructive reading. A restore
 * with values the stack cannot hold is ignored. */
QRV_API void mserror_stack_save(int32_t *top, int32_t *string_used) QRV_NOEXCEPT;
QRV_API void mserror_stack_restore(int32_t top, int32_t string_used) QRV_NOEXCEPT;

/* Hide the entries present (returns the old floor), and later drop whatever
 * was pushed since and bring them back. */
QRV_API int32_t mserror_cleanup_save(void) QRV_NOEXCEPT;
QRV_API void mserror_cleanup_restore(int32_t old_floor) QRV_NOEXCEPT;

/* Address of the caller's variable slot 0 or 1 (memory placed there is freed
 * with the stack, through the library's allocator); null otherwise. */
QRV_API void **mserror_get_var_slot(int slot) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSERROR_H */
