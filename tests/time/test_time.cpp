// The clock: the MSTIMEOFFSET shift, timeval arithmetic, the fine-grained
// clock anchored on a clock the tests move, the calendar, and local time in
// real zones in child processes.
#include <cerrno>
#include <climits>

#include "msnlsmsg.h"
#include "msos.h"
#include "mstime.h"
#include "os/os_internal.h"
#include "os_support.h"
#include "vars_support.h"

namespace {

constexpr int64_t kNano = 1000000000;
constexpr int64_t kBase = 1000000000;  // the moved clock starts at this second

// CLOCK_REALTIME (stepping on each read if asked) and CLOCK_MONOTONIC in
// nanoseconds, either failing if asked, and the zone's offset from UTC.
struct FakeClock {
    int64_t real_ns = kBase * kNano, mono_ns = 5 * kNano, real_step_ns = 0, gmtoff = 0;
    bool real_fails = false, mono_fails = false;
};
FakeClock g_clock;

int fake_clock_gettime(clockid_t clock, struct timespec *ts) {
    bool real = clock == CLOCK_REALTIME && !g_clock.real_fails;
    if (!real && (clock != CLOCK_MONOTONIC || g_clock.mono_fails)) return errno = EINVAL, -1;
    int64_t ns = real ? g_clock.real_ns : g_clock.mono_ns;
    if (real) g_clock.real_ns += g_clock.real_step_ns;
    ts->tv_sec = ns / kNano;
    ts->tv_nsec = ns % kNano;
    return 0;
}

struct tm *fake_localtime_r(const time_t *seconds, struct tm *out) {
    time_t shifted = *seconds + g_clock.gmtoff;
    if (gmtime_r(&shifted, out) == nullptr) return nullptr;
    out->tm_gmtoff = g_clock.gmtoff;
    return out;
}

struct FakeClockScope : SyscallScope {
    explicit FakeClockScope(const FakeClock &start) {
        g_clock = start;
        qrv::os::g_sys.clock_gettime = fake_clock_gettime;
        qrv::os::g_sys.localtime_r = fake_localtime_r;
        qrv::os::clock_restart();
    }
    ~FakeClockScope() { qrv::os::clock_restart(); }
};

std::string show(const mstime_timeval &tv) { return std::to_string(tv.sec) + "." + std::to_string(tv.nsec); }

const int64_t kBound = static_cast<int64_t>(static_cast<double>(INT64_MAX - kBase));

TEST_F(LibraryTest, OffsetFromTheVariable) {
    FakeClockScope clock(FakeClock{});
    // shifted: mstime_get_timeval on the clock at kBase; seconds: mstime_gettime there (whole seconds only).
    auto check = [](const char *value, int32_t error, mstime_timeval shifted, int64_t seconds) {
        SCOPED_TRACE(value);
        setenv("MSTIMEOFFSET", value, 1);
        msvars_envinit();
        mserror_reset();
        EXPECT_EQ(mstime_init(), error == 0 ? 1 : 0);
        EXPECT_EQ(mserror_geterr_id(), error);
        if (error == 16540) {
            EXPECT_EQ(string_arg(0), value);
        } else if (error == 16541) {
            EXPECT_EQ(number_arg(0), kBound);
        }
        mstime_timeval tv{-1, -1}, local{-1, -1};
        EXPECT_EQ(mstime_get_timeval(&tv), 0);
        EXPECT_EQ(show(tv), show(shifted));
        EXPECT_EQ(mstime_get_local_timeval(&local), 0);  // the moved zone is UTC
        EXPECT_EQ(show(local), show(shifted));
        int64_t out = -1;
        EXPECT_EQ(mstime_gettime(&out), seconds);
        EXPECT_EQ(out, seconds);
        EXPECT_EQ(mstime_gettime(nullptr), seconds);
    };
    const struct {
        const char *value;
        mstime_timeval shifted;
        int64_t seconds;
    } accepted[] = {
        {"", {kBase, 0}, kBase},
        {"0", {kBase, 0}, kBase},
        {"-0.0", {kBase, 0}, kBase},
        {"3600", {kBase + 3600, 0}, kBase + 3600},
        {"-1.5", {kBase - 2, 500000000}, kBase - 1},
        {"+2.25", {kBase + 2, 250000000}, kBase + 2},
        {"-0.5", {kBase - 1, 500000000}, kBase},
        {"1e3", {kBase + 1000, 0}, kBase + 1000},
        {"-2e9", {0, 0}, 0},                                                      // stops at 1970
        {"9e18", {kBase + 9000000000000000000, 0}, kBase + 9000000000000000000},  // no wrap
    };
    for (const auto &c : accepted) check(c.value, 0, c.shifted, c.seconds);
    const std::pair<const char *, int32_t> refused[] = {{"abc", 16540},   {"+", 16540},   {"1.-5", 16540},
                                                        {"--1", 16540},   {"nan", 16540}, {"1e20", 16541},
                                                        {"-1e20", 16541}, {"inf", 16541}};
    for (const auto &[value, error] : refused) check(value, error, {kBase, 0}, kBase);
    unsetenv("MSTIMEOFFSET");
}

TEST(Timeval, Arithmetic) {
    constexpr mstime_timeval kLargest{INT64_MAX, 999999999};
    const struct {
        char op;
        mstime_timeval a, b, expected;
    } cases[] = {{'+', {1, 600000000}, {1, 600000000}, {3, 200000000}},
                 {'+', {-5, 0}, {2, 999999999}, {-3, 999999999}},
                 {'+', {0, 2147483647}, {0, 0}, {2, 147483647}},  // nanoseconds beyond a second carried
                 {'+', {0, -1}, {0, 0}, {-1, 999999999}},
                 {'+', {INT64_MAX, 999999999}, {0, 1}, kLargest},  // stays at the largest
                 {'+', {INT64_MAX, 0}, {1, 0}, kLargest},
                 {'+', {INT64_MIN, 0}, {-1, 0}, {INT64_MIN, 0}},
                 {'-', {5, 0}, {6, 0}, {0, 0}},
                 {'-', {5, 100}, {4, 200}, {0, 999999900}},
                 {'-', {5, 100}, {5, 100}, {0, 0}},
                 {'-', {7, 0}, {2, 500000000}, {4, 500000000}},
                 {'-', {INT64_MAX, 0}, {-1, 0}, kLargest},
                 {'-', {-1, 0}, {-3, 1}, {1, 999999999}}};
    for (const auto &c : cases) {
        mstime_timeval r{-7, -7};
        EXPECT_EQ(c.op == '+' ? mstime_timeval_add(&r, &c.a, &c.b) : mstime_timeval_sub(&r, &c.a, &c.b), &r);
        EXPECT_EQ(show(r), show(c.expected)) << c.op << " " << show(c.a) << " " << show(c.b);
    }
    mstime_timeval a{5, 0}, r{-7, -7};
    EXPECT_EQ(mstime_timeval_add(nullptr, &a, &a), nullptr);
    EXPECT_EQ(show(*mstime_timeval_sub(&r, &a, nullptr)), "5.0");  // a null counts as zero
}

TEST(Timeval, CompareAndDouble) {
    const struct {
        mstime_timeval a, b;
        int cmp;
    } cases[] = {{{1, 5}, {1, 5}, 0}, {{1, 5}, {1, 6}, -1}, {{2, 0}, {1, 999999999}, 1}, {{-1, 0}, {0, 0}, -1}};
    for (const auto &c : cases) {
        EXPECT_EQ(mstime_timeval_cmp(&c.a, &c.b), c.cmp) << show(c.a) << " " << show(c.b);
        EXPECT_EQ(mstime_timeval_cmp(&c.b, &c.a), -c.cmp);
    }
    EXPECT_EQ(mstime_timeval_cmp(nullptr, nullptr), 0);
    mstime_timeval half{1, 500000000}, negative{-2, 250000000};
    EXPECT_EQ(mstime_timeval_to_double(&half), 1.5);
    EXPECT_EQ(mstime_timeval_to_double(&negative), -1.75);
    EXPECT_EQ(mstime_timeval_to_double(nullptr), 0.0);
}

TEST(FineClock, AnchoredAgainAfterSixtySeconds) {
    FakeClockScope clock(FakeClock{.gmtoff = 3600});
    const struct {
        int64_t mono_ms, real_ms, gmtoff;  // advances, and the zone from now on
        int64_t utc_ms, local_gmtoff;      // expected, from kBase
    } steps[] = {
        {0, 0, 3600, 0, 3600},
        // The system clock is stepped by 100 s and the zone changes: the anchor holds.
        {30500, 130500, 7200, 30500, 3600},
        {29000, 29000, 7200, 59500, 3600},
        {1000, 1000, 7200, 60500, 3600},  // not yet more than 60 whole seconds past
        // 61.5 s past the anchor: anchored again on the stepped clock and the new zone.
        {1000, 1000, 7200, 161500, 7200},
        {59000, 59000, 0, 220500, 7200},
        {2000, 2000, 0, 222500, 0},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.utc_ms);
        g_clock.mono_ns += s.mono_ms * 1000000;
        g_clock.real_ns += s.real_ms * 1000000;
        g_clock.gmtoff = s.gmtoff;
        mstime_timeval utc{}, local{};
        EXPECT_EQ(msos_get_timeval(&utc), 0);
        EXPECT_EQ(msos_get_local_timeval(&local), 0);
        mstime_timeval expected = {kBase + s.utc_ms / 1000, static_cast<int32_t>(s.utc_ms % 1000 * 1000000)};
        EXPECT_EQ(show(utc), show(expected));
        expected.sec += s.local_gmtoff;
        EXPECT_EQ(show(local), show(expected));
        EXPECT_EQ(msos_get_gmtoff(), s.local_gmtoff);
    }
}

