// Threads, critical sections, thread-local slots and atomics over pthreads.
#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

#include "msos.h"
#include "os/handle.h"
#include "os/mutex.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace {

static_assert(sizeof(pthread_key_t) == sizeof(uint32_t), "keys are 32-bit");

std::atomic<uint32_t> g_last_thread_number{0};

int *futex_word(qrv::os::RecursiveMutex *m) { return reinterpret_cast<int *>(&m->state); }

std::atomic<int> g_exit_strategy{0};

// A thread is shared by its creator's handle and the running thread; the last
// of the two to let go frees the record.
struct ThreadRecord : qrv::os::HandleRecord {
    pthread_t thread{};
    msos_thread_routine routine = nullptr;
    void *arg = nullptr;
    std::atomic<uint32_t> exit_code{MSOS_STILL_ACTIVE};
    std::atomic<bool> returned{false};  // a routine may itself return 259
    std::atomic<int> refs{2};
    pthread_mutex_t join_lock = PTHREAD_MUTEX_INITIALIZER;  // one joiner at a time
    bool joined = false;
};

void release(ThreadRecord *rec) {
    if (rec->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        rec->~ThreadRecord();
        std::free(rec);
    }
}

// The record of the thread running here, for msos_exit_thread.
__thread ThreadRecord *t_self = nullptr;

void finish(ThreadRecord *rec, uint32_t code) {
    rec->exit_code.store(code, std::memory_order_relaxed);
    rec->returned.store(true, std::memory_order_release);
    qrv::os::notify_waiters();
    release(rec);
}

void *thread_entry(void *p) {
    auto *rec = static_cast<ThreadRecord *>(p);
    t_self = rec;
    uint32_t code = rec->routine(rec->arg);
    t_self = nullptr;
    finish(rec, code);
    return nullptr;
}

size_t usable_stack_size(uint32_t requested) {
    if (requested == 0) return 0;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = requested < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : requested;
    return (size + page - 1) / page * page;
}

}  // namespace

extern "C" {

QRV_API int32_t msos_interlockedexchange(int32_t *target, int32_t value) noexcept {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

QRV_API int32_t msos_atomic_inc(int32_t *target) noexcept { return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST); }

QRV_API int32_t msos_atomic_dec(int32_t *target) noexcept { return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST); }

QRV_API void msos_relinquish_thread(void) noexcept { sched_yield(); }

QRV_API int32_t msos_getpid(void) noexcept { return static_cast<int32_t>(getpid()); }

QRV_API uint32_t msos_GetCurrentThreadId(void) noexcept { return static_cast<uint32_t>(gettid()); }

QRV_API void msos_set_thread_exit_strategy(int flag) noexcept { g_exit_strategy.store(flag != 0); }

QRV_API int msos_InitializeCSAndSpinCount(qrv_mutex *cs, uint32_t /*spin_count*/) noexcept {
    if (cs == nullptr) {
        errno = EINVAL;
        return 0;
    }
    qrv::os::mutex_init(cs);
    return 1;
}

QRV_API void msos_EnterCriticalSection(qrv_mutex *cs) noexcept {
    if (cs != nullptr) qrv::os::mutex_lock(cs);
}

QRV_API int msos_TryEnterCriticalSection(qrv_mutex *cs) noexcept { return cs != nullptr && qrv::os::mutex_trylock(cs); }

QRV_API void msos_LeaveCriticalSection(qrv_mutex *cs) noexcept {
    if (cs != nullptr) qrv::os::mutex_unlock(cs);
}

// Nothing to release: the mutex holds no resource of the system.
QRV_API void msos_DeleteCriticalSection(qrv_mutex * /*cs*/) noexcept {}

QRV_API uint32_t msos_TlsAlloc(void) noexcept {
    pthread_key_t key;
    if (int rc = pthread_key_create(&key, nullptr); rc != 0) {
        errno = rc;
        return MSTHREAD_NO_KEY;
    }
    return key;
}

QRV_API int msos_TlsFree(uint32_t slot) noexcept {
    int rc = pthread_key_delete(slot);
    if (rc != 0) errno = rc;
    return rc == 0;
}

QRV_API void *msos_TlsGetValue(uint32_t slot) noexcept {
    if (slot >= PTHREAD_KEYS_MAX) return nullptr;
    return pthread_getspecific(slot);
}

QRV_API int msos_TlsSetValue(uint32_t slot, void *value) noexcept {
    int rc = slot >= PTHREAD_KEYS_MAX ? EINVAL : pthread_setspecific(slot, value);
    if (rc != 0) errno = rc;
    return rc == 0;
}

