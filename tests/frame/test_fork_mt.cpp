// fork while another thread of the parent holds a library lock it will not
// release soon: fork returns, and the child's first init discards what it
// inherited without waiting for a lock that no thread of its own holds.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "config/varset.h"
#include "frame/frame_internal.h"
#include "mssio.h"
#include "msthread.h"
#include "msvars.h"
#include "support.h"

namespace {

// Forks; the child initialises the library, writes a line and ends, and
// dies by the alarm if anything waits. Returns the child's exit status.
int fork_and_init() {
    pid_t child = fork();
    if (child == 0) {
        alarm(10);
        int ok = msbasic_init_main(msbasic_init_cascade) == 1 && msbasic_get_init_pid() == getpid() &&
                 mssio_fprintf(mssio_get_stdout(), "child %d initialised\n", static_cast<int>(getpid())) == 1;
        msbasic_end_main(msbasic_init_cascade);
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return status;
}

class ForkTest : public LibraryTest {
protected:
    void SetUp() override {
        alarm(60);  // a fork that waits fails the test instead of hanging it
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        alarm(0);
    }
};

TEST_F(ForkTest, WriterBlockedOnAFullPipeHoldsItsStreamLock) {
    mssio_stream *pipe[2];
    ASSERT_EQ(mssio_pipe(pipe), 1);
    const std::vector<char> data(1 << 20, 'w');  // far more than a pipe holds
    std::atomic<bool> writing{false};
    std::thread writer([&] {
        writing = true;
        EXPECT_EQ(mssio_write(pipe[1], data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    });
    while (!writing) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into the write, the pipe full

    EXPECT_EQ(fork_and_init(), 0);

    std::vector<char> sink(64 * 1024);
    for (size_t got = 0; got < data.size();) {
        int n = mssio_read(pipe[0], sink.data(), static_cast<int>(sink.size()));
        ASSERT_GT(n, 0);
        got += static_cast<size_t>(n);
    }
    writer.join();
    EXPECT_EQ(mssio_close(pipe[1]), 1);
    EXPECT_EQ(mssio_close(pipe[0]), 1);
}

TEST_F(ForkTest, ThreadInsideTheInitialisationFilesLock) {
    msvars_set *set = msbasic_initfile_get_vars();
    ASSERT_NE(set, nullptr);
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        msthread_mutex_lock(&set->lock);
        held = true;
        while (!release) std::this_thread::yield();
        msthread_mutex_unlock(&set->lock);
    });
    while (!held) std::this_thread::yield();

    EXPECT_EQ(fork_and_init(), 0);

    release = true;
    holder.join();
}

}  // namespace
