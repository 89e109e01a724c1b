/* msfio.h - file I/O on descriptors.
 *
 * A descriptor (msfio_fd) is the address of a small record holding the
 * operating-system handle, a binary flag and the read-ahead state of text
 * mode. MSFIO_NONE (-1) means no descriptor; MSFIO_NULL (-911) is the null
 * descriptor, on which every operation succeeds and does nothing (read gives
 * 0, write the requested count, tell 0, seek -1, fstat type 'c' size 0, dup
 * returns it, close succeeds).
 *
 * Text mode turns CR LF into LF when reading and LF into CR LF when writing
 * on descriptors opened with binary 0, but only when the process switched it
 * on: MSTEXTMODE was "crlf" (any case) at the first msbasic_init_main.
 * Otherwise text and binary descriptors behave alike.
 *
 * Failures push 16151 "O/S error %ld: %s" (errno and its text) where the
 * system refused, then this family's error id, on the calling thread's
 * error stack, and return -1 (descriptors, counts, positions) or 0 (flags).
 * Bad arguments (MSFIO_NONE, a value that is not a descriptor, a null
 * buffer, a negative count) report errno EBADF or EINVAL the same way,
 * under the id of the operation. A descriptor is refused once closed, also
 * when a new descriptor was opened since. A descriptor must not be used by two
 * threads at once; different descriptors may be. The standard descriptors
 * change only during the library's process init and teardown.
 */
#ifndef MSFIO_H
#define MSFIO_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

typedef intptr_t msfio_fd;
#define MSFIO_NONE ((msfio_fd)-1)
#define MSFIO_NULL ((msfio_fd)-911)

/* Makes msfio_create_tmp create an ordinary file when 1; 0 by default and
 * never set by the library. */
QRV_API extern int32_t msrte_type;

/* Opens an existing file ("nul" in any case: the null device). access: 'r'
 * read, 'w' write, 'a' write positioned at the end, 'u' read and write, 'e'
 * read and append, 'l' append only. Another access clears the stack and
 * reports 16126 "invalid access argument to msfio_open"; a failed open
 * 16473 "cannot open file '%s'". _writethrough: writes reach the device
 * before they return (O_DSYNC). */
QRV_API msfio_fd msfio_open(const char *path, int binary, char access) QRV_NOEXCEPT;
QRV_API msfio_fd msfio_open_writethrough(const char *path, int binary, char access) QRV_NOEXCEPT;
/* Creates path for reading and writing (mode 0666 & ~umask; mode is
 * ignored): exclusive fails when it exists, otherwise an existing file is
 * truncated. 16470 "cannot create file '%s'". _tmp: mode 0600 and the name
 * is removed right after creation, so the file goes with its last close
 * (an ordinary file when msrte_type is 1). */
QRV_API msfio_fd msfio_create(const char *path, int binary, int mode, int exclusive) QRV_NOEXCEPT;
QRV_API msfio_fd msfio_create_abs_perms_writethrough(const char *path, int binary, int mode,
                                                     int exclusive) QRV_NOEXCEPT;
QRV_API msfio_fd msfio_create_tmp(const char *path, int binary, int mode, int exclusive) QRV_NOEXCEPT;
/* A new descriptor on a duplicate of the handle, same binary flag, not
 * inherited by child processes; 16471 "cannot dup file". */
QRV_API msfio_fd msfio_dup(msfio_fd fd) QRV_NOEXCEPT;
/* An anonymous pipe, both ends binary and inherited by child processes:
 * fds[0] reads, fds[1] writes. 1, or 0 with 16486 "cannot create pipe"
 * (fds untouched). */
QRV_API int msfio_pipe(msfio_fd fds[2]) QRV_NOEXCEPT;
/* Wraps a handle in a new descriptor (-1 when no space is left), returns a
 * descriptor's handle (QRV_INVALID_HANDLE for anything else, nothing
 * reported), sets the binary flag (0 for descriptor 0 and non-descriptors,
 * else 1). */
QRV_API msfio_fd msfio_win_mkdes(qrv_handle handle, int binary) QRV_NOEXCEPT;
QRV_API qrv_handle msfio_win_osfd_get(msfio_fd fd) QRV_NOEXCEPT;
QRV_API int msfio_win_setbinary(msfio_fd fd, int binary) QRV_NOEXCEPT;

