// The space allocator: owner of the process-wide accounting (allocated
// bytes, live spaces, their high-water marks, the biggest request), the
// ceiling from MSSPACELIMIT, the leak-warning switch and the
// failure-injection hook of the tests. The frame reads the ceiling's
// variable and prints the end-of-process reports.
//
// The accounting is kept in atomics rather than under one lock: each counter
// changes by one atomic add, a high-water mark by a compare-exchange only when
// it is passed, and a checked request reserves its bytes before it allocates,
// so the ceiling holds exactly even when threads race. While the process has
// a single thread the counters are updated without bus locks.
#include <errno.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "base/errids.h"
#include "base/space.h"
#include "mserror.h"
#include "msos.h"
#include "mssp.h"
#include "os/heap.h"
#include "os/os_internal.h"

namespace qrv::space {
namespace {

constexpr int64_t kMinimumLimit = 4194304;  // 4 MiB
constexpr int64_t kSmallShrink = 1024;

struct Accounting {
    std::atomic<int64_t> bytes{0};
    std::atomic<int64_t> bytes_hwm{0};
    std::atomic<int64_t> spaces{0};
    std::atomic<int64_t> spaces_hwm{0};
    std::atomic<int64_t> biggest{0};
};

Accounting g_acc;
std::atomic<int64_t> g_limit{0};
std::atomic<bool> g_started{false};
std::atomic<bool> g_end_warning{true};
std::atomic<bool> g_os_stats{false};
std::atomic<long> g_fail_countdown{0};

int64_t add(std::atomic<int64_t> &counter, int64_t delta) {
    if (os::single_threaded()) {
        int64_t value = counter.load(std::memory_order_relaxed) + delta;
        counter.store(value, std::memory_order_relaxed);
        return value;
    }
    return counter.fetch_add(delta, std::memory_order_relaxed) + delta;
}

void raise(std::atomic<int64_t> &mark, int64_t value) {
    int64_t seen = mark.load(std::memory_order_relaxed);
    while (value > seen && !mark.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

bool over_ceiling(int64_t bytes_after) {
    int64_t limit = g_limit.load(std::memory_order_relaxed);
    return static_cast<double>(bytes_after) > 0.9 * static_cast<double>(limit);
}

bool checks_ceiling(int check_limit) { return check_limit != 0 && g_limit.load(std::memory_order_relaxed) > 0; }

// True when the failure hook says this allocation must fail.
bool injected_failure() {
    long n = g_fail_countdown.load(std::memory_order_relaxed);
    while (n > 0) {
        if (g_fail_countdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
    }
    return false;
}

void *heap_resize(void *block, int size) {
    if (injected_failure()) {
        errno = ENOMEM;
        return nullptr;
    }
    return block == nullptr ? os::heap_alloc(static_cast<size_t>(size))
                            : os::heap_resize(block, static_cast<size_t>(size));
}

int64_t usable(void *block) { return static_cast<int64_t>(os::heap_usable_size(block)); }

void report_bad_size(int size) { mserror_reset_seterr_1arg(err::kBadSpaceSize, size); }
void report_ceiling() { mserror_reset_seterr(err::kSpaceLimitReached, 0); }
void report_heap_exhausted() {
    mserror_seterr_os_geterror();
    mserror_seterr(err::kNoSpaceFromOs, 0);
}

// Counts a block that the heap just handed out; reserved is what a checked
// request already added to the bytes.
void *account_new(void *block, int size, int64_t reserved) {
    const int64_t delta = usable(block) - reserved;
    if (os::single_threaded()) {  // nobody else can look: plain updates
        int64_t bytes = g_acc.bytes.load(std::memory_order_relaxed) + delta;
        int64_t spaces = g_acc.spaces.load(std::memory_order_relaxed) + 1;
        g_acc.bytes.store(bytes, std::memory_order_relaxed);
        g_acc.spaces.store(spaces, std::memory_order_relaxed);
        if (bytes > g_acc.bytes_hwm.load(std::memory_order_relaxed)) g_acc.bytes_hwm.store(bytes);
        if (spaces > g_acc.spaces_hwm.load(std::memory_order_relaxed)) g_acc.spaces_hwm.store(spaces);
        if (size > g_acc.biggest.load(std::memory_order_relaxed)) g_acc.biggest.store(size);
        return block;
    }
    raise(g_acc.bytes_hwm, g_acc.bytes.fetch_add(delta, std::memory_order_relaxed) + delta);
    raise(g_acc.spaces_hwm, g_acc.spaces.fetch_add(1, std::memory_order_relaxed) + 1);
    raise(g_acc.biggest, size);
    return block;
}

void account_release(void *block) {
    const int64_t size = usable(block);
    if (os::single_threaded()) {
        g_acc.bytes.store(g_acc.bytes.load(std::memory_order_relaxed) - size, std::memory_order_relaxed);
        g_acc.spaces.store(g_acc.spaces.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
        return;
    }
    g_acc.bytes.fetch_sub(size, std::memory_order_relaxed);
    g_acc.spaces.fetch_sub(1, std::memory_order_relaxed);
}

void *get_space(int size, int check_limit, bool report) {
    if (size == 0) return nullptr;
    if (size < 0) {
        if (report) report_bad_size(size);
        return nullptr;
    }
    int64_t reserved = 0;
    if (checks_ceiling(check_limit)) {
        if (over_ceiling(add(g_acc.bytes, size))) {
            add(g_acc.bytes, -size);
            if (report) report_ceiling();
            return nullptr;
        }
        reserved = size;
    }
    void *block = heap_resize(nullptr, size);
    if (block == nullptr) {
        add(g_acc.bytes, -reserved);
        if (report) report_heap_exhausted();
        return nullptr;
    }
    return account_new(block, size, reserved);
}

// How a resize ends when the ceiling or the heap refuses it.
enum class OnFailure { keep_block, free_block };

void *resize_space(void *block, int size, int check_limit, OnFailure on_failure, bool report) {
    if (block == nullptr) return get_space(size, check_limit, report);
    if (size < 0) {
        if (report) report_bad_size(size);
        return nullptr;
    }
    if (size == 0) {
        mssp_free_rv(block);
        return nullptr;
    }
    const int64_t old = usable(block);
    if (old > size && old - size < kSmallShrink) return block;
    int64_t reserved = 0;
    if (checks_ceiling(check_limit) && size > old) {
        if (over_ceiling(add(g_acc.bytes, size - old))) {
            add(g_acc.bytes, old - size);
            if (report) report_ceiling();
            if (on_failure == OnFailure::free_block) mssp_free_rv(block);
            return nullptr;
        }
        reserved = size - old;
    }
    void *moved = heap_resize(block, size);
    if (moved == nullptr) {
        add(g_acc.bytes, -reserved);
        if (report) report_heap_exhausted();
        if (on_failure == OnFailure::free_block) mssp_free_rv(block);
        return nullptr;
    }
    raise(g_acc.bytes_hwm, add(g_acc.bytes, usable(moved) - old - reserved));
    raise(g_acc.biggest, size);
    return moved;
}

int clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int>(v); }

}  // namespace

void *get(int size) noexcept { return get_space(size, 1, true); }

void *reget(void *block, int size) noexcept { return resize_space(block, size, 1, OnFailure::keep_block, true); }

void release(void *block) noexcept { mssp_free_rv(block); }

void *reget_quiet(void *block, int size, int check_limit) noexcept {
    return resize_space(block, size, check_limit, OnFailure::keep_block, false);
}

bool process_start(int64_t (*read_limit)()) noexcept {
    if (g_started.exchange(true)) return true;
    const int64_t limit = read_limit();
    g_acc.bytes = g_acc.bytes_hwm = g_acc.spaces = g_acc.spaces_hwm = g_acc.biggest = 0;
    g_limit = limit < 0 ? 0 : limit < kMinimumLimit ? kMinimumLimit : limit;
    return true;
}

bool leak_warning_on() noexcept { return g_end_warning.load(); }

bool os_stats_on() noexcept { return g_os_stats.load(); }

long live_spaces() noexcept { return static_cast<long>(g_acc.spaces.load(std::memory_order_relaxed)); }

void fail_nth_allocation(long n) noexcept { g_fail_countdown.store(n < 0 ? 0 : n); }

}  // namespace qrv::space

using namespace qrv::space;

extern "C" {

QRV_API void *mssp_get_ex(int size, int check_limit) noexcept { return get_space(size, check_limit, true); }

QRV_API void *mssp_reget_ex(void *space, int size, int check_limit) noexcept {
    return resize_space(space, size, check_limit, OnFailure::free_block, true);
}

QRV_API int mssp_free_rv(void *space) noexcept {
    if (space == nullptr) return 1;
    account_release(space);
    *static_cast<unsigned char *>(space) = 0xAA;
    qrv::os::heap_release(space);
    return 1;
}

QRV_API int mssp_size(void *space) noexcept { return space != nullptr ? clamp32(usable(space)) : 0; }

QRV_API int mssp_check(void) noexcept { return 1; }

QRV_API int mssp_get_spstat(int selector) noexcept {
    switch (selector) {
        case MSSP_STAT_SPACES_HWM:
            return clamp32(g_acc.spaces_hwm.load(std::memory_order_relaxed));
        case MSSP_STAT_BIGGEST:
            return clamp32(g_acc.biggest.load(std::memory_order_relaxed));
        case MSSP_STAT_BYTES_HWM:
            return clamp32(g_acc.bytes_hwm.load(std::memory_order_relaxed));
        case MSSP_STAT_SPACES:
            return clamp32(g_acc.spaces.load(std::memory_order_relaxed));
        case MSSP_STAT_BYTES:
            return clamp32(g_acc.bytes.load(std::memory_order_relaxed));
        default:
            return -1;
    }
}

QRV_API int mssp_reset_spstat_hwm(int selector) noexcept {
    switch (selector) {
        case MSSP_STAT_SPACES_HWM:
            g_acc.spaces_hwm = g_acc.spaces.load();
            break;
        case MSSP_STAT_BIGGEST:
            g_acc.biggest = 0;
            break;
        case MSSP_STAT_BYTES_HWM:
            g_acc.bytes_hwm = g_acc.bytes.load();
            break;
        default:
            break;
    }
    return 1;
}

QRV_API void mssp_end_ngot_set(int on) noexcept { g_end_warning = on != 0; }

QRV_API void mssp_enable_os_spstat(int on) noexcept { g_os_stats = on != 0; }

}  // extern "C"
