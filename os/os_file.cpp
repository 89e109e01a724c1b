// Files, directories, paths, pipes, byte-range locks, the standard-handle
// table and the I/O counters.
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "msos.h"
#include "os/handle.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace {

using qrv::os::g_sys;
using qrv::os::is_fd;
using qrv::os::retry_eintr;

// The counters are unsynchronised by contract; relaxed loads and stores keep
// them free of data races without paying for atomic increments.
std::atomic<uint32_t> g_counters[5];
enum Counter { kReadCalls, kWriteCalls, kBytesRead, kBytesWritten, kOpens };

void count(Counter which, uint32_t amount) {
    std::atomic<uint32_t> &c = g_counters[which];
    c.store(c.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}

std::atomic<qrv_handle> g_std_handles[3] = {0, 1, 2};

int fd_of(qrv_handle h) { return static_cast<int>(h); }

const char *platform_path(const char *path) { return qrv::os::is_nul_name(path) ? "/dev/null" : path; }

// The null device reads as an empty file, wherever its node lies.
bool is_null_device(const struct stat &status) {
    return S_ISCHR(status.st_mode) && major(status.st_rdev) == 1 && minor(status.st_rdev) == 3;
}

// Names that must never reach a destructive call: "nul" is the null device
// here, not a file of that name.
bool refuse_nul(const char *path) {
    if (!qrv::os::is_nul_name(path)) return false;
    errno = EACCES;
    return true;
}

// Holds SIGPIPE back around a write so that a closed pipe or socket reports
// EPIPE instead of killing the process; a SIGPIPE the write raised is
// consumed before the old mask returns.
class SigpipeGuard {
public:
    explicit SigpipeGuard(bool needed) {
        if (!needed) return;
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0 && !sigismember(&old_, SIGPIPE);
    }
    void finish(bool raised) {
        if (!blocked_) return;
        int saved = errno;
        if (raised) {
            timespec zero{0, 0};
            while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
        errno = saved;
    }

private:
    sigset_t pipe_;
    sigset_t old_;
    bool blocked_ = false;
};

int std_index(uint32_t which) {
    if (which == MSOS_STD_INPUT_HANDLE) return 0;
    if (which == MSOS_STD_OUTPUT_HANDLE) return 1;
    if (which == MSOS_STD_ERROR_HANDLE) return 2;
    return -1;
}

// ---- Paths ----------------------------------------------------------------

constexpr int kPathMax = PATH_MAX;

// Writes the absolute, lexically normalised form of path into out
// (kPathMax bytes); its length, or -1 with errno.
int absolute_path(const char *path, char *out) {
    if (path == nullptr || *path == '\0') {
        errno = EINVAL;
        return -1;
    }
    char joined[2 * kPathMax];
    size_t length = strlen(path);
    if (length >= static_cast<size_t>(kPathMax)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    if (path[0] == '/') {
        memcpy(joined, path, length + 1);
    } else {
        if (g_sys.getcwd(joined, kPathMax) == nullptr) return -1;
        size_t base = strlen(joined);
        joined[base] = '/';
        memcpy(joined + base + 1, path, length + 1);
    }
    bool trailing = length > 0 && path[length - 1] == '/';
    int n = 0;
    const char *p = joined;
    while (*p != '\0') {
        while (*p == '/') ++p;
        const char *start = p;
        while (*p != '\0' && *p != '/') ++p;
        size_t part = static_cast<size_t>(p - start);
        if (part == 0 || (part == 1 && start[0] == '.')) continue;
        if (part == 2 && start[0] == '.' && start[1] == '.') {
            while (n > 0 && out[n - 1] != '/') --n;
            if (n > 0) --n;  // the '/' before the component
            continue;
        }
        if (n + 1 + part >= static_cast<size_t>(kPathMax)) {
            errno = ENAMETOOLONG;
            return -1;
        }
        out[n++] = '/';
        memcpy(out + n, start, part);
        n += static_cast<int>(part);
    }
    if (n == 0 || (trailing && n + 1 < kPathMax)) out[n++] = '/';
    out[n] = '\0';
    return n;
}

// The caller-buffer rule of the path functions.
int deliver(const char *text, int length, char *buffer, int size, char **file_part) {
    if (buffer == nullptr || size <= length) return length + 1;
    memcpy(buffer, text, static_cast<size_t>(length) + 1);
    if (file_part != nullptr) {
        const char *slash = strrchr(buffer, '/');
        char *tail = slash != nullptr ? buffer + (slash - buffer) + 1 : buffer;
        *file_part = *tail != '\0' ? tail : nullptr;
    }
    return length;
}

bool is_searchable_file(const char *path) {
    struct stat status;
    return g_sys.stat(path, &status) == 0 && !S_ISDIR(status.st_mode);
}

// ---- Directory listings -----------------------------------------------------

struct SearchRecord : qrv::os::HandleRecord {
    DIR *dir;
    char pattern[NAME_MAX + 1];
};

void fill_find_data(DIR *dir, const struct dirent *entry, msos_find_data *data) {
    memset(data, 0, sizeof *data);
    memcpy(data->name, entry->d_name, strnlen(entry->d_name, sizeof data->name - 1));
    struct stat status;
    int dfd = dirfd(dir);
    bool known = g_sys.fstatat(dfd, entry->d_name, &status, 0) == 0 ||
                 g_sys.fstatat(dfd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!known) {
        data->attributes = entry->d_type == DT_DIR ? MSOS_FILE_ATTRIBUTE_DIRECTORY : MSOS_FILE_ATTRIBUTE_NORMAL;
        return;
    }
    bool dir_entry = S_ISDIR(status.st_mode);
    data->attributes = dir_entry ? MSOS_FILE_ATTRIBUTE_DIRECTORY : 0;
    if ((status.st_mode & 0222) == 0) data->attributes |= MSOS_FILE_ATTRIBUTE_READONLY;
    if (data->attributes == 0) data->attributes = MSOS_FILE_ATTRIBUTE_NORMAL;
    data->change_time = status.st_ctim.tv_sec;
    data->access_time = status.st_atim.tv_sec;
    data->write_time = status.st_mtim.tv_sec;
    data->size = dir_entry ? 0 : static_cast<uint64_t>(status.st_size);
}

// The next entry matching the record's pattern; false with errno
// MSOS_NO_MORE_FILES at the end or the error of readdir.
bool next_match(SearchRecord *rec, msos_find_data *data) {
    for (;;) {
        errno = 0;
        struct dirent *entry = g_sys.readdir(rec->dir);
        if (entry == nullptr) {
            if (errno == 0) errno = MSOS_NO_MORE_FILES;
            return false;
        }
        if (fnmatch(rec->pattern, entry->d_name, 0) == 0) {
            fill_find_data(rec->dir, entry, data);
            return true;
        }
    }
}

}  // namespace

extern "C" {

QRV_API qrv_handle msos_createfile(const char *path, uint32_t access, uint32_t /*share*/,
                                   msos_security_attributes *security, uint32_t disposition, uint32_t flags,
                                   qrv_handle /*template_file*/) noexcept {
    count(kOpens, 1);
    if (path == nullptr) {
        errno = EINVAL;
        return QRV_INVALID_HANDLE;
    }
    constexpr uint32_t kRead = MSOS_GENERIC_READ | 0x10000000u /*all*/ | 0x1u /*read data*/;
    constexpr uint32_t kWrite = MSOS_GENERIC_WRITE | 0x10000000u | 0x2u /*write data*/;
    bool reads = (access & kRead) != 0;
    bool writes = (access & kWrite) != 0;
    bool appends = (access & MSOS_FILE_APPEND_DATA) != 0;
    int oflags = (writes || appends) ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (appends && !writes) oflags |= O_APPEND;
    switch (disposition) {
        case MSOS_CREATE_NEW:
            oflags |= O_CREAT | O_EXCL;
            break;
        case MSOS_CREATE_ALWAYS:
            oflags |= O_CREAT | O_TRUNC;
            break;
        case MSOS_OPEN_EXISTING:
            break;
        case MSOS_OPEN_ALWAYS:
            oflags |= O_CREAT;
            break;
        case MSOS_TRUNCATE_EXISTING:
            oflags |= O_TRUNC;
            break;
        default:
            errno = EINVAL;
            return QRV_INVALID_HANDLE;
    }
    if ((flags & MSOS_FILE_FLAG_WRITE_THROUGH) != 0) oflags |= O_DSYNC;
    if (security == nullptr || security->inherit_handle == 0) oflags |= O_CLOEXEC;
    bool temporary = (flags & (MSOS_FILE_ATTRIBUTE_TEMPORARY | MSOS_FILE_FLAG_DELETE_ON_CLOSE)) != 0;
    const char *name = platform_path(path);
    // Opening a FIFO for reading waits for a writer: open without waiting,
    // look at what was opened, then make reads block again.
    const bool regular_only = (flags & qrv::os::kOpenRegularOnly) != 0 && (oflags & O_ACCMODE) == O_RDONLY;
    if (regular_only) oflags |= O_NONBLOCK;
    int fd = retry_eintr([&] { return g_sys.open(name, oflags, temporary ? 0600 : 0666); });
    if (fd < 0) return QRV_INVALID_HANDLE;
    // A directory is not a file: only read-only opens can reach one.
    if ((oflags & O_ACCMODE) == O_RDONLY) {
        struct stat status;
        int refusal = 0;
        if (g_sys.fstat(fd, &status) != 0) {
            refusal = regular_only ? errno : 0;
        } else if (S_ISDIR(status.st_mode)) {
            refusal = EISDIR;
        } else if (regular_only && !S_ISREG(status.st_mode) && !is_null_device(status)) {
            refusal = EINVAL;
        } else if (regular_only && g_sys.fcntl(fd, F_SETFL, oflags & ~O_NONBLOCK) != 0) {
            refusal = errno;
        }
        if (refusal != 0) {
            g_sys.close(fd);
            errno = refusal;
            return QRV_INVALID_HANDLE;
        }
    }
    if ((flags & MSOS_FILE_FLAG_DELETE_ON_CLOSE) != 0 && name == path) {
        int saved = errno;
        g_sys.unlink(name);  // the open file lives on without its name
        errno = saved;
    }
    return fd;
}

}  // extern "C"

namespace {

// A read or write needs a descriptor and, for a nonzero count, a buffer.
bool transfer_arguments_valid(qrv_handle handle, const void *buffer, uint32_t count) {
    if (!is_fd(handle)) {
        errno = EBADF;
        return false;
    }
    if (buffer == nullptr && count > 0) {
        errno = EFAULT;
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

QRV_API int msos_readfile(qrv_handle handle, void *buffer, uint32_t count_, uint32_t *done,
                          msos_overlapped * /*overlapped*/) noexcept {
    count(kReadCalls, 1);
    if (done != nullptr) *done = 0;
    if (!transfer_arguments_valid(handle, buffer, count_)) return 0;
    ssize_t got = retry_eintr([&] { return g_sys.read(fd_of(handle), buffer, count_); });
    if (got < 0) return 0;
    if (done != nullptr) *done = static_cast<uint32_t>(got);
    count(kBytesRead, static_cast<uint32_t>(got));
    return 1;
}

}  // extern "C"

namespace qrv::os {

int write_handle(qrv_handle handle, const void *buffer, uint32_t count_, uint32_t *done,
                 bool may_raise_sigpipe) noexcept {
    count(kWriteCalls, 1);
    if (done != nullptr) *done = 0;
    if (!transfer_arguments_valid(handle, buffer, count_)) return 0;
    if (count_ == 0) return 1;
    const char *bytes = static_cast<const char *>(buffer);
    uint32_t written = 0;
    SigpipeGuard guard(may_raise_sigpipe);
    while (written < count_) {
        ssize_t n = g_sys.write(fd_of(handle), bytes + written, count_ - written);  // EINTR: retried
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (n == 0) {  // no progress and no reason: give up rather than spin
            errno = EIO;
            break;
        }
        written += static_cast<uint32_t>(n);  // short writes: completed
    }
    const bool complete = written == count_;
    int err = complete ? 0 : errno;
    guard.finish(!complete && err == EPIPE);
    if (done != nullptr) *done = written;
    count(kBytesWritten, written);
    if (complete) return 1;
    errno = err;
    return written > 0 ? 1 : 0;
}

}  // namespace qrv::os

extern "C" {

QRV_API int msos_writefile(qrv_handle handle, const void *buffer, uint32_t count_, uint32_t *done,
                           msos_overlapped * /*overlapped*/) noexcept {
    return qrv::os::write_handle(handle, buffer, count_, done, true);
}

QRV_API uint32_t msos_setfilepointer(qrv_handle handle, int32_t low, int32_t *high, uint32_t method) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return MSOS_INVALID_SET_FILE_POINTER;
    }
    if (method > MSOS_FILE_END) {
        errno = EINVAL;
        return MSOS_INVALID_SET_FILE_POINTER;
    }
    int fd = fd_of(handle);
    int64_t distance = high != nullptr
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                                  static_cast<uint32_t>(low))
                           : low;
    // Only a 32-bit move relative to the current position or the end can
    // overshoot 32 bits; remember where it started to undo it.
    off_t before = 0;
    if (high == nullptr && method != MSOS_FILE_BEGIN) {
        before = g_sys.lseek(fd, 0, SEEK_CUR);
        if (before < 0) return MSOS_INVALID_SET_FILE_POINTER;
    }
    off_t position = g_sys.lseek(fd, distance, static_cast<int>(method));
    if (position < 0) return MSOS_INVALID_SET_FILE_POINTER;
    if (high == nullptr && position > static_cast<off_t>(0xFFFFFFFEu)) {
        g_sys.lseek(fd, before, SEEK_SET);
        errno = EOVERFLOW;
        return MSOS_INVALID_SET_FILE_POINTER;
    }
    if (high != nullptr) *high = static_cast<int32_t>(static_cast<uint64_t>(position) >> 32);
    errno = 0;
    return static_cast<uint32_t>(position);
}

QRV_API int msos_setendoffile(qrv_handle handle) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return 0;
    }
    off_t position = g_sys.lseek(fd_of(handle), 0, SEEK_CUR);
    return position >= 0 && g_sys.ftruncate(fd_of(handle), position) == 0;
}

