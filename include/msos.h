/* msos.h - the operating-system layer.
 *
 * msos_ functions wrap one platform call each and report nothing on the error
 * stack; the operating-system error they leave is msos_geterror() (errno).
 * mseos_ functions call the matching msos_ function and, on failure, start a
 * new report with 16151 "O/S error %ld: %s" (the errno value and its text)
 * and push their own error id on top; errno is left as the failure set it.
 * Error numbers and "platform status" results in this family are errno
 * values. The names and constants follow the calls they stand for on other
 * systems; results are "nonzero on success" unless a comment says otherwise.
 * Unless a comment says otherwise a function is thread-safe and takes no
 * lock of the library.
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
/* The socket layer's last error: errno, as for every other call. */
QRV_API int32_t msos_wsagetlasterror(void) QRV_NOEXCEPT;
/* Choose the language of the system's error texts: English (identifier
 * 0x0409) or Japanese (0x0411); the message layer calls one at process
 * init. Linux texts follow the program's own locale, so the choice is
 * recorded and changes no text. Thread-safe. */
QRV_API void msos_seterrormsg_lang_to_english(void) QRV_NOEXCEPT;
QRV_API void msos_seterrormsg_lang_to_japanese(void) QRV_NOEXCEPT;

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
/* Waits up to timeout_ms (MSOS_INFINITE: no limit) for a thread handle to end
 * or an event to be signalled (an automatic-reset event is consumed):
 * MSOS_WAIT_OBJECT_0, MSOS_WAIT_TIMEOUT or MSOS_WAIT_FAILED (EBADF). */
QRV_API uint32_t msos_waitforsingleobject(qrv_handle handle, uint32_t timeout_ms) QRV_NOEXCEPT;
/* Closes a thread handle (the thread goes on, detached), an event, a file
 * mapping, a search handle or a file descriptor (close(2), never retried).
 * Nonzero on success; 0 with EBADF for anything else. */
QRV_API int msos_closehandle(qrv_handle handle) QRV_NOEXCEPT;

#if defined(__GNUC__)
#define MSOS_NORETURN __attribute__((noreturn))
#else
#define MSOS_NORETURN
#endif

/* ---- Records shared by several calls -------------------------------------- */

/* Security attributes: only inherit_handle has an effect (nonzero: the new
 * handle survives exec in child processes). */
typedef struct msos_security_attributes {
    uint32_t length;
    void *security_descriptor;
    int inherit_handle;
} msos_security_attributes;

/* A security descriptor is recorded but grants nothing: files get their modes
 * from the umask (0666 & ~umask, directories 0777 & ~umask). */
typedef struct msos_security_descriptor {
    uint32_t revision;
    int dacl_present;
    void *dacl;
    int dacl_defaulted;
} msos_security_descriptor;

/* Carries the starting offset of a byte-range lock (offset_high:offset). */
typedef struct msos_overlapped {
    uintptr_t internal;
    uintptr_t internal_high;
    uint32_t offset;
    uint32_t offset_high;
    qrv_handle event;
} msos_overlapped;

/* One directory entry: its attribute bits, times in seconds since 1970
 * (change_time is the inode's status change), size and UTF-8 name. */
typedef struct msos_find_data {
    uint32_t attributes;
    int64_t change_time;
    int64_t access_time;
    int64_t write_time;
    uint64_t size;
    char name[256];
} msos_find_data;

/* ---- Files, directories and paths ------------------------------------------ */

#define MSOS_GENERIC_READ 0x80000000u
#define MSOS_GENERIC_WRITE 0x40000000u
#define MSOS_FILE_APPEND_DATA 0x00000004u
#define MSOS_FILE_SHARE_READ 1u
#define MSOS_FILE_SHARE_WRITE 2u
#define MSOS_FILE_SHARE_DELETE 4u
#define MSOS_CREATE_NEW 1u
#define MSOS_CREATE_ALWAYS 2u
#define MSOS_OPEN_EXISTING 3u
#define MSOS_OPEN_ALWAYS 4u
#define MSOS_TRUNCATE_EXISTING 5u
#define MSOS_FILE_ATTRIBUTE_READONLY 0x01u
#define MSOS_FILE_ATTRIBUTE_DIRECTORY 0x10u
#define MSOS_FILE_ATTRIBUTE_NORMAL 0x80u
#define MSOS_FILE_ATTRIBUTE_TEMPORARY 0x100u
#define MSOS_FILE_FLAG_WRITE_THROUGH 0x80000000u
#define MSOS_FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define MSOS_INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define MSOS_FILE_BEGIN 0u
#define MSOS_FILE_CURRENT 1u
#define MSOS_FILE_END 2u
#define MSOS_INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define MSOS_FILE_TYPE_UNKNOWN 0u
#define MSOS_FILE_TYPE_DISK 1u
#define MSOS_FILE_TYPE_CHAR 2u
#define MSOS_FILE_TYPE_PIPE 3u
#define MSOS_LOCKFILE_FAIL_IMMEDIATELY 1u
#define MSOS_LOCKFILE_EXCLUSIVE_LOCK 2u
/* msos_findnextfile's error at the end of a listing. */
#define MSOS_NO_MORE_FILES 2 /* ENOENT */

/* Opens or creates path ("nul" in any case names /dev/null): access is any
 * of GENERIC_READ, GENERIC_WRITE, FILE_APPEND_DATA (alone: appends only);
 * disposition one of CREATE_NEW .. TRUNCATE_EXISTING; flags WRITE_THROUGH
 * (O_DSYNC), DELETE_ON_CLOSE (the name is removed right after the open),
 * ATTRIBUTE_TEMPORARY (mode 0600). share and template are ignored. Returns a
 * file descriptor, or QRV_INVALID_HANDLE. Counts one open. */
QRV_API qrv_handle msos_createfile(const char *path, uint32_t access, uint32_t share,
                                   msos_security_attributes *security, uint32_t disposition, uint32_t flags,
                                   qrv_handle template_file) QRV_NOEXCEPT;
