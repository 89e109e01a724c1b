// The space allocator: ceiling, counters, high-water marks, the resize rules,
// the reports, and the error ids of bad requests.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "mssp.h"
#include "support.h"

namespace {

int stat(int selector) { return mssp_get_spstat(selector); }

// The library with MSSPACELIMIT set for the process.
class SpaceLimit : public LibraryTest {
protected:
    static void with_limit(const char *value) { setenv("MSSPACELIMIT", value, 1); }
};

struct LimitCase {
    const char *value;
    int size;
    bool granted;
};

class LimitParsing : public SpaceLimit, public ::testing::WithParamInterface<LimitCase> {
protected:
    void SetUp() override {
        with_limit(GetParam().value);
        SpaceLimit::SetUp();
    }
};

// 90 % of the 4 MiB floor is 3774873 bytes.
TEST_P(LimitParsing, CheckedRequestMeetsTheCeiling) {
    void *p = mssp_get_ex(GetParam().size, 1);
    EXPECT_EQ(p != nullptr, GetParam().granted);
    if (p == nullptr) {
        EXPECT_EQ(mserror_geterr_id(), 16007);
    }
    mssp_free_rv(p);
}

INSTANTIATE_TEST_SUITE_P(Values, LimitParsing,
                         ::testing::Values(LimitCase{"1000", 3700000, true}, LimitCase{"1000", 3800000, false},
                                           LimitCase{"-5", 8000000, true}, LimitCase{"abc", 8000000, true},
                                           LimitCase{" 20000000 ", 8000000, true}));

class TenMillion : public SpaceLimit {
protected:
    void SetUp() override {
        with_limit("10000000");
        SpaceLimit::SetUp();
    }
};

TEST_F(TenMillion, CheckedGetOverTheCeilingFailsUncheckedSucceeds) {
    void *small = mssp_get_ex(100, 1);
    void *big = mssp_get_ex(8900000 - stat(MSSP_STAT_BYTES), 1);
    ASSERT_NE(big, nullptr);
    mserror_seterr(16999, 0);
    EXPECT_EQ(mssp_get_ex(200000, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16007);
    EXPECT_EQ(entry_count(), 1) << "the stack was cleared first";
    void *unchecked = mssp_get_ex(200000, 0);
    EXPECT_NE(unchecked, nullptr);
    // A resize refused by the ceiling frees the caller's space.
    ASSERT_NE(small, nullptr);
    int spaces = stat(MSSP_STAT_SPACES);
    EXPECT_EQ(mssp_reget_ex(small, 400000, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16007);
    EXPECT_EQ(stat(MSSP_STAT_SPACES), spaces - 1);
    mssp_free_rv(unchecked);
    mssp_free_rv(big);
}

TEST_F(LibraryTest, ZeroAndNegativeSizes) {
    mserror_seterr(16999, 0);
    EXPECT_EQ(mssp_get_ex(0, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16999) << "size 0 reports nothing";
    EXPECT_EQ(mssp_get_ex(-7, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16004);
    EXPECT_EQ(number_arg(0), -7);
    EXPECT_EQ(entry_count(), 1);
    char *p = static_cast<char *>(mssp_get_ex(32, 1));
    std::memset(p, 'k', 32);
    EXPECT_EQ(mssp_reget_ex(p, -1, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16004);
    EXPECT_EQ(p[31], 'k') << "the space is untouched";
    EXPECT_EQ(mssp_free_rv(p), 1);
    EXPECT_EQ(mssp_free_rv(nullptr), 1);
    EXPECT_EQ(mssp_size(nullptr), 0);
    EXPECT_EQ(mssp_check(), 1);
}

TEST_F(LibraryTest, SmallShrinkKeepsTheBlockAndTheCounters) {
    char *p = static_cast<char *>(mssp_get_ex(3000, 1));
    ASSERT_NE(p, nullptr);
    int bytes = stat(MSSP_STAT_BYTES);
    int old_size = mssp_size(p);
    EXPECT_GE(old_size, 3000);
    EXPECT_EQ(mssp_reget_ex(p, 2500, 1), p);
    EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes);
    char *q = static_cast<char *>(mssp_reget_ex(p, 1000, 1));
    ASSERT_NE(q, nullptr);
    EXPECT_LT(mssp_size(q), old_size) << "a shrink of 2000 bytes reallocates";
    EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes - old_size + mssp_size(q));
    EXPECT_EQ(mssp_reget_ex(q, 0, 1), nullptr);
    void *fresh = mssp_reget_ex(nullptr, 64, 1);
    EXPECT_NE(fresh, nullptr);
    mssp_free_rv(fresh);
}

TEST_F(LibraryTest, CountersAndHighWaterMarks) {
    int spaces = stat(MSSP_STAT_SPACES), bytes = stat(MSSP_STAT_BYTES);
    mssp_reset_spstat_hwm(MSSP_STAT_SPACES_HWM);
    mssp_reset_spstat_hwm(MSSP_STAT_BYTES_HWM);
    mssp_reset_spstat_hwm(MSSP_STAT_BIGGEST);
    EXPECT_EQ(stat(MSSP_STAT_SPACES_HWM), spaces);
    EXPECT_EQ(stat(MSSP_STAT_BIGGEST), 0);
    void *a = mssp_get_ex(5000, 1);
    void *b = mssp_get_ex(100, 1);
    EXPECT_EQ(stat(MSSP_STAT_SPACES), spaces + 2);
    EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes + mssp_size(a) + mssp_size(b)) << "heap-reported sizes";
    EXPECT_EQ(stat(MSSP_STAT_BIGGEST), 5000) << "the requested size";
    mssp_free_rv(a);
    mssp_free_rv(b);
    EXPECT_EQ(stat(MSSP_STAT_SPACES), spaces);
    EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes);
    EXPECT_EQ(stat(MSSP_STAT_SPACES_HWM), spaces + 2) << "the mark stays";
    EXPECT_GE(stat(MSSP_STAT_BYTES_HWM), bytes + 5000);
    EXPECT_EQ(mssp_get_spstat(5) + mssp_get_spstat(-1), -2);
    EXPECT_EQ(mssp_reset_spstat_hwm(MSSP_STAT_SPACES), 1);
    EXPECT_EQ(stat(MSSP_STAT_SPACES), spaces) << "current counts are not reset";
}

TEST_F(LibraryTest, HeapFailureReportsAndFreesOnResize) {
    qrv::space::fail_nth_allocation(1);
    EXPECT_EQ(mssp_get_ex(100, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16002);
    mserror_pop();
    EXPECT_EQ(mserror_geterr_id(), 16151);
    EXPECT_EQ(number_arg(0), ENOMEM);
    void *p = mssp_get_ex(100, 1);
    int spaces = stat(MSSP_STAT_SPACES);
    qrv::space::fail_nth_allocation(1);
    EXPECT_EQ(mssp_reget_ex(p, 100000, 1), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 16002);
    EXPECT_EQ(stat(MSSP_STAT_SPACES), spaces - 1) << "a failed resize frees the caller's space";
}

TEST_F(LibraryTest, ServerReportIsBoundedByTheBuffer) {
    char line[200];
    ASSERT_EQ(mssp_stat_fmt_report_for_svr(line, sizeof line), line);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "svpid (%d) alloc mem(HWM) %d(%d) bytes, alloc spaces(HWM) %d(%d) units, max single alloc %d bytes\n",
                  getpid(), stat(4), stat(2), stat(3), stat(0), stat(1));
    EXPECT_STREQ(line, expected);
    char small[12];
    std::memset(small, '#', sizeof small);
    ASSERT_EQ(mssp_stat_fmt_report_for_svr(small, 8), small);
    EXPECT_STREQ(small, "svpid (");
    EXPECT_EQ(small[8], '#') << "nothing written past len";
    EXPECT_EQ(mssp_stat_fmt_report_for_svr(nullptr, 8), nullptr);
    EXPECT_EQ(mssp_stat_fmt_report_for_svr(small, 0), nullptr);
}

// The MSDEBUG words, a silenced warning, a leak, and what the last end prints
// on standard error ("": nothing).
TEST(EndReports, PrintedAfterTheLastEnd) {
    const struct {
        const char *msdebug;
        bool silence, leak;
        const char *expected;
    } kCases[] = {{"memchk", false, true, "space(s) still allocated (pid="},
                  {"memchk", true, true, ""},
                  {"memchk", false, false, ""},
                  {"", false, true, ""},
                  {"memuse", false, false, "Quorvel internal Memory Allocation Accounting"}};
    for (const auto &c : kCases) {
        setenv("MSDEBUG", c.msdebug, 1);
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
        mssp_end_ngot_set(c.silence ? 0 : 1);
        void *leaked = c.leak ? mssp_get_ex(10, 1) : nullptr;
        ::testing::internal::CaptureStderr();
        msbasic_end_main(msbasic_init_cascade);
        std::string out = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(*c.expected == '\0' ? out.empty() : out.find(c.expected) != std::string::npos)
            << c.msdebug << ": " << out;
        mssp_free_rv(leaked);
    }
}

}  // namespace
