// The per-thread context every layer reaches: the current pointer of the
// task key, the thread block that wraps a task once the frame has joined the
// thread, its workspace with the library's anchor, the task handle, and the
// two process-wide locks of the frame. Owners:
//   base/task.cpp    task key, default task, the current pointer, the init pid
//   base/thread.cpp  the init lock, the task-key lock, the bypass flag
#pragma once

#include <atomic>
#include <cstdint>

#include "msbasic.h"
#include "msconn.h"
#include "mstask.h"

namespace qrv::ctx {

// The block that wraps a thread's task once the frame has initialised it.
struct ThreadBlock {
    uint32_t magic;  // MSTASK_THREAD_MAGIC
    void *task;      // current pointer in force when the block was made
    msbasic_cascade_fn api_cascade;
    int32_t *counters;  // [0] capacity, [1 + i] count of module i
    void *wss[MSBASIC_THREAD_WSS_SLOTS];
};

inline constexpr int kConnectionSlot = 12;
inline constexpr int kAnchorSlot = 13;

// The task handle (MSHANDLE_TASK_MAGIC, MSHANDLE_TASK_SIZE bytes, zero-filled
// when the library's init makes it in modes 1 and 2): the fields the
// library keeps per task.
struct TaskHandle {
    uint32_t magic;         // MSHANDLE_TASK_MAGIC
    void *connection_list;  // the task's connections
    void *stream_table;     // the task's streams
    const char *progname;   // the program name (msbasic_set_progname)
};
static_assert(sizeof(TaskHandle) <= MSHANDLE_TASK_SIZE, "task handle too small");

// The current task's handle, or null.
inline TaskHandle *current_task_handle() noexcept {
    mstask_block *task = mstask_api_get_task();
    return task != nullptr ? static_cast<TaskHandle *>(task->task_handle) : nullptr;
}

// The library's per-thread anchor in workspace slot 13.
struct Anchor {
    void *error_stack;
    void *messages;
};

// Fast read of the current pointer: a per-thread mirror of the task key's
// value, valid while its generation matches the key's. It also caches the
// thread's error stack, which every failing call reaches; any change of the
// current pointer clears that cache.
struct CurrentMirror {
    uint32_t generation;
    void *ptr;
    void *error_stack;
    void **wss;  // the workspace when ptr is a thread block: the hottest read of all
};
extern __thread CurrentMirror t_current __attribute__((tls_model("initial-exec")));
extern std::atomic<uint32_t> g_key_generation;
void *current_ptr_slow() noexcept;

inline void *current_ptr() noexcept {
    if (t_current.generation == g_key_generation.load(std::memory_order_relaxed)) return t_current.ptr;
    return current_ptr_slow();
}

inline bool is_task_block(const void *p) noexcept {
    return p != nullptr && *static_cast<const uint32_t *>(p) == MSTASK_MAGIC;
}

inline bool is_thread_block(const void *p) noexcept {
    return p != nullptr && *static_cast<const uint32_t *>(p) == MSTASK_THREAD_MAGIC;
}

// The mirror of a new current pointer (its error stack not cached yet).
inline CurrentMirror mirror_of(uint32_t generation, void *ptr) noexcept {
    void **wss = is_thread_block(ptr) ? static_cast<ThreadBlock *>(ptr)->wss : nullptr;
    return {generation, ptr, nullptr, wss};
}

// The error stack cached for the current pointer, or null (then look it up).
inline void *cached_error_stack() noexcept {
    if (t_current.generation != g_key_generation.load(std::memory_order_relaxed)) return nullptr;
    return t_current.error_stack;
}
// Called by the error stack on its own thread when it is made or freed.
inline void cache_error_stack(void *stack) noexcept { t_current.error_stack = stack; }

inline ThreadBlock *current_thread_block() noexcept {
    void *p = current_ptr();
    return is_thread_block(p) ? static_cast<ThreadBlock *>(p) : nullptr;
}

// The current thread block's workspace, or null: one thread-local record
// and the key's generation, nothing else.
inline void **current_wss() noexcept {
    if (t_current.generation == g_key_generation.load(std::memory_order_relaxed)) return t_current.wss;
    ThreadBlock *tb = current_thread_block();
    return tb != nullptr ? tb->wss : nullptr;
}

inline Anchor *current_anchor() noexcept {
    ThreadBlock *tb = current_thread_block();
    return tb != nullptr ? static_cast<Anchor *>(tb->wss[kAnchorSlot]) : nullptr;
}

qrv_mutex *init_lock() noexcept;
qrv_mutex *task_key_lock() noexcept;

// While on, the calling thread passes every library lock without waiting:
// a forked child discards inherited state whose locks may be held by
// threads that do not exist in it (a writer blocked on a full pipe).
void set_discarding(bool on) noexcept;

}  // namespace qrv::ctx
