// Descriptors: opening and creating, reading and writing with text-mode
// line ends, positioning, information, inheritance and locks.
#include <cerrno>
#include <cstring>

#include "base/eos.h"
#include "base/errids.h"
#include "base/registry.h"
#include "base/space.h"
#include "io/fio.h"
#include "mserror.h"
#include "msos.h"
#include "os/os_internal.h"

extern "C" {
QRV_API int32_t msrte_type = 0;
}

namespace qrv::fio {
namespace {

constexpr uint32_t kShareAll = MSOS_FILE_SHARE_READ | MSOS_FILE_SHARE_WRITE | MSOS_FILE_SHARE_DELETE;
// Text-mode output goes out in chunks closed at this size or more.
constexpr int kChunkClose = 4092;
// The lock byte: far beyond any data.
constexpr uint32_t kLockOffsetHigh = 0x7FFFFFFFu;
constexpr uint32_t kLockOffsetLow = 0xFFFFFFFEu;

// The operating-system error, then id; errno is kept for the caller.
void report(int os_error, int32_t id) { qrv::eos::push_os_error(os_error, id); }

void report_path(int os_error, int32_t id, const char *path) { qrv::eos::push_os_error(os_error, id, path); }

// A platform read that failed: after a short pause the stack holds 16116
// alone, as a read that came back with nothing.
int read_failed() {
    int saved = errno;
    os::sleep_microseconds(1);
    mserror_reset_seterr(err::kFileReadInterrupted, 0);
    errno = saved;
    return -1;
}

msfio_fd open_with(const char *path, int binary, char access, uint32_t flags) {
    uint32_t rights = 0;
    bool at_end = false;
    switch (access) {
        case 'r':
            rights = MSOS_GENERIC_READ;
            break;
        case 'w':
            rights = MSOS_GENERIC_WRITE;
            break;
        case 'a':
            rights = MSOS_GENERIC_WRITE;
            at_end = true;
            break;
        case 'u':
            rights = MSOS_GENERIC_READ | MSOS_GENERIC_WRITE;
            break;
        case 'e':
            rights = MSOS_GENERIC_READ | MSOS_FILE_APPEND_DATA;
            break;
        case 'l':
            rights = MSOS_FILE_APPEND_DATA;
            break;
        default:
            mserror_reset_seterr(err::kInvalidAccessArgument, 0);
            return MSFIO_NONE;
    }
    qrv_handle h = mseos_createfile(path, rights, kShareAll, nullptr, MSOS_OPEN_EXISTING, flags, QRV_INVALID_HANDLE);
    if (h == QRV_INVALID_HANDLE) return MSFIO_NONE;
    if (at_end) {
        int32_t high = 0;
        int ok = 0;
        mseos_setfilepointer(h, 0, &high, MSOS_FILE_END, &ok);
        if (!ok) {
            msos_closehandle(h);
            return MSFIO_NONE;
        }
    }
    msfio_fd fd = make(h, binary != 0);
    if (fd == MSFIO_NONE) msos_closehandle(h);
    return fd;
}

msfio_fd create_with(const char *path, int binary, int exclusive, uint32_t flags) {
    uint32_t disposition = exclusive ? MSOS_CREATE_NEW : MSOS_CREATE_ALWAYS;
    qrv_handle h = mseos_createfile(path, MSOS_GENERIC_READ | MSOS_GENERIC_WRITE, kShareAll, nullptr, disposition,
                                    flags, QRV_INVALID_HANDLE);
    if (h == QRV_INVALID_HANDLE) return MSFIO_NONE;
    msfio_fd fd = make(h, binary != 0);
    if (fd == MSFIO_NONE) msos_closehandle(h);
    return fd;
}

// Text-mode read: a byte read ahead after a final CR waits in the record;
// CR LF becomes LF, also when the pair is split by the end of a read; reads
// continue into the room the removed CRs free while the system delivers all
// it is asked for.
int read_text(Descriptor *d, char *buffer, int count) {
    int total = 0;
    while (total < count) {
        int segment = total;
        if (d->cr_pending) {
            buffer[total++] = static_cast<char>(d->pending_byte);
            d->cr_pending = 0;
        }
        auto want = static_cast<uint32_t>(count - total);
        uint32_t got = 0;
        if (want > 0 && !msos_readfile(d->handle, buffer + total, want, &got, nullptr)) {
            if (total > 0) return total;  // what was delivered stays delivered
            return read_failed();
        }
        total += static_cast<int>(got);
        // Pairs inside the data go first, so that a CR before the final one
        // is never taken for the start of a pair the read-ahead completes.
        int out = segment;
        for (int in = segment; in < total; ++in) {
            if (buffer[in] == '\r' && in + 1 < total && buffer[in + 1] == '\n') continue;
            buffer[out++] = buffer[in];
        }
        total = out;
        if (total > segment && buffer[total - 1] == '\r') {
            unsigned char next = 0;
            uint32_t n = 0;
            if (msos_readfile(d->handle, &next, 1, &n, nullptr) && n == 1) {
                if (next == '\n') {
                    buffer[total - 1] = '\n';
                } else {
                    d->cr_pending = 1;
                    d->pending_byte = next;
                }
            }  // at the end of the file the CR is data
        }
        if (got < want) break;
    }
    return total;
}

// How many caller bytes from start produced the first output bytes of a
// chunk (a CR inserted before a LF that did not go out does not count).
int caller_bytes(const char *source, int start, uint32_t output) {
    uint32_t produced = 0;
    int i = start;
    for (;; ++i) {
        uint32_t width = (source[i] == '\n' && (i == 0 || source[i - 1] != '\r')) ? 2 : 1;
        if (produced + width > output) break;
        produced += width;
    }
    return i - start;
}

// A write that stopped part-way: 16125 alone on a cleared stack, as a failed
// read leaves 16116 alone; the caller learns how much went out, and errno
// keeps the system's reason.
int partial(int os_error, int written) {
    mserror_reset_seterr(err::kPartialWrite, 0);
    errno = os_error != 0 ? os_error : EIO;
    return written;
}

int write_text(Descriptor *d, const char *source, int count) {
    char chunk[kChunkClose + 4];
    int written = 0;
    int i = 0;
    while (i < count) {
        int start = i;
        uint32_t n = 0;
        while (i < count && n < static_cast<uint32_t>(kChunkClose)) {
            if (source[i] == '\n' && (i == 0 || source[i - 1] != '\r')) chunk[n++] = '\r';
            chunk[n++] = source[i++];
        }
        uint32_t done = 0;
        if (!qrv::os::write_handle(d->handle, chunk, n, &done, d->may_raise_sigpipe)) {
            if (written == 0) {
                report(errno, err::kCannotWriteFile);
                return -1;
            }
            return partial(errno, written);
        }
        if (done < n) return partial(errno, written + caller_bytes(source, start, done));
        written += i - start;
    }
    return written;
}

bool converts(const Descriptor *d) { return d->binary == 0 && text_mode_on(); }

// Fills the out arguments of the stat functions.
void deliver_stat(const os::FileInfo &info, char *type, int64_t *size, int32_t *access_time, int32_t *modify_time,
                  int *permissions) {
    if (type != nullptr) {
        char kind = info.kind;
        *type = (kind == 'r' || kind == 'c' || kind == 'p') ? kind : 'o';
    }
    if (size != nullptr) *size = info.size;
    if (access_time != nullptr) *access_time = static_cast<int32_t>(info.access_time);
    if (modify_time != nullptr) *modify_time = static_cast<int32_t>(info.modify_time);
    if (permissions != nullptr) *permissions = 7;
}

int lock_request(msfio_fd fd, bool lock, int wait) {
    int32_t id = lock ? err::kCannotLockFile : err::kCannotUnlockFile;
    if (fd == MSFIO_NULL) return 1;
    Descriptor *d = lookup(fd);
    if (d == nullptr) {
        report(EBADF, id);
        return 0;
    }
    msos_overlapped where{};
    where.offset = kLockOffsetLow;
    where.offset_high = kLockOffsetHigh;
    uint32_t flags = MSOS_LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : MSOS_LOCKFILE_FAIL_IMMEDIATELY);
    int ok = lock ? msos_lockfileex(d->handle, flags, 0, 1, 0, &where) : msos_unlockfileex(d->handle, 0, 1, 0, &where);
    if (ok) return 1;
    report(errno, id);
    return 0;
}

}  // namespace

