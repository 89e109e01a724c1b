// Faults injected through the system-call table, and the real devices that
// fail writes: interrupted calls, short writes, a full disk, a closed pipe,
// too many open files.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "io/fio.h"
#include "msfio.h"
#include "msos.h"
#include "os_support.h"
#include "support.h"

namespace {

using qrv::os::g_sys;

int g_interrupts = 0;  // calls that fail with EINTR before the real one
int g_calls = 0;
long g_room = 0;         // bytes a "disk" still takes
long g_write_limit = 0;  // most bytes one write takes

// The real call Real, after g_interrupts failures with EINTR.
template <auto Real, typename... Args>
auto interrupted(Args... args) -> decltype(Real(args...)) {
    ++g_calls;
    if (g_interrupts-- > 0) return errno = EINTR, -1;
    return Real(args...);
}

int close_then_interrupted(int fd) {
    ++g_calls;
    close(fd);
    return errno = EINTR, -1;
}

// Takes at most g_write_limit bytes per call and g_room in all, then ENOSPC.
ssize_t small_disk_write(int fd, const void *buffer, size_t count) {
    ++g_calls;
    if (g_room <= 0) return errno = ENOSPC, -1;
    size_t n = count;
    if (g_write_limit > 0 && n > static_cast<size_t>(g_write_limit)) n = static_cast<size_t>(g_write_limit);
    if (n > static_cast<size_t>(g_room)) n = static_cast<size_t>(g_room);
    ssize_t done = write(fd, buffer, n);
    if (done > 0) g_room -= done;
    return done;
}

int too_many_files(const char *, int, mode_t) { return errno = EMFILE, -1; }
ssize_t failing_read(int, void *, size_t) { return errno = EIO, -1; }
ssize_t no_random(void *, size_t, unsigned) { return errno = ENOSYS, -1; }

class Inject : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        g_interrupts = g_calls = 0;
        g_room = g_write_limit = 0;
        path_ = dir_ / "f";
        write_file(path_, "0123456789");
    }
    void TearDown() override {
        qrv::os::restore_syscalls();
        qrv::fio::set_text_mode(false);
        LibraryTest::TearDown();
    }
    // The top id and the errno of the 16151 entry under it, as "id/errno".
    static std::string reported() {
        int32_t top = 0, used = 0, id = mserror_geterr_id();
        mserror_stack_save(&top, &used);
        int value = mserror_pop() && mserror_geterr_id() == 16151 ? static_cast<int>(number_arg(0)) : -1;
        mserror_stack_restore(top, used);
        return std::to_string(id) + "/" + std::to_string(value);
    }
    static std::string reported(int32_t id, int os_error) {
        return std::to_string(id) + "/" + std::to_string(os_error);
    }
    TempDir dir_;
    std::string path_;
};

TEST_F(Inject, ReadWriteAndOpenAreRetriedAfterEintr) {
    g_sys.open = interrupted<::open, const char *, int, mode_t>;
    g_sys.read = interrupted<::read, int, void *, size_t>;
    g_sys.write = interrupted<::write, int, const void *, size_t>;
    g_interrupts = 2;
    msfio_fd fd = msfio_open(path_.c_str(), 1, 'u');
    EXPECT_EQ(g_calls, 3);
    char buf[4];
    g_interrupts = 2;
    EXPECT_EQ(msfio_read(fd, buf, 4), 4);
    EXPECT_EQ(g_calls, 6);
    g_interrupts = 3;
    EXPECT_EQ(msfio_write(fd, "ab", 2), 2);
    EXPECT_EQ(g_calls, 10);
    EXPECT_EQ(msfio_close(fd), 1);
    EXPECT_EQ(read_file(path_), "0123ab6789");
}

TEST_F(Inject, CloseIsNeverRetried) {
    msfio_fd fd = msfio_open(path_.c_str(), 1, 'r');
    g_sys.close = close_then_interrupted;
    EXPECT_EQ(msfio_close(fd), 0);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(reported(), reported(16469, EINTR));
}

