// The init/end frame with toy layers: counts, modes, order, conflicts,
// teardown and the forked child.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "frame/frame_internal.h"
#include "frame_modules.h"
#include "msos.h"
#include "mstask.h"
#include "msthread.h"
#include "support.h"

namespace {

using frame_test::reg;
using frame_test::take;
using Calls = std::vector<std::string>;

void cascade_ab() {
    reg<1>();
    reg<2>();
}
void cascade_bc() {
    reg<2>();
    reg<3>();
}
void cascade_b_twice() {
    reg<2>();
    reg<2>();
}
void cascade_conflict() { msbasic_init_end_register(frame_test::init<1>, frame_test::end<3>); }
void cascade_lib_a() {
    msbasic_init_cascade();
    reg<1>();
}

class Frame : public ::testing::Test {
protected:
    void SetUp() override { take(); }
    void TearDown() override {
        msbasic_end_all();
        EXPECT_EQ(msbasic_get_init_pid(), 0);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
        std::fill(std::begin(frame_test::g_fail_init), std::end(frame_test::g_fail_init), false);
    }
};

TEST_F(Frame, InitAndEndCallTheLayersInOrderAndTearDown) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    EXPECT_EQ(msbasic_get_init_pid(), getpid());
    EXPECT_NE(msbasic_get_thread_wss_only(), nullptr);
    EXPECT_EQ(msbasic_end_main(cascade_ab), 1);
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_get_init_pid(), 0) << "the last end tears the frame down";
    EXPECT_EQ(msbasic_get_thread_wss_only(), nullptr);
    EXPECT_TRUE(mstask_api_current_task_is_default());
}

TEST_F(Frame, SharedLayerIsCountedNotInitialisedTwice) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    ASSERT_EQ(msbasic_init_main(cascade_bc), 1);
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "init3(1)"}));
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    EXPECT_EQ(take(), Calls{}) << "counts only";
    msbasic_end_main(cascade_ab);
    msbasic_end_main(cascade_bc);
    EXPECT_EQ(take(), Calls{"end3(1,1)"});
    EXPECT_NE(msbasic_get_init_pid(), 0);
    msbasic_end_main(cascade_ab);
    EXPECT_EQ(take(), (Calls{"end2(1,1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_get_init_pid(), 0);
}

TEST_F(Frame, PairRegisteredTwiceByOneCascadeCountsTwice) {
    ASSERT_EQ(msbasic_init_main(cascade_b_twice), 1);
    EXPECT_EQ(take(), Calls{"init2(1)"});
    msbasic_end_main(cascade_b_twice);
    EXPECT_EQ(take(), Calls{"end2(1,1)"}) << "called when the second count reaches 0";
}

TEST_F(Frame, ConflictingRegistrationDisablesInitUntilFullTeardown) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    EXPECT_EQ(msbasic_init_main(cascade_conflict), 0);
    EXPECT_EQ(msbasic_init_main(cascade_ab), 0) << "init is disabled";
    EXPECT_EQ(msbasic_init_thread(), 0);
    msbasic_end_all();
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_init_main(cascade_ab), 1) << "a full teardown enables init again";
}

TEST_F(Frame, FailingInitFailsAndKeepsRaisedCounts) {
    frame_test::g_fail_init[2] = true;
    EXPECT_EQ(msbasic_init_main(cascade_ab), 0);
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)"}));
    msbasic_end_all();
    EXPECT_EQ(take(), (Calls{"end2(1,1)", "end1(1,1)"}));
}

TEST_F(Frame, EndOfUnknownCascadeTearsDownWithoutEndFunctions) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    take();
    EXPECT_EQ(msbasic_end_main(cascade_bc), 1);
    EXPECT_EQ(take(), Calls{});
    EXPECT_EQ(msbasic_get_init_pid(), 0);
    EXPECT_EQ(msbasic_end_main(cascade_ab), 1) << "nothing left to end";
}

