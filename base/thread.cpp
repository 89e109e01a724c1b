// Owner of the init lock, the task-key lock and the mutex bypass flag; the
// msthread_ family over the operating-system layer.
#include <errno.h>

#include <atomic>

#include "base/context.h"
#include "base/errids.h"
#include "mserror.h"
#include "msos.h"
#include "msthread.h"
#include "os/mutex.h"
#include "os/os_internal.h"

namespace {

constexpr uint32_t kSpinCount = 4000;

qrv_mutex g_init_lock;
qrv_mutex g_task_key_lock;
std::atomic<int> g_bypass{0};
// A forked child's discarding pass: its thread alone passes every lock.
std::atomic<int> g_discarding{0};
__thread bool t_discarding __attribute__((tls_model("initial-exec"))) = false;

bool bypassed() {
    return g_bypass.load(std::memory_order_relaxed) != 0 ||
           (g_discarding.load(std::memory_order_relaxed) != 0 && t_discarding);
}

// The operating-system error first, then this layer's entry on top.
void push_os_then(int32_t id) {
    mserror_seterr_os_geterror();
    mserror_seterr(id, 0);
}

struct StartBlock {
    msthread_start_fn fn;
    void *arg;
};

uint32_t start_thread(void *p) {
    StartBlock block = *static_cast<StartBlock *>(p);
    qrv::os::heap_free(p);
    return static_cast<uint32_t>(block.fn(block.arg));
}

}  // namespace

namespace qrv::ctx {
qrv_mutex *init_lock() noexcept { return &g_init_lock; }
qrv_mutex *task_key_lock() noexcept { return &g_task_key_lock; }

void set_discarding(bool on) noexcept {
    t_discarding = on;
    g_discarding.fetch_add(on ? 1 : -1, std::memory_order_relaxed);
}
}  // namespace qrv::ctx

