// Owner of the task key, the default task, each thread's current pointer
// and the process id of the frame's first init.
#include <atomic>

#include "base/context.h"
#include "msbasic.h"
#include "mstask.h"
#include "msthread.h"

namespace qrv::ctx {

__thread CurrentMirror t_current __attribute__((tls_model("initial-exec"))) = {0, nullptr, nullptr, nullptr};
std::atomic<uint32_t> g_key_generation{1};

namespace {

std::atomic<int32_t> g_init_pid{0};
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

}  // namespace

void *current_ptr_slow() noexcept {
    uint32_t generation = g_key_generation.load(std::memory_order_acquire);
    uint32_t key = ensure_key();
    if (key == MSTHREAD_NO_KEY) return nullptr;
    void *value = nullptr;
    msthread_data_get_raw(key, &value);
    t_current = mirror_of(generation, value);
    return value;
}

}  // namespace qrv::ctx

using qrv::ctx::current_ptr;
using qrv::ctx::is_thread_block;
using qrv::ctx::ThreadBlock;

extern "C" {

QRV_API void *mstask_get_ptr(void) noexcept { return current_ptr(); }

QRV_API int mstask_set_ptr(void *ptr) noexcept {
    uint32_t generation = qrv::ctx::g_key_generation.load(std::memory_order_acquire);
    uint32_t key = qrv::ctx::ensure_key();
    if (key == MSTHREAD_NO_KEY || !msthread_data_set_raw(key, ptr)) return 0;
    qrv::ctx::t_current = qrv::ctx::mirror_of(generation, ptr);
    return 1;
}

QRV_API void *mstask_get_ptr_w_default(void) noexcept {
    if (void *p = current_ptr()) return p;
    return mstask_set_ptr(&qrv::ctx::g_default_task) ? &qrv::ctx::g_default_task : nullptr;
}

QRV_API mstask_block *mstask_api_get_task(void) noexcept {
    void *p = current_ptr();
    if (qrv::ctx::is_task_block(p)) return static_cast<mstask_block *>(p);
    if (is_thread_block(p)) return static_cast<mstask_block *>(static_cast<ThreadBlock *>(p)->task);
    return nullptr;
}

QRV_API int mstask_api_current_task_is_default(void) noexcept {
    return mstask_api_get_task() == &qrv::ctx::g_default_task;
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
    if (!qrv::ctx::is_task_block(task) || current_ptr() != nullptr) return 0;
    return mstask_set_ptr(task);
}

QRV_API int mstask_api_end_task(mstask_block *task) noexcept {
    if (task == nullptr || current_ptr() != task) return 0;
    return mstask_set_ptr(nullptr);
}

QRV_API void mstask_tlsfree_thread_task_key(void) noexcept {
    msthread_mutex_lock_raw(qrv::ctx::task_key_lock());
    uint32_t key = qrv::ctx::g_task_key.load(std::memory_order_relaxed);
    if (key != MSTHREAD_NO_KEY) {
        msthread_key_delete_raw(key);
        qrv::ctx::g_task_key.store(MSTHREAD_NO_KEY, std::memory_order_release);
        qrv::ctx::g_key_generation.fetch_add(1, std::memory_order_acq_rel);
    }
    msthread_mutex_unlock_raw(qrv::ctx::task_key_lock());
}

QRV_API int32_t msbasic_get_init_pid(void) noexcept { return qrv::ctx::g_init_pid.load(); }

QRV_API void msbasic_set_init_pid(int32_t pid) noexcept { qrv::ctx::g_init_pid.store(pid); }

}  // extern "C"