TEST_F(Frame, EndAllIsSwitchedOffByTheHost) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    msbasic_end_all_ok = 0;
    msbasic_end_all();
    EXPECT_NE(msbasic_get_init_pid(), 0);
    msbasic_end_all_ok = 1;
    msbasic_end_all();
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
}

// Bypass lasts for the rest of the process: both forced ends in one test.
TEST(FrameForce, ForcedEndsSwitchLocksToBypassAndEndEverything) {
    take();
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    qrv_mutex m;
    ASSERT_EQ(msthread_mutex_init(&m), 1);
    msthread_mutex_lock(&m);
    msbasic_end_all_force();
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
    int acquired = 0;
    std::thread([&] { msthread_mutex_trylock(&m, &acquired); }).join();
    EXPECT_EQ(acquired, 1) << "locks are bypassed";
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    msbasic_end_task_force();
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_get_init_pid(), 0);
}

// Every allocation of a process init, failed in turn: the init fails cleanly,
// a full end frees everything, and the next init works.
TEST_F(Frame, AllocationFailureAtEveryStepOfInitLeavesNothing) {
    bool reached_success = false;
    for (long n = 1; n < 40 && !reached_success; ++n) {
        qrv::space::fail_nth_allocation(n);
        int ok = msbasic_init_main(cascade_lib_a);
        qrv::space::fail_nth_allocation(0);
        reached_success = ok == 1;
        if (ok) {
            msbasic_end_main(cascade_lib_a);
        } else {
            msbasic_end_all();
        }
        EXPECT_EQ(qrv::space::live_spaces(), 0) << "failing allocation " << n;
        EXPECT_EQ(msbasic_get_init_pid(), 0) << n;
        ASSERT_EQ(msbasic_init_main(cascade_lib_a), 1) << "init after failing allocation " << n;
        msbasic_end_main(cascade_lib_a);
    }
    EXPECT_TRUE(reached_success);
    take();
}

TEST_F(Frame, NullCascadeAndRegistrationOutsideACascadeAreIgnored) {
    EXPECT_EQ(msbasic_init_main(nullptr), 0);
    msbasic_init_end_register(frame_test::init<5>, frame_test::end<5>);
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1) << "init is still enabled";
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)"}));
}

// Capacity before, index asked for, capacity after: growth by tens.
TEST(FrameCounters, ArrayGrowsByTensToReachTheIndex) {
    const int kGrowth[][3] = {{0, 0, 10},   {0, 9, 10},  {0, 10, 20}, {10, 25, 30},
                              {10, 29, 30}, {10, 5, 10}, {30, 30, 40}};
    for (const auto &c : kGrowth) {
        int32_t *array = nullptr;
        if (c[0] > 0) {
            ASSERT_NE(qrv::frame::counter_slot(&array, c[0] - 1), nullptr);
        }
        ASSERT_EQ(array == nullptr ? 0 : array[0], c[0]);
        int32_t *slot = qrv::frame::counter_slot(&array, c[1]);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, 0);
        EXPECT_EQ(array[0], c[2]) << c[0] << " " << c[1];
        qrv::space::release(array);
    }
    int32_t *array = nullptr;
    EXPECT_EQ(qrv::frame::counter_slot(&array, -1), nullptr);
    qrv::space::fail_nth_allocation(1);
    EXPECT_EQ(qrv::frame::counter_slot(&array, 3), nullptr) << "failed growth";
    EXPECT_EQ(array, nullptr);
}

// The calls a body made on a new thread of the library.
Calls on_thread(msthread_start_fn body) {
    Calls seen;
    qrv_handle h = 0;
    EXPECT_EQ(msthread_thread_create(body, &seen, 0, nullptr, &h), 1);
    EXPECT_EQ(msthread_thread_join(h), 1);
    return seen;
}

TEST_F(Frame, NewTaskOnAThreadInitsAndEndsInMode2) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    take();
    EXPECT_EQ(on_thread([](void *arg) -> intptr_t {
                  mstask_block task;
                  mstask_api_init_set_task(&task);
                  msbasic_init_main(cascade_ab);
                  msbasic_end_main(cascade_ab);
                  *static_cast<Calls *>(arg) = take();
                  return mstask_api_end_task(&task);
              }),
              (Calls{"init1(2)", "init2(2)", "end2(2,1)", "end1(2,1)"}));
}