QRV_API int msos_flushfilebuffers(qrv_handle handle) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return 0;
    }
    return g_sys.fsync(fd_of(handle)) == 0;
}

QRV_API uint32_t msos_getfiletype(qrv_handle handle) noexcept {
    struct stat status;
    if (!is_fd(handle)) {
        errno = EBADF;
        return MSOS_FILE_TYPE_UNKNOWN;
    }
    if (g_sys.fstat(fd_of(handle), &status) != 0) return MSOS_FILE_TYPE_UNKNOWN;
    if (S_ISCHR(status.st_mode)) return MSOS_FILE_TYPE_CHAR;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return MSOS_FILE_TYPE_PIPE;
    return MSOS_FILE_TYPE_DISK;
}

QRV_API uint32_t msos_getfileattributes(const char *path) noexcept {
    struct stat status;
    if (path == nullptr) {
        errno = EINVAL;
        return MSOS_INVALID_FILE_ATTRIBUTES;
    }
    if (g_sys.stat(platform_path(path), &status) != 0) return MSOS_INVALID_FILE_ATTRIBUTES;
    uint32_t attributes = S_ISDIR(status.st_mode) ? MSOS_FILE_ATTRIBUTE_DIRECTORY : 0;
    if ((status.st_mode & 0222) == 0) attributes |= MSOS_FILE_ATTRIBUTE_READONLY;
    return attributes != 0 ? attributes : MSOS_FILE_ATTRIBUTE_NORMAL;
}

}  // extern "C"

