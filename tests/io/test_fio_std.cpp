// The standard descriptors and their redirection by MSSTDIN, MSSTDOUT and
// MSSTDERR at the library's process init, the MSTEXTMODE switch, and the
// standard handles handed to child processes.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "io/fio.h"
#include "io/stream.h"
#include "msfio.h"
#include "msos.h"
#include "mssio.h"
#include "os_support.h"
#include "support.h"

namespace {

class Redirection : public ::testing::Test {
protected:
    void TearDown() override {
        msbasic_end_all();
        for (const char *name : {"MSSTDIN", "MSSTDOUT", "MSSTDERR"}) unsetenv(name);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
        EXPECT_EQ(open_descriptors(), fds_before_) << "every redirected file was closed";
    }
    static int open_descriptors() {
        int n = 0;
        for (int fd = 0; fd < 256; ++fd) n += fcntl(fd, F_GETFD) >= 0;
        return n;
    }
    int init_with(const char *in, const char *out, const char *err) {
        fds_before_ = open_descriptors();
        if (in != nullptr) setenv("MSSTDIN", in, 1);
        if (out != nullptr) setenv("MSSTDOUT", out, 1);
        if (err != nullptr) setenv("MSSTDERR", err, 1);
        return msbasic_init_main(msbasic_init_cascade);
    }
    static void say(msfio_fd fd, const std::string &text) {
        EXPECT_EQ(msfio_write(fd, text.data(), static_cast<int>(text.size())), static_cast<int>(text.size()));
    }
    TempDir dir_;
    int fds_before_ = 0;
};

TEST_F(Redirection, WithoutVariablesTheStandardHandlesAreWrapped) {
    ASSERT_EQ(init_with(nullptr, nullptr, nullptr), 1);
    msfio_fd fds[3] = {msfio_get_stdin(), msfio_get_stdout(), msfio_get_stderr()};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(msfio_win_osfd_get(fds[i]), i);
        EXPECT_EQ(msfio_close(fds[i]), 1) << "never closed by msfio_close";
        EXPECT_GE(fcntl(i, F_GETFD), 0);
    }
    EXPECT_NE(fds[1], fds[2]);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(msfio_get_stdout(), MSFIO_NONE);
    EXPECT_GE(fcntl(1, F_GETFD), 0) << "the process's own handles stay open";
}

TEST_F(Redirection, SameAppendTargetSharesOneDescriptor) {
    std::string log = dir_ / "log.txt";
    write_file(log, "old\n");
    std::string target = "+" + log;
    ASSERT_EQ(init_with(nullptr, target.c_str(), target.c_str()), 1);
    EXPECT_EQ(msfio_get_stdout(), msfio_get_stderr());
    say(msfio_get_stdout(), "out\n");
    say(msfio_get_stderr(), "err\n");
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(read_file(log), "old\nout\nerr\n");
}

TEST_F(Redirection, SeparateTargetsCreateTruncateOrAppend) {
    std::string out = dir_ / "out", err = dir_ / "err";
    write_file(out, "previous contents");
    std::string plus_err = "+" + err;  // missing: created
    ASSERT_EQ(init_with(nullptr, out.c_str(), plus_err.c_str()), 1);
    EXPECT_NE(msfio_get_stdout(), msfio_get_stderr());
    say(msfio_get_stdout(), "O");
    say(msfio_get_stderr(), "E");
    EXPECT_EQ(mserror_geterr_id(), 0) << "the failed append left no report";
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(read_file(out), "O");
    EXPECT_EQ(read_file(err), "E");
}

TEST_F(Redirection, InputComesFromTheNamedFile) {
    std::string in = dir_ / "in";
    write_file(in, "line\n");
    ASSERT_EQ(init_with(in.c_str(), nullptr, nullptr), 1);
    char buf[16];
    EXPECT_EQ(msfio_read(msfio_get_stdin(), buf, sizeof buf), 5);
    EXPECT_EQ(msfio_win_osfd_get(msfio_get_stdout()), 1);
    msbasic_end_main(msbasic_init_cascade);
}

std::string g_second_out;
const char *second_out(const char *name) { return std::strcmp(name, "MSSTDOUT") == 0 ? g_second_out.c_str() : nullptr; }