Descriptor *lookup(msfio_fd fd) noexcept {
    auto *d = space::live(space::Kind::descriptor, reinterpret_cast<Descriptor *>(fd));
    if (d == nullptr) errno = EBADF;
    return d;
}

int write_record(Descriptor *d, const void *buffer, int count) noexcept {
    if (d == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        report(d == nullptr ? EBADF : EINVAL, err::kCannotWriteFile);
        return -1;
    }
    if (count == 0) return 0;
    if (converts(d)) return write_text(d, static_cast<const char *>(buffer), count);
    uint32_t done = 0;
    if (!os::write_handle(d->handle, buffer, static_cast<uint32_t>(count), &done, d->may_raise_sigpipe)) {
        report(errno, err::kCannotWriteFile);
        return -1;
    }
    if (done < static_cast<uint32_t>(count)) return partial(errno, static_cast<int>(done));
    return count;
}

msfio_fd make(qrv_handle handle, bool binary) noexcept {
    auto *d = space::get_handle_zeroed<Descriptor>(space::Kind::descriptor);
    if (d == nullptr) return MSFIO_NONE;
    d->handle = handle;
    d->binary = binary ? 1 : 0;
    uint32_t type = msos_getfiletype(handle);
    d->may_raise_sigpipe = type != MSOS_FILE_TYPE_DISK && type != MSOS_FILE_TYPE_CHAR;
    return reinterpret_cast<msfio_fd>(d);
}