TEST_F(Inject, ShortWritesAreCompleted) {
    g_sys.write = small_disk_write;
    g_room = 1000;
    g_write_limit = 3;
    msfio_fd fd = msfio_create(path_.c_str(), 1, 0, 0);
    EXPECT_EQ(msfio_write(fd, "abcdefghij", 10), 10);
    EXPECT_EQ(g_calls, 4);
    EXPECT_EQ(msfio_close(fd), 1);
    EXPECT_EQ(read_file(path_), "abcdefghij");
}

struct DiskCase {
    const char *name;
    bool text;
    const char *data;
    long room;
    int result;
    int32_t id;
    const char *on_disk;
};

class FullDisk : public Inject, public ::testing::WithParamInterface<DiskCase> {};

TEST_P(FullDisk, TheCountSaysExactlyWhatReachedTheFile) {
    const DiskCase c = GetParam();
    qrv::fio::set_text_mode(c.text);
    msfio_fd fd = msfio_create(path_.c_str(), 0, 0, 0);
    g_sys.write = small_disk_write;
    g_room = c.room;
    mserror_seterr(16001, 0);  // an earlier report, which the write clears
    EXPECT_EQ(msfio_write(fd, c.data, static_cast<int>(strlen(c.data))), c.result);
    EXPECT_EQ(errno, ENOSPC);
    if (c.id == 16125) {
        EXPECT_EQ(error_ids(), std::vector<int32_t>{16125}) << "alone, as a failed read leaves 16116";
    } else {
        EXPECT_EQ(reported(), reported(c.id, ENOSPC));
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{c.id, 16151}));
    }
    qrv::os::restore_syscalls();
    EXPECT_EQ(msfio_close(fd), 1);
    EXPECT_EQ(read_file(path_), c.on_disk);
}

INSTANTIATE_TEST_SUITE_P(Table, FullDisk,
                         ::testing::Values(DiskCase{"binary_partial", false, "0123456789", 5, 5, 16125, "01234"},
                                           DiskCase{"binary_nothing", false, "0123456789", 0, -1, 16478, ""},
                                           DiskCase{"text_partial", true, "a\nb\nc\n", 4, 3, 16125, "a\r\nb"},
                                           DiskCase{"text_cut_inside_crlf", true, "a\nb\n", 2, 1, 16125, "a\r"},
                                           DiskCase{"text_nothing", true, "a\n", 0, -1, 16478, ""}),
                         [](const ::testing::TestParamInfo<DiskCase> &info) { return std::string(info.param.name); });

TEST_F(Inject, TextWriteStopsAfterThePartialChunk) {
    qrv::fio::set_text_mode(true);
    msfio_fd fd = msfio_create(path_.c_str(), 0, 0, 0);
    std::string lines(6000, '\n');  // 12000 output bytes: three chunks
    g_sys.write = small_disk_write;
    g_room = 5000;
    EXPECT_EQ(msfio_write(fd, lines.data(), 6000), 2500);
    EXPECT_EQ(mserror_geterr_id(), 16125);
    qrv::os::restore_syscalls();
    EXPECT_EQ(msfio_close(fd), 1);
    EXPECT_EQ(read_file(path_).size(), 5000u);
}

TEST_F(Inject, AClosedPipeReportsEpipeAndTheProcessLives) {
    msfio_fd ends[2];
    ASSERT_EQ(msfio_pipe(ends), 1);
    ASSERT_EQ(msfio_close(ends[0]), 1);
    EXPECT_EQ(msfio_write(ends[1], "data", 4), -1);
    EXPECT_EQ(reported(), reported(16478, EPIPE));
    sigset_t pending, mask;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "the signal was consumed";
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, SIGPIPE)) << "the mask is back";
    EXPECT_EQ(msfio_close(ends[1]), 1);
}

