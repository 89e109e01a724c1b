// Tasks, the current pointer and the thread workspace.
#include <tuple>

#include "frame_modules.h"
#include "msconn.h"
#include "mstask.h"
#include "support.h"

namespace {

using frame_test::reg;
using frame_test::take;

void cascade_one() { reg<1>(); }
void cascade_two() { reg<2>(); }

TEST(Task, DefaultTaskIsChosenOnFirstTouch) {
    EXPECT_EQ(mstask_get_ptr(), nullptr);
    EXPECT_EQ(mstask_api_get_task(), nullptr);
    EXPECT_EQ(mstask_api_set_task_application_ws(nullptr), 0) << "no task yet";
    void *p = mstask_get_ptr_w_default();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(mstask_get_ptr(), p);
    EXPECT_TRUE(mstask_api_current_task_is_default());
    EXPECT_EQ(static_cast<mstask_block *>(p)->magic, MSTASK_MAGIC);
}

TEST(Task, SetTaskNeedsAThreadWithoutCurrentPointer) {
    mstask_block task{};
    EXPECT_EQ(mstask_api_set_task(&task), 0) << "no magic yet";
    EXPECT_EQ(mstask_api_set_task(nullptr), 0);
    EXPECT_EQ(mstask_api_init_set_task(nullptr), 0);
    mstask_get_ptr_w_default();
    EXPECT_EQ(mstask_api_init_set_task(&task), 0) << "the default task is current";
    task.magic = MSTASK_MAGIC;
    EXPECT_EQ(mstask_api_set_task(&task), 0);
    EXPECT_EQ(mstask_api_end_task(&task), 0) << "not the current pointer";
}

TEST(Task, InitSetTaskPreparesAndEndTaskDetaches) {
    mstask_block task;
    std::memset(&task, 0x5A, sizeof task);
    ASSERT_EQ(mstask_api_init_set_task(&task), 1);
    EXPECT_EQ(std::tuple(task.magic, task.application_ws, task.task_handle, task.counters),
              std::tuple(MSTASK_MAGIC, nullptr, nullptr, nullptr));
    EXPECT_EQ(mstask_api_get_task(), &task);
    EXPECT_FALSE(mstask_api_current_task_is_default());
    EXPECT_EQ(mstask_api_end_task(&task), 1);
    EXPECT_EQ(mstask_get_ptr(), nullptr);
    EXPECT_EQ(mstask_api_set_task(&task), 1) << "a prepared task can be set again";
    EXPECT_EQ(mstask_api_end_task(&task), 1);
}

TEST(Task, ThreadBlockWrapsTheTaskAndUnwrapsAtTeardown) {
    mstask_block task;
    ASSERT_EQ(mstask_api_init_set_task(&task), 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    void *current = mstask_get_ptr();
    EXPECT_EQ(*static_cast<uint32_t *>(current), MSTASK_THREAD_MAGIC);
    EXPECT_EQ(mstask_api_get_task(), &task);
    ASSERT_NE(task.task_handle, nullptr) << "made by the library's init";
    EXPECT_EQ(*static_cast<uint32_t *>(task.task_handle), MSHANDLE_TASK_MAGIC);
    EXPECT_EQ(mstask_api_end_task(&task), 0) << "wrapped by the thread block";
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(mstask_get_ptr(), &task);
    EXPECT_EQ(std::tuple(task.task_handle, task.counters), std::tuple(nullptr, nullptr));
    EXPECT_EQ(mstask_api_end_task(&task), 1);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST(Task, WorkspaceOnlyFormNeverInitialises) {
    EXPECT_EQ(msbasic_get_thread_wss_only(), nullptr);
    EXPECT_EQ(msbasic_get_thread_wss(), nullptr) << "nothing registered: nothing to join";
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    void **wss = msbasic_get_thread_wss_only();
    ASSERT_NE(wss, nullptr);
    EXPECT_EQ(msbasic_get_thread_wss(), wss);
    EXPECT_NE(wss[13], nullptr) << "the library's anchor";
    EXPECT_NE(wss[12], nullptr) << "the thread's connection pair";
    for (int slot : {0, 11, 14, 15}) EXPECT_EQ(wss[slot], nullptr) << slot;
    msbasic_end_main(msbasic_init_cascade);
}

TEST(TaskProlog, SameCascadeTwiceInitialisesOnce) {
    take();
    EXPECT_EQ(mstask_api_end(), 0) << "no prolog yet";
    EXPECT_EQ(mstask_api_prolog(nullptr, cascade_one), 1);
    EXPECT_EQ(mstask_api_prolog(nullptr, cascade_one), 1);
    EXPECT_EQ(take(), std::vector<std::string>{"init1(1)"});
    EXPECT_EQ(mstask_api_prolog(nullptr, cascade_two), 0) << "the thread belongs to another layer";
    EXPECT_EQ(mstask_api_end(), 1);
    EXPECT_EQ(take(), std::vector<std::string>{"end1(1,1)"});
    EXPECT_EQ(mstask_api_end(), 0);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST(TaskProlog, GivenTaskMustBeTheThreadsTask) {
    mstask_block mine, other;
    mstask_api_init_set_task(&other);
    mstask_api_end_task(&other);
    ASSERT_EQ(mstask_api_init_set_task(&mine), 1);
    EXPECT_EQ(mstask_api_prolog(&other, cascade_one), 0);
    EXPECT_EQ(mstask_api_prolog(&mine, cascade_one), 1);
    EXPECT_EQ(mstask_api_prolog(&mine, cascade_one), 1);
    EXPECT_EQ(mstask_api_end(), 1);
    EXPECT_EQ(mstask_get_ptr(), &mine);
    mstask_api_end_task(&mine);
    ASSERT_EQ(mstask_api_prolog(&mine, cascade_one), 1) << "a thread without pointer takes the task";
    EXPECT_EQ(mstask_api_get_task(), &mine);
    mstask_api_end();
    take();
}

TEST(TaskProlog, FailedInitWithTaskEndsWhatItBegan) {
    take();
    frame_test::g_fail_init[1] = true;
    mstask_block task;
    ASSERT_EQ(mstask_api_init_set_task(&task), 1);
    EXPECT_EQ(mstask_api_prolog(&task, cascade_one), 0);
    EXPECT_EQ(take(), (std::vector<std::string>{"init1(1)", "end1(1,1)"}));
    EXPECT_EQ(msbasic_get_init_pid(), 0);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST(TaskKey, FreedKeyIsMadeAgainOnNextUse) {
    mstask_get_ptr_w_default();
    mstask_tlsfree_thread_task_key();
    EXPECT_EQ(mstask_get_ptr(), nullptr) << "values went with the key";
    mstask_tlsfree_thread_task_key();  // twice is harmless
    EXPECT_NE(mstask_get_ptr_w_default(), nullptr);
}

}  // namespace