QRV_API qrv_handle msos_createthread(void * /*security*/, uint32_t stack_size, msos_thread_routine routine, void *arg,
                                     uint32_t /*flags*/, uint32_t *thread_id) noexcept {
    if (routine == nullptr) {
        errno = EINVAL;
        return 0;
    }
    void *mem = std::malloc(sizeof(ThreadRecord));
    if (mem == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    auto *rec = new (mem) ThreadRecord;
    rec->kind = qrv::os::HandleKind::thread;
    rec->routine = routine;
    rec->arg = arg;

    pthread_attr_t attr;
    int rc = pthread_attr_init(&attr);
    if (rc == 0) {
        if (size_t size = usable_stack_size(stack_size); size != 0) rc = pthread_attr_setstacksize(&attr, size);
        if (rc == 0) rc = pthread_create(&rec->thread, &attr, thread_entry, rec);
        pthread_attr_destroy(&attr);
    }
    if (rc != 0) {
        rec->~ThreadRecord();
        std::free(mem);
        errno = rc;
        return 0;
    }
    // The kernel id of another thread is not observable portably; report the
    // pthread id's low bits, which identify the thread for its lifetime.
    if (thread_id != nullptr) *thread_id = static_cast<uint32_t>(rec->thread);
    return qrv::os::to_handle(rec);
}

QRV_API uint32_t msos_waitforsingleobject(qrv_handle handle, uint32_t timeout_ms) noexcept {
    auto *rec = qrv::os::record_of<ThreadRecord>(handle, qrv::os::HandleKind::thread);
    if (rec == nullptr) {
        uint32_t result = MSOS_WAIT_FAILED;
        if (qrv::os::wait_sync_handle(handle, timeout_ms, &result) == 1) return result;
        errno = EBADF;
        return MSOS_WAIT_FAILED;
    }
    pthread_mutex_lock(&rec->join_lock);
    int rc = 0;
    if (!rec->joined) {
        if (timeout_ms == MSOS_INFINITE) {
            rc = pthread_join(rec->thread, nullptr);
        } else {
            timespec until;
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_sec += timeout_ms / 1000;
            until.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
            if (until.tv_nsec >= 1000000000L) {
                until.tv_sec += 1;
                until.tv_nsec -= 1000000000L;
            }
            rc = pthread_timedjoin_np(rec->thread, nullptr, &until);
        }
        rec->joined = rc == 0;
    }
    pthread_mutex_unlock(&rec->join_lock);
    if (rc == ETIMEDOUT) return MSOS_WAIT_TIMEOUT;
    if (rc != 0) {
        errno = rc;
        return MSOS_WAIT_FAILED;
    }
    return MSOS_WAIT_OBJECT_0;
}

QRV_API int msos_closehandle(qrv_handle handle) noexcept {
    if (auto *rec = qrv::os::record_of<ThreadRecord>(handle, qrv::os::HandleKind::thread)) {
        pthread_mutex_lock(&rec->join_lock);
        if (!rec->joined) pthread_detach(rec->thread);
        pthread_mutex_unlock(&rec->join_lock);
        release(rec);
        return 1;
    }
    if (int rc = qrv::os::close_sync_handle(handle); rc >= 0) return rc;
    if (qrv::os::close_search_handle(handle) == 1) return 1;
    if (qrv::os::is_fd(handle)) return qrv::os::g_sys.close(static_cast<int>(handle)) == 0;  // never retried
    errno = EBADF;
    return 0;
}

QRV_API void msos_exit_thread(uint32_t code) noexcept {
    if (ThreadRecord *rec = t_self) {
        t_self = nullptr;
        finish(rec, code);
    }
    pthread_exit(nullptr);
}

}  // extern "C"

namespace qrv::os {

__thread uint32_t t_thread_number __attribute__((tls_model("initial-exec"))) = 0;

uint32_t assign_thread_number() noexcept {
    t_thread_number = g_last_thread_number.fetch_add(1, std::memory_order_relaxed) + 1;
    return t_thread_number;
}

void wait_for_mutex(RecursiveMutex *m) noexcept {
    int c = m->state.exchange(2, std::memory_order_acquire);
    while (c != 0) {
        syscall(SYS_futex, futex_word(m), FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
        c = m->state.exchange(2, std::memory_order_acquire);
    }
}

void wake_mutex_waiter(RecursiveMutex *m) noexcept {
    syscall(SYS_futex, futex_word(m), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

int thread_running(qrv_handle handle) noexcept {
    auto *rec = record_of<ThreadRecord>(handle, HandleKind::thread);
    if (rec == nullptr) return -1;
    return rec->returned.load(std::memory_order_acquire) ? 0 : 1;
}

uint32_t thread_exit_code(qrv_handle handle) noexcept {
    auto *rec = record_of<ThreadRecord>(handle, HandleKind::thread);
    return rec != nullptr ? rec->exit_code.load(std::memory_order_relaxed) : MSOS_STILL_ACTIVE;
}

int thread_exit_strategy() noexcept { return g_exit_strategy.load(); }

}  // namespace qrv::os