/* Reads up to count bytes (one read(2), EINTR retried). 1 on success (0 bytes
 * at end of file), 0 on failure; *done (when given) is always written.
 * Counts one read call, and the bytes on success. overlapped is ignored. */
QRV_API int msos_readfile(qrv_handle handle, void *buffer, uint32_t count, uint32_t *done,
                          msos_overlapped *overlapped) QRV_NOEXCEPT;
/* Writes count bytes, completing short writes and retrying EINTR; SIGPIPE
 * is held back, a closed pipe gives EPIPE. 1 when every byte was written,
 * also 1 when the system refused after part was written (*done < count,
 * errno the reason), 0 when nothing was written. *done is always written. */
QRV_API int msos_writefile(qrv_handle handle, const void *buffer, uint32_t count, uint32_t *done,
                           msos_overlapped *overlapped) QRV_NOEXCEPT;
/* Moves the file position. With high null the distance is the signed 32-bit
 * low and a new position beyond 0xFFFFFFFE fails (EOVERFLOW, position kept);
 * else the distance is *high:low and *high receives the new position's high
 * half. Returns the new low half or MSOS_INVALID_SET_FILE_POINTER; on success
 * errno is 0, so a genuine low half of all bits set can be told apart. */
QRV_API uint32_t msos_setfilepointer(qrv_handle handle, int32_t low, int32_t *high, uint32_t method) QRV_NOEXCEPT;
/* Cuts or extends the file at the current position. */
QRV_API int msos_setendoffile(qrv_handle handle) QRV_NOEXCEPT;
/* fsync(2). */
QRV_API int msos_flushfilebuffers(qrv_handle handle) QRV_NOEXCEPT;
/* MSOS_FILE_TYPE_DISK (regular files, directories, block devices), _CHAR,
 * _PIPE (pipes and sockets), or _UNKNOWN with errno set on failure. */
QRV_API uint32_t msos_getfiletype(qrv_handle handle) QRV_NOEXCEPT;
/* MSOS_FILE_ATTRIBUTE_DIRECTORY for directories, _NORMAL for other files,
 * plus _READONLY when nobody may write; MSOS_INVALID_FILE_ATTRIBUTES when the
 * path cannot be examined (symbolic links are followed). */
QRV_API uint32_t msos_getfileattributes(const char *path) QRV_NOEXCEPT;
/* Byte-range locks (open file description locks, F_OFD_SETLK/SETLKW): the
 * range starts at overlapped's offset and is length_high:length_low long
 * (0 is refused). EXCLUSIVE_LOCK needs a descriptor open for writing;
 * FAIL_IMMEDIATELY fails with EAGAIN when another description holds it. */
QRV_API int msos_lockfileex(qrv_handle handle, uint32_t flags, uint32_t reserved, uint32_t length_low,
                            uint32_t length_high, msos_overlapped *overlapped) QRV_NOEXCEPT;
QRV_API int msos_unlockfileex(qrv_handle handle, uint32_t reserved, uint32_t length_low, uint32_t length_high,
                              msos_overlapped *overlapped) QRV_NOEXCEPT;
/* An anonymous pipe; both ends are inheritable only when security says so.
 * size is advisory and ignored. */
QRV_API int msos_createpipe(qrv_handle *read_end, qrv_handle *write_end, msos_security_attributes *security,
                            uint32_t size) QRV_NOEXCEPT;
/* 0 on success, -1 on failure. msos_rename never replaces an existing target
 * (EEXIST). */
QRV_API int msos_mkdir(const char *path) QRV_NOEXCEPT;
QRV_API int msos_rmdir(const char *path) QRV_NOEXCEPT;
QRV_API int msos_chdir(const char *path) QRV_NOEXCEPT;
QRV_API int msos_unlink(const char *path) QRV_NOEXCEPT;
QRV_API int msos_rename(const char *old_path, const char *new_path) QRV_NOEXCEPT;
/* The current directory in buffer, or null when it (with its NUL) does not
 * fit (ERANGE) or cannot be read. */
QRV_API char *msos_getcwd(char *buffer, int size) QRV_NOEXCEPT;
/* The absolute form of path (joined to the current directory, "." and ".."
 * resolved by text, repeated '/' folded; links are not followed and nothing
 * need exist). Fits: copied, returns its length, *file_part (when given)
 * points at the last component or is null when the result ends in '/'.
 * Does not fit: nothing copied, returns the length with its NUL. 0 on
 * failure. */
QRV_API int msos_getfullpathname(const char *path, int size, char *buffer, char **file_part) QRV_NOEXCEPT;
/* Looks for name (with extension appended when name has no '.') in the
 * ':'-separated directories of search_path, or, when it is null, in the
 * current directory and then $PATH; a name with a '/' is taken as it is.
 * Result and buffer rules as msos_getfullpathname; 0 (ENOENT) when no file
 * is found. *file_part is set to buffer first. */
/* The full path of the running program's executable file (links
 * resolved). Result and buffer rules as msos_getfullpathname (file_part:
 * the file's name); 0 when it cannot be read. */
QRV_API int msos_getmodulefilename(char *buffer, int size, char **file_part) QRV_NOEXCEPT;
QRV_API int msos_searchpath(const char *search_path, const char *name, const char *extension, int size, char *buffer,
                            char **file_part) QRV_NOEXCEPT;
/* Directory listing: pattern is "directory/wildcards" (fnmatch, case
 * sensitive, a final "*.*" matches every name; "." and ".." are listed).
 * findfirstfile returns a search handle and the first entry, or
 * QRV_INVALID_HANDLE (ENOENT when nothing matches); findnextfile fails with
 * MSOS_NO_MORE_FILES at the end. A handle is used by one thread at a time. */