void discard(msfio_fd fd) noexcept { space::release_handle(space::Kind::descriptor, reinterpret_cast<void *>(fd)); }

int close_internal(msfio_fd fd) noexcept {
    if (fd == MSFIO_NULL || is_initial_standard(fd)) return 1;
    Descriptor *d = lookup(fd);
    // Of two closes racing, one finds the descriptor retired.
    if (d == nullptr || !space::retire(space::Kind::descriptor, d)) {
        report(EBADF, err::kCannotCloseFile);
        return 0;
    }
    qrv_handle h = d->handle;
    space::release(d);
    return mseos_closehandle(h);
}

msfio_fd open_regular(const char *path, int binary) noexcept {
    return open_with(path, binary, 'r', os::kOpenRegularOnly);
}

}  // namespace qrv::fio

using qrv::fio::Descriptor;
using qrv::fio::lookup;
using qrv::fio::report;
namespace err = qrv::err;

extern "C" {

QRV_API msfio_fd msfio_open(const char *path, int binary, char access) noexcept {
    return qrv::fio::open_with(path, binary, access, 0);
}

QRV_API msfio_fd msfio_open_writethrough(const char *path, int binary, char access) noexcept {
    return qrv::fio::open_with(path, binary, access, MSOS_FILE_FLAG_WRITE_THROUGH);
}

QRV_API msfio_fd msfio_create(const char *path, int binary, int /*mode*/, int exclusive) noexcept {
    return qrv::fio::create_with(path, binary, exclusive, MSOS_FILE_ATTRIBUTE_NORMAL);
}

QRV_API msfio_fd msfio_create_abs_perms_writethrough(const char *path, int binary, int /*mode*/,
                                                     int exclusive) noexcept {
    return qrv::fio::create_with(path, binary, exclusive, MSOS_FILE_FLAG_WRITE_THROUGH);
}

QRV_API msfio_fd msfio_create_tmp(const char *path, int binary, int /*mode*/, int exclusive) noexcept {
    uint32_t flags =
        msrte_type == 1 ? MSOS_FILE_ATTRIBUTE_NORMAL : MSOS_FILE_ATTRIBUTE_TEMPORARY | MSOS_FILE_FLAG_DELETE_ON_CLOSE;
    return qrv::fio::create_with(path, binary, exclusive, flags);
}

QRV_API msfio_fd msfio_dup(msfio_fd fd) noexcept {
    if (fd == MSFIO_NULL) return fd;
    Descriptor *d = lookup(fd);
    if (d == nullptr) {
        report(EBADF, err::kCannotDupFile);
        return MSFIO_NONE;
    }
    qrv_handle copy = qrv::os::duplicate_handle(d->handle);
    if (copy == QRV_INVALID_HANDLE) {
        report(errno, err::kCannotDupFile);
        return MSFIO_NONE;
    }
    msfio_fd result = qrv::fio::make(copy, d->binary != 0);
    if (result == MSFIO_NONE) msos_closehandle(copy);
    return result;
}

QRV_API int msfio_pipe(msfio_fd fds[2]) noexcept {
    if (fds == nullptr) {
        report(EINVAL, err::kCannotCreatePipe);
        return 0;
    }
    msos_security_attributes inherit{sizeof(msos_security_attributes), nullptr, 1};
    qrv_handle ends[2];
    if (!msos_createpipe(&ends[0], &ends[1], &inherit, 0)) {
        report(errno, err::kCannotCreatePipe);
        return 0;
    }
    msfio_fd reader = qrv::fio::make(ends[0], true);
    msfio_fd writer = reader != MSFIO_NONE ? qrv::fio::make(ends[1], true) : MSFIO_NONE;
    if (writer == MSFIO_NONE) {
        if (reader != MSFIO_NONE) qrv::fio::discard(reader);
        msos_closehandle(ends[0]);
        msos_closehandle(ends[1]);
        return 0;
    }
    fds[0] = reader;
    fds[1] = writer;
    return 1;
}

QRV_API msfio_fd msfio_win_mkdes(qrv_handle handle, int binary) noexcept { return qrv::fio::make(handle, binary != 0); }

QRV_API qrv_handle msfio_win_osfd_get(msfio_fd fd) noexcept {
    Descriptor *d = fd != MSFIO_NULL ? lookup(fd) : nullptr;
    return d != nullptr ? d->handle : QRV_INVALID_HANDLE;
}

QRV_API int msfio_win_setbinary(msfio_fd fd, int binary) noexcept {
    if (fd == MSFIO_NULL) return 1;
    Descriptor *d = lookup(fd);
    if (d == nullptr) return 0;
    d->binary = binary != 0 ? 1 : 0;
    return 1;
}

QRV_API int msfio_read(msfio_fd fd, void *buffer, int count) noexcept {
    if (fd == MSFIO_NULL) return 0;
    Descriptor *d = lookup(fd);
    if (d == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        report(d == nullptr ? EBADF : EINVAL, err::kCannotReadFile);
        return -1;
    }
    if (count == 0) return 0;
    if (qrv::fio::converts(d)) return qrv::fio::read_text(d, static_cast<char *>(buffer), count);
    uint32_t got = 0;
    if (!msos_readfile(d->handle, buffer, static_cast<uint32_t>(count), &got, nullptr)) {
        return qrv::fio::read_failed();
    }
    return static_cast<int>(got);
}

QRV_API int msfio_write(msfio_fd fd, const void *buffer, int count) noexcept {
    if (fd == MSFIO_NULL) return count;
    return qrv::fio::write_record(lookup(fd), buffer, count);
}

QRV_API int64_t msfio_seek(msfio_fd fd, int64_t position) noexcept {
    if (fd == MSFIO_NULL) return -1;
    Descriptor *d = lookup(fd);
    if (d == nullptr || position < -1) {
        report(d == nullptr ? EBADF : EINVAL, err::kCannotSeek);
        return -1;
    }
    bool to_end = position == -1;
    auto high = static_cast<int32_t>(to_end ? 0 : position >> 32);
    auto low = static_cast<int32_t>(to_end ? 0 : static_cast<uint32_t>(position));
    int ok = 0;
    uint32_t result = mseos_setfilepointer(d->handle, low, &high, to_end ? MSOS_FILE_END : MSOS_FILE_BEGIN, &ok);
    if (!ok) return -1;
    d->cr_pending = 0;  // the byte read ahead belongs to the old position
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | result);
}

