/* qrvdefs.h - types and macros shared by every public header of qrvbasic.
 *
 * Compiles on its own as C99 and as C++. Every exported function carries
 * QRV_API; everything else in the library is hidden.
 */
#ifndef QRVDEFS_H
#define QRVDEFS_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QRV_API __attribute__((visibility("default")))
#else
#define QRV_API
#endif

#ifdef __cplusplus
#define QRV_EXTERN_C_BEGIN extern "C" {
#define QRV_EXTERN_C_END }
#define QRV_NOEXCEPT noexcept
#else
#define QRV_EXTERN_C_BEGIN
#define QRV_EXTERN_C_END
#define QRV_NOEXCEPT
#endif

/* Library version: 10.20.7. */
#define QRV_VERSION_MAJOR 10
#define QRV_VERSION_MINOR 20
#define QRV_VERSION_PATCH 7

/* Frame modes passed to init and end functions. */
#define MSBASIC_MODE_PROCESS 1
#define MSBASIC_MODE_TASK 2
#define MSBASIC_MODE_THREAD 3

/* One UTF-16 unit at the platform interface. */
typedef uint16_t qrv_wchar;

/* Platform handle; QRV_INVALID_HANDLE (all bits set) means none. */
typedef intptr_t qrv_handle;
#define QRV_INVALID_HANDLE ((qrv_handle)-1)

/* Thread-specific data key; MSTHREAD_NO_KEY means none. */
#define MSTHREAD_NO_KEY 0xFFFFFFFFu

/* A mutex: an opaque record the caller allocates (statically or inside its
 * own records) and initialises with msthread_mutex_init. */
#define QRV_MUTEX_SIZE 64
typedef struct qrv_mutex {
    union {
        unsigned char bytes[QRV_MUTEX_SIZE];
        int64_t align_;
        void *align_ptr_;
    } u;
} qrv_mutex;

/* Layer functions of the init/end frame. */
typedef void (*msbasic_cascade_fn)(void);
typedef int (*msbasic_init_fn)(int mode);
typedef void (*msbasic_end_fn)(int mode, int orderly);

/* A point in time or a duration: seconds since 1970-01-01 00:00:00 UTC (or
 * local wall-clock seconds on the same scale) and nanoseconds 0..999999999.
 * Shared by the clock of msos.h and the arithmetic of mstime.h. */
typedef struct mstime_timeval {
    int64_t sec;
    int32_t nsec;
} mstime_timeval;

/* Output sink of the formatting engine. */
typedef void (*qrv_sink_fn)(void *context, const char *data, int length);

#endif /* QRVDEFS_H */