QRV_API qrv_handle msos_findfirstfile(const char *pattern, msos_find_data *data) QRV_NOEXCEPT;
QRV_API int msos_findnextfile(qrv_handle search, msos_find_data *data) QRV_NOEXCEPT;
QRV_API int msos_findclose(qrv_handle search) QRV_NOEXCEPT;

/* Process-wide I/O counters, in this order: read calls, write calls, bytes
 * read, bytes written, opens. Unsynchronised (updates from threads racing
 * each other may be lost) and wrapping. stat_get: 0, or -1 for a null array. */
QRV_API int msosfileio_stat_get(uint32_t counters[5]) QRV_NOEXCEPT;
QRV_API int msosfileio_stat_reset(void) QRV_NOEXCEPT;

/* ---- Environment, user and process ---------------------------------------- */

/* The value of name: fits in size bytes with its NUL: copied, returns its
 * length; else nothing copied and returns the length with its NUL. 0 when
 * the variable is not set (or empty). Not safe against concurrent changes
 * of the environment. */
QRV_API int msos_getenvironmentvariable(const char *name, char *buffer, int size) QRV_NOEXCEPT;
/* Sets name to a copy of value; a null value removes the variable. */
QRV_API int msos_setenvironmentvariable(const char *name, const char *value) QRV_NOEXCEPT;
/* "NAME=VALUE" sets NAME to a copy of VALUE ("NAME=" sets it empty); 0, or
 * -1 when there is no '=' or no name. */
QRV_API int msos_putenv(const char *text) QRV_NOEXCEPT;
/* Replaces each %NAME% of a set variable by its value (others are kept as
 * written). Returns the expanded length with its NUL; buffer is filled only
 * when given and large enough; 0 on failure. */
QRV_API int msos_expandenvironmentstrings(const char *text, char *buffer, int size) QRV_NOEXCEPT;
/* The effective user's login name (password database, else $USER). 1 when
 * it fitted; else 0. *size becomes its length with NUL whenever the name was
 * found. */
QRV_API int msos_getusername(char *buffer, int *size) QRV_NOEXCEPT;
/* Exit strategy 0: flushes the C streams and ends the process with code
 * (atexit handlers and the library's own teardown run). Strategy 1: ends
 * only the calling thread with code. */
QRV_API MSOS_NORETURN void msos_exit(int code) QRV_NOEXCEPT;
/* Ends the calling thread; a thread made by msos_createthread reports code
 * as its exit code. */
QRV_API MSOS_NORETURN void msos_exit_thread(uint32_t code) QRV_NOEXCEPT;
/* Ends the process at once with exit code 99 (no handlers, no flushing). */
QRV_API MSOS_NORETURN void msos_abort(void) QRV_NOEXCEPT;
/* Installs handler (SA_RESTART, not reset after delivery) for SIGINT,
 * SIGQUIT, SIGILL, SIGABRT, SIGFPE, SIGSEGV or SIGTERM and returns the
 * previous handler; any other signal returns null and installs nothing. */
typedef void (*msos_signal_handler)(int signal_number);
QRV_API msos_signal_handler msos_signal(int signal_number, msos_signal_handler handler) QRV_NOEXCEPT;
/* Sleeps whole seconds; a signal does not cut the sleep short. */
QRV_API void msos_sleep(uint32_t seconds) QRV_NOEXCEPT;
/* Sleeps seconds * 1000 milliseconds (truncated); returns at once for values
 * not greater than 0 (and NaN). */
QRV_API void msos_sleep_ex(double seconds) QRV_NOEXCEPT;
/* Sleeps one millisecond. */
QRV_API void msos_relinquish_process(void) QRV_NOEXCEPT;
/* Writes prompt to standard error and reads a password: from the terminal
 * (/dev/tty, echo off, each character echoed as '*' on standard output,
 * Enter ends, a control character starts over), or without a terminal one
 * line of standard input. At most size-1 characters are kept; returns
 * buffer, or null when size is below 2 or buffer is null. Not thread-safe. */
QRV_API char *msos_getpass(const char *prompt, char *buffer, int size) QRV_NOEXCEPT;
/* A key from a path and a one-byte project id (the path must exist), or -1. */
QRV_API int32_t msos_ftok(const char *path, int project_id) QRV_NOEXCEPT;
/* Calls main_fn(argc, argv converted from UTF-16 to UTF-8) and returns its
 * result, or 199 (main_fn not called) when an argument cannot be converted
 * or memory runs out. argv must end with a null pointer. */
typedef int (*msos_main_fn)(int argc, char **argv);
QRV_API int msos_wmain_wrapper(int argc, qrv_wchar **argv, msos_main_fn main_fn) QRV_NOEXCEPT;

/* ---- Dynamic libraries ------------------------------------------------------ */

/* dlopen(path, RTLD_NOW) with the path as given; null on failure. */
QRV_API void *msos_dlopen(const char *path) QRV_NOEXCEPT;
/* Null on success with *address set; else *address is null and the result
 * is msos_dlerror()'s text. */
QRV_API const char *msos_dlsym(void *module, const char *symbol, void **address) QRV_NOEXCEPT;
QRV_API int msos_dlclose(void *module) QRV_NOEXCEPT;
/* The loader's last error text on this thread (else the text of errno);
 * valid until this thread's next call. Never null. */
QRV_API const char *msos_dlerror(void) QRV_NOEXCEPT;

/* ---- Registry ---------------------------------------------------------------
 * Linux has no registry: every key is unknown. Opening and querying give
 * ENOENT, creating and setting give ENOTSUP (status results are errno
 * values, 0 would be success), closing and flushing fail with EBADF. Out
 * keys become 0; other out arguments are left alone. */
typedef intptr_t msos_hkey;
QRV_API int32_t msos_regcreatekeyex(msos_hkey parent, const char *sub_key, uint32_t reserved, char *class_name,
                                    uint32_t options, uint32_t access, msos_security_attributes *security,
                                    msos_hkey *key, uint32_t *disposition) QRV_NOEXCEPT;
