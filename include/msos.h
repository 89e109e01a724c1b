/* msos.h - the operating-system layer.
 *
 * msos_ functions wrap one platform call each and report nothing on the error
 * stack; the operating-system error they leave is msos_geterror() (errno).
 * Error numbers in this family are errno values. None of them takes a lock.
 */
#ifndef MSOS_H
#define MSOS_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* Atomics on 32-bit integers: exchange returns the old value, inc/dec the new. */
QRV_API int32_t msos_interlockedexchange(int32_t *target, int32_t value) QRV_NOEXCEPT;
QRV_API int32_t msos_atomic_inc(int32_t *target) QRV_NOEXCEPT;
QRV_API int32_t msos_atomic_dec(int32_t *target) QRV_NOEXCEPT;

/* Yields the processor to another ready thread. */
QRV_API void msos_relinquish_thread(void) QRV_NOEXCEPT;
QRV_API int32_t msos_getpid(void) QRV_NOEXCEPT;
QRV_API uint32_t msos_GetCurrentThreadId(void) QRV_NOEXCEPT;
/* With a nonzero flag, the library's process exit ends only the calling thread. */
QRV_API void msos_set_thread_exit_strategy(int flag) QRV_NOEXCEPT;

/* The thread's last operating-system error (errno); both names are the same. */
QRV_API int32_t msos_geterror(void) QRV_NOEXCEPT;
QRV_API int32_t msos_getlasterror(void) QRV_NOEXCEPT;
/* The system's text for an errno value (strerror_r), "" for 0. With a buffer,
 * at most size-1 bytes are copied, the buffer is NUL-terminated (when size > 0)
 * and returned. Without a buffer, an allocated copy is returned (null for 0 or
 * on allocation failure), to be freed with msos_freeerrormsg. */
QRV_API char *msos_geterrormsg(int32_t code, char *buffer, int size) QRV_NOEXCEPT;
QRV_API void msos_freeerrormsg(char *text) QRV_NOEXCEPT;
QRV_API char *msos_strerror_r(int32_t code, char *buffer, int size) QRV_NOEXCEPT;

/* Critical sections: recursive mutexes in a caller-owned qrv_mutex (the spin
 * count is ignored). Init returns nonzero on success; null mutexes are ignored. */
QRV_API int msos_InitializeCSAndSpinCount(qrv_mutex *cs, uint32_t spin_count) QRV_NOEXCEPT;
QRV_API void msos_EnterCriticalSection(qrv_mutex *cs) QRV_NOEXCEPT;
QRV_API int msos_TryEnterCriticalSection(qrv_mutex *cs) QRV_NOEXCEPT;
QRV_API void msos_LeaveCriticalSection(qrv_mutex *cs) QRV_NOEXCEPT;
QRV_API void msos_DeleteCriticalSection(qrv_mutex *cs) QRV_NOEXCEPT;

/* Thread-local slots: MSTHREAD_NO_KEY on failure; Free/SetValue nonzero on
 * success; GetValue null for unset values and unknown slots. */
QRV_API uint32_t msos_TlsAlloc(void) QRV_NOEXCEPT;
QRV_API int msos_TlsFree(uint32_t slot) QRV_NOEXCEPT;
QRV_API void *msos_TlsGetValue(uint32_t slot) QRV_NOEXCEPT;
QRV_API int msos_TlsSetValue(uint32_t slot, void *value) QRV_NOEXCEPT;

/* Threads. routine's result is the thread's exit code. Returns the thread's
 * handle, or 0 on failure (errno set). security and flags are ignored. */
typedef uint32_t (*msos_thread_routine)(void *arg);
#define MSOS_STILL_ACTIVE 259u
#define MSOS_INFINITE 0xFFFFFFFFu
#define MSOS_WAIT_OBJECT_0 0u
#define MSOS_WAIT_TIMEOUT 258u
#define MSOS_WAIT_FAILED 0xFFFFFFFFu
QRV_API qrv_handle msos_createthread(void *security, uint32_t stack_size, msos_thread_routine routine, void *arg,
                                     uint32_t flags, uint32_t *thread_id) QRV_NOEXCEPT;
/* Waits up to timeout_ms (MSOS_INFINITE: no limit) for a thread handle to end:
 * MSOS_WAIT_OBJECT_0, MSOS_WAIT_TIMEOUT or MSOS_WAIT_FAILED. */
QRV_API uint32_t msos_waitforsingleobject(qrv_handle handle, uint32_t timeout_ms) QRV_NOEXCEPT;
/* Closes a thread handle (the thread goes on, detached) or a file
 * descriptor. Nonzero on success. */
QRV_API int msos_closehandle(qrv_handle handle) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSOS_H */
