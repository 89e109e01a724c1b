// The error stack: entry layout, growth, strings, floor, save/restore and the
// convenience forms.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support.h"

namespace {

using ErrorStack = LibraryTest;

TEST_F(ErrorStack, ArgumentCountIsClampedAndIndexesOutsideItAreRefused) {
    const struct { int requested, stored; } kCounts[] = {{0, 0}, {1, 1}, {9, 9}, {12, 9}};
    for (const auto &c : kCounts) {
        mserror_seterr(-5, c.requested);
        int64_t *entry = mserror_geterr_stack();
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry[-1], -5) << "the id is sign-extended";
        EXPECT_EQ(entry[-2], c.stored) << c.requested;
        for (int i = -1; i <= c.stored; ++i) mserror_setarg(100 + i, i);
        mserror_setarg_str("x", c.stored);
        for (int i = 0; i < c.stored; ++i) EXPECT_EQ(entry[-3 - i], 100 + i);
        EXPECT_EQ(entry[-2], c.stored) << "no string bit for a refused argument";
        int64_t out = 0;
        EXPECT_EQ(mserror_geterr_arg(&out, c.stored), 0) << "argument past n";
    }
    mserror_reset();
    mserror_seterr(16001, -1);
    EXPECT_EQ(mserror_geterr_stack(), nullptr) << "a negative count pushes nothing";
}

TEST_F(ErrorStack, StringArgumentsAreOffsetsIntoTheBuffer) {
    mserror_seterr(16002, 3);
    mserror_setarg_str("alpha", 0);
    mserror_setarg(INT64_MIN, 1);
    mserror_setarg_str(nullptr, 2);
    int64_t *entry = mserror_geterr_stack();
    EXPECT_EQ(entry[-2], 3 | 0x100 | 0x400);
    EXPECT_EQ(entry[-3], 0) << "first string at offset 0";
    EXPECT_EQ(entry[-5], 6) << "after \"alpha\" and its NUL";
    EXPECT_STREQ(mserror_geterr_argbuf() + entry[-5], "(nil)");
    EXPECT_EQ(string_arg(0), "alpha");
    EXPECT_EQ(number_arg(1), INT64_MIN);
    mserror_setarg(9, 0);  // a number replaces the string
    EXPECT_EQ(mserror_geterr_stack()[-2], 3 | 0x400);
}

TEST_F(ErrorStack, ArgumentPushedAgainFromTheBufferSurvivesItsGrowth) {
    std::string big(1000, 'a');
    mserror_seterr_1arg_str(16003, big.c_str());
    int64_t first = 0;
    ASSERT_EQ(mserror_geterr_arg(&first, 0), 1);
    // The buffer holds 1024 bytes with 1001 used: copying the argument into it
    // again must grow the buffer while reading from it.
    mserror_seterr_1arg_str(16004, reinterpret_cast<const char *>(static_cast<intptr_t>(first)));
    EXPECT_EQ(string_arg(0), big);
}

// Growth of the words: capacity + 10 x floor((needed - capacity - 1) / 10) + 10.
// An allocation forced to fail shows exactly when the stack grows.
TEST_F(ErrorStack, WordsGrowByTensExactlyWhenNeeded) {
    mserror_seterr(16010, 3);  // 5 words of 10
    qrv::space::fail_nth_allocation(1);
    mserror_seterr(16011, 3);  // 10 words: fits, no allocation
    EXPECT_EQ(mserror_geterr_id(), 16011);
    qrv::space::fail_nth_allocation(0);
    mserror_reset();
    mserror_seterr(16012, 3);  // 5 words
    mserror_seterr(16013, 9);  // needs 16: capacity 20
    qrv::space::fail_nth_allocation(1);
    mserror_seterr(16014, 2);  // needs 20: fits
    EXPECT_EQ(mserror_geterr_id(), 16014);
    mserror_seterr(16015, 0);  // needs 22: growth fails, the stack is lost
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(mserror_geterr_stack(), nullptr);
    mserror_seterr_1arg(16016, 5);  // and the thread goes on
    EXPECT_EQ(mserror_geterr_id(), 16016);
    EXPECT_EQ(entry_count(), 1);
}

// Growth of the strings: the shortfall rounded down to 1024s, plus 1024.
TEST_F(ErrorStack, StringBufferGrowsBy1024s) {
    mserror_seterr(16020, 2);
    mserror_setarg_str(std::string(1500, 'x').c_str(), 0);  // 1501 bytes: 2048 allocated
    qrv::space::fail_nth_allocation(1);
    std::string s546(546, 'y');
    mserror_setarg_str(s546.c_str(), 1);  // 547 more: exactly 2048, no allocation
    EXPECT_EQ(string_arg(1), s546);
    mserror_setarg_str("z", 1);  // one byte past: growth fails
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(number_arg(1), 0) << "the argument becomes the number 0";
    EXPECT_EQ(number_arg(0), 0) << "earlier strings are forgotten";
    EXPECT_EQ(mserror_geterr_argbuf(), nullptr);
    mserror_setarg_str("back", 1);
    EXPECT_EQ(string_arg(1), "back");
}