QRV_API int32_t msos_regopenkeyex(msos_hkey parent, const char *sub_key, uint32_t options, uint32_t access,
                                  msos_hkey *key) QRV_NOEXCEPT;
QRV_API int32_t msos_regqueryvalueex(msos_hkey key, const char *value_name, uint32_t *reserved, uint32_t *type,
                                     void *data, uint32_t *size) QRV_NOEXCEPT;
QRV_API int32_t msos_regsetvalueex(msos_hkey key, const char *value_name, uint32_t reserved, uint32_t type,
                                   const void *data, uint32_t size) QRV_NOEXCEPT;
QRV_API int msos_regclosekey(msos_hkey key) QRV_NOEXCEPT;
QRV_API int msos_regflushkey(msos_hkey key) QRV_NOEXCEPT;

/* ---- Events, waits, standard handles, mappings ------------------------------ */

#define MSOS_WAIT_ABANDONED 0x80u
/* An event (manual or automatic reset). A name makes the event shared
 * within the process: creating an existing name returns a new handle to the
 * same event (errno EEXIST, initial state ignored). Returns 0 on failure.
 * Closing a handle while another thread waits on it is not allowed. */
QRV_API qrv_handle msos_createevent(msos_security_attributes *security, int manual_reset, int initial_state,
                                    const char *name) QRV_NOEXCEPT;
/* Signals the event: all waiters (manual reset) or one (automatic reset). */
QRV_API int msos_setevent(qrv_handle event) QRV_NOEXCEPT;
/* Waits for any (wait_all 0) or all of count (1..64) thread and event
 * handles: MSOS_WAIT_OBJECT_0 + the index of the first signalled one (wait
 * any), MSOS_WAIT_OBJECT_0 (wait all), MSOS_WAIT_TIMEOUT or
 * MSOS_WAIT_FAILED (EINVAL, EBADF). Automatic-reset events are consumed. */
QRV_API uint32_t msos_waitformultipleobjects(uint32_t count, const qrv_handle *handles, int wait_all,
                                             uint32_t timeout_ms) QRV_NOEXCEPT;
/* Threads cannot be ended from outside on Linux: always 0 (ENOTSUP). */
QRV_API int msos_terminatethread(qrv_handle thread, uint32_t exit_code) QRV_NOEXCEPT;

#define MSOS_STD_INPUT_HANDLE ((uint32_t)-10)
#define MSOS_STD_OUTPUT_HANDLE ((uint32_t)-11)
#define MSOS_STD_ERROR_HANDLE ((uint32_t)-12)
/* The process's standard handles: a table, first 0, 1 and 2, that child
 * processes receive as their standard input, output and error. Setting an
 * entry does not change the descriptors 0 to 2 of this process.
 * getstdhandle returns QRV_INVALID_HANDLE (EINVAL) for an unknown selector. */
QRV_API qrv_handle msos_getstdhandle(uint32_t which) QRV_NOEXCEPT;
QRV_API int msos_setstdhandle(uint32_t which, qrv_handle handle) QRV_NOEXCEPT;
#define MSOS_HANDLE_FLAG_INHERIT 1u
#define MSOS_HANDLE_FLAG_PROTECT_FROM_CLOSE 2u
/* HANDLE_FLAG_INHERIT in mask: flags decide whether the descriptor survives
 * exec; PROTECT_FROM_CLOSE is accepted and ignored. EBADF for a handle that
 * is not an open descriptor. */
QRV_API int msos_sethandleinformation(qrv_handle handle, uint32_t mask, uint32_t flags) QRV_NOEXCEPT;

/* Records revision 1 (other revisions fail, EINVAL) / the DACL fields. */
QRV_API int msos_initializesecuritydescriptor(msos_security_descriptor *descriptor, uint32_t revision) QRV_NOEXCEPT;
QRV_API int msos_setsecuritydescriptordacl(msos_security_descriptor *descriptor, int present, void *dacl,
                                           int defaulted) QRV_NOEXCEPT;

#define MSOS_PAGE_READONLY 0x02u
#define MSOS_PAGE_READWRITE 0x04u
#define MSOS_PAGE_WRITECOPY 0x08u
#define MSOS_FILE_MAP_COPY 0x01u
#define MSOS_FILE_MAP_WRITE 0x02u
#define MSOS_FILE_MAP_READ 0x04u
#define MSOS_FILE_MAP_ALL_ACCESS 0x000F001Fu
/* A mapping of file (QRV_INVALID_HANDLE: of fresh memory) with size
 * high:low (0: the file's size; a larger size extends a writable file). A
 * name makes it a POSIX shared-memory object "/qrvbasic.<name>" ('/' and
 * '\\' become '_') that other processes open with msos_openfilemapping; an
 * existing one is opened (errno EEXIST). The name is removed when the
 * handle that created it is closed. Returns 0 on failure. */
QRV_API qrv_handle msos_createfilemapping(qrv_handle file, msos_security_attributes *security, uint32_t protection,
                                          uint32_t size_high, uint32_t size_low, const char *name) QRV_NOEXCEPT;
QRV_API qrv_handle msos_openfilemapping(uint32_t access, int inherit, const char *name) QRV_NOEXCEPT;
/* Maps size bytes (0: to the end) from offset high:low (a multiple of the
 * page size); preferred, when not null, must be free or the call fails.
 * Views outlive the mapping's handle. Null on failure. */
QRV_API void *msos_mapviewoffileex(qrv_handle mapping, uint32_t access, uint32_t offset_high, uint32_t offset_low,
                                   uint64_t size, void *preferred) QRV_NOEXCEPT;
/* Writes the view back to its file, then unmaps it. */
QRV_API int msos_unmapviewoffile(const void *view) QRV_NOEXCEPT;

/* ---- Memory and random numbers ---------------------------------------------- */