TEST(FineClock, FailingClocks) {
    {  // No monotonic clock: the system time at its own resolution, no anchor.
        FakeClockScope clock(FakeClock{.real_ns = kBase * kNano + 250000000, .gmtoff = -3600, .mono_fails = true});
        mstime_timeval tv{};
        EXPECT_EQ(msos_get_timeval(&tv), 0);
        EXPECT_EQ(show(tv), "1000000000.250000000");
        g_clock.real_ns += 90 * kNano;
        EXPECT_EQ(msos_get_local_timeval(&tv), 0);
        EXPECT_EQ(show(tv), std::to_string(kBase + 90 - 3600) + ".250000000");
        EXPECT_EQ(msos_get_gmtoff(), -3600);
    }
    {  // No system clock at all.
        FakeClockScope clock(FakeClock{.real_fails = true});
        mstime_timeval tv{5, 5};
        EXPECT_EQ(msos_time(), -1);
        EXPECT_EQ(msos_get_timeval(&tv), -1);
        EXPECT_EQ(show(tv), "0.0");
        EXPECT_EQ(mstime_get_timeval(&tv), -1);
        EXPECT_EQ(msos_get_timeval(nullptr), -1);
        EXPECT_EQ(mstime_get_local_timeval(nullptr), -1);
    }
    {  // A system clock that jumps 1 ms on every read still anchors.
        FakeClockScope clock(FakeClock{.real_step_ns = 1000000});
        mstime_timeval tv{};
        EXPECT_EQ(msos_get_timeval(&tv), 0);
        EXPECT_EQ(tv.sec, kBase);
    }
}

