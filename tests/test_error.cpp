// The error stack: entry layout, growth, strings, floor, save/restore and the
// convenience forms.
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support.h"

namespace {

using ErrorStack = LibraryTest;

struct ArgCountCase {
    int requested;
    bool pushed;
    int stored;
};

class SeterrArgCount : public LibraryTest, public ::testing::WithParamInterface<ArgCountCase> {};

TEST_P(SeterrArgCount, StoresTheClampedCountInTheDescriptor) {
    const ArgCountCase c = GetParam();
    mserror_seterr(16001, c.requested);
    int64_t *entry = mserror_geterr_stack();
    ASSERT_EQ(entry != nullptr, c.pushed);
    if (!c.pushed) return;
    EXPECT_EQ(entry[-1], 16001);
    EXPECT_EQ(entry[-2], c.stored);
    EXPECT_EQ(MSERROR_DESC_NARGS(entry[-2]), c.stored);
    for (int i = 0; i < c.stored; ++i) mserror_setarg(100 + i, i);
    for (int i = 0; i < c.stored; ++i) EXPECT_EQ(entry[-3 - i], 100 + i);
    int64_t out = 0;
    EXPECT_EQ(mserror_geterr_arg(&out, c.stored), 0) << "argument past n";
}

INSTANTIATE_TEST_SUITE_P(Counts, SeterrArgCount,
                         ::testing::Values(ArgCountCase{-1, false, 0}, ArgCountCase{0, true, 0},
                                           ArgCountCase{1, true, 1}, ArgCountCase{9, true, 9},
                                           ArgCountCase{12, true, 9}));

TEST_F(ErrorStack, IdIsSignExtendedAndArgumentsGuardTheirIndex) {
    mserror_seterr(-5, 2);
    EXPECT_EQ(mserror_geterr_stack()[-1], -5);
    mserror_setarg(7, -1);
    mserror_setarg(7, 2);
    mserror_setarg_str("x", 2);
    mserror_setarg(INT64_MIN, 1);
    EXPECT_EQ(number_arg(1), INT64_MIN);
    EXPECT_EQ(mserror_geterr_stack()[-2], 2) << "no string bit for a refused argument";
}

TEST_F(ErrorStack, StringArgumentsAreOffsetsIntoTheBuffer) {
    mserror_seterr(16002, 3);
    mserror_setarg_str("alpha", 0);
    mserror_setarg(42, 1);
    mserror_setarg_str(nullptr, 2);
    int64_t *entry = mserror_geterr_stack();
    EXPECT_EQ(entry[-2], 3 | 0x100 | 0x400);
    EXPECT_EQ(entry[-3], 0) << "first string at offset 0";
    EXPECT_EQ(entry[-5], 6) << "after \"alpha\" and its NUL";
    EXPECT_STREQ(mserror_geterr_argbuf() + entry[-5], "(nil)");
    EXPECT_EQ(string_arg(0), "alpha");
    EXPECT_EQ(number_arg(1), 42);
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
    EXPECT_EQ(mserror_geterr_id(), 16013);
    qrv::space::fail_nth_allocation(1);
    mserror_seterr(16014, 2);  // needs 20: fits
    EXPECT_EQ(mserror_geterr_id(), 16014);
    mserror_seterr(16015, 0);  // needs 22: growth fails, the stack is lost
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(mserror_geterr_id(), 0);
    EXPECT_EQ(mserror_geterr_stack(), nullptr);
    mserror_seterr_1arg(16016, 5);  // and the thread goes on
    EXPECT_EQ(mserror_geterr_id(), 16016);
    EXPECT_EQ(entry_count(), 1);
}

// Growth of the strings: the shortfall rounded down to 1024s, plus 1024.
TEST_F(ErrorStack, StringBufferGrowsBy1024s) {
    std::string s1500(1500, 'x');
    mserror_seterr(16020, 2);
    mserror_setarg_str(s1500.c_str(), 0);  // 1501 bytes: 2048 allocated
    qrv::space::fail_nth_allocation(1);
    std::string s546(546, 'y');
    mserror_setarg_str(s546.c_str(), 1);  // 547 more: exactly 2048, no allocation
    EXPECT_EQ(string_arg(1), s546);
    mserror_setarg_str("z", 1);  // one byte past: growth fails
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(number_arg(1), 0) << "the argument becomes the number 0";
    EXPECT_EQ(string_arg(0), "") << "earlier strings are forgotten";
    EXPECT_EQ(mserror_geterr_argbuf(), nullptr);
    mserror_setarg_str("back", 1);
    EXPECT_EQ(string_arg(1), "back");
}

TEST_F(ErrorStack, PopAndResetEmptyTheStringsOnlyAtTheBottom) {
    mserror_seterr_1arg_str(16030, "one");
    mserror_seterr_1arg_str(16031, "two");
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    EXPECT_EQ(top, 6);
    EXPECT_EQ(used, 8);
    EXPECT_EQ(mserror_pop(), 1);
    EXPECT_EQ(mserror_geterr_id(), 16030);
    mserror_stack_save(&top, &used);
    EXPECT_EQ(used, 8) << "a pop above the bottom keeps the strings";
    EXPECT_EQ(mserror_pop(), 1);
    mserror_stack_save(&top, &used);
    EXPECT_EQ(top, 0);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(mserror_pop(), 0);
}

TEST_F(ErrorStack, SaveAndRestoreBringBackWhatWasReadDestructively) {
    mserror_seterr_2arg(16040, 1, 2);
    mserror_seterr_1arg_str(16041, "top");
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    mserror_reset();
    EXPECT_EQ(mserror_geterr_id(), 0);
    mserror_stack_restore(top, used);
    EXPECT_EQ(mserror_geterr_id(), 16041);
    EXPECT_EQ(string_arg(0), "top");
    // Values the stack cannot hold are ignored.
    for (auto [t, u] : {std::pair{-1, 0}, std::pair{1000, 0}, std::pair{2, -1}, std::pair{2, 1 << 30}}) {
        mserror_stack_restore(t, u);
        EXPECT_EQ(mserror_geterr_id(), 16041) << t << "," << u;
    }
}

TEST_F(ErrorStack, CleanupFloorHidesAndRestores) {
    mserror_seterr_1arg(16050, 1);
    mserror_seterr_1arg(16051, 2);
    int32_t old = mserror_cleanup_save();
    EXPECT_EQ(old, 0);
    EXPECT_EQ(mserror_geterr_id(), 0);
    EXPECT_EQ(mserror_geterr_stack(), nullptr);
    EXPECT_EQ(mserror_pop(), 0) << "nothing visible to pop";
    mserror_seterr_1arg_str(16052, "cleanup");
    mserror_reset();  // only down to the floor
    EXPECT_EQ(mserror_geterr_id(), 0);
    mserror_seterr(16053, 0);
    mserror_cleanup_restore(old);
    EXPECT_EQ(mserror_geterr_id(), 16051);
    EXPECT_EQ(entry_count(), 2);
    mserror_reset();
    EXPECT_EQ(entry_count(), 0);
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

TEST_F(ErrorStack, OsErrorCarriesTheNumberAndTheSystemText) {
    mserror_seterr_1arg(16060, 1);
    errno = ENOENT;
    mserror_seterr_os_geterror();
    EXPECT_EQ(entry_count(), 1) << "the OS entry starts a new report";
    EXPECT_EQ(mserror_geterr_id(), 16151);
    EXPECT_EQ(number_arg(0), ENOENT);
    EXPECT_EQ(string_arg(1), std::strerror(ENOENT));
    mserror_seterr_os(0);
    EXPECT_EQ(string_arg(1), "");
}

// Each convenience form: whether it resets, its id and its arguments.
struct FormCase {
    const char *name;
    std::function<void()> call;
    bool resets;
    std::vector<std::string> args;  // "#n" for numbers
};

class ConvenienceForm : public LibraryTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(ConvenienceForm, ResetsOrStacksAndFillsItsArguments) {
    mserror_seterr_1arg(16099, 1);
    GetParam().call();
    EXPECT_EQ(entry_count(), GetParam().resets ? 1 : 2);
    EXPECT_EQ(mserror_geterr_id(), 16100);
    const auto &args = GetParam().args;
    EXPECT_EQ(MSERROR_DESC_NARGS(mserror_geterr_stack()[-2]), static_cast<int>(args.size()));
    for (size_t i = 0; i < args.size(); ++i) {
        int idx = static_cast<int>(i);
        if (args[i][0] == '#') {
            EXPECT_EQ(number_arg(idx), std::stoll(args[i].substr(1))) << i;
        } else {
            EXPECT_EQ(string_arg(idx), args[i]) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ConvenienceForm,
    ::testing::Values(
        FormCase{"reset_seterr", [] { mserror_reset_seterr(16100, 0); }, true, {}},
        FormCase{"reset_1arg", [] { mserror_reset_seterr_1arg(16100, -7); }, true, {"#-7"}},
        FormCase{"reset_1arg_str", [] { mserror_reset_seterr_1arg_str(16100, "a"); }, true, {"a"}},
        FormCase{"reset_2arg_str", [] { mserror_reset_seterr_2arg_str(16100, "a", "b"); }, true, {"a", "b"}},
        FormCase{"reset_3arg_str", [] { mserror_reset_seterr_3arg_str(16100, "a", "b", "c"); }, true, {"a", "b", "c"}},
        FormCase{"reset_4arg_str",
                 [] { mserror_reset_seterr_4arg_str(16100, "a", "b", "c", "d"); },
                 true,
                 {"a", "b", "c", "d"}},
        FormCase{"seterr_1arg", [] { mserror_seterr_1arg(16100, 5); }, false, {"#5"}},
        FormCase{"seterr_2arg", [] { mserror_seterr_2arg(16100, 5, 6); }, false, {"#5", "#6"}},
        FormCase{"seterr_1arg_str", [] { mserror_seterr_1arg_str(16100, "a"); }, false, {"a"}},
        FormCase{"seterr_2arg_str", [] { mserror_seterr_2arg_str(16100, "a", "b"); }, false, {"a", "b"}},
        FormCase{"seterr_3arg_str", [] { mserror_seterr_3arg_str(16100, "a", "b", "c"); }, false, {"a", "b", "c"}}),
    [](const auto &info) { return std::string(info.param.name); });

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
    EXPECT_EQ(top, 0);
    EXPECT_EQ(used, 0);
}

}  // namespace