/* The C heap, unaccounted. */
QRV_API void *msos_malloc(uint32_t size) QRV_NOEXCEPT;
QRV_API void *msos_realloc(void *block, uint32_t size) QRV_NOEXCEPT;
QRV_API void msos_free(void *block) QRV_NOEXCEPT;
/* The random source (getrandom): init answers nonzero when it is available
 * (also when already open); end closes it and returns 1; set_seed seeds
 * nothing and answers whether it is open. */
QRV_API int msos_rand_init(void) QRV_NOEXCEPT;
QRV_API int msos_rand_end(void) QRV_NOEXCEPT;
QRV_API int msos_rand_set_seed(uint32_t seed) QRV_NOEXCEPT;
/* The absolute value of 4 random bytes as a signed 32-bit integer (INT32_MIN
 * stays, 2147483648 read unsigned); 2074984175 when the source is not open
 * or fails. */
QRV_API int32_t msos_rand_get_pos_int(void) QRV_NOEXCEPT;

/* ---- With error reporting ------------------------------------------------- */

/* Failure: null + 16497 "cannot malloc memory" / 16154 "cannot realloc memory". */
QRV_API void *mseos_malloc(uint32_t size) QRV_NOEXCEPT;
QRV_API void *mseos_realloc(void *block, uint32_t size) QRV_NOEXCEPT;
/* Fresh zeroed read/write pages (mmap): null + 16500 "cannot VirtualAlloc
 * memory" (also for size <= 0). */
QRV_API void *mseos_bigmem_alloc(int size) QRV_NOEXCEPT;
/* Releases a whole block of mseos_bigmem_alloc: 1, or 0 + 16511 "cannot
 * VirtualFree memory" for any other pointer. */
QRV_API int mseos_bigmem_free(void *block) QRV_NOEXCEPT;
/* -1 + 16489 "cannot create directory '%s'", 16490 "cannot remove directory
 * '%s'", 16477 "cannot remove file '%s'", 16475 "cannot rename file '%s' to
 * '%s'". */
QRV_API int mseos_mkdir(const char *path) QRV_NOEXCEPT;
QRV_API int mseos_rmdir(const char *path) QRV_NOEXCEPT;
QRV_API int mseos_unlink(const char *path) QRV_NOEXCEPT;
QRV_API int mseos_rename(const char *old_path, const char *new_path) QRV_NOEXCEPT;
/* QRV_INVALID_HANDLE + 16470 "cannot create file '%s'" (dispositions
 * CREATE_NEW, CREATE_ALWAYS) or 16473 "cannot open file '%s'". */
QRV_API qrv_handle mseos_createfile(const char *path, uint32_t access, uint32_t share,
                                    msos_security_attributes *security, uint32_t disposition, uint32_t flags,
                                    qrv_handle template_file) QRV_NOEXCEPT;
/* 0: the stack is left holding only 16516 "cannot read from file:
 * interrupted". */
QRV_API int mseos_readfile(qrv_handle handle, void *buffer, uint32_t count, uint32_t *done,
                           msos_overlapped *overlapped) QRV_NOEXCEPT;
/* 0 + 16478 "cannot write to file" (nothing written). */
QRV_API int mseos_writefile(qrv_handle handle, const void *buffer, uint32_t count, uint32_t *done,
                            msos_overlapped *overlapped) QRV_NOEXCEPT;
/* 0 + 16536 "cannot set end of file". */
QRV_API int mseos_setendoffile(qrv_handle handle) QRV_NOEXCEPT;
/* msos_setfilepointer; an all-bits-set result is an error (16472 "cannot
 * seek in file") unless high is given and errno is 0. *ok (when given)
 * becomes 1 when the result is not all bits set, else 0. */
QRV_API uint32_t mseos_setfilepointer(qrv_handle handle, int32_t low, int32_t *high, uint32_t method,
                                      int *ok) QRV_NOEXCEPT;
/* 0 + 16469 "cannot close file". */
QRV_API int mseos_closehandle(qrv_handle handle) QRV_NOEXCEPT;
/* 0 + 16494 "cannot create event '%s'" (the name) / 16495 "cannot set event
 * '%ld'" (the handle) / 16496 "cannot create thread". */
QRV_API qrv_handle mseos_createevent(msos_security_attributes *security, int manual_reset, int initial_state,
                                     const char *name) QRV_NOEXCEPT;
QRV_API int mseos_setevent(qrv_handle event) QRV_NOEXCEPT;
QRV_API qrv_handle mseos_createthread(void *security, uint32_t stack_size, msos_thread_routine routine, void *arg,
                                      uint32_t flags, uint32_t *thread_id) QRV_NOEXCEPT;
/* 0 + 16493 "cannot set handle information due to invalid handle" (EBADF)
 * or 16492 "cannot set handle information". */
QRV_API int mseos_set_handleinformation(qrv_handle handle, uint32_t mask, uint32_t flags) QRV_NOEXCEPT;
/* Failure records only the operating-system error (16151). */
QRV_API qrv_handle mseos_getstdhandle(uint32_t which) QRV_NOEXCEPT;
QRV_API int mseos_setstdhandle(uint32_t which, qrv_handle handle) QRV_NOEXCEPT;
/* Always -1 + 16468 "cannot send signal %ld to process %ld" (signal, process
 * id), after the operating-system error ENOTSUP: the library sends no
 * signals to processes. */
QRV_API int mseos_kill(int32_t process_id, int signal_number) QRV_NOEXCEPT;

/* ---- Wide strings and code pages -------------------------------------------
 * UTF-8 <-> UTF-16 of whole strings. The result is newly allocated with
 * malloc, ends with a zero of its own width and is the caller's (release it
 * with free). Null for a null argument, invalid or truncated input (overlong
 * forms, surrogates or values past U+10FFFF in UTF-8, unpaired surrogates
 * in UTF-16) or when memory runs out; nothing is recorded. */