TEST(Calendar, CtimeAndBrokenDownTime) {
    FakeClockScope clock(FakeClock{});
    const std::pair<int64_t, const char *> cases[] = {
        // null: refused, the buffer untouched
        {0, "Thu Jan  1 00:00:00 1970\n"},
        {-1, "Wed Dec 31 23:59:59 1969\n"},
        {1710054000, "Sun Mar 10 07:00:00 2024\n"},
        {253402300799, "Fri Dec 31 23:59:59 9999\n"},  // the longest that fits
        {253402300800, nullptr},
        {1000000000000000, nullptr},
        {INT64_MAX, nullptr},
        {INT64_MIN, nullptr}};
    for (const auto &[seconds, text] : cases) {
        Canary buffer(MSOS_CTIME_SIZE);
        char *back = msos_ctime_r(seconds, buffer.chars());
        EXPECT_EQ(back, text == nullptr ? nullptr : buffer.chars()) << seconds;
        EXPECT_STREQ(back, text);
        EXPECT_TRUE(buffer.untouched_from(text == nullptr ? 0 : MSOS_CTIME_SIZE)) << seconds;
    }
    EXPECT_EQ(msos_ctime_r(0, nullptr), nullptr);

    msos_tm tm{};
    ASSERT_NE(msos_gmtime_r(1710054000, &tm), nullptr);
    const msos_tm march{0, 0, 7, 10, 2, 124, 0, 69, 0};
    EXPECT_EQ(std::memcmp(&tm, &march, sizeof tm), 0);
    g_clock.gmtoff = 9 * 3600;
    ASSERT_EQ(msos_localtime_r(1710054000, &tm), &tm);
    EXPECT_EQ(tm.hour, 16);
    Canary record(sizeof(msos_tm));
    EXPECT_EQ(msos_gmtime_r(INT64_MAX, reinterpret_cast<msos_tm *>(record.data())), nullptr);
    EXPECT_EQ(msos_localtime_r(INT64_MIN, reinterpret_cast<msos_tm *>(record.data())), nullptr);
    EXPECT_TRUE(record.untouched_from(0));
    EXPECT_EQ(msos_gmtime_r(0, nullptr), nullptr);

    g_clock.real_ns = 1710053999 * kNano;  // the local date now, 9 hours ahead
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    mstime_getlocal_time(&year, &month, &day, &hour, &minute, &second);
    EXPECT_EQ(((year * 100 + month) * 100 + day) * 1000000LL + (hour * 100 + minute) * 100 + second, 20240310155959);
    mstime_getlocal_yymmdd(&year, nullptr, nullptr);
    EXPECT_EQ(year, 2024);
}