TEST_F(Frame, SecondThreadJoinsInMode3AndEndsItsThread) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    take();
    EXPECT_EQ(on_thread([](void *arg) -> intptr_t {
                  msbasic_get_thread_wss();
                  msbasic_end_thread();
                  *static_cast<Calls *>(arg) = take();
                  return 0;
              }),
              (Calls{"init1(3)", "init2(3)", "end2(3,1)", "end1(3,1)"}));
    EXPECT_NE(msbasic_get_init_pid(), 0) << "the main thread still counts";
}

TEST_F(Frame, EndTaskEndsTheTaskInMode1WhenItIsTheLast) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    msbasic_end_task();
    EXPECT_EQ(take(), (Calls{"init1(1)", "init2(1)", "end2(1,1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_get_init_pid(), 0);
}

TEST_F(Frame, ForkedChildEndsInheritedStateBeforeItsOwnInit) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    take();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int ok = msbasic_init_main(cascade_ab) == 1;
        ok = ok && take() == Calls{"end2(1,0)", "end1(1,0)", "init1(1)", "init2(1)"};
        ok = ok && msbasic_get_init_pid() == getpid();
        msbasic_end_main(cascade_ab);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(take(), Calls{}) << "the parent is untouched";
}

TEST_F(Frame, InitedOnceCountsTheLibraryLayer) {
    EXPECT_EQ(msbasic_is_inited_once(), 0);
    ASSERT_EQ(msbasic_init_main(cascade_lib_a), 1);
    EXPECT_EQ(msbasic_is_inited_once(), 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    EXPECT_EQ(msbasic_is_inited_once(), 0);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(msbasic_is_inited_once(), 1);
}

TEST(FrameDebug, CheckEndTaskWarnsAboutEndFunctionsNotCalled) {
    setenv("MSDEBUG", "memuse,endcheck", 1);
    ASSERT_EQ(msbasic_init_main(cascade_lib_a), 1);
    EXPECT_TRUE(msbasic_debug_check("endcheck"));
    EXPECT_TRUE(msbasic_debug_check("use,end"));
    EXPECT_FALSE(msbasic_debug_check("statm"));
    EXPECT_FALSE(msbasic_debug_check(nullptr));
    ::testing::internal::CaptureStderr();
    msbasic_check_end_task();
    std::string warnings = ::testing::internal::GetCapturedStderr();
    char expected[64];
    std::snprintf(expected, sizeof expected, "\nWarning: end function %p not called\n",
                  reinterpret_cast<void *>(frame_test::end<1>));
    EXPECT_NE(warnings.find(expected), std::string::npos) << warnings;
    msbasic_end_main(cascade_lib_a);
    EXPECT_FALSE(msbasic_debug_check("endcheck")) << "the value ends with the process";
    ::testing::internal::CaptureStderr();
    msbasic_check_end_task();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "silent when not initialised";
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST(FrameDeadlock, EndThreadGivesUpWithAWarningWhenTheLockIsHeld) {
    ASSERT_EQ(msbasic_init_main(cascade_ab), 1);
    ASSERT_NE(msbasic_get_thread_wss(), nullptr);
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        msthread_mutex_lock(qrv::frame::init_lock());
        held = true;
        held.notify_one();
        release.wait(false);  // blocked, not spinning: end_thread's tries yield to nobody here
        msthread_mutex_unlock(qrv::frame::init_lock());
    });
    held.wait(false);
    ::testing::internal::CaptureStderr();
    msbasic_end_thread();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Potential deadlock involving Quorvel Init/End functions and DllMain.\n");
    EXPECT_NE(msbasic_get_thread_wss_only(), nullptr) << "nothing was ended";
    release = true;
    release.notify_one();
    holder.join();
    msbasic_end_main(cascade_ab);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

}  // namespace