QRV_API qrv_wchar *win32_MultiByteToWideChar(const char *utf8) QRV_NOEXCEPT;
QRV_API char *win32_WideCharToMultiByte(const qrv_wchar *utf16) QRV_NOEXCEPT;
/* As win32_MultiByteToWideChar: paths keep their '/' on Linux. */
QRV_API qrv_wchar *win32_MultiBytePathToWideCharPath(const char *path) QRV_NOEXCEPT;

/* The code-page conversion service, over iconv (UTF-8 <-> UTF-16 by the
 * library's own code). Code pages are the Windows numbers: 65001 UTF-8,
 * 1200 UTF-16LE, 932, 936, 949, 950, 1250-1258, 866, 874, 20127 (ASCII),
 * 20866 (KOI8-R), 28591-28605 (ISO-8859-n), 51932 (EUC-JP), 51949 (EUC-KR),
 * 54936 (GB18030).
 *
 * Status results: */
#define MSOS_CONVERT_OK 0                                /* converted */
#define MSOS_CONVERT_UNAVAILABLE 1                       /* no such direction */
#define MSOS_CONVERT_NO_SERVICE ((int32_t)0x80004005u)   /* no converter at all */
#define MSOS_CONVERT_BAD_ARGUMENT ((int32_t)0x80070057u) /* a null or negative count */
/* *src_len is the input's length (bytes, or 16-bit units for a UTF-16
 * source; -1: up to its terminating zero, which is not converted) and
 * becomes what was consumed. *dst_len is the room at dst (bytes, or units
 * for a UTF-16 target) and becomes what was written; with dst null or
 * *dst_len 0 nothing is written and *dst_len becomes the size the whole
 * input needs. Conversion stops at invalid input or a full destination and
 * still returns MSOS_CONVERT_OK: compare the consumed length with the
 * given one. Places of dst past what was written (within *dst_len) may be
 * overwritten. No byte-order mark is written. *mode is the service's state
 * word; every call starts afresh, so it is read as 0 and left unchanged.
 * Safe on any thread: converters are kept per pair of code pages and
 * reused, never shared by two calls at once. */
QRV_API int32_t msos_ConvertINetString(uint32_t *mode, int from_code_page, int to_code_page, const char *src,
                                       int *src_len, char *dst, int *dst_len) QRV_NOEXCEPT;
QRV_API int32_t msos_ConvertINetMultiByteToUnicode(uint32_t *mode, int from_code_page, const char *src, int *src_len,
                                                   qrv_wchar *dst, int *dst_len) QRV_NOEXCEPT;
QRV_API int32_t msos_ConvertINetUnicodeToMultiByte(uint32_t *mode, int to_code_page, const qrv_wchar *src, int *src_len,
                                                   char *dst, int *dst_len) QRV_NOEXCEPT;
/* MSOS_CONVERT_OK when the service converts from the one code page to the
 * other, else MSOS_CONVERT_UNAVAILABLE. */
QRV_API int32_t msos_IsConvertINetStringAvailable(int from_code_page, int to_code_page) QRV_NOEXCEPT;
/* The code page of the user's locale encoding (LC_ALL, LC_CTYPE, LANG; the
 * program's own locale is not changed): 65001 for UTF-8, 20127 for the C
 * locale's ASCII; 0 for an encoding outside the list above. */
QRV_API int msos_GetACP(void) QRV_NOEXCEPT;

/* ---- Sockets ----------------------------------------------------------------
 * BSD sockets carried as qrv_handle (a descriptor; QRV_INVALID_HANDLE, -1,
 * is the failure value). Each call is one system call, EINTR retried, and
 * reports nothing: failures return -1 (or the resolver's EAI_ code) with
 * errno, which msos_wsagetlasterror also returns. A handle outside the
 * descriptor range fails with EBADF. Sockets are not inherited by programs
 * the process starts (close-on-exec). Lengths are in bytes; a negative one
 * fails with EINVAL. The records are the system's (<sys/socket.h>,
 * <netdb.h>). */
struct sockaddr;
struct addrinfo;

QRV_API qrv_handle msos_socket(int family, int type, int protocol) QRV_NOEXCEPT;
QRV_API int msos_bind(qrv_handle socket, const struct sockaddr *address, int length) QRV_NOEXCEPT;
/* An interrupted connect waits for the attempt that goes on to finish. */
QRV_API int msos_connect(qrv_handle socket, const struct sockaddr *address, int length) QRV_NOEXCEPT;
QRV_API int msos_listen(qrv_handle socket, int backlog) QRV_NOEXCEPT;
/* address and length may both be null. */
QRV_API qrv_handle msos_accept(qrv_handle socket, struct sockaddr *address, int *length) QRV_NOEXCEPT;
QRV_API int msos_getsockname(qrv_handle socket, struct sockaddr *address, int *length) QRV_NOEXCEPT;
/* Bytes received (0: the peer ended the stream) or sent, or -1. A send
 * never raises SIGPIPE: a broken connection fails with EPIPE. */
QRV_API int msos_recv(qrv_handle socket, void *buffer, int length, int flags) QRV_NOEXCEPT;
QRV_API int msos_send(qrv_handle socket, const void *buffer, int length, int flags) QRV_NOEXCEPT;
QRV_API int msos_setsockopt(qrv_handle socket, int level, int option, const void *value, int length) QRV_NOEXCEPT;
/* Closes a socket; anything that is not a socket is left open (ENOTSOCK,
 * or EBADF for a handle that is not open). */
QRV_API int msos_closesocket(qrv_handle socket) QRV_NOEXCEPT;

/* Socket sets for msos_select: a list of up to MSOS_FD_SETSIZE sockets (not
 * a bit map; any socket number fits). The wait is a poll(2). */
