// The reporting level: each mseos_ function calls its msos_ function and, on
// failure, saves errno before anything else runs, starts a new report with
// the operating-system error and pushes its own id on top. errno is put back
// so that the caller can still look at it.
#include <errno.h>

#include "base/eos.h"
#include "base/errids.h"
#include "mserror.h"
#include "msos.h"
#include "os/os_internal.h"

namespace qrv::eos {

void push_os_error(int os_error, int32_t id) noexcept {
    mserror_seterr_os(os_error);
    mserror_seterr(id, 0);
    errno = os_error;
}

void push_os_error(int os_error, int32_t id, const char *path) noexcept {
    mserror_seterr_os(os_error);
    mserror_seterr_1arg_str(id, path);
    errno = os_error;
}

void push_os_error_number(int os_error, int32_t id, int64_t number) noexcept {
    mserror_seterr_os(os_error);
    mserror_seterr_1arg(id, number);
    errno = os_error;
}

}  // namespace qrv::eos

namespace {

namespace err = qrv::err;

void report(int saved, int32_t id) { qrv::eos::push_os_error(saved, id); }

void report_path(int saved, int32_t id, const char *path) { qrv::eos::push_os_error(saved, id, path); }

}  // namespace

extern "C" {

QRV_API void *mseos_malloc(uint32_t size) noexcept {
    void *block = msos_malloc(size);
    if (block == nullptr) report(errno != 0 ? errno : ENOMEM, err::kCannotMalloc);
    return block;
}

QRV_API void *mseos_realloc(void *block, uint32_t size) noexcept {
    void *moved = msos_realloc(block, size);
    if (moved == nullptr && size != 0) report(errno != 0 ? errno : ENOMEM, err::kCannotRealloc);
    return moved;
}

QRV_API void *mseos_bigmem_alloc(int size) noexcept {
    void *block = size > 0 ? qrv::os::bigmem_alloc(static_cast<size_t>(size)) : nullptr;
    if (block == nullptr) report(size > 0 ? errno : EINVAL, err::kCannotVirtualAlloc);
    return block;
}

QRV_API int mseos_bigmem_free(void *block) noexcept {
    if (qrv::os::bigmem_free(block)) return 1;
    report(errno, err::kCannotVirtualFree);
    return 0;
}

QRV_API int mseos_mkdir(const char *path) noexcept {
    int rc = msos_mkdir(path);
    if (rc != 0) report_path(errno, err::kCannotCreateDirectory, path);
    return rc;
}

QRV_API int mseos_rmdir(const char *path) noexcept {
    int rc = msos_rmdir(path);
    if (rc != 0) report_path(errno, err::kCannotRemoveDirectory, path);
    return rc;
}

QRV_API int mseos_unlink(const char *path) noexcept {
    int rc = msos_unlink(path);
    if (rc != 0) report_path(errno, err::kCannotRemoveFile, path);
    return rc;
}

QRV_API int mseos_rename(const char *old_path, const char *new_path) noexcept {
    int rc = msos_rename(old_path, new_path);
    if (rc != 0) {
        int saved = errno;
        mserror_seterr_os(saved);
        mserror_seterr_2arg_str(err::kCannotRenameFile, old_path, new_path);
        errno = saved;
    }
    return rc;
}

QRV_API qrv_handle mseos_createfile(const char *path, uint32_t access, uint32_t share,
                                    msos_security_attributes *security, uint32_t disposition, uint32_t flags,
                                    qrv_handle template_file) noexcept {
    qrv_handle h = msos_createfile(path, access, share, security, disposition, flags, template_file);
    if (h == QRV_INVALID_HANDLE) {
        bool creates = disposition == MSOS_CREATE_NEW || disposition == MSOS_CREATE_ALWAYS;
        report_path(errno, creates ? err::kCannotCreateFile : err::kCannotOpenFile, path);
    }
    return h;
}

QRV_API int mseos_readfile(qrv_handle handle, void *buffer, uint32_t count, uint32_t *done,
                           msos_overlapped *overlapped) noexcept {
    if (msos_readfile(handle, buffer, count, done, overlapped)) return 1;
    int saved = errno;
    mserror_seterr_os(saved);
    mserror_reset_seterr(err::kReadInterrupted, 0);  // this entry stands alone
    errno = saved;
    return 0;
}

QRV_API int mseos_writefile(qrv_handle handle, const void *buffer, uint32_t count, uint32_t *done,
                            msos_overlapped *overlapped) noexcept {
    if (msos_writefile(handle, buffer, count, done, overlapped)) return 1;
    report(errno, err::kCannotWriteFile);
    return 0;
}

QRV_API int mseos_setendoffile(qrv_handle handle) noexcept {
    if (msos_setendoffile(handle)) return 1;
    report(errno, err::kCannotSetEndOfFile);
    return 0;
}

QRV_API uint32_t mseos_setfilepointer(qrv_handle handle, int32_t low, int32_t *high, uint32_t method,
                                      int *ok) noexcept {
    uint32_t position = msos_setfilepointer(handle, low, high, method);
    if (position == MSOS_INVALID_SET_FILE_POINTER) {
        int saved = errno;
        if (high != nullptr && saved == 0) {
            if (ok != nullptr) *ok = 1;  // a genuine low half of all bits set
            return position;
        }
        report(saved, err::kCannotSeek);
    }
    if (ok != nullptr) *ok = position != MSOS_INVALID_SET_FILE_POINTER ? 1 : 0;
    return position;
}

QRV_API int mseos_closehandle(qrv_handle handle) noexcept {
    if (msos_closehandle(handle)) return 1;
    report(errno, err::kCannotCloseFile);
    return 0;
}

QRV_API qrv_handle mseos_createevent(msos_security_attributes *security, int manual_reset, int initial_state,
                                     const char *name) noexcept {
    qrv_handle h = msos_createevent(security, manual_reset, initial_state, name);
    if (h == 0) report_path(errno, err::kCannotCreateEvent, name);
    return h;
}

QRV_API int mseos_setevent(qrv_handle event) noexcept {
    if (msos_setevent(event)) return 1;
    int saved = errno;
    mserror_seterr_os(saved);
    mserror_seterr_1arg(err::kCannotSetEvent, static_cast<int64_t>(event));
    errno = saved;
    return 0;
}

QRV_API qrv_handle mseos_createthread(void *security, uint32_t stack_size, msos_thread_routine routine, void *arg,
                                      uint32_t flags, uint32_t *thread_id) noexcept {
    qrv_handle h = msos_createthread(security, stack_size, routine, arg, flags, thread_id);
    if (h == 0) report(errno, err::kCannotCreateThread);
    return h;
}

QRV_API int mseos_set_handleinformation(qrv_handle handle, uint32_t mask, uint32_t flags) noexcept {
    if (msos_sethandleinformation(handle, mask, flags)) return 1;
    int saved = errno;
    report(saved, saved == EBADF ? err::kHandleInfoInvalidHandle : err::kCannotSetHandleInfo);
    return 0;
}

QRV_API qrv_handle mseos_getstdhandle(uint32_t which) noexcept {
    qrv_handle h = msos_getstdhandle(which);
    if (h == QRV_INVALID_HANDLE) {
        int saved = errno;
        mserror_seterr_os(saved);
        errno = saved;
    }
    return h;
}

QRV_API int mseos_setstdhandle(uint32_t which, qrv_handle handle) noexcept {
    if (msos_setstdhandle(which, handle)) return 1;
    int saved = errno;
    mserror_seterr_os(saved);
    errno = saved;
    return 0;
}

QRV_API int mseos_kill(int32_t process_id, int signal_number) noexcept {
    mserror_seterr_os(ENOTSUP);
    mserror_seterr_2arg(err::kCannotSendSignal, signal_number, process_id);
    errno = ENOTSUP;
    return -1;
}

}  // extern "C"