/* Reads up to count bytes: the count delivered, 0 at end of file, -1 on
 * failure. A failed read clears the stack and reports 16116 "file read
 * interrupted"; bad arguments 16474 "cannot read from file". */
QRV_API int msfio_read(msfio_fd fd, void *buffer, int count) QRV_NOEXCEPT;
/* Writes count bytes; returns how many of the caller's bytes were written.
 * A write the system completed only in part reports errno and 16125
 * "partial write to file" and returns that part; one that wrote nothing
 * 16478 "cannot write to file" and -1. */
QRV_API int msfio_write(msfio_fd fd, const void *buffer, int count) QRV_NOEXCEPT;
/* Moves to position (-1: the end); the new position, or -1 with 16472
 * "cannot seek in file". */
QRV_API int64_t msfio_seek(msfio_fd fd, int64_t position) QRV_NOEXCEPT;
/* Moves by distance; the new position, or -1 with 16472 (also when the new
 * position would not fit in 31 bits: the position is then left alone). */
QRV_API int32_t msfio_seek_relative(msfio_fd fd, int32_t distance) QRV_NOEXCEPT;
/* The position of the next byte a read delivers; -1 with 16472. */
QRV_API int64_t msfio_tell(msfio_fd fd) QRV_NOEXCEPT;
/* Flushes to the device: 1, or 0 with 16480 "cannot sync file". */
QRV_API int msfio_sync(msfio_fd fd) QRV_NOEXCEPT;
/* Sets the file's size, the position unchanged: 1, or 0 with 16536 "cannot
 * set end of file". */
QRV_API int msfio_ftruncate(msfio_fd fd, int64_t length) QRV_NOEXCEPT;
/* Closes the handle and releases the record: 1, or 0 with 16469 "cannot
 * close file". The standard descriptors are left alone (1). */
QRV_API int msfio_close(msfio_fd fd) QRV_NOEXCEPT;

/* 0: nothing at path; 1: a directory; 2: anything else ("nul" gives 2). */
QRV_API int msfio_exists(const char *path) QRV_NOEXCEPT;
/* What stat(2) tells of path: type 'r' regular file, 'c' character device
 * ("nul"), 'p' pipe or socket, 'o' other (directories); size; access and
 * modification times in seconds since 1970 (32 bits); permissions always 7.
 * Any out pointer may be null. 1, or 0 with 16484 "cannot stat file '%s'". */
QRV_API int msfio_stat(const char *path, char *type, int64_t *size, int32_t *access_time, int32_t *modify_time,
                       int *permissions) QRV_NOEXCEPT;
/* The same of an open descriptor: 1, or 0 with 16483 "cannot stat file". */
QRV_API int msfio_fstat(msfio_fd fd, char *type, int64_t *size, int32_t *access_time, int32_t *modify_time,
                        int *permissions) QRV_NOEXCEPT;
/* Always 2048; msfio_maxfd_set does nothing. */
QRV_API int msfio_maxfd_get(void) QRV_NOEXCEPT;
QRV_API void msfio_maxfd_set(void) QRV_NOEXCEPT;
/* Whether child processes inherit the handle: 1, or 0 with 16134 "cannot
 * set inheritance for file". A handle the system calls invalid counts as
 * success (the stack is left as it was). */
QRV_API int msfio_inherit_set(msfio_fd fd, int on) QRV_NOEXCEPT;
/* Whole-file exclusive lock between open files (of this or other
 * processes), taken on the byte at 2^63 - 2 so that no data byte is locked;
 * wait 0 fails at once when another holds it. The descriptor must be open
 * for writing. 1, or 0 with 16113 "cannot lock file" / 16123 "cannot unlock
 * file". */
QRV_API int msfio_lock(msfio_fd fd, int wait) QRV_NOEXCEPT;
QRV_API int msfio_unlock(msfio_fd fd) QRV_NOEXCEPT;

/* Removes a file: 1 (also when it does not exist), or 0 with 16477 "cannot
 * remove file '%s'" ("nul" gives 0). */