#define MSOS_FD_SETSIZE 2056
typedef struct msos_fd_set {
    uint32_t count;
    qrv_handle sockets[MSOS_FD_SETSIZE];
} msos_fd_set;
typedef struct msos_timeval {
    int32_t sec;
    int32_t usec;
} msos_timeval;
/* Waits until a socket of a set is ready to read (or at its end), to write,
 * or has an error, or the time-out (null: no limit) passes. Each set given
 * is rewritten to hold its ready sockets only. Returns how many entries are
 * ready in all sets, 0 after the time-out (the sets then empty), or -1:
 * EINVAL when the sets are all empty or one holds more than MSOS_FD_SETSIZE
 * or a time-out field is negative, EBADF when a socket is not open or not a
 * descriptor number (-1). count is ignored. */
QRV_API int msos_select(int count, msos_fd_set *read_set, msos_fd_set *write_set, msos_fd_set *error_set,
                        const msos_timeval *timeout) QRV_NOEXCEPT;

/* The resolver: getaddrinfo(3), freeaddrinfo(3), getnameinfo(3) with their
 * results (0, or an EAI_ code of <netdb.h>). */
QRV_API int msos_getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                             struct addrinfo **result) QRV_NOEXCEPT;
QRV_API void msos_freeaddrinfo(struct addrinfo *list) QRV_NOEXCEPT;
QRV_API int msos_getnameinfo(const struct sockaddr *address, int length, char *host, uint32_t host_length,
                             char *service, uint32_t service_length, int flags) QRV_NOEXCEPT;
/* The machine's host name: 0, or -1 when it does not fit with its NUL or
 * the arguments are bad (the buffer then holds "" when length > 0). */
QRV_API int msos_gethostname(char *buffer, int length) QRV_NOEXCEPT;
QRV_API uint32_t msos_htonl(uint32_t value) QRV_NOEXCEPT;
QRV_API uint16_t msos_htons(uint16_t value) QRV_NOEXCEPT;
QRV_API uint32_t msos_ntohl(uint32_t value) QRV_NOEXCEPT;
QRV_API uint16_t msos_ntohs(uint16_t value) QRV_NOEXCEPT;
/* A dotted IPv4 address ("a.b.c.d", also the short, octal and hexadecimal
 * forms of inet_aton(3): "1.2.3" is 1.2.0.3) in network order; 0xFFFFFFFF
 * when the whole text is not one (nothing may follow it). */
QRV_API uint32_t msos_inet_addr(const char *text) QRV_NOEXCEPT;
/* The socket layer needs no start on Linux: init counts a user and returns
 * the stored start-up result (always 0), cleanup counts one off and returns
 * 0; get_winsock_init_errno returns the stored result. The library starts
 * it when it is loaded and stops it when it is unloaded. */
QRV_API int msos_winsock_init(void) QRV_NOEXCEPT;
QRV_API int msos_winsock_cleanup(void) QRV_NOEXCEPT;
QRV_API int msos_get_winsock_init_errno(void) QRV_NOEXCEPT;

/* ---- Sockets with error reporting --------------------------------------------
 * As their msos_ forms; a failure starts a new report with the errno (16151)
 * and pushes: socket 16462, bind 16453 and connect 16455 (the address's port
 * in host order, 0 without one), listen 16457, accept 16452, getsockname
 * 16456, select 16459, setsockopt 16461, closesocket 16454, send 16460. */
QRV_API qrv_handle mseos_socket(int family, int type, int protocol) QRV_NOEXCEPT;
QRV_API int mseos_bind(qrv_handle socket, const struct sockaddr *address, int length) QRV_NOEXCEPT;
QRV_API int mseos_connect(qrv_handle socket, const struct sockaddr *address, int length) QRV_NOEXCEPT;
QRV_API int mseos_listen(qrv_handle socket, int backlog) QRV_NOEXCEPT;
QRV_API qrv_handle mseos_accept(qrv_handle socket, struct sockaddr *address, int *length) QRV_NOEXCEPT;
QRV_API int mseos_getsockname(qrv_handle socket, struct sockaddr *address, int *length) QRV_NOEXCEPT;
QRV_API int mseos_select(int count, msos_fd_set *read_set, msos_fd_set *write_set, msos_fd_set *error_set,
                         const msos_timeval *timeout) QRV_NOEXCEPT;
QRV_API int mseos_setsockopt(qrv_handle socket, int level, int option, const void *value, int length) QRV_NOEXCEPT;
QRV_API int mseos_closesocket(qrv_handle socket) QRV_NOEXCEPT;
/* A connection reset by the peer (ECONNRESET, or EPIPE once the reset is
 * known) returns length as if all was sent, recording nothing. */
QRV_API int mseos_send(qrv_handle socket, const void *buffer, int length, int flags) QRV_NOEXCEPT;
/* A connection aborted, reset or shut down (ECONNABORTED, ECONNRESET,
 * ESHUTDOWN) returns 0 like the end of the stream, recording nothing; any
 * other failure pushes 16458 on top of the stack (no 16151) and returns -1. */
QRV_API int mseos_recv(qrv_handle socket, void *buffer, int length, int flags) QRV_NOEXCEPT;
/* Waits until sockets are readable. Each slot holds a socket number in its
 * low 32 bits. A number above 131615 pushes 16517 (the number, 131616) and
 * returns -1 without waiting; sockets after the first MSOS_FD_SETSIZE
 * different ones are not waited on. timeout_seconds 0 waits without limit,
 * a negative one only polls (1 microsecond). Returns the number of ready
 * sockets (each slot of a socket not ready becomes -1 in all 64 bits), 0
 * after the time-out (slots unchanged), or -1; with report nonzero a failed
 * wait is reported as mseos_select reports it. count 0 fails (EINVAL). */
QRV_API int mseos_socket_wait_for_read(int64_t *slots, int count, int timeout_seconds, int report) QRV_NOEXCEPT;

/* The clock. CLOCK_REALTIME gives "now"; the fine-grained clock is
 * CLOCK_MONOTONIC anchored to CLOCK_REALTIME at first use and anchored again
 * by the first reader that finds itself more than 60 seconds past the
 * anchor, so it follows a change of the system clock within a minute and is
 * smooth in between. None of these applies the MSTIMEOFFSET shift (see
 * mstime.h). Local time is the process's TZ, read with localtime_r. */

