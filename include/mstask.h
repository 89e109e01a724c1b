/* mstask.h - tasks and each thread's current pointer.
 *
 * Every thread has one current pointer: a task block, or the thread block
 * that wraps it once the frame has initialised the thread. Threads that
 * never choose a task share the process's default task. The current pointer
 * is per thread; every function here is thread-safe.
 */
#ifndef MSTASK_H
#define MSTASK_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSTASK_MAGIC 0x199dee99u
#define MSTASK_THREAD_MAGIC 0x199dff99u

/* A task block. The caller owns the blocks of the tasks it sets; the default
 * task belongs to the library. Fields other than application_ws belong to the
 * library. */
typedef struct mstask_block {
    uint32_t magic;       /* MSTASK_MAGIC */
    void *application_ws; /* free for the application or a higher layer */
    void *task_handle;    /* made by the library's init in modes 1 and 2 */
    void *counters;       /* the task's per-layer counts */
} mstask_block;

/* The current pointer, or null (also when the task key cannot be made). */
QRV_API void *mstask_get_ptr(void) QRV_NOEXCEPT;
/* Stores the current pointer; 1, or 0 if it cannot be stored. */
QRV_API int mstask_set_ptr(void *ptr) QRV_NOEXCEPT;
/* The current pointer; with none, the default task is made current first. */
QRV_API void *mstask_get_ptr_w_default(void) QRV_NOEXCEPT;

/* The current task (through the thread block if there is one), or null. */
QRV_API mstask_block *mstask_api_get_task(void) QRV_NOEXCEPT;
QRV_API int mstask_api_current_task_is_default(void) QRV_NOEXCEPT;
QRV_API void *mstask_api_get_task_application_ws(void) QRV_NOEXCEPT;
/* 1, or 0 if the thread has no task. */
QRV_API int mstask_api_set_task_application_ws(void *ws) QRV_NOEXCEPT;

/* Prepares task (magic set, other fields cleared) and makes it current.
 * 0 if task is null or the thread already has a current pointer. */
QRV_API int mstask_api_init_set_task(mstask_block *task) QRV_NOEXCEPT;
/* Makes an already prepared task current; 0 unless it carries the task magic
 * and the thread has no current pointer. */
QRV_API int mstask_api_set_task(mstask_block *task) QRV_NOEXCEPT;
/* Detaches task from the thread; 0 unless it is the current pointer. */
QRV_API int mstask_api_end_task(mstask_block *task) QRV_NOEXCEPT;

/* Makes the thread ready for a layer with cascade: 1 if ready, else 0.
 * A thread already prepared for another cascade returns 0. */
QRV_API int mstask_api_prolog(mstask_block *task, msbasic_cascade_fn cascade) QRV_NOEXCEPT;
/* Ends what mstask_api_prolog began; 1 if it did, 0 if nothing to end. */
QRV_API int mstask_api_end(void) QRV_NOEXCEPT;

/* Thread-detach and process-detach helpers of the load hook. */
QRV_API void mstask_end_thread_win32(void) QRV_NOEXCEPT;
QRV_API void mstask_tlsfree_thread_task_key(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSTASK_H */
