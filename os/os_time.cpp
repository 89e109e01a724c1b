// The system clock, the fine-grained clock and the calendar conversions.
// The fine-grained clock is CLOCK_MONOTONIC (nanoseconds, so no frequency
// to scale by) added to an anchor: one CLOCK_REALTIME reading taken beside
// a monotonic one. Reading it costs one monotonic read and a few loads; a
// reader that lands more than 60 seconds past the anchor anchors again, so
// a change of the system clock shows within a minute and the clock runs
// smooth in between.
#include <time.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "msos.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace qrv::os {
namespace {

constexpr int64_t kNano = 1000000000;
constexpr int64_t kReanchorSeconds = 60;
// The anchor's two system-time readings must lie this close together, so
// that the monotonic reading between them is known to within it.
constexpr int64_t kAnchorWindowNs = 10000;
// A system clock stepped on every read never meets the window; after these
// tries the last bracket is used as it is.
constexpr int kAnchorTries = 16;

// A clock reading: seconds and nanoseconds 0..999999999.
struct Reading {
    int64_t sec;
    int64_t nsec;
};

// The anchor, published under a sequence count (odd while a writer fills
// it): readers copy it and retry when the count moved; a writer that finds
// another at work leaves the job to it. Many readers, no lock. The
// difference is kept as seconds and nanoseconds, so that a reading costs
// two additions and a carry, no division.
struct Anchor {
    std::atomic<uint32_t> sequence{0};
    std::atomic<int64_t> counter{INT64_MIN};  // the counter reading it was made from, in ns
    std::atomic<int64_t> to_real_sec{0};      // CLOCK_REALTIME minus CLOCK_MONOTONIC then
    std::atomic<int64_t> to_real_nsec{0};
    std::atomic<int64_t> renew_sec{0};  // the first second more than 60 whole seconds past it
    std::atomic<int64_t> gmtoff{0};     // local time minus UTC then
};

struct AnchorCopy {
    int64_t to_real_sec, to_real_nsec, renew_sec, gmtoff;
};

Anchor g_anchor;

// Whether the monotonic counter serves: unknown until the first anchoring,
// then in use, or absent for good (the system time is read directly).
enum CounterState : int { kUnknown = 0, kInUse = 1, kAbsent = -1 };
std::atomic<int> g_counter{kUnknown};

bool read_clock(clockid_t clock, Reading *r) {
    struct timespec ts;
    if (g_sys.clock_gettime(clock, &ts) != 0) return false;
    *r = Reading{ts.tv_sec, ts.tv_nsec};
    return true;
}

int64_t gmtoff_at(int64_t sec) {
    time_t t = static_cast<time_t>(sec);
    struct tm broken;
    return g_sys.localtime_r(&t, &broken) != nullptr ? broken.tm_gmtoff : 0;
}

Reading on_anchor(const Reading &counter, const AnchorCopy &a);
bool before(const Reading &a, const Reading &b) { return a.sec < b.sec || (a.sec == b.sec && a.nsec < b.nsec); }

// Makes (counter, a system time between t1 and t2) the anchor. Within the
// bracket the time the current anchor gives for counter is kept when it
// fits, so that a thread held up inside its bracket, or two threads
// anchoring at once, never make the clock step back; outside it the
// nearer end stands (the system clock itself moved). Decided under the
// sequence count, against the anchor in force.
void publish(const Reading &counter, const Reading &t1, const Reading &t2) {
    int64_t counter_ns = counter.sec * kNano + counter.nsec;
    uint32_t seen = g_anchor.sequence.load(std::memory_order_relaxed);
    if ((seen & 1) != 0 || !g_anchor.sequence.compare_exchange_strong(seen, seen + 1, std::memory_order_acquire)) {
        return;
    }
    std::atomic_thread_fence(std::memory_order_release);
    // Of two threads anchoring at once the later counter reading wins.
    int64_t current = g_anchor.counter.load(std::memory_order_relaxed);
    if (counter_ns >= current) {
        Reading real = t1;
        if (current != INT64_MIN) {
            AnchorCopy in_force{g_anchor.to_real_sec.load(std::memory_order_relaxed),
                                g_anchor.to_real_nsec.load(std::memory_order_relaxed), 0, 0};
            Reading predicted = on_anchor(counter, in_force);
            if (!before(predicted, t1)) real = before(t2, predicted) ? t2 : predicted;
        }
        Reading to_real{real.sec - counter.sec, real.nsec - counter.nsec};
        if (to_real.nsec < 0) {
            to_real.nsec += kNano;
            --to_real.sec;
        }
        g_anchor.counter.store(counter_ns, std::memory_order_relaxed);
        g_anchor.to_real_sec.store(to_real.sec, std::memory_order_relaxed);
        g_anchor.to_real_nsec.store(to_real.nsec, std::memory_order_relaxed);
        g_anchor.renew_sec.store(real.sec + kReanchorSeconds + 1, std::memory_order_relaxed);
        g_anchor.gmtoff.store(gmtoff_at(real.sec), std::memory_order_relaxed);
    }
    g_anchor.sequence.store(seen + 2, std::memory_order_release);
}

AnchorCopy load_anchor() {
    for (;;) {
        uint32_t before = g_anchor.sequence.load(std::memory_order_acquire);
        AnchorCopy copy{
            g_anchor.to_real_sec.load(std::memory_order_relaxed), g_anchor.to_real_nsec.load(std::memory_order_relaxed),
            g_anchor.renew_sec.load(std::memory_order_relaxed), g_anchor.gmtoff.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && g_anchor.sequence.load(std::memory_order_relaxed) == before) return copy;
    }
}

void lose_counter() { g_counter.store(kAbsent, std::memory_order_release); }

// A counter reading moved onto the system clock by the anchor.
Reading on_anchor(const Reading &counter, const AnchorCopy &a) {
    Reading real{counter.sec + a.to_real_sec, counter.nsec + a.to_real_nsec};
    if (real.nsec >= kNano) {
        real.nsec -= kNano;
        ++real.sec;
    }
    return real;
}

// Brackets a counter reading between two system-time readings and makes it
// the anchor. The first anchoring also decides whether there is a counter;
// its system time stands as the anchor either way.
bool anchor() {
    int state = g_counter.load(std::memory_order_acquire);
    if (state == kAbsent) return false;
    Reading t1, t2, counter;
    if (state == kUnknown) {
        if (!read_clock(CLOCK_REALTIME, &t1)) return false;
        if (!read_clock(CLOCK_MONOTONIC, &counter)) {
            publish(Reading{0, 0}, t1, t1);
            lose_counter();
            return false;
        }
    }
    for (int tries = 0;; ++tries) {
        if (!read_clock(CLOCK_REALTIME, &t1)) return false;
        if (!read_clock(CLOCK_MONOTONIC, &counter)) {
            lose_counter();
            return false;
        }
        if (!read_clock(CLOCK_REALTIME, &t2)) return false;
        int64_t window = (t2.sec - t1.sec) * kNano + (t2.nsec - t1.nsec);
        if (window < kAnchorWindowNs || tries + 1 >= kAnchorTries) break;
    }
    publish(counter, t1, t2);
    g_counter.store(kInUse, std::memory_order_release);
    return true;
}

int clear(mstime_timeval *tv) {
    tv->sec = 0;
    tv->nsec = 0;
    return -1;
}

// The system time itself, for a process without a usable counter.
int read_system(mstime_timeval *tv, bool local) {
    Reading now;
    if (!read_clock(CLOCK_REALTIME, &now)) return clear(tv);
    tv->sec = local ? now.sec + gmtoff_at(now.sec) : now.sec;
    tv->nsec = static_cast<int32_t>(now.nsec);
    return 0;
}

void store(const Reading &real, int64_t gmtoff, mstime_timeval *tv) {
    tv->sec = real.sec + gmtoff;
    tv->nsec = static_cast<int32_t>(real.nsec);
}

// Everything but a reading within the anchor's minute: the first
// anchoring, anchoring again, and a process without a counter.
[[gnu::noinline, gnu::cold]] int read_slow(mstime_timeval *tv, bool local) {
    if (tv == nullptr) return -1;
    for (int round = 0;; ++round) {
        int state = g_counter.load(std::memory_order_acquire);
        if (state == kUnknown) {
            anchor();
            state = g_counter.load(std::memory_order_acquire);
        }
        Reading now;
        if (state != kInUse) return read_system(tv, local);
        if (!read_clock(CLOCK_MONOTONIC, &now)) {
            lose_counter();
            return read_system(tv, local);
        }
        AnchorCopy a = load_anchor();
        Reading real = on_anchor(now, a);
        if (round == 0 && real.sec >= a.renew_sec && anchor()) continue;
        store(real, local ? a.gmtoff : 0, tv);
        return 0;
    }
}

// The hot path, kept to one counter read and the anchor's copy.
template <bool kLocal>
int read_fine(mstime_timeval *tv) {
    Reading now;
    if (tv != nullptr && g_counter.load(std::memory_order_acquire) == kInUse && read_clock(CLOCK_MONOTONIC, &now))
        [[likely]] {
        AnchorCopy a = load_anchor();
        Reading real = on_anchor(now, a);
        if (real.sec < a.renew_sec) [[likely]] {
            store(real, kLocal ? a.gmtoff : 0, tv);
            return 0;
        }
    }
    return read_slow(tv, kLocal);
}

msos_tm *copy_tm(const struct tm &from, msos_tm *to) {
    *to = msos_tm{from.tm_sec,  from.tm_min,  from.tm_hour, from.tm_mday, from.tm_mon,
                  from.tm_year, from.tm_wday, from.tm_yday, from.tm_isdst};
    return to;
}

}  // namespace

