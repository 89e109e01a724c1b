// Owner of the task key, the default task and each thread's current pointer.
#include <atomic>

#include "frame/frame_internal.h"
#include "msbasic.h"
#include "mstask.h"
#include "msthread.h"

namespace qrv::frame {

__thread CurrentMirror t_current __attribute__((tls_model("initial-exec"))) = {0, nullptr, nullptr};
std::atomic<uint32_t> g_key_generation{1};

namespace {

std::atomic<uint32_t> g_task_key{MSTHREAD_NO_KEY};
mstask_block g_default_task = {MSTASK_MAGIC, nullptr, nullptr, nullptr};

// The task key, made on first use under the task-key lock.
uint32_t ensure_key() {
    uint32_t key = g_task_key.load(std::memory_order_acquire);
    if (key != MSTHREAD_NO_KEY) return key;
    msthread_mutex_lock_raw(task_key_lock());
    key = g_task_key.load(std::memory_order_relaxed);
    if (key == MSTHREAD_NO_KEY && msthread_key_create_raw(&key)) g_task_key.store(key, std::memory_order_release);
    msthread_mutex_unlock_raw(task_key_lock());
    return key;
}

bool has_task_magic(const void *p) { return p != nullptr && *static_cast<const uint32_t *>(p) == MSTASK_MAGIC; }

}  // namespace

void *current_ptr_slow() noexcept {
    uint32_t generation = g_key_generation.load(std::memory_order_acquire);
    uint32_t key = ensure_key();
    if (key == MSTHREAD_NO_KEY) return nullptr;
    void *value = nullptr;
    msthread_data_get_raw(key, &value);
    t_current = {generation, value, nullptr};
    return value;
}

}  // namespace qrv::frame

using qrv::frame::current_ptr;
using qrv::frame::is_thread_block;
using qrv::frame::ThreadBlock;

extern "C" {

QRV_API void *mstask_get_ptr(void) noexcept { return current_ptr(); }

QRV_API int mstask_set_ptr(void *ptr) noexcept {
    uint32_t generation = qrv::frame::g_key_generation.load(std::memory_order_acquire);
    uint32_t key = qrv::frame::ensure_key();
    if (key == MSTHREAD_NO_KEY || !msthread_data_set_raw(key, ptr)) return 0;
    qrv::frame::t_current = {generation, ptr, nullptr};
    return 1;
}

QRV_API void *mstask_get_ptr_w_default(void) noexcept {
    if (void *p = current_ptr()) return p;
    return mstask_set_ptr(&qrv::frame::g_default_task) ? &qrv::frame::g_default_task : nullptr;
}

QRV_API mstask_block *mstask_api_get_task(void) noexcept {
    void *p = current_ptr();
    if (qrv::frame::has_task_magic(p)) return static_cast<mstask_block *>(p);
    if (is_thread_block(p)) return static_cast<mstask_block *>(static_cast<ThreadBlock *>(p)->task);
    return nullptr;
}

QRV_API int mstask_api_current_task_is_default(void) noexcept {
    return mstask_api_get_task() == &qrv::frame::g_default_task;
}

QRV_API void *mstask_api_get_task_application_ws(void) noexcept {
    mstask_block *task = mstask_api_get_task();
    return task != nullptr ? task->application_ws : nullptr;
}

QRV_API int mstask_api_set_task_application_ws(void *ws) noexcept {
    mstask_block *task = mstask_api_get_task();
    if (task == nullptr) return 0;
    task->application_ws = ws;
    return 1;
}

QRV_API int mstask_api_init_set_task(mstask_block *task) noexcept {
    if (task == nullptr || current_ptr() != nullptr) return 0;
    *task = mstask_block{MSTASK_MAGIC, nullptr, nullptr, nullptr};
    return mstask_set_ptr(task);
}

QRV_API int mstask_api_set_task(mstask_block *task) noexcept {
    if (!qrv::frame::has_task_magic(task) || current_ptr() != nullptr) return 0;
    return mstask_set_ptr(task);
}

QRV_API int mstask_api_end_task(mstask_block *task) noexcept {
    if (task == nullptr || current_ptr() != task) return 0;
    return mstask_set_ptr(nullptr);
}

QRV_API int mstask_api_prolog(mstask_block *task, msbasic_cascade_fn cascade) noexcept {
    if (task != nullptr) {
        void *p = current_ptr();
        if (p == nullptr) {
            if (!mstask_set_ptr(task)) return 0;
            p = task;
        }
        if (qrv::frame::has_task_magic(p)) {
            if (p != task) return 0;
        } else if (is_thread_block(p)) {
            auto *tb = static_cast<ThreadBlock *>(p);
            if (tb->api_cascade != nullptr) return tb->api_cascade == cascade;
            if (tb->task != task) return 0;
        } else {
            return 0;
        }
    } else {
        void *p = mstask_get_ptr_w_default();
        if (p == nullptr) return 0;
        if (is_thread_block(p)) {
            auto *tb = static_cast<ThreadBlock *>(p);
            if (tb->api_cascade != nullptr) return tb->api_cascade == cascade;
        } else if (!qrv::frame::has_task_magic(p)) {
            return 0;
        }
    }
    if (msbasic_init_main(cascade)) {
        ThreadBlock *tb = qrv::frame::current_thread_block();
        if (tb == nullptr) return 0;
        tb->api_cascade = cascade;
        return 1;
    }
    if (task != nullptr) msbasic_end_main(cascade);
    return 0;
}

QRV_API int mstask_api_end(void) noexcept {
    ThreadBlock *tb = qrv::frame::current_thread_block();
    if (tb == nullptr || tb->api_cascade == nullptr) return 0;
    msbasic_cascade_fn cascade = tb->api_cascade;
    tb->api_cascade = nullptr;
    msbasic_end_main(cascade);
    return 1;
}

QRV_API void mstask_end_thread_win32(void) noexcept {
    if (qrv::frame::current_thread_block() != nullptr) msbasic_end_thread();
}

QRV_API void mstask_tlsfree_thread_task_key(void) noexcept {
    msthread_mutex_lock_raw(qrv::frame::task_key_lock());
    uint32_t key = qrv::frame::g_task_key.load(std::memory_order_relaxed);
    if (key != MSTHREAD_NO_KEY) {
        msthread_key_delete_raw(key);
        qrv::frame::g_task_key.store(MSTHREAD_NO_KEY, std::memory_order_release);
        qrv::frame::g_key_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    msthread_mutex_unlock_raw(qrv::frame::task_key_lock());
}

QRV_API void **msbasic_get_thread_wss(void) noexcept {
    ThreadBlock *tb = qrv::frame::current_thread_block();
    if (tb == nullptr) {
        if (!msbasic_init_thread()) return nullptr;
        tb = qrv::frame::current_thread_block();
        if (tb == nullptr) return nullptr;
    }
    return tb->wss;
}

QRV_API void **msbasic_get_thread_wss_only(void) noexcept {
    ThreadBlock *tb = qrv::frame::current_thread_block();
    return tb != nullptr ? tb->wss : nullptr;
}

}  // extern "C"
