// Internal seam of the operating-system layer: what the rest of the library
// may ask of the platform beyond the exported msos_ functions. Only os/ (and
// the load hook) include platform headers.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "qrvdefs.h"

namespace qrv::os {

// Repeats a system call that a signal interrupted (-1 with EINTR) until it
// gives a result of its own. Not for close: its descriptor is gone either way.
template <typename Call>
inline auto retry_eintr(Call call) noexcept {
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR)) return result;
    }
}

// Forgets the fine-grained clock's anchor and reads the time zone (TZ)
// again: the next reading anchors afresh. For process initialisation.
void clock_restart() noexcept;

// Sleeps the whole of t, resuming after signals.
void sleep_timespec(struct timespec t) noexcept;

// 1 while the thread behind handle has not returned from its routine, 0 once
// it has, -1 if handle is not a thread handle.
int thread_running(qrv_handle handle) noexcept;
// The exit code of a thread handle (MSOS_STILL_ACTIVE while it runs).
uint32_t thread_exit_code(qrv_handle handle) noexcept;

// Renames from to to, replacing an existing to atomically (the file layer's
// rename never replaces): 0, or -1 with errno.
int rename_replace(const char *from, const char *to) noexcept;

// Writes all of text to the process's standard error (fd 2), retrying
// interrupted and short writes; errors are ignored (diagnostics only).
void write_stderr(const char *text, size_t length) noexcept;

// The environment value of name, or null. The pointer stays valid until the
// environment is changed.
const char *getenv(const char *name) noexcept;

// The thread exit strategy set by msos_set_thread_exit_strategy.
int thread_exit_strategy() noexcept;

// The language identifier recorded by msos_seterrormsg_lang_to_english or
// _japanese (0x0409, 0x0411), 0 before either is called.
uint32_t errormsg_language() noexcept;

// What the file layer needs to know of an open file, in one fstat: kind
// 'r' regular, 'd' directory, 'c' character device, 'p' pipe or socket,
// 'o' other; size in bytes; access and modification times in seconds since
// 1970. False with errno set on failure.
struct FileInfo {
    char kind;
    int64_t size;
    int64_t access_time;
    int64_t modify_time;
};
bool file_info(qrv_handle handle, FileInfo *info) noexcept;

// The same of a path (stat(2), links followed).
bool path_info(const char *path, FileInfo *info) noexcept;

// True when both paths name one existing file (links followed).
bool same_file(const char *a, const char *b) noexcept;

// True when path itself (not a link to one) is a directory.
bool is_real_directory(const char *path) noexcept;

// A duplicate of handle that child processes do not inherit, or
// QRV_INVALID_HANDLE with errno.
qrv_handle duplicate_handle(qrv_handle handle) noexcept;

// Sets the size of the file, leaving its position alone. False with errno.
bool set_file_size(qrv_handle handle, int64_t size) noexcept;

// Sleeps the given microseconds.
void sleep_microseconds(uint32_t us) noexcept;

// True when path names the null device ("nul" in any case).
bool is_nul_name(const char *path) noexcept;

// A flag of msos_createfile beyond the Windows ones, for read-only opens of
// files the library reads as data (variable files, NLS files): only a
// regular file or the null device opens; anything else (a FIFO, a device, a
// socket) fails with EINVAL without being waited on, a directory with EISDIR.
inline constexpr uint32_t kOpenRegularOnly = 0x00010000u;

// Wakes every wait on several objects: a thread returned or an event was set.
void notify_waiters() noexcept;

// Closes or waits on the handle kinds of os_sync.cpp; -1 if handle is not
// one of theirs.
int close_sync_handle(qrv_handle handle) noexcept;
int wait_sync_handle(qrv_handle handle, uint32_t timeout_ms, uint32_t *result) noexcept;

// The search handles of os_file.cpp: 1 closed, -1 not a search handle.
int close_search_handle(qrv_handle handle) noexcept;

// Fresh zeroed read/write pages, and their release (only blocks of
// bigmem_alloc are accepted: false with EINVAL otherwise).
void *bigmem_alloc(size_t size) noexcept;
bool bigmem_free(void *block) noexcept;

// Heap of the C runtime, unaccounted.
void *heap_realloc(void *block, size_t size) noexcept;
void heap_free(void *block) noexcept;

// msos_writefile with the choice of holding SIGPIPE back: only pipes and
// sockets can raise it, and holding it costs two system calls per write.
int write_handle(qrv_handle handle, const void *buffer, uint32_t count, uint32_t *done,
                 bool may_raise_sigpipe) noexcept;

// True when handle (a file descriptor) is a terminal.
bool is_terminal(qrv_handle handle) noexcept;

}  // namespace qrv::os
