// The library's one lock guard: holds a mutex (msthread_mutex_lock, so the
// bypass at the forced end applies) for the rest of a scope. A null mutex
// holds nothing, for callers that know no other thread can be there.
#pragma once

#include "msthread.h"

namespace qrv {

class MutexGuard {
public:
    explicit MutexGuard(qrv_mutex *mutex) noexcept : mutex_(mutex) {
        if (mutex_ != nullptr) msthread_mutex_lock(mutex_);
    }
    ~MutexGuard() {
        if (mutex_ != nullptr) msthread_mutex_unlock(mutex_);
    }
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

private:
    qrv_mutex *mutex_;
};

}  // namespace qrv