QRV_API int64_t msfio_tell(msfio_fd fd) noexcept {
    if (fd == MSFIO_NULL) return 0;
    Descriptor *d = lookup(fd);
    if (d == nullptr) {
        report(EBADF, err::kCannotSeek);
        return -1;
    }
    int32_t high = 0;
    int ok = 0;
    uint32_t low = mseos_setfilepointer(d->handle, 0, &high, MSOS_FILE_CURRENT, &ok);
    if (!ok) return -1;
    auto position = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
    return position - (d->cr_pending ? 1 : 0);  // the pending byte is still to come
}

QRV_API int32_t msfio_seek_relative(msfio_fd fd, int32_t distance) noexcept {
    if (fd == MSFIO_NULL) return -1;
    Descriptor *d = lookup(fd);
    if (d == nullptr) {
        report(EBADF, err::kCannotSeek);
        return -1;
    }
    // Relative to the position the caller sees, which is one byte behind
    // the system's while a byte is pending.
    int64_t move = static_cast<int64_t>(distance) - (d->cr_pending ? 1 : 0);
    auto high = static_cast<int32_t>(move >> 32);
    int ok = 0;
    uint32_t low = mseos_setfilepointer(d->handle, static_cast<int32_t>(move), &high, MSOS_FILE_CURRENT, &ok);
    if (!ok) return -1;
    d->cr_pending = 0;
    auto position = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
    if (position > INT32_MAX) {
        int64_t back = position - move;
        int32_t back_high = static_cast<int32_t>(back >> 32);
        msos_setfilepointer(d->handle, static_cast<int32_t>(back), &back_high, MSOS_FILE_BEGIN);
        report(EOVERFLOW, err::kCannotSeek);
        return -1;
    }
    return static_cast<int32_t>(position);
}

