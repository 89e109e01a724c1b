// The registry of live handles under threads: readers never miss a live
// handle while other threads make and close handles (so tables grow and
// are swept), and a child forked meanwhile can make and close handles.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/registry.h"
#include "support.h"

namespace {

using qrv::space::Kind;

// Makes up to `batch` handles, then closes them all, until stopped.
void churn(const std::atomic<bool> &stop, int batch) {
    std::vector<void *> held;
    while (!stop.load(std::memory_order_relaxed)) {
        for (int i = 0; i < batch; ++i) held.push_back(qrv::space::get_handle(Kind::romfile, 16));
        for (void *p : held) qrv::space::release_handle(Kind::romfile, p);
        held.clear();
    }
}

TEST_F(LibraryTest, ReadersNeverMissALiveHandleWhileOthersChurn) {
    std::vector<void *> lasting;
    for (int i = 0; i < 100; ++i) lasting.push_back(qrv::space::get_handle(Kind::romfile, 16));
    void *closed = qrv::space::get_handle(Kind::romfile, 16);
    ASSERT_TRUE(qrv::space::retire(Kind::romfile, closed));

    std::atomic<bool> stop{false};
    std::atomic<long> misses{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) threads.emplace_back(churn, std::cref(stop), 150 + 100 * t);
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 300; ++round) {
                for (void *p : lasting) misses += qrv::space::is_live(Kind::romfile, p) ? 0 : 1;
                misses += qrv::space::is_live(Kind::romfile, closed) ? 1 : 0;
            }
        });
    }
    for (size_t t = 2; t < threads.size(); ++t) threads[t].join();
    stop = true;
    threads[0].join();
    threads[1].join();
    EXPECT_EQ(misses.load(), 0);
    for (void *p : lasting) EXPECT_TRUE(qrv::space::release_handle(Kind::romfile, p));
    qrv::space::release(closed);
}

// Without the fork handlers a child forked while a churning thread held a
// registry's lock would wait for it forever.
TEST_F(LibraryTest, ForkedChildMakesAndClosesHandlesWhileParentThreadsChurn) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) threads.emplace_back(churn, std::cref(stop), 20);
    int hung = 0, failed = 0;
    for (int i = 0; i < 40; ++i) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            void *p = qrv::space::get_handle(Kind::romfile, 16);
            bool ok = p != nullptr && qrv::space::is_live(Kind::romfile, p) &&
                      qrv::space::release_handle(Kind::romfile, p) && !qrv::space::is_live(Kind::romfile, p);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        pid_t done = 0;
        for (int wait = 0; wait < 500 && (done = waitpid(child, &status, WNOHANG)) == 0; ++wait) usleep(10000);
        if (done == 0) {
            ++hung;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    stop = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(hung, 0);
    EXPECT_EQ(failed, 0);
}

}  // namespace
