// The fine-grained clock read by several threads while they push the moved
// clock on and the anchor is renewed under them: each thread's readings never
// go back, whichever thread renews the anchor.
#include <atomic>
#include <thread>
#include <vector>

#include "msos.h"
#include "mstime.h"
#include "os/os_internal.h"
#include "os_support.h"

namespace {

constexpr int64_t kNano = 1000000000;
constexpr int64_t kBase = 1000000000;

// The monotonic clock moves 1 ns per read and 5 s whenever a thread pushes
// it; the system clock runs twice as fast, so every anchor differs from the
// one before and a reading made from a torn or older anchor would go back.
std::atomic<int64_t> g_now{0};

int fake_clock_gettime(clockid_t clock, struct timespec *ts) {
    if (clock != CLOCK_MONOTONIC && clock != CLOCK_REALTIME) return ::clock_gettime(clock, ts);
    int64_t ns = clock == CLOCK_MONOTONIC ? g_now.fetch_add(1) : kBase * kNano + 2 * g_now.load();
    ts->tv_sec = ns / kNano;
    ts->tv_nsec = ns % kNano;
    return 0;
}

TEST(FineClockThreads, ReadingsNeverGoBackAcrossAnchors) {
    SyscallScope restore;
    qrv::os::g_sys.clock_gettime = fake_clock_gettime;
    qrv::os::clock_restart();
    constexpr int kThreads = 4, kReads = 20000;
    std::atomic<int> backwards{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            mstime_timeval last{0, 0}, now{};
            for (int i = 0; i < kReads; ++i) {
                if (i % 200 == t) g_now.fetch_add(5 * kNano);
                if ((i % 2 == 0 ? msos_get_timeval(&now) : mstime_get_timeval(&now)) != 0 ||
                    mstime_timeval_cmp(&now, &last) < 0 || now.sec < kBase) {
                    backwards.fetch_add(1);
                }
                last = now;
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(backwards.load(), 0);
    mstime_timeval end{};
    ASSERT_EQ(msos_get_timeval(&end), 0);
    EXPECT_GT(end.sec, kBase + 60 * 20) << "the clock ran past many anchors";
    qrv::os::clock_restart();
}

}  // namespace
