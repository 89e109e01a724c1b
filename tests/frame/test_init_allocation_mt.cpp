// The library's own cascade with each allocation of its init failed in turn,
// on the main thread and on a joining thread: an init that reports success
// has set up everything it promises, and one that fails leaves nothing.
#include <thread>

#include "msconn.h"
#include "mssio.h"
#include "mstask.h"
#include "support.h"

namespace {

// What a caller may rely on after a successful init.
void expect_initialised(long n) {
    mserror_reset_seterr(16001, 0);
    EXPECT_EQ(mserror_geterr_id(), 16001) << "an error stack, failing allocation " << n;
    EXPECT_NE(mssio_get_stdout(), nullptr) << n;
    EXPECT_NE(mssio_get_stderr(), nullptr) << n;
    EXPECT_NE(msbasic_get_quorvelpath(), nullptr) << n;
}

TEST(InitAllocation, LibraryCascadeSucceedsOnlyWhenEverythingIsUp) {
    bool reached_success = false;
    for (long n = 1; n < 1000 && !reached_success; ++n) {
        qrv::space::fail_nth_allocation(n);
        int ok = msbasic_init_main(msbasic_init_cascade);
        qrv::space::fail_nth_allocation(0);
        reached_success = ok == 1;
        if (ok) {
            expect_initialised(n);
            msbasic_end_main(msbasic_init_cascade);
        } else {
            msbasic_end_all();
        }
        EXPECT_EQ(qrv::space::live_spaces(), 0) << "failing allocation " << n;
        ASSERT_EQ(msbasic_get_init_pid(), 0) << n;
    }
    EXPECT_TRUE(reached_success);
}

TEST(InitAllocation, JoiningThreadSucceedsOnlyWithItsErrorStack) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    bool reached_success = false;
    for (long n = 1; n < 100 && !reached_success; ++n) {
        std::thread([&] {
            qrv::space::fail_nth_allocation(n);
            int ok = msbasic_init_thread();
            qrv::space::fail_nth_allocation(0);
            reached_success = ok == 1;
            if (ok) {
                mserror_seterr(16001, 0);
                EXPECT_EQ(mserror_geterr_id(), 16001) << "an error stack, failing allocation " << n;
            }
            msbasic_end_thread();
        }).join();
    }
    EXPECT_TRUE(reached_success);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

// A failed init disables further inits until everything has ended, so each
// attempt starts from a whole process init and ends with all of it.
TEST(InitAllocation, NewTaskSucceedsOnlyWithItsStreamsAndConnection) {
    bool reached_success = false;
    for (long n = 1; n < 200 && !reached_success; ++n) {
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
        std::thread([&] {
            mstask_block task;
            mstask_api_init_set_task(&task);
            qrv::space::fail_nth_allocation(n);
            int ok = msbasic_init_main(msbasic_init_cascade);
            qrv::space::fail_nth_allocation(0);
            reached_success = ok == 1;
            if (ok) {
                EXPECT_NE(mssio_get_stdout(), nullptr) << n;
                EXPECT_NE(msconn_get_task(), nullptr) << n;
                msbasic_end_main(msbasic_init_cascade);
            } else {
                msbasic_end_task();  // the thread's block must not outlive the task block on this stack
            }
            mstask_api_end_task(&task);
        }).join();
        msbasic_end_all();
        EXPECT_EQ(qrv::space::live_spaces(), 0) << "failing allocation " << n;
        ASSERT_EQ(msbasic_get_init_pid(), 0) << n;
    }
    EXPECT_TRUE(reached_success);
}

}  // namespace
