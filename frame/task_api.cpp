// The frame's entry points that join a thread or a task on demand: the
// thread workspace, the task prolog and epilog, and the thread-specific data
// reads that retry after joining the thread.
#include "base/errids.h"
#include "frame/frame_internal.h"
#include "msbasic.h"
#include "mserror.h"
#include "mstask.h"
#include "msthread.h"

using qrv::ctx::current_ptr;
using qrv::ctx::is_task_block;
using qrv::ctx::is_thread_block;
using qrv::ctx::ThreadBlock;

namespace {

// The workspace of a thread not joined yet (or whose mirror is stale): kept
// out of line, so that the joined thread's path needs no stack frame.
[[gnu::noinline]] void **join_then_workspace() noexcept {
    if (void **wss = qrv::ctx::current_wss()) return wss;
    return msbasic_init_thread() ? qrv::ctx::current_wss() : nullptr;
}

}  // namespace

extern "C" {

QRV_API int mstask_api_prolog(mstask_block *task, msbasic_cascade_fn cascade) noexcept {
    if (task != nullptr) {
        void *p = current_ptr();
        if (p == nullptr) {
            if (!mstask_set_ptr(task)) return 0;
            p = task;
        }
        if (is_task_block(p)) {
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
        } else if (!is_task_block(p)) {
            return 0;
        }
    }
    if (msbasic_init_main(cascade)) {
        ThreadBlock *tb = qrv::ctx::current_thread_block();
        if (tb == nullptr) return 0;
        tb->api_cascade = cascade;
        return 1;
    }
    if (task != nullptr) msbasic_end_main(cascade);
    return 0;
}

QRV_API int mstask_api_end(void) noexcept {
    ThreadBlock *tb = qrv::ctx::current_thread_block();
    if (tb == nullptr || tb->api_cascade == nullptr) return 0;
    msbasic_cascade_fn cascade = tb->api_cascade;
    tb->api_cascade = nullptr;
    msbasic_end_main(cascade);
    return 1;
}

QRV_API void mstask_end_thread_win32(void) noexcept {
    if (qrv::ctx::current_thread_block() != nullptr) msbasic_end_thread();
}

QRV_API void **msbasic_get_thread_wss(void) noexcept {
    const qrv::ctx::CurrentMirror &mirror = qrv::ctx::t_current;
    if (mirror.generation == qrv::ctx::g_key_generation.load(std::memory_order_relaxed) && mirror.wss != nullptr)
        [[likely]]
        return mirror.wss;
    return join_then_workspace();
}

QRV_API void **msbasic_get_thread_wss_only(void) noexcept { return qrv::ctx::current_wss(); }

QRV_API int msthread_data_get_retry_raw(uint32_t key, void **value) noexcept {
    if (key == MSTHREAD_NO_KEY) return 0;
    if (msthread_data_get_raw(key, value)) return 1;
    return msbasic_init_thread() && msthread_data_get_raw(key, value);
}

QRV_API int msthread_data_get_retry(uint32_t key, void **value) noexcept {
    if (key == MSTHREAD_NO_KEY) {
        mserror_reset_seterr(qrv::err::kInvalidThreadKey, 0);
        return 0;
    }
    if (msthread_data_get_raw(key, value)) return 1;
    if (!msbasic_init_thread()) return 0;
    return msthread_data_get(key, value);
}

}  // extern "C"