constexpr int64_t kInstants[] = {1710053999, 1710054000, 1730613599, 1730613600};

// Runs only inside a child: initialises the library with the child's TZ
// and MSTIMEOFFSET and prints what the clock says.
TEST(Child, Report) {
    if (std::getenv("QRV_TEST_CHILD") == nullptr) GTEST_SKIP() << "runs as a child of the other tests";
    int ok = msbasic_init_main(msbasic_init_cascade);
    std::printf("@@init=%d\n", ok);
    if (!ok) {
        char text[512];
        msnlsmsg_error_msg_all(text, sizeof text, nullptr);
        std::printf("@@error=%d %s\n", mserror_geterr_id(), text);
    }
    for (int64_t t : kInstants) {
        char text[MSOS_CTIME_SIZE] = "";
        msos_tm tm{};
        msos_ctime_r(t, text);
        msos_localtime_r(t, &tm);
        std::string line = text;
        if (!line.empty() && line.back() == '\n') line.back() = '$';
        std::printf("@@%lld=%s dst=%d\n", static_cast<long long>(t), line.c_str(), tm.isdst);
    }
    mstime_timeval utc{}, local{};
    mstime_get_timeval(&utc);
    mstime_get_local_timeval(&local);
    int64_t gmtoff = msos_get_gmtoff(), difference = local.sec - utc.sec - gmtoff;
    std::printf("@@gmtoff=%lld\n@@consistent=%d\n", static_cast<long long>(gmtoff),
                difference >= -1 && difference <= 1);
    std::fflush(stdout);
    msbasic_end_main(msbasic_init_cascade);
}

TEST(Zones, LocalTimeInChildren) {
    const std::pair<const char *, std::map<std::string, std::string>> cases[] = {
        {"TZ=UTC",
         {{"1710053999", "Sun Mar 10 06:59:59 2024$ dst=0"},
          {"1710054000", "Sun Mar 10 07:00:00 2024$ dst=0"},
          {"1730613600", "Sun Nov  3 06:00:00 2024$ dst=0"},
          {"gmtoff", "0"}}},
        {"TZ=Asia/Tokyo",
         {{"1710053999", "Sun Mar 10 15:59:59 2024$ dst=0"},
          {"1730613599", "Sun Nov  3 14:59:59 2024$ dst=0"},
          {"gmtoff", "32400"}}},
        // Both changes of 2024: 02:00 EST becomes 03:00 EDT, 02:00 EDT becomes 01:00 EST.
        {"TZ=America/New_York",
         {{"1710053999", "Sun Mar 10 01:59:59 2024$ dst=0"},
          {"1710054000", "Sun Mar 10 03:00:00 2024$ dst=1"},
          {"1730613599", "Sun Nov  3 01:59:59 2024$ dst=1"},
          {"1730613600", "Sun Nov  3 01:00:00 2024$ dst=0"}}},
    };
    for (const auto &[env, expected] : cases) {
        SCOPED_TRACE(env);
        std::map<std::string, std::string> got = run_child(self_program(), {env});
        ASSERT_EQ(got["status"], "0");
        EXPECT_EQ(got["init"], "1");
        EXPECT_EQ(got["consistent"], "1");
        for (const auto &[key, value] : expected) EXPECT_EQ(got[key], value) << key;
        if (std::string(env) == "TZ=America/New_York") {  // its offset now is one of its two
            EXPECT_TRUE(got["gmtoff"] == "-18000" || got["gmtoff"] == "-14400") << got["gmtoff"];
        }
    }
    const std::pair<const char *, std::string> bad[] = {
        {"MSTIMEOFFSET=abc", "16540 MS Variable 'MSTIMEOFFSET' is set to a bad value 'abc'"},
        {"MSTIMEOFFSET=1e20",
         "16541 The absolute value of MS Variable 'MSTIMEOFFSET' cannot be greater than 922337203"},
    };
    for (const auto &[env, error] : bad) {  // a bad offset fails initialisation
        std::map<std::string, std::string> got = run_child(self_program(), {env, "TZ=UTC"});
        EXPECT_EQ(got["status"], "0") << env;
        EXPECT_EQ(got["init"], "0") << env;
        EXPECT_EQ(got["error"].substr(0, error.size()), error) << got["error"];
    }
}

}  // namespace
