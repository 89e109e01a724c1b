/* mssio.h - buffered streams and the task's standard streams.
 *
 * A stream wraps a file descriptor (msfio.h) with a 512-byte buffer, a lock
 * and a direction. Output is line-buffered; every read first flushes the
 * pending output of the task's streams, so a prompt appears before input is
 * awaited. Each operation holds the stream's lock for its whole length, so
 * concurrent calls on one stream (formatted output included) never
 * interleave within a call. Each task has a stream table with its open
 * streams and its standard input, output and error.
 *
 * Failures push their error on the calling thread's error stack and return
 * null, -1 or 0 as documented; I/O failures carry the file layer's errors.
 * A value that is not an open stream (closed, or never one; null keeps the
 * result documented for it) is refused without being read: 16151 with
 * EBADF, then the operation's id where it has one (read 16474, write, flush
 * and printf 16478, seek and tell 16472, size 16483, close 16469), and the
 * failure result; the set_ functions install nothing and return 0.
 */
#ifndef MSSIO_H
#define MSSIO_H

#include <stdarg.h>

#include "msfio.h"
#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

typedef struct mssio_stream mssio_stream;

#define MSSIO_BUFFER_SIZE 512

/* Opens path: "r" reads; "w" creates or truncates; "a" writes at the end,
 * creating the file when it cannot be opened; "e" as "a", a new file being
 * reopened for appending only. Another access clears the stack and pushes
 * 16254 "invalid access argument to mssio_open". Text mode unless binary. */
QRV_API mssio_stream *mssio_open(const char *path, const char *access) QRV_NOEXCEPT;
QRV_API mssio_stream *mssio_open_ex(const char *path, int binary, const char *access) QRV_NOEXCEPT;
/* A pipe: streams[0] reads its read end, streams[1] writes its write end,
 * both binary. 1, or 0 (streams untouched). */
QRV_API int mssio_pipe(mssio_stream *streams[2]) QRV_NOEXCEPT;
/* Flushes (when flush is set), releases the stream and closes its
 * descriptor; the descriptor's result. A failed flush returns 0 and leaves
 * the stream open and in the task's table: close it again, or without
 * flushing (the task's end does that). Null: 0. */
QRV_API int mssio_close(mssio_stream *stream) QRV_NOEXCEPT;
QRV_API int mssio_close_ex(mssio_stream *stream, int flush) QRV_NOEXCEPT;
/* Takes the stream out of the task's table only (the task's end will not
 * close it). */
QRV_API int mssio_detach(mssio_stream *stream) QRV_NOEXCEPT;

/* Reads up to count bytes, refilling the buffer until count is met or the
 * file ends: the count, 0 at the end, -1 on failure (16252 "input operation
 * not supported for output file" on an output stream). Null stream: 0. */
QRV_API int mssio_read(mssio_stream *stream, void *buffer, int count) QRV_NOEXCEPT;
/* Copies bytes up to and including delimiter (line feed for readline), or
 * size bytes; terminates when fewer than size were copied. The count, 0 at
 * the end (buffer ""), -1 on failure. */
QRV_API int mssio_readline(mssio_stream *stream, char *buffer, int size) QRV_NOEXCEPT;
QRV_API int mssio_readline_ex(mssio_stream *stream, char *buffer, int size, int delimiter) QRV_NOEXCEPT;
/* Writes count bytes, line-buffered: the count of the caller's bytes written
 * or buffered, -1 on failure (16253 "output operation not supported for
 * input file" on an input stream). Buffered bytes of earlier calls are never
 * dropped by a failing write. Null stream: 0. */
QRV_API int mssio_write(mssio_stream *stream, const void *buffer, int count) QRV_NOEXCEPT;
/* Writes the buffered output: 1, or 0 leaving the unwritten bytes buffered. */
QRV_API int mssio_flush(mssio_stream *stream) QRV_NOEXCEPT;
/* Moves to position (-1: the end of the file): the position or -1. */
QRV_API int64_t mssio_seek(mssio_stream *stream, int64_t position) QRV_NOEXCEPT;
/* The logical position (buffered input not yet read counted back); -1. */
QRV_API int64_t mssio_tell(mssio_stream *stream) QRV_NOEXCEPT;
/* The file's size (buffered output not counted); -1. */
QRV_API int64_t mssio_size(mssio_stream *stream) QRV_NOEXCEPT;
/* Buffering on, off (16251 "attempt to de-allocate non-empty input buffer"
 * with unread input; output is flushed first), or its content discarded. */
QRV_API int mssio_buf_on(mssio_stream *stream) QRV_NOEXCEPT;
QRV_API int mssio_buf_off(mssio_stream *stream) QRV_NOEXCEPT;
QRV_API int mssio_buf_reset(mssio_stream *stream) QRV_NOEXCEPT;
QRV_API int mssio_setbinary(mssio_stream *stream, int binary) QRV_NOEXCEPT;
/* 1 when the stream's file is a terminal (Linux can tell), else 0. */
QRV_API int mssio_isatty(mssio_stream *stream) QRV_NOEXCEPT;
QRV_API int mssio_remove(const char *path) QRV_NOEXCEPT;

/* Formatted output through the library's formatting engine, under the
 * stream's lock: 1 when every piece was written whole, else 0. A null stream
 * gives 1 without output; a null format prints "(NILFORMAT)". printf and
 * eprintf use the task's standard output and error (0 without them). */
QRV_API int mssio_fprintf(mssio_stream *stream, const char *format, ...) QRV_NOEXCEPT;
QRV_API int mssio_fprintf_valist(mssio_stream *stream, const char *format, va_list args) QRV_NOEXCEPT;
QRV_API int mssio_printf(const char *format, ...) QRV_NOEXCEPT;
QRV_API int mssio_printf_valist(const char *format, va_list args) QRV_NOEXCEPT;
QRV_API int mssio_eprintf(const char *format, ...) QRV_NOEXCEPT;
QRV_API int mssio_eprintf_valist(const char *format, va_list args) QRV_NOEXCEPT;

/* The task's standard streams (null without a task) and the names given
 * with them (null when none). */
QRV_API mssio_stream *mssio_get_stdin(void) QRV_NOEXCEPT;
QRV_API mssio_stream *mssio_get_stdout(void) QRV_NOEXCEPT;
QRV_API mssio_stream *mssio_get_stderr(void) QRV_NOEXCEPT;
QRV_API const char *mssio_get_stdin_name(void) QRV_NOEXCEPT;
QRV_API const char *mssio_get_stdout_name(void) QRV_NOEXCEPT;
QRV_API const char *mssio_get_stderr_name(void) QRV_NOEXCEPT;
/* Installs stream as a standard stream with a copy of name (null: none):
 * 1 (0 without a task). */
QRV_API int mssio_set_stdin_ex(mssio_stream *stream, const char *name) QRV_NOEXCEPT;
QRV_API int mssio_set_stdout_ex(mssio_stream *stream, const char *name) QRV_NOEXCEPT;
QRV_API int mssio_set_stderr_ex(mssio_stream *stream, const char *name) QRV_NOEXCEPT;
/* Makes the standard streams' descriptors the standard handles that child
 * processes get: 1 or 0. */
QRV_API int mssio_stdio(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSSIO_H */