namespace {

// Sets an OFD lock of type on the byte range the caller describes (offset in
// overlapped, length in two halves); false with errno for a bad handle or range.
bool lock_range(qrv_handle handle, msos_overlapped *overlapped, uint32_t length_low, uint32_t length_high, short type,
                int command) {
    uint64_t start = overlapped != nullptr ? (uint64_t{overlapped->offset_high} << 32) | overlapped->offset : 0;
    uint64_t length = (uint64_t{length_high} << 32) | length_low;
    if (!is_fd(handle)) {
        errno = EBADF;
        return false;
    }
    if (length == 0 || start > INT64_MAX || length > INT64_MAX - start + 1) {
        errno = EINVAL;
        return false;
    }
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(start);
    lock.l_len = static_cast<off_t>(length);
    int rc;
    do rc = g_sys.fcntl_lock(fd_of(handle), command, &lock);  // a waiting lock outlasts signals
    while (rc < 0 && errno == EINTR && command == F_OFD_SETLKW);
    return rc == 0;
}

}  // namespace

extern "C" {

QRV_API int msos_lockfileex(qrv_handle handle, uint32_t flags, uint32_t /*reserved*/, uint32_t length_low,
                            uint32_t length_high, msos_overlapped *overlapped) noexcept {
    short type = (flags & MSOS_LOCKFILE_EXCLUSIVE_LOCK) != 0 ? F_WRLCK : F_RDLCK;
    int command = (flags & MSOS_LOCKFILE_FAIL_IMMEDIATELY) != 0 ? F_OFD_SETLK : F_OFD_SETLKW;
    return lock_range(handle, overlapped, length_low, length_high, type, command);
}

QRV_API int msos_unlockfileex(qrv_handle handle, uint32_t /*reserved*/, uint32_t length_low, uint32_t length_high,
                              msos_overlapped *overlapped) noexcept {
    return lock_range(handle, overlapped, length_low, length_high, F_UNLCK, F_OFD_SETLK);
}

QRV_API int msos_createpipe(qrv_handle *read_end, qrv_handle *write_end, msos_security_attributes *security,
                            uint32_t /*size*/) noexcept {
    if (read_end == nullptr || write_end == nullptr) {
        errno = EINVAL;
        return 0;
    }
    int fds[2];
    bool inherit = security != nullptr && security->inherit_handle != 0;
    if (g_sys.pipe2(fds, inherit ? 0 : O_CLOEXEC) != 0) return 0;
    *read_end = fds[0];
    *write_end = fds[1];
    return 1;
}

QRV_API int msos_mkdir(const char *path) noexcept {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (refuse_nul(path)) return -1;
    return g_sys.mkdir(path, 0777) == 0 ? 0 : -1;
}

QRV_API int msos_rmdir(const char *path) noexcept {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (refuse_nul(path)) return -1;
    return g_sys.rmdir(path) == 0 ? 0 : -1;
}

QRV_API int msos_chdir(const char *path) noexcept {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return g_sys.chdir(path) == 0 ? 0 : -1;
}

QRV_API int msos_unlink(const char *path) noexcept {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (refuse_nul(path)) return -1;
    return g_sys.unlink(path) == 0 ? 0 : -1;
}

QRV_API int msos_rename(const char *old_path, const char *new_path) noexcept {
    if (old_path == nullptr || new_path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (refuse_nul(old_path) || refuse_nul(new_path)) return -1;
    return g_sys.rename_noreplace(old_path, new_path) == 0 ? 0 : -1;
}

QRV_API char *msos_getcwd(char *buffer, int size) noexcept {
    if (buffer == nullptr || size <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    char scratch[kPathMax];  // the caller's buffer is written only on success
    if (g_sys.getcwd(scratch, sizeof scratch) == nullptr) return nullptr;
    size_t length = strlen(scratch);
    if (length + 1 > static_cast<size_t>(size)) {
        errno = ERANGE;
        return nullptr;
    }
    memcpy(buffer, scratch, length + 1);
    return buffer;
}

QRV_API int msos_getfullpathname(const char *path, int size, char *buffer, char **file_part) noexcept {
    char full[kPathMax];
    int length = absolute_path(path, full);
    if (length < 0) return 0;
    return deliver(full, length, buffer, size, file_part);
}

QRV_API int msos_getmodulefilename(char *buffer, int size, char **file_part) noexcept {
    char path[kPathMax];
    ssize_t n = g_sys.readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0) return 0;
    // readlink truncates without saying so: a full buffer may be cut short.
    if (static_cast<size_t>(n) >= sizeof path) {
        errno = ENAMETOOLONG;
        return 0;
    }
    path[n] = '\0';
    return deliver(path, static_cast<int>(n), buffer, size, file_part);
}

QRV_API int msos_searchpath(const char *search_path, const char *name, const char *extension, int size, char *buffer,
                            char **file_part) noexcept {
    if (file_part != nullptr) *file_part = buffer;
    if (name == nullptr || *name == '\0') {
        errno = EINVAL;
        return 0;
    }
    char wanted[kPathMax];
    const char *tail = strrchr(name, '/');
    bool add_extension = extension != nullptr && strchr(tail != nullptr ? tail : name, '.') == nullptr;
    size_t name_length = strlen(name);
    size_t extension_length = add_extension ? strlen(extension) : 0;
    if (name_length + extension_length >= sizeof wanted) {
        errno = ENAMETOOLONG;
        return 0;
    }
    memcpy(wanted, name, name_length);
    memcpy(wanted + name_length, add_extension ? extension : "", extension_length + 1);

    char candidate[2 * kPathMax];
    bool found = false;
    if (tail != nullptr) {
        found = is_searchable_file(wanted);
        if (found) memcpy(candidate, wanted, strlen(wanted) + 1);
    } else {
        const char *list = search_path;
        char fallback[2 * kPathMax];
        if (list == nullptr) {  // the current directory, then PATH
            const char *env = getenv("PATH");
            int n = snprintf(fallback, sizeof fallback, ".:%s", env != nullptr ? env : "");
            if (n < 0 || n >= static_cast<int>(sizeof fallback)) fallback[sizeof fallback - 1] = '\0';
            list = fallback;
        }
        for (const char *p = list; !found;) {
            const char *end = strchr(p, ':');
            size_t dir_length = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
            const char *dir = dir_length == 0 ? "." : p;
            if (dir_length == 0) dir_length = 1;
            if (dir_length + 1 + strlen(wanted) < sizeof candidate) {
                memcpy(candidate, dir, dir_length);
                candidate[dir_length] = '/';
                memcpy(candidate + dir_length + 1, wanted, strlen(wanted) + 1);
                found = is_searchable_file(candidate);
            }
            if (end == nullptr) break;
            p = end + 1;
        }
    }
    if (!found) {
        errno = ENOENT;
        return 0;
    }
    char full[kPathMax];
    int length = absolute_path(candidate, full);
    if (length < 0) return 0;
    return deliver(full, length, buffer, size, file_part);
}

QRV_API qrv_handle msos_findfirstfile(const char *pattern, msos_find_data *data) noexcept {
    if (pattern == nullptr || data == nullptr) {
        errno = EINVAL;
        return QRV_INVALID_HANDLE;
    }
    char directory[kPathMax];
    const char *slash = strrchr(pattern, '/');
    const char *name = slash != nullptr ? slash + 1 : pattern;
    size_t dir_length = slash == nullptr ? 0 : (slash == pattern ? 1 : static_cast<size_t>(slash - pattern));
    size_t name_length = strlen(name);
    if (dir_length >= sizeof directory || name_length > NAME_MAX) {
        errno = ENAMETOOLONG;
        return QRV_INVALID_HANDLE;
    }
    if (name_length == 0) {
        errno = ENOENT;
        return QRV_INVALID_HANDLE;
    }
    if (dir_length == 0) {
        directory[0] = '.';
        dir_length = 1;
    } else {
        memcpy(directory, pattern, dir_length);
    }
    directory[dir_length] = '\0';

    void *memory = std::malloc(sizeof(SearchRecord));
    if (memory == nullptr) {
        errno = ENOMEM;
        return QRV_INVALID_HANDLE;
    }
    auto *rec = new (memory) SearchRecord;
    rec->kind = qrv::os::HandleKind::search;
    memcpy(rec->pattern, name, name_length + 1);
    // "*.*" matches every name, with or without a dot.
    if (name_length >= 3 && strcmp(name + name_length - 3, "*.*") == 0) rec->pattern[name_length - 2] = '\0';
    rec->dir = g_sys.opendir(directory);
    if (rec->dir == nullptr || !next_match(rec, data)) {
        int err = errno == MSOS_NO_MORE_FILES ? ENOENT : errno;
        if (rec->dir != nullptr) g_sys.closedir(rec->dir);
        std::free(rec);
        errno = err;
        return QRV_INVALID_HANDLE;
    }
    return qrv::os::to_handle(rec);
}

QRV_API int msos_findnextfile(qrv_handle search, msos_find_data *data) noexcept {
    auto *rec = qrv::os::record_of<SearchRecord>(search, qrv::os::HandleKind::search);
    if (rec == nullptr || data == nullptr) {
        errno = rec == nullptr ? EBADF : EINVAL;
        return 0;
    }
    return next_match(rec, data) ? 1 : 0;
}

QRV_API int msos_findclose(qrv_handle search) noexcept {
    if (qrv::os::close_search_handle(search) == 1) return 1;
    errno = EBADF;
    return 0;
}

QRV_API int msosfileio_stat_get(uint32_t counters[5]) noexcept {
    if (counters == nullptr) return -1;
    for (int i = 0; i < 5; ++i) counters[i] = g_counters[i].load(std::memory_order_relaxed);
    return 0;
}

QRV_API int msosfileio_stat_reset(void) noexcept {
    for (std::atomic<uint32_t> &c : g_counters) c.store(0, std::memory_order_relaxed);
    return 0;
}

QRV_API qrv_handle msos_getstdhandle(uint32_t which) noexcept {
    int i = std_index(which);
    if (i < 0) {
        errno = EINVAL;
        return QRV_INVALID_HANDLE;
    }
    return g_std_handles[i].load(std::memory_order_relaxed);
}

QRV_API int msos_setstdhandle(uint32_t which, qrv_handle handle) noexcept {
    int i = std_index(which);
    if (i < 0) {
        errno = EINVAL;
        return 0;
    }
    g_std_handles[i].store(handle, std::memory_order_relaxed);
    return 1;
}

QRV_API int msos_sethandleinformation(qrv_handle handle, uint32_t mask, uint32_t flags) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return 0;
    }
    int current = g_sys.fcntl(fd_of(handle), F_GETFD, 0);
    if (current < 0) return 0;
    if ((mask & MSOS_HANDLE_FLAG_INHERIT) == 0) return 1;
    int wanted = (flags & MSOS_HANDLE_FLAG_INHERIT) != 0 ? current & ~FD_CLOEXEC : current | FD_CLOEXEC;
    return wanted == current || g_sys.fcntl(fd_of(handle), F_SETFD, wanted) == 0;
}

}  // extern "C"

