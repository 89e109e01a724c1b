// Threads, mutexes and thread-specific data, and the frame under many threads.
#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>
#include <vector>

#include "msos.h"
#include "mstask.h"
#include "msthread.h"
#include "support.h"

namespace {

using Threads = LibraryTest;

TEST_F(Threads, MutexIsRecursiveAndOnlyItsOwnerReleasesIt) {
    qrv_mutex m;
    ASSERT_EQ(msthread_mutex_init(&m), 1);
    EXPECT_EQ(msthread_mutex_lock(&m), 1);
    int acquired = 0, other = -1;
    auto other_tries = [&] { std::thread([&] { msthread_mutex_trylock_raw(&m, &other); }).join(); };
    std::thread([&] { msthread_mutex_unlock(&m); }).join();  // ignored: not the owner
    other_tries();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(msthread_mutex_trylock(&m, &acquired), 1);
    EXPECT_EQ(acquired, 1) << "the owner enters again";
    msthread_mutex_unlock(&m);
    other_tries();
    EXPECT_EQ(other, 0) << "still held once";
    msthread_mutex_unlock(&m);
    other_tries();
    EXPECT_EQ(other, 1);
}

// Contended use: the count is exact only if the lock excludes; the sanitizer
// build checks the ordering the lock provides.
TEST_F(Threads, MutexExcludesUnderContention) {
    qrv_mutex m;
    ASSERT_EQ(msthread_mutex_init(&m), 1);
    long count = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                msthread_mutex_lock(&m);
                msthread_mutex_lock(&m);  // recursive entry
                ++count;
                msthread_mutex_unlock(&m);
                msthread_mutex_unlock(&m);
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(count, 80000);
    msthread_mutex_destroy(&m);
}

TEST_F(Threads, BypassMakesEveryLockSucceedWithoutTouchingTheMutex) {
    qrv_mutex m;
    ASSERT_EQ(msthread_mutex_init_raw(&m), 1);
    msthread_mutex_lock_raw(&m);
    int other = -1;
    msthread_mutex_bypass(1);
    std::thread([&] { msthread_mutex_trylock_raw(&m, &other); }).join();
    EXPECT_EQ(other, 1);
    EXPECT_EQ(msthread_mutex_unlock_raw(&m), 1);  // a no-op: still held underneath
    msthread_mutex_bypass(0);
    std::thread([&] { msthread_mutex_trylock_raw(&m, &other); }).join();
    EXPECT_EQ(other, 0);
    msthread_mutex_unlock_raw(&m);
    msthread_mutex_destroy_raw(&m);
}

TEST_F(Threads, NullMutexAndOutPointersAreRefused) {
    int acquired = 7;
    EXPECT_EQ(msthread_mutex_lock(nullptr) + msthread_mutex_unlock(nullptr) + msthread_mutex_destroy(nullptr), 0);
    EXPECT_EQ(msthread_mutex_trylock(nullptr, &acquired), 0);
    EXPECT_EQ(acquired, 7);
    EXPECT_EQ(msthread_mutex_init(nullptr), 0);
    EXPECT_EQ(mserror_geterr_id(), 16513);
    EXPECT_TRUE(mserror_pop() && mserror_geterr_id() == 16151 && number_arg(0) == EINVAL);
}

TEST_F(Threads, InvalidKeyPushesItsIdOnlyInTheReportingForms) {
    void *out = nullptr;
    const struct {
        const char *name;
        std::function<int()> call;
        int32_t id;  // 16999: the entry pushed before, left alone
        int entries;
    } kForms[] = {
        {"get", [&] { return msthread_data_get(MSTHREAD_NO_KEY, &out); }, 16401, 1},
        {"get_retry", [&] { return msthread_data_get_retry(MSTHREAD_NO_KEY, &out); }, 16401, 1},
        {"set", [&] { return msthread_data_set(MSTHREAD_NO_KEY, &out); }, 16401, 1},
        {"delete", [&] { return msthread_key_delete(MSTHREAD_NO_KEY); }, 16403, 2},
        {"get_raw", [&] { return msthread_data_get_raw(MSTHREAD_NO_KEY, &out); }, 16999, 1},
        {"set_raw", [&] { return msthread_data_set_raw(MSTHREAD_NO_KEY, &out); }, 16999, 1},
        {"delete_raw", [&] { return msthread_key_delete_raw(MSTHREAD_NO_KEY); }, 16999, 1},
    };
    for (const auto &c : kForms) {
        mserror_reset_seterr(16999, 0);
        EXPECT_EQ(c.call(), 0) << c.name;
        EXPECT_EQ(mserror_geterr_id(), c.id) << c.name;
        EXPECT_EQ(entry_count(), c.entries) << c.name;
    }
}

TEST_F(Threads, KeyValuesArePerThread) {
    uint32_t key = MSTHREAD_NO_KEY;
    ASSERT_EQ(msthread_key_create(&key), 1);
    void *value = &key;
    EXPECT_EQ(msthread_data_get_raw(key, &value), 0) << "never set: silent";
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(msthread_data_get(key, &value), 0);
    EXPECT_EQ(mserror_geterr_id(), 16404);
    int mine = 1;
    ASSERT_EQ(msthread_data_set(key, &mine), 1);
    ASSERT_EQ(msthread_data_get(key, &value), 1);
    EXPECT_EQ(value, &mine);
    void *seen = &mine;
    std::thread([&] { msthread_data_get_raw(key, &seen); }).join();
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(msthread_key_delete(key), 1);
    EXPECT_EQ(msthread_key_create_raw(nullptr), 0);
}

TEST_F(Threads, RetryFormJoinsTheThreadToTheFrame) {
    uint32_t key = MSTHREAD_NO_KEY;
    ASSERT_EQ(msthread_key_create_raw(&key), 1);
    bool joined = false;
    std::thread([&] {
        void *value = nullptr;
        msthread_data_get_retry_raw(key, &value);  // no value yet, but the thread is joined
        joined = msbasic_get_thread_wss_only() != nullptr;
        msbasic_end_thread();
    }).join();
    EXPECT_TRUE(joined);
    msthread_key_delete_raw(key);
}

TEST_F(Threads, JoinedThreadReportsAliveUntilItReturnsAndBadHandlesAreRefused) {
    std::atomic<int> go{0};
    qrv_handle h = 0;
    auto body = [](void *arg) -> intptr_t {
        auto *flag = static_cast<std::atomic<int> *>(arg);
        while (flag->load() == 0) msos_relinquish_thread();
        return 259;  // the still-active code itself must not look alive
    };
    ASSERT_EQ(msthread_thread_create(body, &go, 64 * 1024, nullptr, &h), 1);
    EXPECT_EQ(msthread_alive(h), 1);
    EXPECT_EQ(msos_waitforsingleobject(h, 10), MSOS_WAIT_TIMEOUT);
    go = 1;
    EXPECT_EQ(msos_waitforsingleobject(h, MSOS_INFINITE), MSOS_WAIT_OBJECT_0);
    EXPECT_EQ(msthread_alive(h), 0);
    EXPECT_EQ(msthread_thread_join(h), 1);
    EXPECT_EQ(msthread_thread_create(nullptr, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(msthread_alive(0) + msthread_alive(-1), 0);
    EXPECT_EQ(msthread_thread_join(0), 0) << "0 is no thread and must not be closed as a descriptor";
    EXPECT_EQ(msos_waitforsingleobject(5, 0), MSOS_WAIT_FAILED);
}

TEST_F(Threads, DetachedThreadRunsAndCleansUp) {
    std::atomic<int> done{0};
    auto body = [](void *arg) -> intptr_t {
        int result = msbasic_get_thread_wss() != nullptr ? 1 : 2;
        msbasic_end_thread();  // before the signal: the fixture checks the counts right after
        static_cast<std::atomic<int> *>(arg)->store(result);
        return 0;
    };
    ASSERT_EQ(msthread_thread_create(body, &done, 0, nullptr, nullptr), 1);
    while (done.load() == 0) msos_relinquish_thread();
    EXPECT_EQ(done.load(), 1);
}

// A thread that touches the library and returns without ending is ended by
// the thread-exit hook: its block, anchor and error stack are all freed.
TEST_F(Threads, ThreadExitWithoutEndLeavesNothingBehind) {
    long before = qrv::space::live_spaces();
    std::thread([] {
        ASSERT_NE(msbasic_get_thread_wss(), nullptr);
        mserror_seterr_1arg_str(16473, std::string(3000, 'p').c_str());
        EXPECT_GT(qrv::space::live_spaces(), 0);
    }).join();
    EXPECT_EQ(qrv::space::live_spaces(), before);
}

// A thread joining the library with each of its allocations failed in turn.
TEST_F(Threads, AllocationFailureWhileAThreadJoinsLeavesNothing) {
    long before = qrv::space::live_spaces();
    bool joined = false;
    for (long n = 1; n < 20 && !joined; ++n) {
        std::thread([&] {
            qrv::space::fail_nth_allocation(n);
            joined = msbasic_get_thread_wss() != nullptr;
            qrv::space::fail_nth_allocation(0);
            msbasic_end_thread();
        }).join();
        EXPECT_EQ(qrv::space::live_spaces(), before) << "failing allocation " << n;
    }
    EXPECT_TRUE(joined);
}

TEST(ThreadsOrphan, ThreadOutlivingTheProcessInitIsFreedAtExit) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    std::atomic<int> stage{0};
    std::thread worker([&] {
        msbasic_get_thread_wss();
        mserror_seterr_1arg_str(16473, "orphan");
        stage = 1;
        while (stage.load() != 2) msos_relinquish_thread();
    });
    while (stage.load() != 1) msos_relinquish_thread();
    msbasic_end_all();  // the process ends while the worker is still joined
    stage = 2;
    worker.join();
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

// Sixteen threads bring the library up and down at once, with and without
// the main thread holding a process count.
class ManyThreads : public ::testing::TestWithParam<bool> {};

TEST_P(ManyThreads, InitAndEndConcurrently) {
    const bool main_holds = GetParam();
    if (main_holds) {
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                if (!msbasic_init_main(msbasic_init_cascade)) ++failures;
                mserror_reset_seterr_2arg_str(16475, "from", std::to_string(t).c_str());
                if (mserror_geterr_id() != 16475 || string_arg(1) != std::to_string(t)) ++failures;
                if (round % 2 == 1) {
                    msbasic_get_thread_wss();
                    msbasic_end_thread();
                } else {
                    msbasic_end_main(msbasic_init_cascade);
                }
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    if (main_holds) {
        EXPECT_EQ(msbasic_is_inited_once(), 1);
        msbasic_end_main(msbasic_init_cascade);
    }
    EXPECT_EQ(msbasic_get_init_pid(), 0);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

INSTANTIATE_TEST_SUITE_P(MainThread, ManyThreads, ::testing::Bool());

TEST(ThreadsTset, OnlyOneThreadAcquiresUntilTheFlagIsUnset) {
    int32_t flag = 0;
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) threads.emplace_back([&] { winners += msbasic_tset(&flag); });
    for (auto &th : threads) th.join();
    EXPECT_EQ(winners.load(), 1);
    EXPECT_EQ(msbasic_tset_unset(&flag), 0);
    EXPECT_EQ(msbasic_tset(&flag), 1) << "unset";
    EXPECT_EQ(msbasic_tset(nullptr), 0);
}

}  // namespace