TEST_F(Inject, TooManyOpenFiles) {
    g_sys.open = too_many_files;
    EXPECT_EQ(msfio_open(path_.c_str(), 1, 'r'), MSFIO_NONE);
    EXPECT_EQ(reported(), reported(16473, EMFILE));
    EXPECT_EQ(msfio_create((dir_ / "new").c_str(), 1, 0, 1), MSFIO_NONE);
    EXPECT_EQ(reported(), reported(16470, EMFILE));
    EXPECT_EQ(mseos_createfile(path_.c_str(), MSOS_GENERIC_READ, 0, nullptr, MSOS_OPEN_ALWAYS, 0, -1),
              QRV_INVALID_HANDLE);
    EXPECT_EQ(reported(), reported(16473, EMFILE)) << "open-always opens";
}

TEST_F(Inject, AFailedReadLeavesOnlyItsOwnEntry) {
    msfio_fd fd = msfio_open(path_.c_str(), 1, 'r');
    g_sys.read = failing_read;
    mserror_seterr(16001, 0);
    Guarded buffer(8);
    EXPECT_EQ(msfio_read(fd, buffer.data(), 8), -1);
    EXPECT_EQ(mserror_geterr_id(), 16116);
    EXPECT_EQ(entry_count(), 1);
    EXPECT_TRUE(buffer.canaries_intact());
    uint32_t done = 77;
    EXPECT_EQ(mseos_readfile(msfio_win_osfd_get(fd), buffer.data(), 8, &done, nullptr), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(mserror_geterr_id(), 16516);
    EXPECT_EQ(entry_count(), 1);
    qrv::os::restore_syscalls();
    EXPECT_EQ(msfio_close(fd), 1);
}

TEST_F(Inject, CountersCountCallsAndBytes) {
    msosfileio_stat_reset();
    msfio_fd fd = msfio_open(path_.c_str(), 1, 'u');
    char buf[4];
    msfio_read(fd, buf, 4);
    msfio_write(fd, "xy", 2);
    g_sys.read = failing_read;
    msfio_read(fd, buf, 4);
    qrv::os::restore_syscalls();
    msfio_close(fd);
    uint32_t counters[5];
    ASSERT_EQ(msosfileio_stat_get(counters), 0);
    // Reads, writes, bytes read, bytes written, opens: a failed read is a
    // call but delivers no bytes.
    EXPECT_EQ(std::vector<uint32_t>(counters, counters + 5), (std::vector<uint32_t>{2, 1, 4, 2, 1}));
    EXPECT_EQ(msosfileio_stat_get(nullptr), -1);
}

// Without a random source the process's first init fails with 16537, and
// succeeds again once there is one.
TEST(InitSteps, NoRandomSourceFailsTheFirstInit) {
    g_sys.getrandom = no_random;
    EXPECT_EQ(msbasic_init_main(msbasic_init_cascade), 0);
    EXPECT_EQ(mserror_geterr_id(), 16537);
    qrv::os::restore_syscalls();
    msbasic_end_all();
    EXPECT_EQ(qrv::space::live_spaces(), 0);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    msbasic_end_main(msbasic_init_cascade);
}

TEST_F(Inject, RandomSourceThatFailsGivesTheConstant) {
    ASSERT_NE(msos_rand_init(), 0) << "the library's init opened it already";
    EXPECT_EQ(msos_rand_set_seed(1), 1);
    for (int i = 0; i < 50; ++i) EXPECT_GE(msos_rand_get_pos_int(), 0);
    g_sys.getrandom = no_random;
    EXPECT_EQ(msos_rand_get_pos_int(), 2074984175);
    EXPECT_EQ(msos_rand_end(), 1);
    EXPECT_EQ(msos_rand_set_seed(1), 0);
    EXPECT_EQ(msos_rand_get_pos_int(), 2074984175) << "not open";
}

}  // namespace
