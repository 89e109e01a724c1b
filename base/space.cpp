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

// Bits of detours: a ceiling is set (it matters to checked requests only), a
// failure is armed, block sizes must be asked of the heap (until the probe at
// start finds they can be read from the block).
constexpr unsigned kDetourCeiling = 1;
constexpr unsigned kDetourFailure = 2;
constexpr unsigned kDetourSizeCall = 4;

// Three cache lines: the counters every get and release change, the marks
// every get reads but rarely passes, and the settings every get reads, so
// that threads bouncing the first line between cores do not drag the others.
struct alignas(64) Accounting {
    std::atomic<int64_t> bytes{0};
    std::atomic<int64_t> spaces{0};
    alignas(64) std::atomic<int64_t> bytes_hwm{0};
    std::atomic<int64_t> spaces_hwm{0};
    std::atomic<int64_t> biggest{0};
    alignas(64) std::atomic<int64_t> limit{0};
    std::atomic<long> fail_countdown{0};
    std::atomic<unsigned> detours{kDetourSizeCall};  // what turns a get off the short way
};

Accounting g_acc;
std::atomic<bool> g_started{false};
std::atomic<bool> g_end_warning{true};
std::atomic<bool> g_os_stats{false};

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
    int64_t limit = g_acc.limit.load(std::memory_order_relaxed);
    return static_cast<double>(bytes_after) > 0.9 * static_cast<double>(limit);
}

bool checks_ceiling(int check_limit) { return check_limit != 0 && g_acc.limit.load(std::memory_order_relaxed) > 0; }

// True when the failure hook says this allocation must fail.
bool injected_failure() {
    long n = g_acc.fail_countdown.load(std::memory_order_relaxed);
    while (n > 0) {
        if (g_acc.fail_countdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
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

[[gnu::cold]] void report_bad_size(int size) { mserror_reset_seterr_1arg(err::kBadSpaceSize, size); }
[[gnu::cold]] void report_ceiling() { mserror_reset_seterr(err::kSpaceLimitReached, 0); }
[[gnu::cold]] void report_heap_exhausted() {
    mserror_seterr_os_geterror();
    mserror_seterr(err::kNoSpaceFromOs, 0);
}

[[gnu::noinline]] void *account_new_shared(void *block, int64_t size, int64_t delta) {
    raise(g_acc.bytes_hwm, g_acc.bytes.fetch_add(delta, std::memory_order_relaxed) + delta);
    raise(g_acc.spaces_hwm, g_acc.spaces.fetch_add(1, std::memory_order_relaxed) + 1);
    raise(g_acc.biggest, size);
    return block;
}

// Counts a block that the heap just handed out; delta is its size less what
// a checked request added to the bytes already.
[[gnu::always_inline]] inline void *account_new(void *block, int64_t size, int64_t delta) {
    if (!os::single_threaded()) return account_new_shared(block, size, delta);
    // Nobody else can look: plain updates.
    constexpr auto relaxed = std::memory_order_relaxed;
    const int64_t bytes = g_acc.bytes.load(relaxed) + delta;
    const int64_t spaces = g_acc.spaces.load(relaxed) + 1;
    g_acc.bytes.store(bytes, relaxed);
    g_acc.spaces.store(spaces, relaxed);
    if (bytes > g_acc.bytes_hwm.load(relaxed)) g_acc.bytes_hwm.store(bytes, relaxed);
    if (spaces > g_acc.spaces_hwm.load(relaxed)) g_acc.spaces_hwm.store(spaces, relaxed);
    if (size > g_acc.biggest.load(relaxed)) g_acc.biggest.store(size, relaxed);
    return block;
}

// Uncounts a block of size bytes, hands it back to the heap and answers 1.
[[gnu::always_inline]] inline int release_space(void *block, int64_t size) {
    if (os::single_threaded()) {
        g_acc.bytes.store(g_acc.bytes.load(std::memory_order_relaxed) - size, std::memory_order_relaxed);
        g_acc.spaces.store(g_acc.spaces.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    } else {
        g_acc.bytes.fetch_sub(size, std::memory_order_relaxed);
        g_acc.spaces.fetch_sub(1, std::memory_order_relaxed);
    }
    *static_cast<unsigned char *>(block) = 0xAA;
    os::heap_release(block);
    return 1;
}

// The release when the heap must be asked for the size, out of line so that
// the common release keeps nothing across a call but the block itself.
[[gnu::noinline]] int release_asking_size(void *block) { return release_space(block, usable(block)); }

[[gnu::noinline]] void *get_checked_space(int size, int check_limit, bool report) {
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
    return account_new(block, size, usable(block) - reserved);
}

[[gnu::cold, gnu::noinline]] void *heap_exhausted(bool report) {
    if (report) report_heap_exhausted();
    return nullptr;
}

// The common request (a positive size, no ceiling to honour, no failure
// armed, sizes read from the block) goes straight to the heap; everything
// else takes the checked way.
inline void *get_space(int size, int check_limit, bool report) {
    const unsigned detours = kDetourFailure | kDetourSizeCall | (check_limit != 0 ? kDetourCeiling : 0);
    if (size <= 0 || (g_acc.detours.load(std::memory_order_relaxed) & detours) != 0) [[unlikely]]
        return get_checked_space(size, check_limit, report);
    const auto wanted = static_cast<int64_t>(size);  // one register across the heap's call
    void *block = os::heap_alloc(static_cast<size_t>(wanted));
    if (block == nullptr) [[unlikely]]
        return heap_exhausted(report);
    return account_new(block, wanted, static_cast<int64_t>(os::size_from_word(block)));
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
    os::heap_probe();
    if (os::g_heap_size_word.load()) g_acc.detours.fetch_and(~kDetourSizeCall);
    const int64_t limit = read_limit();
    g_acc.bytes = g_acc.bytes_hwm = g_acc.spaces = g_acc.spaces_hwm = g_acc.biggest = 0;
    g_acc.limit = limit < 0 ? 0 : limit < kMinimumLimit ? kMinimumLimit : limit;
    if (g_acc.limit.load() > 0) g_acc.detours.fetch_or(kDetourCeiling);
    return true;
}

bool leak_warning_on() noexcept { return g_end_warning.load(); }

bool os_stats_on() noexcept { return g_os_stats.load(); }

long live_spaces() noexcept { return static_cast<long>(g_acc.spaces.load(std::memory_order_relaxed)); }

void fail_nth_allocation(long n) noexcept {
    g_acc.fail_countdown.store(n < 0 ? 0 : n);
    if (n > 0)
        g_acc.detours.fetch_or(kDetourFailure);
    else
        g_acc.detours.fetch_and(~kDetourFailure);
}

}  // namespace qrv::space

using namespace qrv::space;

extern "C" {

QRV_API void *mssp_get_ex(int size, int check_limit) noexcept { return get_space(size, check_limit, true); }

QRV_API void *mssp_reget_ex(void *space, int size, int check_limit) noexcept {
    return resize_space(space, size, check_limit, OnFailure::free_block, true);
}

QRV_API int mssp_free_rv(void *space) noexcept {
    if (space == nullptr) return 1;
    if (!qrv::os::g_heap_size_word.load(std::memory_order_relaxed)) [[unlikely]]
        return release_asking_size(space);
    return release_space(space, static_cast<int64_t>(qrv::os::size_from_word(space)));
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