// A redirection applied again closes the descriptor under the standard
// output stream, which took it as checked: until the stream is attached to
// the new one its lines are refused, and then they go there.
TEST_F(Redirection, StandardStreamRefusesTheDescriptorClosedUnderIt) {
    const std::string first = dir_ / "first";
    g_second_out = dir_ / "second";
    ASSERT_EQ(init_with(nullptr, first.c_str(), nullptr), 1);
    ASSERT_EQ(mssio_printf("kept %d\n", 1), 1);
    ASSERT_TRUE(qrv::fio::redirect(second_out));
    mserror_reset();
    EXPECT_EQ(mssio_printf("lost %d\n", 2), 0);
    EXPECT_EQ(mserror_geterr_id(), 16478);
    EXPECT_EQ(errno, EBADF);
    qrv::sio::attach_standard();
    EXPECT_EQ(mssio_printf("moved %d\n", 3), 1);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(read_file(first), "kept 1\n");
    EXPECT_EQ(read_file(g_second_out), "moved 3\n");
}

TEST_F(Redirection, AFileThatCannotBeOpenedFailsInit) {
    std::string missing = dir_ / "missing";
    EXPECT_EQ(init_with(missing.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(mserror_geterr_id(), 16473);
    EXPECT_EQ(string_arg(0), missing);
    msbasic_end_all();
    std::string no_dir = dir_ / "none/out";
    unsetenv("MSSTDIN");
    EXPECT_EQ(init_with(nullptr, nullptr, no_dir.c_str()), 0);
    EXPECT_EQ(mserror_geterr_id(), 16470);
}

TEST(TextModeSwitch, MstextmodeAtTheFirstInitDecidesForTheProcess) {
    for (const char *value : {"CrLf", "lf"}) {
        TempDir dir;  // made and removed here: the child leaves through _exit
        EXPECT_EXIT(
            {
                qrv::fio::forget_text_mode();  // as in a fresh process
                setenv("MSTEXTMODE", value, 1);
                if (msbasic_init_main(msbasic_init_cascade) != 1) _exit(3);
                unsetenv("MSTEXTMODE");
                msbasic_end_main(msbasic_init_cascade);
                msbasic_init_main(msbasic_init_cascade);  // a later init keeps the decision
                msfio_fd fd = msfio_create((dir / "t").c_str(), 0, 0, 0);
                msfio_write(fd, "a\n", 2);
                msfio_close(fd);
                msbasic_end_main(msbasic_init_cascade);
                _exit(read_file(dir / "t") == "a\r\n" ? 10 : 11);
            },
            ::testing::ExitedWithCode(value[0] == 'C' ? 10 : 11), "");
    }
}

TEST(StandardHandles, StdioSetsWhatChildProcessesReceive) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    msfio_fd ends[2];
    ASSERT_EQ(msfio_pipe(ends), 1);
    EXPECT_EQ(msfio_stdio(ends[0], MSFIO_NULL, ends[1]), 1);
    EXPECT_EQ(msos_getstdhandle(MSOS_STD_INPUT_HANDLE), msfio_win_osfd_get(ends[0]));
    EXPECT_EQ(msos_getstdhandle(MSOS_STD_OUTPUT_HANDLE), QRV_INVALID_HANDLE);
    EXPECT_EQ(msos_getstdhandle(MSOS_STD_ERROR_HANDLE), msfio_win_osfd_get(ends[1]));
    EXPECT_EQ(msfio_stdio(ends[0], MSFIO_NONE, ends[1]), 0);
    EXPECT_EQ(mserror_geterr_id(), 16151);
    EXPECT_EQ(msos_getstdhandle(MSOS_STD_OUTPUT_HANDLE), QRV_INVALID_HANDLE) << "nothing changed";
    msos_setstdhandle(MSOS_STD_INPUT_HANDLE, 0);
    msos_setstdhandle(MSOS_STD_OUTPUT_HANDLE, 1);
    msos_setstdhandle(MSOS_STD_ERROR_HANDLE, 2);
    EXPECT_EQ(msfio_close(ends[0]) + msfio_close(ends[1]), 2);
    msbasic_end_main(msbasic_init_cascade);
}

}  // namespace