QRV_API int msfio_sync(msfio_fd fd) noexcept {
    if (fd == MSFIO_NULL) return 1;
    Descriptor *d = lookup(fd);
    if (d == nullptr || !msos_flushfilebuffers(d->handle)) {
        report(d == nullptr ? EBADF : errno, err::kCannotSyncFile);
        return 0;
    }
    return 1;
}

QRV_API int msfio_ftruncate(msfio_fd fd, int64_t length) noexcept {
    if (fd == MSFIO_NULL) return 1;
    Descriptor *d = lookup(fd);
    if (d == nullptr || !qrv::os::set_file_size(d->handle, length)) {
        report(d == nullptr ? EBADF : errno, err::kCannotSetEndOfFile);
        return 0;
    }
    return 1;
}

QRV_API int msfio_close(msfio_fd fd) noexcept {
    if (qrv::fio::is_current_standard(fd)) return 1;
    return qrv::fio::close_internal(fd);
}

QRV_API int msfio_exists(const char *path) noexcept {
    uint32_t attributes = msos_getfileattributes(path);
    if (attributes == MSOS_INVALID_FILE_ATTRIBUTES) return 0;
    return (attributes & MSOS_FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 2;
}

QRV_API int msfio_stat(const char *path, char *type, int64_t *size, int32_t *access_time, int32_t *modify_time,
                       int *permissions) noexcept {
    qrv::os::FileInfo info{};
    if (!qrv::os::path_info(path, &info)) {
        qrv::fio::report_path(errno, err::kCannotStatNamedFile, path);
        return 0;
    }
    qrv::fio::deliver_stat(info, type, size, access_time, modify_time, permissions);
    return 1;
}

QRV_API int msfio_fstat(msfio_fd fd, char *type, int64_t *size, int32_t *access_time, int32_t *modify_time,
                        int *permissions) noexcept {
    qrv::os::FileInfo info{'c', 0, 0, 0};
    if (fd != MSFIO_NULL) {
        Descriptor *d = lookup(fd);
        if (d == nullptr || !qrv::os::file_info(d->handle, &info)) {
            report(d == nullptr ? EBADF : errno, err::kCannotStatFile);
            return 0;
        }
    }
    qrv::fio::deliver_stat(info, type, size, access_time, modify_time, permissions);
    return 1;
}

QRV_API int msfio_maxfd_get(void) noexcept { return 2048; }

QRV_API void msfio_maxfd_set(void) noexcept {}

QRV_API int msfio_inherit_set(msfio_fd fd, int on) noexcept {
    if (fd == MSFIO_NULL) return 1;
    Descriptor *d = lookup(fd);
    if (d == nullptr) {
        report(EBADF, err::kCannotSetInheritance);
        return 0;
    }
    // The entries present are set aside: a refusal on an invalid handle is
    // no failure and must leave them as they were.
    int32_t floor = mserror_cleanup_save();
    int ok = mseos_set_handleinformation(d->handle, MSOS_HANDLE_FLAG_INHERIT, on ? MSOS_HANDLE_FLAG_INHERIT : 0);
    bool invalid = !ok && mserror_geterr_id() == err::kHandleInfoInvalidHandle;
    int saved = errno;
    mserror_cleanup_restore(floor);
    if (ok || invalid) return 1;
    report(saved, err::kCannotSetHandleInfo);
    mserror_seterr(err::kCannotSetInheritance, 0);
    return 0;
}

QRV_API int msfio_lock(msfio_fd fd, int wait) noexcept { return qrv::fio::lock_request(fd, true, wait); }

QRV_API int msfio_unlock(msfio_fd fd) noexcept { return qrv::fio::lock_request(fd, false, 0); }

QRV_API int msfio_get_qrv_oserr(void) noexcept {
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    int64_t code = 0;
    bool found = mserror_pop() && mserror_geterr_id() == err::kOsError && mserror_geterr_arg(&code, 0);
    mserror_stack_restore(top, used);
    if (!found) return 0;
    switch (code) {
        case ENOENT:
            return 4;
        case EACCES:
        case EPERM:
        case EISDIR:
            return 1;
        case EEXIST:
            return 2;
        case ECANCELED:
            return 3;
        default:
            return 0;
    }
}

}  // extern "C"