TEST_F(ErrorStack, PopEmptiesTheStringsOnlyAtTheBottomAndRestoreBringsBackWhatWasRead) {
    mserror_seterr_1arg_str(16030, "one");
    mserror_seterr_1arg_str(16031, "two");
    int32_t top = 0, used = 0, now_top = 0, now_used = 0;
    mserror_stack_save(&top, &used);
    EXPECT_EQ(top, 6);
    EXPECT_EQ(used, 8);
    EXPECT_EQ(mserror_pop(), 1);
    mserror_stack_save(&now_top, &now_used);
    EXPECT_EQ(now_used, 8) << "a pop above the bottom keeps the strings";
    EXPECT_EQ(mserror_pop(), 1);
    mserror_stack_save(&now_top, &now_used);
    EXPECT_EQ(now_top + now_used, 0);
    EXPECT_EQ(mserror_pop(), 0);
    mserror_stack_restore(top, used);
    EXPECT_EQ(string_arg(0), "two");
    // Values the stack cannot hold are ignored.
    for (auto [t, u] : {std::pair{-1, 0}, std::pair{1000, 0}, std::pair{2, -1}, std::pair{2, 1 << 30}}) {
        mserror_stack_restore(t, u);
        EXPECT_EQ(mserror_geterr_id(), 16031) << t << "," << u;
    }
}

TEST_F(ErrorStack, CleanupFloorHidesAndRestores) {
    mserror_seterr_1arg(16050, 1);
    mserror_seterr_1arg(16051, 2);
    int32_t old = mserror_cleanup_save();
    EXPECT_EQ(old, 0);
    EXPECT_EQ(mserror_geterr_stack(), nullptr);
    EXPECT_EQ(mserror_pop(), 0) << "nothing visible to pop";
    mserror_seterr_1arg_str(16052, "cleanup");
    mserror_reset();  // only down to the floor
    EXPECT_EQ(mserror_geterr_id(), 0);
    mserror_seterr(16053, 0);
    mserror_cleanup_restore(old);
    EXPECT_EQ(mserror_geterr_id(), 16051);
    EXPECT_EQ(entry_count(), 2);
}

TEST_F(ErrorStack, VariableSlotsAreFreedWithTheStack) {
    EXPECT_EQ(mserror_get_var_slot(-1), nullptr);
    EXPECT_EQ(mserror_get_var_slot(2), nullptr);
    void **slot0 = mserror_get_var_slot(0);
    void **slot1 = mserror_get_var_slot(1);
    ASSERT_NE(slot0, nullptr);
    ASSERT_NE(slot1, slot0);
    *slot0 = qrv::space::get(64);
    *slot1 = qrv::space::get(16);
    // TearDown checks that no space is left.
}

TEST_F(ErrorStack, OsErrorStartsANewReportWithTheNumberAndTheSystemText) {
    mserror_seterr_1arg(16060, 1);
    errno = ENOENT;
    mserror_seterr_os_geterror();
    EXPECT_EQ(entry_count(), 1);
    EXPECT_EQ(mserror_geterr_id(), 16151);
    EXPECT_EQ(number_arg(0), ENOENT);
    EXPECT_EQ(string_arg(1), std::strerror(ENOENT));
    mserror_seterr_os(0);
    EXPECT_EQ(string_arg(1), "");
}

// Each convenience form: whether it resets, and its arguments ("#n" for a number).
TEST_F(ErrorStack, ConvenienceFormsResetOrStackAndFillTheirArguments) {
    using Args = std::vector<std::string>;
    const struct {
        std::function<void()> call;
        bool resets;
        Args args;
    } kForms[] = {
        {[] { mserror_reset_seterr(16100, 0); }, true, {}},
        {[] { mserror_reset_seterr_1arg(16100, -7); }, true, {"#-7"}},
        {[] { mserror_reset_seterr_1arg_str(16100, "a"); }, true, {"a"}},
        {[] { mserror_reset_seterr_2arg_str(16100, "a", "b"); }, true, {"a", "b"}},
        {[] { mserror_reset_seterr_3arg_str(16100, "a", "b", "c"); }, true, {"a", "b", "c"}},
        {[] { mserror_reset_seterr_4arg_str(16100, "a", "b", "c", "d"); }, true, {"a", "b", "c", "d"}},
        {[] { mserror_seterr_1arg(16100, 5); }, false, {"#5"}},
        {[] { mserror_seterr_2arg(16100, 5, 6); }, false, {"#5", "#6"}},
        {[] { mserror_seterr_1arg_str(16100, "a"); }, false, {"a"}},
        {[] { mserror_seterr_2arg_str(16100, "a", "b"); }, false, {"a", "b"}},
        {[] { mserror_seterr_3arg_str(16100, "a", "b", "c"); }, false, {"a", "b", "c"}},
    };
    for (size_t row = 0; row < std::size(kForms); ++row) {
        mserror_reset_seterr_1arg(16099, 1);
        kForms[row].call();
        EXPECT_EQ(entry_count(), kForms[row].resets ? 1 : 2) << "row " << row;
        EXPECT_EQ(mserror_geterr_id(), 16100) << "row " << row;
        Args args;
        for (int i = 0; i < MSERROR_DESC_NARGS(mserror_geterr_stack()[-2]); ++i) {
            char number[24];
            std::snprintf(number, sizeof number, "#%lld", static_cast<long long>(number_arg(i)));
            args.push_back(string_arg(i) == "<number>" ? number : string_arg(i));
        }
        EXPECT_EQ(args, kForms[row].args) << "row " << row;
    }
}

TEST(ErrorStackWithoutInit, EveryOperationIsANoOp) {
    mserror_seterr_1arg_str(16070, "x");
    mserror_reset();
    EXPECT_EQ(mserror_geterr_id(), 0);
    EXPECT_EQ(mserror_geterr_stack(), nullptr);
    EXPECT_EQ(mserror_geterr_argbuf(), nullptr);
    EXPECT_EQ(mserror_pop(), 0);
    EXPECT_EQ(mserror_get_var_slot(0), nullptr);
    EXPECT_EQ(mserror_cleanup_save(), 0);
    int64_t out = 99;
    EXPECT_EQ(mserror_geterr_arg(&out, 0), 0);
    EXPECT_EQ(out, 99);
    int32_t top = 5, used = 5;
    mserror_stack_save(&top, &used);
    EXPECT_EQ(top + used, 0);
}

}  // namespace
