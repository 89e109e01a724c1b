// fork while eight joined threads work through the library (formatting,
// streams, connections, error pushes): the child, which inherits whatever
// locks those threads held, initialises, works and ends cleanly without
// waiting; the parent's threads carry on.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "msconn.h"
#include "msfmt.h"
#include "msnlsmsg.h"
#include "mssio.h"
#include "support.h"

namespace {

// One round of the work every thread and the child do; false on a fault.
bool work(mssio_stream *sink, int round) {
    char text[256];
    msfmt_buffer_lim(text, sizeof text, "%d %ls %s", round, u"wide \u00e9", "narrow");
    char expected[64];
    std::snprintf(expected, sizeof expected, "%d wide \xc3\xa9 narrow", round);
    bool ok = std::strcmp(text, expected) == 0;
    ok = mssio_fprintf(sink, "%s\n", text) == 1 && ok;
    msconn_connection *c = msconn_alloc();
    ok = c != nullptr && msconn_free(c, 1) == 1 && ok;
    mserror_reset_seterr_1arg_str(16473, "/x/y");
    ok = msnlsmsg_error_msg_all(text, sizeof text, nullptr) > 0 && std::strstr(text, "'/x/y'") != nullptr && ok;
    mserror_reset();
    return ok;
}

// The child's whole life; its exit status tells the parent.
[[noreturn]] void child_main() {
    alarm(20);  // a wait on an inherited lock ends the child by the signal
    bool ok = msbasic_init_main(msbasic_init_cascade) == 1 && msbasic_get_init_pid() == getpid();
    mssio_stream *sink = ok ? mssio_open("/dev/null", "w") : nullptr;
    ok = sink != nullptr && work(sink, -1) && mssio_close(sink) == 1;
    msbasic_end_main(msbasic_init_cascade);
    _exit(ok && msbasic_get_init_pid() == 0 ? 0 : 1);
}

TEST(ForkThreads, ChildOfEightWorkingThreadsStartsCleanAndTheParentCarriesOn) {
    alarm(100);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    constexpr int kThreads = 8;
    std::atomic<bool> stop{false};
    std::atomic<int> faults{0};
    std::vector<std::atomic<long>> rounds(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (msbasic_init_thread() != 1) return faults.fetch_add(1), void();
            mssio_stream *sink = mssio_open("/dev/null", "w");
            while (!stop) {
                if (sink == nullptr || !work(sink, static_cast<int>(rounds[t]))) faults.fetch_add(1);
                rounds[t].fetch_add(1);
            }
            if (sink == nullptr || mssio_close(sink) != 1) faults.fetch_add(1);
            msbasic_end_thread();
        });
    }
    for (int fork_round = 0; fork_round < 4; ++fork_round) {
        for (auto &r : rounds) {
            for (long seen = r.load(); r.load() < seen + 5;) std::this_thread::yield();
        }
        std::vector<long> at_fork(kThreads);
        for (int t = 0; t < kThreads; ++t) at_fork[t] = rounds[t];
        pid_t child = fork();
        if (child == 0) child_main();
        ASSERT_GT(child, 0);
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        for (int t = 0; t < kThreads; ++t) {
            while (rounds[t].load() <= at_fork[t]) std::this_thread::yield();
        }
    }
    stop = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(faults.load(), 0);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(msbasic_get_init_pid(), 0);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
    alarm(0);
}

}  // namespace
