/* msbasic.h - the init/end frame of the library and of every layer built on it.
 *
 * A layer is an (init, end) pair registered by its cascade function. A program
 * runs msbasic_init_main(cascade) once per task or thread that needs the layers
 * and msbasic_end_main(cascade) to end them. All init and end passes are
 * serialised by one process-wide init lock; every function here is
 * thread-safe. Failures return 0 and leave the reason on the calling thread's
 * error stack (mserror.h) where the failing layer put it.
 */
#ifndef MSBASIC_H
#define MSBASIC_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Runs the cascade once (first use), then raises the process, task and thread
 * counts of every layer it registered and calls each init function whose count
 * became 1 (mode 1, 2 or 3). A process whose id differs from the recorded one
 * (a forked child) first ends the inherited state with orderly flag 0.
 * Returns 1, or 0 on failure; a failure disables init until the frame is torn
 * down completely. */
QRV_API int msbasic_init_main(msbasic_cascade_fn cascade) QRV_NOEXCEPT;

/* Registers a layer; only has effect while a cascade runs inside
 * msbasic_init_main. A known init with another end (or the reverse) is a
 * conflict that makes msbasic_init_main fail. */
QRV_API void msbasic_init_end_register(msbasic_init_fn init, msbasic_end_fn end) QRV_NOEXCEPT;

/* The cascade of this library's own layer. */
QRV_API void msbasic_init_cascade(void) QRV_NOEXCEPT;

/* Joins the calling thread to every layer already in use by its task.
 * Returns 1 (also when nothing is registered), 0 on failure. */
QRV_API int msbasic_init_thread(void) QRV_NOEXCEPT;

/* Lowers the counts raised by msbasic_init_main(cascade) and calls end
 * functions in reverse order. Returns 0 only if the init lock cannot be taken. */
QRV_API int msbasic_end_main(msbasic_cascade_fn cascade) QRV_NOEXCEPT;

/* End everything of the calling task (mode 2), of the calling thread (mode 3)
 * or of the process (mode 1). The _force forms first switch every library
 * mutex to bypass for the rest of the process. msbasic_end_thread only tries
 * the init lock (999999 times) and warns on standard error if it never gets it. */
QRV_API void msbasic_end_task(void) QRV_NOEXCEPT;
QRV_API void msbasic_end_task_force(void) QRV_NOEXCEPT;
QRV_API void msbasic_end_thread(void) QRV_NOEXCEPT;
QRV_API void msbasic_end_all(void) QRV_NOEXCEPT;
QRV_API void msbasic_end_all_force(void) QRV_NOEXCEPT;

/* 0 makes msbasic_end_all do nothing. Initially 1. */
QRV_API extern int32_t msbasic_end_all_ok;

/* 1 if this library's layer is in use by exactly one process-level count. */
QRV_API int msbasic_is_inited_once(void) QRV_NOEXCEPT;

/* With MSDEBUG containing "endcheck": warns on standard error about layers
 * whose end function the current task has not called yet. */
QRV_API void msbasic_check_end_task(void) QRV_NOEXCEPT;

/* Nonzero if the MSDEBUG value captured at process init contains word. */
QRV_API int msbasic_debug_check(const char *word) QRV_NOEXCEPT;

/* The process id recorded at process init (0: none). */
QRV_API int32_t msbasic_get_init_pid(void) QRV_NOEXCEPT;
QRV_API void msbasic_set_init_pid(int32_t pid) QRV_NOEXCEPT;

/* Test-and-set on a 32-bit flag: stores 1, returns 1 if it was 0 (acquired).
 * msbasic_tset_unset stores 0 and returns 0. Null flags return 0. */
QRV_API int msbasic_tset(int32_t *flag) QRV_NOEXCEPT;
QRV_API int msbasic_tset_unset(int32_t *flag) QRV_NOEXCEPT;

/* The calling thread's workspace: 16 pointer slots (slot 12 connections,
 * slot 13 the library's per-thread anchor; the others are free for layers).
 * msbasic_get_thread_wss joins the thread to the frame first if needed
 * (null if that fails or nothing is initialised); _only never initialises. */
#define MSBASIC_THREAD_WSS_SLOTS 16
QRV_API void **msbasic_get_thread_wss(void) QRV_NOEXCEPT;
QRV_API void **msbasic_get_thread_wss_only(void) QRV_NOEXCEPT;

/* ---------------------------------------------------------------------- */
/* Process settings                                                        */
/* ---------------------------------------------------------------------- */

/* The installation directory, resolved at process init: the preset of
 * msapi_setquorvelpath_qrvcs; else QUORVELPATH when QUORVELPATH_FROM_ENV is
 * set; else QUORVELPATH; else the folder above the one holding this library
 * when it has config/initfile.txt; else "<INMEM>" (the built-in store).
 * Null before it is resolved. msbasic_set_quorvelpath stores the pointer
 * itself (not a copy). Not to be changed while other threads read it. */
#define MSBASIC_INMEM_QUORVELPATH "<INMEM>"
QRV_API const char *msbasic_get_quorvelpath(void) QRV_NOEXCEPT;
QRV_API void msbasic_set_quorvelpath(const char *path) QRV_NOEXCEPT;
/* 0 when the installation directory is null or "<INMEM>", else 1. */
QRV_API int msbasic_quorvelpath_is_real(void) QRV_NOEXCEPT;
/* Presets the installation directory for the next process init: 1, or 0
 * for null or a path longer than 1023 bytes. Call before init. */
QRV_API int msapi_setquorvelpath_qrvcs(const char *path) QRV_NOEXCEPT;

/* The temporary directory (MSTMPDIR, TMPDIR, TEMP, TMP or "."), active
 * from process init to process end. msbasic_get_tmpdir stores its length
 * with the terminator in *size and copies it into buffer when *size was at
 * least that, returning buffer; otherwise null. Inactive: *size = -1, null.
 * msbasic_get_tmpdir_len: the length with terminator, or -1 when inactive.
 * msbasic_set_tmpdir copies at most 992 bytes (whole characters): 1, or 0
 * when inactive or path is null. All thread-safe (the directory's mutex). */
QRV_API char *msbasic_get_tmpdir(char *buffer, int *size) QRV_NOEXCEPT;
QRV_API int msbasic_get_tmpdir_len(void) QRV_NOEXCEPT;
QRV_API int msbasic_set_tmpdir(const char *path) QRV_NOEXCEPT;

/* The current task's program name (the pointer is stored, not copied), or
 * null; set: 1, or 0 when the thread has no initialised task. */
QRV_API const char *msbasic_get_progname(void) QRV_NOEXCEPT;
QRV_API int msbasic_set_progname(const char *name) QRV_NOEXCEPT;

/* The library's code set: id 3, name "UTF8", directory name "utf8". */
QRV_API int msbasic_get_codeset_id(void) QRV_NOEXCEPT;
QRV_API const char *msbasic_get_codeset_name(void) QRV_NOEXCEPT;
QRV_API const char *msbasic_get_codeset_dirname(void) QRV_NOEXCEPT;

/* Operating-system queries of the original platform family: query 1
 * answers 1; 2 to 12 (versions of another system) and all others 0. */
QRV_API int msbasic_sysinfo_os_is(int query) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSBASIC_H */