extern "C" {

QRV_API int msthread_mutex_init_raw(qrv_mutex *mutex) noexcept {
    if (mutex == nullptr) {
        errno = EINVAL;
        return 0;
    }
    return msos_InitializeCSAndSpinCount(mutex, kSpinCount);
}

QRV_API int msthread_mutex_init(qrv_mutex *mutex) noexcept {
    if (msthread_mutex_init_raw(mutex)) return 1;
    push_os_then(qrv::err::kCannotInitMutex);
    return 0;
}

QRV_API int msthread_mutex_destroy_raw(qrv_mutex *mutex) noexcept {
    if (mutex == nullptr) return 0;
    msos_DeleteCriticalSection(mutex);
    return 1;
}

QRV_API int msthread_mutex_destroy(qrv_mutex *mutex) noexcept { return msthread_mutex_destroy_raw(mutex); }

// Lock and unlock take the mutex's inline path: they are the library's
// hottest calls.
QRV_API int msthread_mutex_lock_raw(qrv_mutex *mutex) noexcept {
    if (mutex == nullptr) return 0;
    if (!bypassed()) qrv::os::mutex_lock(mutex);
    return 1;
}

QRV_API int msthread_mutex_lock(qrv_mutex *mutex) noexcept { return msthread_mutex_lock_raw(mutex); }

QRV_API int msthread_mutex_unlock_raw(qrv_mutex *mutex) noexcept {
    if (mutex == nullptr) return 0;
    if (!bypassed()) qrv::os::mutex_unlock(mutex);
    return 1;
}

QRV_API int msthread_mutex_unlock(qrv_mutex *mutex) noexcept { return msthread_mutex_unlock_raw(mutex); }

QRV_API int msthread_mutex_trylock_raw(qrv_mutex *mutex, int *acquired) noexcept {
    if (mutex == nullptr || acquired == nullptr) return 0;
    *acquired = bypassed() ? 1 : msos_TryEnterCriticalSection(mutex);
    return 1;
}

QRV_API int msthread_mutex_trylock(qrv_mutex *mutex, int *acquired) noexcept {
    return msthread_mutex_trylock_raw(mutex, acquired);
}

QRV_API void msthread_mutex_bypass(int value) noexcept { g_bypass.store(value, std::memory_order_relaxed); }

QRV_API int msthread_initmutex_init(void) noexcept {
    int a = msthread_mutex_init_raw(&g_init_lock);
    int b = msthread_mutex_init_raw(&g_task_key_lock);
    return a && b;
}

QRV_API void msthread_initmutex_destroy(void) noexcept {
    msthread_mutex_destroy_raw(&g_init_lock);
    msthread_mutex_destroy_raw(&g_task_key_lock);
}

QRV_API int msthread_key_create_raw(uint32_t *key) noexcept {
    if (key == nullptr) {
        errno = EINVAL;
        return 0;
    }
    *key = msos_TlsAlloc();
    return *key != MSTHREAD_NO_KEY;
}

QRV_API int msthread_key_create(uint32_t *key) noexcept {
    if (msthread_key_create_raw(key)) return 1;
    push_os_then(qrv::err::kCannotCreateThreadKey);
    return 0;
}

QRV_API int msthread_key_delete_raw(uint32_t key) noexcept {
    if (key == MSTHREAD_NO_KEY) {
        errno = EINVAL;
        return 0;
    }
    return msos_TlsFree(key);
}

QRV_API int msthread_key_delete(uint32_t key) noexcept {
    if (msthread_key_delete_raw(key)) return 1;
    push_os_then(qrv::err::kCannotDeleteThreadKey);
    return 0;
}

QRV_API int msthread_data_get_raw(uint32_t key, void **value) noexcept {
    if (key == MSTHREAD_NO_KEY) return 0;
    void *v = msos_TlsGetValue(key);
    if (value != nullptr) *value = v;
    return v != nullptr;
}

QRV_API int msthread_data_get(uint32_t key, void **value) noexcept {
    if (key == MSTHREAD_NO_KEY) {
        mserror_reset_seterr(qrv::err::kInvalidThreadKey, 0);
        return 0;
    }
    if (msthread_data_get_raw(key, value)) return 1;
    mserror_reset_seterr(qrv::err::kCannotGetThreadData, 0);
    return 0;
}

QRV_API int msthread_data_set_raw(uint32_t key, void *value) noexcept {
    if (key == MSTHREAD_NO_KEY) return 0;
    return msos_TlsSetValue(key, value);
}

QRV_API int msthread_data_set(uint32_t key, void *value) noexcept {
    if (key == MSTHREAD_NO_KEY) {
        mserror_reset_seterr(qrv::err::kInvalidThreadKey, 0);
        return 0;
    }
    if (msthread_data_set_raw(key, value)) return 1;
    push_os_then(qrv::err::kCannotSetThreadData);
    return 0;
}

QRV_API int msthread_thread_create(msthread_start_fn fn, void *arg, uint32_t stack_size, void * /*reserved*/,
                                   qrv_handle *handle) noexcept {
    if (fn == nullptr) return 0;
    auto *block = static_cast<StartBlock *>(qrv::os::heap_realloc(nullptr, sizeof(StartBlock)));
    if (block == nullptr) return 0;
    *block = StartBlock{fn, arg};
    qrv_handle h = msos_createthread(nullptr, stack_size, start_thread, block, 0, nullptr);
    if (h == 0) {
        qrv::os::heap_free(block);
        return 0;
    }
    if (handle != nullptr) {
        *handle = h;
    } else {
        msos_closehandle(h);
    }
    return 1;
}

QRV_API int msthread_thread_join(qrv_handle handle) noexcept {
    if (qrv::os::thread_running(handle) < 0) return 0;  // never close what is not a thread
    uint32_t result = msos_waitforsingleobject(handle, MSOS_INFINITE);
    msos_closehandle(handle);
    return result != MSOS_WAIT_FAILED;
}

QRV_API int msthread_alive(qrv_handle handle) noexcept { return qrv::os::thread_running(handle) == 1; }

QRV_API uint32_t msthread_id_get(void) noexcept { return msos_GetCurrentThreadId(); }

}  // extern "C"
