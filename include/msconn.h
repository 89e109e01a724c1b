/* msconn.h - handles and connections.
 *
 * A handle is a zero-filled block whose first 32-bit field is a magic. The
 * task handle (MSHANDLE_TASK_MAGIC, 128 bytes) is made by the library's init
 * for each task.
 *
 * A connection is the handle the layers above use for their connections;
 * this library owns its life. Each task keeps a list of connections with one
 * default connection (made by the task's init); each thread has a current
 * connection (at first the task's default) and may have a PSM connection,
 * which takes precedence while set. A connection still in use when its task
 * ends is handed over through the process-wide slot ghc to the next task
 * that starts. Each connection has a series of temporary-file names
 * (mstmp.h), removed when it is released.
 *
 * Locks: ghcmutex is always taken before a task's list mutex.
 */
#ifndef MSCONN_H
#define MSCONN_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSHANDLE_TASK_MAGIC 0x199b4190u
#define MSHANDLE_TASK_SIZE 128
#define MSCONN_MAGIC 0x199dbb99u

/* A zero-filled block of size bytes (at least 4) with magic in its first
 * 32-bit field, from the library's allocator; null on failure. Thread-safe. */
QRV_API void *mshandle_alloc(uint32_t magic, int size) QRV_NOEXCEPT;

#define MSCONN_SIZE 184

/* Called at task or process end for a connection still in use: first
 * (1, process ending 1 / task ending 0, connection), then (1, connection). */
typedef void (*msconn_end_fn)(int reason, int process_ending, void *connection);
typedef void (*msconn_end2_fn)(int reason, void *connection);

/* A connection (MSCONN_SIZE bytes, zero-filled at creation). The layers
 * above set in_use while they hold it open, set the end handlers and use
 * the mutex; the rest of the block is theirs. */
typedef struct msconn_connection {
    uint32_t magic; /* MSCONN_MAGIC */
    int64_t in_use;
    void *tmpfile_state; /* the series of temporary-file names */
    msconn_end_fn end_handler;
    msconn_end2_fn end_handler2;
    qrv_mutex mutex;
    struct msconn_connection *next; /* in the task's list */
    unsigned char user[72];
} msconn_connection;

/* The connection handed over between tasks (null when empty), guarded by
 * ghcmutex. */
QRV_API extern msconn_connection *ghc;
QRV_API extern qrv_mutex ghcmutex;

/* The connection layer's part of the library's init (1 process, 2 task,
 * 3 thread) and end; run by the library's own layer. */
QRV_API int msconn_init(int mode) QRV_NOEXCEPT;
QRV_API void msconn_end(int mode, int orderly) QRV_NOEXCEPT;

/* A new connection at the front of the current task's list; null on
 * failure (no task list: 16310 "invalid connection handle"; no space). */
QRV_API msconn_connection *msconn_alloc(void) QRV_NOEXCEPT;
/* unlink 0: releases the connection (temporary files, mutex, memory); 1.
 * Otherwise unlinks it from the current task's list first (no longer the
 * default if it was; the thread's current connection falls back to the
 * default, its PSM connection is cleared when it was this one); 1. A
 * connection that is not live (freed, or never made), or with unlink not in
 * the current task's list: 0 + 16310 (stack reset). */
QRV_API int msconn_free(msconn_connection *connection, int unlink) QRV_NOEXCEPT;
/* Releases the connection in ghc and empties it; 1. */
QRV_API int msconn_free_ghc(void) QRV_NOEXCEPT;
/* 1 when connection is live, carries the magic and is in the current
 * task's list; else 0 + 16310 (stack reset). */
QRV_API int msconn_check(msconn_connection *connection) QRV_NOEXCEPT;
/* The current task's default connection, or null. */
QRV_API msconn_connection *msconn_get_task(void) QRV_NOEXCEPT;
/* The current task's first connection, or null. */
QRV_API msconn_connection *msconn_get_list(void) QRV_NOEXCEPT;
/* Removes and returns the first connection of the task's list that is not
 * the default one (null when none; MSCONN_FAILED when the list's mutex
 * cannot be taken). The caller releases it with msconn_free(c, 0). */
#define MSCONN_FAILED ((msconn_connection *)(intptr_t)-1)
QRV_API msconn_connection *msconn_get_first(void) QRV_NOEXCEPT;
/* The thread's PSM connection if set, else its current connection; for a
 * thread without a connection pair, the task's default connection. */
QRV_API msconn_connection *msconn_get_thread(void) QRV_NOEXCEPT;
/* Makes connection the thread's current connection and returns the
 * previous one; MSCONN_FAILED with the stack reset and 16523 "thread
 * workspace not initialized" (no pair), 16310 (null, not live or no magic)
 * or 16533 "not allowed to set default connection in PSM" (a PSM
 * connection is set). */
QRV_API msconn_connection *msconn_set_conn_thread(msconn_connection *connection) QRV_NOEXCEPT;
/* Sets (or with null clears) the thread's PSM connection: 1, or 0 + 16523. */
QRV_API int msconn_set_conn_psm(msconn_connection *connection) QRV_NOEXCEPT;
/* Moves a connection of the current task into ghc: 1; 0 when it is null,
 * ghc is occupied, the task has no list or the connection is not in it. */
QRV_API int msconn_to_ghc(msconn_connection *connection) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSCONN_H */