QRV_API int msfio_remove(const char *path) QRV_NOEXCEPT;
/* Renames without replacing an existing target and without copying: 1, or
 * 0 with 16132 "cannot rename file across devices" (EXDEV) or 16475 "cannot
 * rename file '%s' to '%s'" (either name "nul" too). */
QRV_API int msfio_rename(const char *from, const char *to) QRV_NOEXCEPT;
QRV_API int msfio_move_file(const char *from, const char *to) QRV_NOEXCEPT;
/* 1, or 0 with 16489 "cannot create directory '%s'" / 16490 "cannot remove
 * directory '%s'". */
QRV_API int msfio_mkdir(const char *path) QRV_NOEXCEPT;
QRV_API int msfio_rmdir(const char *path) QRV_NOEXCEPT;
/* 1 when path is a directory; else the stack is cleared and 16136
 * "directory '%s' does not exist" or 16137 "'%s' is not a directory" is
 * reported with name, and 0. */
QRV_API int msfio_dir_exists(const char *path, const char *name) QRV_NOEXCEPT;
/* 1 when nothing exists at path; else the stack is cleared and 16135
 * "directory '%s' already exists" or 16137 is reported with name, and 0. */
QRV_API int msfio_dir_exists_not(const char *path, const char *name) QRV_NOEXCEPT;
/* The absolute form of path into buffer when it is a directory and fits;
 * 1, or 0 with 16114 "cannot access directory '%s'" (buffer untouched). */
QRV_API int msfio_abs_dir(const char *path, char *buffer, int size) QRV_NOEXCEPT;

/* Directory listing of the names in directory that begin with prefix (null
 * or "": all names, "." and ".." included). opendir: null with 16129
 * "cannot open directory '%s'". readdir writes the next name (cut to size-1
 * bytes, never inside a UTF-8 sequence) and returns 1; after the last one it
 * writes "" and returns 1; 0 with 16130 "cannot read directory" (errno
 * EBADF for a value that is not an open listing). closedir: 1, or 0 for
 * null and, with 16151 EBADF, for a value that is not an open listing. */
typedef struct msfio_dir msfio_dir;
QRV_API msfio_dir *msfio_opendir(const char *directory, const char *prefix) QRV_NOEXCEPT;
QRV_API int msfio_readdir(msfio_dir *listing, char *buffer, int size) QRV_NOEXCEPT;
QRV_API int msfio_closedir(msfio_dir *listing) QRV_NOEXCEPT;
/* Removes a file, or a directory with everything below it (symbolic links
 * are removed, never followed); stops at the first failure. 1 or 0. */
QRV_API int msfio_dir_rm_all(const char *path) QRV_NOEXCEPT;
/* Removes the files of directory whose names begin with prefix; a
 * subdirectory among them stops it with 0. */
QRV_API int msfio_dir_rm_files(const char *directory, const char *prefix) QRV_NOEXCEPT;

/* The current standard descriptors (MSFIO_NONE before the library's process
 * init). At init they wrap the standard handles (text mode) and are then
 * redirected: MSSTDIN names a file to read; MSSTDOUT and MSSTDERR a file to
 * create, or with a leading '+' to append to; equal MSSTDOUT and MSSTDERR
 * share one descriptor. */
QRV_API msfio_fd msfio_get_stdin(void) QRV_NOEXCEPT;
QRV_API msfio_fd msfio_get_stdout(void) QRV_NOEXCEPT;
QRV_API msfio_fd msfio_get_stderr(void) QRV_NOEXCEPT;
/* Makes the descriptors' handles the standard handles child processes get
 * (msos_setstdhandle); MSFIO_NULL gives QRV_INVALID_HANDLE. 1, or 0 with
 * the operating-system error EBADF when one is not a descriptor. */
QRV_API int msfio_stdio(msfio_fd in, msfio_fd out, msfio_fd err) QRV_NOEXCEPT;
/* Classifies the errno recorded under the top entry of the stack (which is
 * left unchanged): ENOENT 4, EACCES/EPERM/EISDIR 1, EEXIST 2, ECANCELED 3,
 * anything else or no such entry 0. */
QRV_API int msfio_get_qrv_oserr(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSFIO_H */