void clock_restart() noexcept {
    ::tzset();
    g_anchor.counter.store(INT64_MIN, std::memory_order_relaxed);
    g_counter.store(kUnknown, std::memory_order_release);
}

}  // namespace qrv::os

using namespace qrv::os;

extern "C" {

QRV_API int64_t msos_time(void) noexcept {
    Reading now;
    return read_clock(CLOCK_REALTIME, &now) ? now.sec : -1;
}

QRV_API int msos_get_timeval(mstime_timeval *tv) noexcept { return read_fine<false>(tv); }

QRV_API int msos_get_local_timeval(mstime_timeval *tv) noexcept { return read_fine<true>(tv); }

QRV_API int64_t msos_get_gmtoff(void) noexcept {
    if (g_counter.load(std::memory_order_acquire) == kUnknown) anchor();
    return load_anchor().gmtoff;
}

QRV_API char *msos_ctime_r(int64_t seconds, char *buffer) noexcept {
    static constexpr char kDays[] = "SunMonTueWedThuFriSat";
    static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    time_t t = static_cast<time_t>(seconds);
    struct tm broken;
    if (buffer == nullptr || g_sys.localtime_r(&t, &broken) == nullptr) return nullptr;
    // asctime's layout, written here: asctime_r is undefined for years
    // beyond 9999, and the 26-byte bound must hold with any C library.
    char text[64];
    int length = std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld\n", kDays + 3 * broken.tm_wday,
                               kMonths + 3 * broken.tm_mon, broken.tm_mday, broken.tm_hour, broken.tm_min,
                               broken.tm_sec, static_cast<long long>(broken.tm_year) + 1900);
    if (length < 0 || length >= MSOS_CTIME_SIZE) return nullptr;
    std::memcpy(buffer, text, static_cast<size_t>(length) + 1);
    return buffer;
}

QRV_API msos_tm *msos_gmtime_r(int64_t seconds, msos_tm *tm) noexcept {
    time_t t = static_cast<time_t>(seconds);
    struct tm broken;
    if (tm == nullptr || g_sys.gmtime_r(&t, &broken) == nullptr) return nullptr;
    return copy_tm(broken, tm);
}

QRV_API msos_tm *msos_localtime_r(int64_t seconds, msos_tm *tm) noexcept {
    time_t t = static_cast<time_t>(seconds);
    struct tm broken;
    if (tm == nullptr || g_sys.localtime_r(&t, &broken) == nullptr) return nullptr;
    return copy_tm(broken, tm);
}

}  // extern "C"