/* System UTC time in whole seconds since 1970; -1 if the clock cannot be read. */
QRV_API int64_t msos_time(void) QRV_NOEXCEPT;
/* The fine-grained clock in UTC or local time: 0, or -1 with *tv zero when
 * no clock can be read (or tv is null). */
QRV_API int msos_get_timeval(mstime_timeval *tv) QRV_NOEXCEPT;
QRV_API int msos_get_local_timeval(mstime_timeval *tv) QRV_NOEXCEPT;
/* Local time minus UTC in seconds at the last anchoring (anchoring first if
 * that was never done). */
QRV_API int64_t msos_get_gmtoff(void) QRV_NOEXCEPT;

/* Broken-down time, fields in the order of the C library's struct tm. */
typedef struct msos_tm {
    int32_t sec;   /* 0-60 */
    int32_t min;   /* 0-59 */
    int32_t hour;  /* 0-23 */
    int32_t mday;  /* 1-31 */
    int32_t mon;   /* 0-11 */
    int32_t year;  /* years since 1900 */
    int32_t wday;  /* 0-6, Sunday 0 */
    int32_t yday;  /* 0-365 */
    int32_t isdst; /* >0 daylight-saving time, 0 not, <0 unknown */
} msos_tm;
#define MSOS_CTIME_SIZE 26
/* The local time of seconds as ctime(3) writes it, "Thu Jan  1 00:00:00
 * 1970\n", into buffer (MSOS_CTIME_SIZE bytes, newline and NUL included);
 * returns buffer, or null with the buffer untouched when the time has no
 * such text (a year outside -999..9999) or buffer is null. */
QRV_API char *msos_ctime_r(int64_t seconds, char *buffer) QRV_NOEXCEPT;
/* UTC or local broken-down time of seconds into *tm: tm, or null with *tm
 * untouched when the C library refuses the time (its year does not fit). */
QRV_API msos_tm *msos_gmtime_r(int64_t seconds, msos_tm *tm) QRV_NOEXCEPT;
QRV_API msos_tm *msos_localtime_r(int64_t seconds, msos_tm *tm) QRV_NOEXCEPT;

/* ---- Spawning and command lines --------------------------------------------
 * A program runs from a program name and an argument vector (argv[0] is the
 * name the child sees, the vector ends with a null pointer; the texts are
 * passed to the child byte for byte). A name with a '/' is used as given;
 * any other is searched in the directories of PATH (':' separated). The
 * child gets the caller's environment, current directory and signal mask,
 * and no descriptor of the library's own: only its standard descriptors
 * and those the caller opened inheritable.
 *
 * handles: null, or three descriptors for the child's standard input,
 * output and error; QRV_INVALID_HANDLE in a slot keeps the caller's
 * standard handle (msos_getstdhandle). show_window and quote are accepted
 * and ignored (no window system; no command line is built).
 *
 * Result with wait: the child's exit code (0-255), or 128 + the signal
 * number when a signal ended it. Without wait: the process id of the
 * child, which is not the caller's child (no zombie is left, nothing to
 * wait for). MSOS_SPAWN_FAILED when the program cannot be found or
 * started (errno: ENOENT, EACCES, E2BIG, EBADF for a handle that is not an
 * open descriptor, EINVAL for a null program or an empty vector, ...) or
 * the wait fails (ECHILD when the caller ignores SIGCHLD). Safe on any
 * thread; a wait retries after signals. */
#define MSOS_SPAWN_FAILED 0xFFFFFFFFu
QRV_API uint32_t msos_spawnvp_ex(const char *program, char *const argv[], int wait, const qrv_handle *handles,
                                 int show_window, int quote) QRV_NOEXCEPT;
QRV_API uint32_t msos_spawnvp_wait(const char *program, char *const argv[]) QRV_NOEXCEPT;
QRV_API uint32_t msos_spawnvp_nowait(const char *program, char *const argv[]) QRV_NOEXCEPT;
QRV_API uint32_t msos_spawnvp_io(const char *program, char *const argv[], int wait,
                                 const qrv_handle *handles) QRV_NOEXCEPT;
/* As the msos_ forms; on MSOS_SPAWN_FAILED they record the operating-system
 * error (16151) and push 16463 "cannot execv program '%s'" with program. */
QRV_API uint32_t mseos_spawnvp_ex(const char *program, char *const argv[], int wait, const qrv_handle *handles,
                                  int show_window, int quote) QRV_NOEXCEPT;
QRV_API uint32_t mseos_spawnvp_wait(const char *program, char *const argv[]) QRV_NOEXCEPT;
QRV_API uint32_t mseos_spawnvp_nowait(const char *program, char *const argv[]) QRV_NOEXCEPT;
QRV_API uint32_t mseos_spawnvp_io(const char *program, char *const argv[], int wait,
                                  const qrv_handle *handles) QRV_NOEXCEPT;

/* The vector as one command line for a program that splits its line the
 * Microsoft C runtime way (a pure text function; spawning does not use it).
 * quote 0: the arguments joined with single spaces. quote nonzero: each
 * argument in double quotes, a double quote inside written as \", the
 * backslashes before it and at the end of the argument doubled; a first
 * argument ending in ".bat" (any case, longer than four bytes) is written
 * as it stands. A null or empty vector gives "". The result is allocated
 * with malloc and is the caller's (release it with free); null when memory
 * runs out or the line would not fit in memory (errno ENOMEM). */
QRV_API char *msos_win32_make_cmdline(char *const argv[], int quote) QRV_NOEXCEPT;
/* Runs command with /bin/sh -c (system(3)) and returns its exit code (128 +
 * the signal number when a signal ended it), or -1 when the shell cannot
 * be started. A null command answers nonzero when a shell is available. */
QRV_API int msos_system(const char *command) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSOS_H */
