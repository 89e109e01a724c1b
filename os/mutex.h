// The library's mutex: recursive like a critical section, with its
// uncontended path inline (one atomic exchange each way) and the waiting done
// by futexes in os/os_thread.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "qrvdefs.h"

namespace qrv::os {

struct RecursiveMutex {
    std::atomic<int> state;       // 0 free, 1 held, 2 held with waiters
    std::atomic<uint32_t> owner;  // holder's thread number, 0 when free
    uint32_t depth;               // touched by the holder only
};
static_assert(sizeof(RecursiveMutex) <= QRV_MUTEX_SIZE, "qrv_mutex too small");
static_assert(alignof(RecursiveMutex) <= alignof(qrv_mutex), "qrv_mutex misaligned");

// A small number per thread, never 0 and never reused within the process.
extern __thread uint32_t t_thread_number __attribute__((tls_model("initial-exec")));
uint32_t assign_thread_number() noexcept;
inline uint32_t thread_number() noexcept {
    uint32_t n = t_thread_number;
    return n != 0 ? n : assign_thread_number();
}

void wait_for_mutex(RecursiveMutex *m) noexcept;
void wake_mutex_waiter(RecursiveMutex *m) noexcept;

inline RecursiveMutex *native(qrv_mutex *m) noexcept { return reinterpret_cast<RecursiveMutex *>(m->u.bytes); }

inline void mutex_init(qrv_mutex *m) noexcept {
    auto *r = new (m->u.bytes) RecursiveMutex;
    r->state.store(0, std::memory_order_relaxed);
    r->owner.store(0, std::memory_order_relaxed);
    r->depth = 0;
}

inline bool mutex_try_enter(RecursiveMutex *r, uint32_t me) noexcept {
    if (r->owner.load(std::memory_order_relaxed) == me) {
        ++r->depth;
        return true;
    }
    int expected = 0;
    if (!r->state.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed)) {
        return false;
    }
    r->owner.store(me, std::memory_order_relaxed);
    r->depth = 1;
    return true;
}

inline void mutex_lock(qrv_mutex *m) noexcept {
    RecursiveMutex *r = native(m);
    uint32_t me = thread_number();
    if (mutex_try_enter(r, me)) return;
    wait_for_mutex(r);
    r->owner.store(me, std::memory_order_relaxed);
    r->depth = 1;
}

inline bool mutex_trylock(qrv_mutex *m) noexcept { return mutex_try_enter(native(m), thread_number()); }

// A thread that does not hold the mutex cannot release it.
inline void mutex_unlock(qrv_mutex *m) noexcept {
    RecursiveMutex *r = native(m);
    if (r->owner.load(std::memory_order_relaxed) != thread_number()) return;
    if (--r->depth != 0) return;
    r->owner.store(0, std::memory_order_relaxed);
    if (r->state.exchange(0, std::memory_order_release) == 2) wake_mutex_waiter(r);
}

}  // namespace qrv::os
