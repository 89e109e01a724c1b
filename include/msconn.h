/* msconn.h - handles and connections.
 *
 * A handle is a zero-filled block whose first 32-bit field is a magic. The
 * task handle (MSHANDLE_TASK_MAGIC, 128 bytes) is made by the library's init
 * for each task.
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

QRV_EXTERN_C_END

#endif /* MSCONN_H */