namespace qrv::os {

namespace {

void describe(const struct stat &status, FileInfo *info) {
    mode_t m = status.st_mode;
    info->kind = S_ISREG(m) ? 'r' : S_ISDIR(m) ? 'd' : S_ISCHR(m) ? 'c' : (S_ISFIFO(m) || S_ISSOCK(m)) ? 'p' : 'o';
    info->size = S_ISREG(m) ? status.st_size : 0;
    info->access_time = status.st_atim.tv_sec;
    info->modify_time = status.st_mtim.tv_sec;
}

}  // namespace

bool file_info(qrv_handle handle, FileInfo *info) noexcept {
    struct stat status;
    if (!is_fd(handle)) {
        errno = EBADF;
        return false;
    }
    if (g_sys.fstat(fd_of(handle), &status) != 0) return false;
    describe(status, info);
    return true;
}

bool path_info(const char *path, FileInfo *info) noexcept {
    struct stat status;
    if (path == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (g_sys.stat(platform_path(path), &status) != 0) return false;
    describe(status, info);
    return true;
}

bool same_file(const char *a, const char *b) noexcept {
    struct stat first, second;
    if (a == nullptr || b == nullptr || g_sys.stat(platform_path(a), &first) != 0 ||
        g_sys.stat(platform_path(b), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool is_real_directory(const char *path) noexcept {
    struct stat status;
    return path != nullptr && g_sys.fstatat(AT_FDCWD, path, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(status.st_mode);
}

qrv_handle duplicate_handle(qrv_handle handle) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return QRV_INVALID_HANDLE;
    }
    int fd = g_sys.fcntl(fd_of(handle), F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? QRV_INVALID_HANDLE : fd;
}

bool set_file_size(qrv_handle handle, int64_t size) noexcept {
    if (!is_fd(handle)) {
        errno = EBADF;
        return false;
    }
    if (size < 0) {
        errno = EINVAL;
        return false;
    }
    return g_sys.ftruncate(fd_of(handle), size) == 0;
}

bool is_nul_name(const char *path) noexcept { return path != nullptr && strcasecmp(path, "nul") == 0; }

void sleep_timespec(timespec t) noexcept {
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void sleep_microseconds(uint32_t us) noexcept {
    sleep_timespec({static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L});
}

int close_search_handle(qrv_handle handle) noexcept {
    auto *rec = record_of<SearchRecord>(handle, HandleKind::search);
    if (rec == nullptr) return -1;
    rec->kind = HandleKind{0};
    if (rec->dir != nullptr) g_sys.closedir(rec->dir);
    std::free(rec);
    return 1;
}

// The directory entry of a replacing rename reaches the disk as well, so a
// power loss after the call finds the new file. Best effort: the rename has
// already happened, and a directory that cannot be synced changes nothing.
static void sync_parent_directory(const char *path) noexcept {
    char directory[4096];
    const char *slash = strrchr(path, '/');
    size_t n = slash == nullptr ? 0 : (slash == path ? 1 : static_cast<size_t>(slash - path));
    if (n >= sizeof directory) return;
    if (n == 0) {
        directory[n++] = '.';
    } else {
        memcpy(directory, path, n);
    }
    directory[n] = '\0';
    int fd = g_sys.open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return;
    g_sys.fsync(fd);
    g_sys.close(fd);
}

int rename_replace(const char *from, const char *to) noexcept {
    if (from == nullptr || to == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (refuse_nul(from) || refuse_nul(to)) return -1;
    if (g_sys.rename_replace(from, to) != 0) return -1;
    sync_parent_directory(to);
    return 0;
}
}  // namespace qrv::os
