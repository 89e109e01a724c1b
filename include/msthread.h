/* msthread.h - threads, mutexes and thread-specific data keys.
 *
 * Each family has a _raw form that reports nothing and a plain form that, on
 * failure, pushes the operating-system error (16151) and then its own entry on
 * the calling thread's error stack. Mutexes are recursive. After
 * msthread_mutex_bypass(1) (set by the frame's forced end at process exit)
 * lock, unlock and try-lock do nothing and succeed.
 */
#ifndef MSTHREAD_H
#define MSTHREAD_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Mutexes. All return 1 except the init forms, which return 0 on failure
 * (msthread_mutex_init then pushes 16151 and 16513). Null mutexes return 0. */
QRV_API int msthread_mutex_init_raw(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_init(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_destroy_raw(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_destroy(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_lock_raw(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_lock(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_unlock_raw(qrv_mutex *mutex) QRV_NOEXCEPT;
QRV_API int msthread_mutex_unlock(qrv_mutex *mutex) QRV_NOEXCEPT;
/* Stores 1 in *acquired if the mutex was entered without waiting, else 0. */
QRV_API int msthread_mutex_trylock_raw(qrv_mutex *mutex, int *acquired) QRV_NOEXCEPT;
QRV_API int msthread_mutex_trylock(qrv_mutex *mutex, int *acquired) QRV_NOEXCEPT;
/* Nonzero switches every library mutex to no-ops. Meant for process exit. */
QRV_API void msthread_mutex_bypass(int value) QRV_NOEXCEPT;

/* The frame's init lock and task-key lock (the load hook calls these). */
QRV_API int msthread_initmutex_init(void) QRV_NOEXCEPT;
QRV_API void msthread_initmutex_destroy(void) QRV_NOEXCEPT;

/* Thread-specific data. Keys are MSTHREAD_NO_KEY when absent.
 * Reporting forms push 16401 "invalid thread key", 16402, 16403, 16404 or
 * 16405 as documented for each. */
QRV_API int msthread_key_create_raw(uint32_t *key) QRV_NOEXCEPT;
QRV_API int msthread_key_create(uint32_t *key) QRV_NOEXCEPT;
QRV_API int msthread_key_delete_raw(uint32_t key) QRV_NOEXCEPT;
QRV_API int msthread_key_delete(uint32_t key) QRV_NOEXCEPT;
/* 1 and *value set if the thread's value is non-null; else 0
 * (msthread_data_get: 16401 for MSTHREAD_NO_KEY, 16404 for a null value). */
QRV_API int msthread_data_get_raw(uint32_t key, void **value) QRV_NOEXCEPT;
QRV_API int msthread_data_get(uint32_t key, void **value) QRV_NOEXCEPT;
/* As the get forms, but a null value first joins the thread to the frame
 * (msbasic_init_thread) and reads again. */
QRV_API int msthread_data_get_retry_raw(uint32_t key, void **value) QRV_NOEXCEPT;
QRV_API int msthread_data_get_retry(uint32_t key, void **value) QRV_NOEXCEPT;
QRV_API int msthread_data_set_raw(uint32_t key, void *value) QRV_NOEXCEPT;
QRV_API int msthread_data_set(uint32_t key, void *value) QRV_NOEXCEPT;

/* Threads. The start function's result is kept as the thread's exit code
 * (low 32 bits). Handles are qrv_handle values; 0 means none. */
typedef intptr_t (*msthread_start_fn)(void *arg);

/* Starts fn(arg) on a new thread (stack_size 0: the default). With handle
 * non-null the thread's handle is stored there and must be passed to
 * msthread_thread_join; with null the thread runs detached. reserved is
 * ignored. Returns 1, or 0 if the thread cannot be made. */
QRV_API int msthread_thread_create(msthread_start_fn fn, void *arg, uint32_t stack_size, void *reserved,
                                   qrv_handle *handle) QRV_NOEXCEPT;
/* Waits for the thread to end and closes its handle; 1 unless the wait failed. */
QRV_API int msthread_thread_join(qrv_handle handle) QRV_NOEXCEPT;
/* 1 while the thread has not returned from its start function; else 0. */
QRV_API int msthread_alive(qrv_handle handle) QRV_NOEXCEPT;
/* The calling thread's kernel thread id. */
QRV_API uint32_t msthread_id_get(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSTHREAD_H */
