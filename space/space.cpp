// Owner of the allocator's process-wide counters and the failure hook.
#include "space/space.h"

#include <atomic>

#include "os/os_internal.h"

namespace {

std::atomic<long> g_live{0};
std::atomic<long> g_fail_countdown{0};

// True when the failure hook says this allocation must fail.
bool injected_failure() {
    long n = g_fail_countdown.load(std::memory_order_relaxed);
    while (n > 0) {
        if (g_fail_countdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
    }
    return false;
}

}  // namespace

namespace qrv::space {

void *get(int size) noexcept { return reget(nullptr, size); }

void *reget(void *block, int size) noexcept {
    if (size < 0) return nullptr;
    if (size == 0) {
        release(block);
        return nullptr;
    }
    if (injected_failure()) return nullptr;
    void *moved = os::heap_realloc(block, static_cast<size_t>(size));
    if (moved != nullptr && block == nullptr) g_live.fetch_add(1, std::memory_order_relaxed);
    return moved;
}

void release(void *block) noexcept {
    if (block == nullptr) return;
    g_live.fetch_sub(1, std::memory_order_relaxed);
    os::heap_free(block);
}

void *reget_ex(void *block, int size, int /*check_limit*/) noexcept { return reget(block, size); }

bool process_start() noexcept { return true; }

void process_end(int /*orderly*/) noexcept {}

long live_spaces() noexcept { return g_live.load(std::memory_order_relaxed); }

void fail_nth_allocation(long n) noexcept { g_fail_countdown.store(n < 0 ? 0 : n); }

}  // namespace qrv::space
