// Connections across tasks and threads: a connection in use at a task's end
// waits in ghc for the next task, which adopts it as its default; handlers
// run when the slot is taken; a stale default is refused elsewhere; and
// sixteen threads churn connections while tasks come and go.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "msconn.h"
#include "mserror.h"
#include "mstask.h"
#include "support.h"

namespace {

using Conn = msconn_connection;

// Runs body on a new thread inside a task of its own, initialised and ended
// around it; returns what body returned.
template <typename Body>
Conn *in_new_task(Body body) {
    Conn *result = nullptr;
    std::thread([&] {
        mstask_block task;
        mstask_api_init_set_task(&task);
        if (msbasic_init_main(msbasic_init_cascade) == 1) {
            result = body();
            msbasic_end_main(msbasic_init_cascade);
        }
        mstask_api_end_task(&task);
    }).join();
    return result;
}

std::atomic<int> g_handler_calls{0};
std::atomic<int> g_process_ending{-1};
void count_handler(int, int process_ending, void *) {
    ++g_handler_calls;
    g_process_ending = process_ending;
}

TEST_F(LibraryTest, AConnectionInUseWaitsInGhcForTheNextTask) {
    g_handler_calls = 0;
    Conn *kept = in_new_task([] {
        Conn *c = msconn_get_task();
        c->in_use = 1;
        c->end_handler = count_handler;
        return c;
    });
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(ghc, kept);
    EXPECT_EQ(g_handler_calls, 0);
    Conn *adopted = in_new_task([] {
        Conn *c = msconn_get_task();
        c->in_use = 0;
        return c;
    });
    EXPECT_EQ(adopted, kept) << "the next task's default connection";
    EXPECT_EQ(ghc, nullptr);
}

TEST_F(LibraryTest, WithGhcOccupiedTheTaskEndCallsTheHandlers) {
    g_handler_calls = 0;
    Conn *waiting = in_new_task([] {
        Conn *other = msconn_alloc();
        msconn_to_ghc(other);  // after this task's init, which would adopt it
        Conn *c = msconn_get_task();
        c->in_use = 1;
        c->end_handler = count_handler;
        return other;
    });
    EXPECT_EQ(g_handler_calls, 1);
    EXPECT_EQ(g_process_ending, 0);
    EXPECT_EQ(ghc, waiting);
    EXPECT_EQ(msconn_free_ghc(), 1);
}

TEST_F(LibraryTest, AnEndedTasksDefaultIsRefusedElsewhere) {
    Conn *stale = in_new_task([] { return msconn_get_task(); });
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(msconn_check(stale), 0);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
    EXPECT_EQ(msconn_free(stale, 0), 0);
    EXPECT_EQ(msconn_set_conn_thread(stale), MSCONN_FAILED);
}

TEST_F(LibraryTest, SixteenThreadsChurnConnectionsWhileTasksEnd) {
    constexpr int kThreads = 16, kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (t % 4 == 0) {  // tasks that start and end, some handing over
                for (int i = 0; i < kRounds / 20; ++i) {
                    in_new_task([&] {
                        Conn *c = msconn_alloc();
                        if (c == nullptr || msconn_check(c) != 1) ++failures;
                        if (c != nullptr) c->in_use = i % 2;
                        return c;
                    });
                }
                return;
            }
            if (msbasic_init_thread() != 1) {
                ++failures;
                return;
            }
            for (int i = 0; i < kRounds; ++i) {
                Conn *c = msconn_alloc();
                if (c == nullptr || msconn_set_conn_thread(c) == MSCONN_FAILED || msconn_get_thread() != c) {
                    ++failures;
                    continue;
                }
                if (i % 3 == 0) {
                    if (msconn_to_ghc(c) == 1)
                        msconn_free_ghc();
                    else
                        msconn_free(c, 1);
                } else if (msconn_free(c, 1) != 1) {
                    ++failures;
                }
            }
            msbasic_end_thread();
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    msconn_free_ghc();
}

}  // namespace
