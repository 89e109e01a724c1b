// Spawning: command-line text, arguments, exit codes, failures, the handle
// triple, no-wait children, inherited descriptors, EINTR waits, system(3).
#include <fcntl.h>

#include <set>
#include <sstream>

#include "cmdline_parse.h"
#include "msfio.h"
#include "mssio.h"
#include "os/handle.h"
#include "os_support.h"
#include "spawn_support.h"
#include "support.h"

namespace {

using Spawn = LibraryTest;
constexpr uint32_t kFailed = MSOS_SPAWN_FAILED;

std::string cmdline(std::vector<std::string> args, int quote, bool null_vector = false) {
    Argv argv(std::move(args));
    char *line = msos_win32_make_cmdline(null_vector ? nullptr : argv.get(), quote);
    std::string text = line != nullptr ? line : "<null>";
    return free(line), text;
}

TEST(CmdLine, QuotesEscapesAndTheBatchRule) {
    struct Case {
        std::vector<std::string> args;
        int quote;
        const char *line;
    };
    const Case kCases[] = {{{"a\"b", "c\\"}, 1, R"("a\"b" "c\\")"},
                           {{"\\\\\""}, 1, R"("\\\\\"")"},
                           {{"x\\y\\\\z"}, 1, R"("x\y\\z")"},  // backslashes before other bytes stay single
                           {{"RUN.BAT", "a b", ""}, 1, R"(RUN.BAT "a b" "")"},
                           {{"go.bat"}, 1, "go.bat"},
                           {{".bat", "x"}, 1, R"(".bat" "x")"},  // four bytes: not a batch name
                           {{"go.bat", "x"}, 0, "go.bat x"},
                           {{"a b", "\"", ""}, 0, "a b \" "},
                           {{"", "tab\tnew\nline"}, 1, "\"\" \"tab\tnew\nline\""},
                           {{}, 1, ""}};
    for (const auto &c : kCases) EXPECT_EQ(cmdline(c.args, c.quote), c.line) << c.line;
    EXPECT_EQ(cmdline({"a"}, 1, true), "");
}

TEST(CmdLine, QuotedLinesParseBackToTheVector) {
    const std::vector<std::vector<std::string>> kVectors = {
        {"prog", "", " ", "\\", "\\\\", "\"", "\\\"", "a\\\\\"b\\", "\"\"\"", "x\\\\\\\\"},
        {"\xff\xfe\x80 invalid", "\t", "new\nline", "ünïcödé", "$HOME", "'", "a b c"},
        {std::string(5000, '\\') + "\"" + std::string(5000, '\\')}};
    for (const auto &v : kVectors) EXPECT_EQ(parse_cmdline(cmdline(v, 1)), v) << cmdline(v, 1);
}

// Runs echo_child with stdout to a file and returns its report.
Report run_child(const std::vector<std::string> &args, uint32_t *result) {
    TempDir dir;
    int out = open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const qrv_handle triple[3] = {QRV_INVALID_HANDLE, out, QRV_INVALID_HANDLE};
    Argv argv(args);
    *result = mseos_spawnvp_io(kChild, argv.get(), 1, triple);
    EXPECT_EQ(argv.text, args);  // the caller's vector is left as it was
    EXPECT_EQ(argv.pointers.back(), nullptr);
    close(out);
    return parse_report(read_file(dir / "out"));
}

TEST_F(Spawn, ChildReceivesEveryArgumentByteForByte) {
    const std::vector<std::string> hostile = {
        "renamed child",      "-",       "",  " ",     "a b", "\"", "\\", "a\\\"b", "tab\there", "new\nline",
        "\xff\xfe\xc0\x80 x", "ünïcödé", "*", "$HOME", "'x'"};
    std::vector<std::string> many = {"many", "-"};
    for (int i = 0; i < 10000; ++i) many.push_back(std::to_string(i));
    for (const auto &args : {hostile, many}) {
        uint32_t result;
        Report r = run_child(args, &result);
        EXPECT_EQ(result, 0u);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.args, args);
    }
    EXPECT_TRUE(no_children());
}

TEST_F(Spawn, ExitCodesAndSignalsOfChildrenAndOfSystem) {
    const std::pair<const char *, uint32_t> kCases[] = {{"x0", 0},       {"x1", 1},         {"x255", 255},
                                                        {"k9", 128 + 9}, {"k15", 128 + 15}, {"k11", 128 + 11}};
    for (const auto &[mode, code] : kCases) {
        uint32_t result;
        run_child({"child", mode}, &result);
        EXPECT_EQ(result, code) << mode;
        EXPECT_EQ(entry_count(), 0) << mode;
    }
    const std::pair<const char *, int> kShell[] = {{"exit 0", 0}, {"exit 3", 3}, {"kill -TERM $$", 128 + 15}};
    for (const auto &[command, code] : kShell) EXPECT_EQ(msos_system(command), code) << command;
    EXPECT_NE(msos_system(nullptr), 0);  // a shell is there
    EXPECT_TRUE(no_children());
}

TEST_F(Spawn, BareNamesAreSearchedInPath) {
    std::string child = kChild, directory = child.substr(0, child.rfind('/'));
    const char *saved = getenv("PATH");
    std::string old = saved != nullptr ? saved : "";
    setenv("PATH", ("/nonexistent::" + directory).c_str(), 1);
    Argv argv({"echo_child", "x4f/dev/null"});
    EXPECT_EQ(msos_spawnvp_wait("echo_child", argv.get()), 4u);
    EXPECT_EQ(msos_spawnvp_wait("qrv-missing/echo_child", argv.get()), kFailed);  // a '/': not searched
    setenv("PATH", old.c_str(), 1);
}

TEST_F(Spawn, FailuresGiveTheFailureValueAndTheProgram) {
    TempDir dir;
    write_file(dir / "plain", "#!/bin/sh\nexit 0\n");
    chmod((dir / "plain").c_str(), 0644);
    Argv one({"p"}), empty({}), huge(std::vector<std::string>(10000, std::string(300, 'h')));
    Argv long_one({"p", std::string(200 * 1024, 'l')});
    const qrv_handle closed[3] = {QRV_INVALID_HANDLE, 987, QRV_INVALID_HANDLE};
    const qrv_handle record[3] = {qrv::os::kRecordTag | 0x1000, QRV_INVALID_HANDLE, QRV_INVALID_HANDLE};
    const qrv_handle negative[3] = {QRV_INVALID_HANDLE, QRV_INVALID_HANDLE, -5};
    std::string directory = dir.path(), plain = dir / "plain";
    struct Case {
        const char *program;
        char *const *argv;
        const qrv_handle *handles;
        int error;
    };
    const Case kCases[] = {{"/nonexistent/program", one.get(), nullptr, ENOENT},
                           {"qrv-no-such-program", one.get(), nullptr, ENOENT},
                           {directory.c_str(), one.get(), nullptr, EACCES},
                           {plain.c_str(), one.get(), nullptr, EACCES},
                           {kChild, empty.get(), nullptr, EINVAL},
                           {kChild, nullptr, nullptr, EINVAL},
                           {nullptr, one.get(), nullptr, EINVAL},
                           {kChild, huge.get(), nullptr, E2BIG},
                           {kChild, long_one.get(), nullptr, E2BIG},
                           {kChild, one.get(), closed, EBADF},
                           {kChild, one.get(), record, EBADF},
                           {kChild, one.get(), negative, EBADF}};
    for (const auto &c : kCases) {
        for (int wait : {1, 0}) {
            const std::string program = c.program != nullptr ? c.program : "";
            SCOPED_TRACE(program + " wait " + std::to_string(wait) + " errno " + std::to_string(c.error));
            EXPECT_EQ(mseos_spawnvp_ex(c.program, c.argv, wait, c.handles, 0, 1), kFailed);
            EXPECT_EQ(errno, c.error);
            EXPECT_EQ(string_arg(0), program);  // the program, then the system error, and nothing else
            const int64_t id = mserror_geterr_id();
            mserror_pop();
            EXPECT_EQ(std::pair(id, number_arg(0)), std::pair(int64_t{16463}, int64_t{c.error}));
            EXPECT_EQ(error_ids(), std::vector<int32_t>{16151});
        }
    }
    EXPECT_TRUE(no_children());
}

TEST_F(Spawn, HandleTripleBecomesTheStandardDescriptors) {
    TempDir dir;
    write_file(dir / "in", "input text");
    auto make = [&](const char *name) { return open((dir / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); };
    int in = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC), out = make("out"), err = make("err");
    const qrv_handle triple[3] = {in, out, err};
    Argv argv({"child", "ie"});
    EXPECT_EQ(mseos_spawnvp_io(kChild, argv.get(), 1, triple), 0u);
    Report r = parse_report(read_file(dir / "out"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.in, "input text");
    EXPECT_EQ(r.std_ids, identity(in) + " " + identity(out) + " " + identity(err));
    EXPECT_EQ(read_file(dir / "err"), "err " + std::to_string(r.pid) + "\n");

    // The all-ones value keeps the caller's descriptor.
    const qrv_handle only_err[3] = {QRV_INVALID_HANDLE, err, QRV_INVALID_HANDLE};
    Argv to_file({"child", "f" + (dir / "r2")});
    EXPECT_EQ(mseos_spawnvp_io(kChild, to_file.get(), 1, only_err), 0u);
    r = parse_report(read_file(dir / "r2"));
    EXPECT_EQ(r.std_ids, identity(0) + " " + identity(err) + " " + identity(2));

    // Sources among 0-2 in another order: each target gets its own source.
    int saved0 = fcntl(0, F_DUPFD_CLOEXEC, 3), saved1 = fcntl(1, F_DUPFD_CLOEXEC, 3);
    dup2(in, 0);
    dup2(out, 1);
    const qrv_handle swapped[3] = {1, 0, 1};
    uint32_t result = mseos_spawnvp_io(kChild, to_file.get(), 1, swapped);
    for (int fd : {0, 1}) dup2(fd == 0 ? saved0 : saved1, fd);
    for (int fd : {saved0, saved1}) close(fd);
    EXPECT_EQ(result, 0u);
    r = parse_report(read_file(dir / "r2"));
    EXPECT_EQ(r.std_ids, identity(out) + " " + identity(in) + " " + identity(out));
    for (int fd : {in, out, err}) close(fd);
    EXPECT_TRUE(no_children());
}

TEST_F(Spawn, NoWaitGivesTheChildsPidAndLeavesNoZombie) {
    qrv_handle in_r, in_w, out_r, out_w;
    ASSERT_TRUE(msos_createpipe(&in_r, &in_w, nullptr, 0) && msos_createpipe(&out_r, &out_w, nullptr, 0));
    const qrv_handle triple[3] = {in_r, out_w, QRV_INVALID_HANDLE};
    Argv argv({"child", "i", "detached"});
    uint32_t pid = mseos_spawnvp_io(kChild, argv.get(), 0, triple);
    msos_closehandle(in_r);
    msos_closehandle(out_w);
    ASSERT_TRUE(pid != kFailed && pid != 0u);
    // The child waits for its input: it is alive, and another's child.
    EXPECT_TRUE(no_children());
    const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    EXPECT_EQ(status.find("\nPPid:\t" + std::to_string(getpid()) + "\n"), std::string::npos);
    EXPECT_NE(status.find("\nPPid:\t"), std::string::npos);
    msos_closehandle(in_w);
    Report r = parse_report(read_all(static_cast<int>(out_r)));
    msos_closehandle(out_r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(static_cast<uint32_t>(r.pid), pid);
    EXPECT_EQ(r.args, argv.text);
    EXPECT_TRUE(no_children());
}

std::set<int> inheritable_descriptors() {
    std::set<int> fds;
    for (int fd = 0; fd < 1024; ++fd) {
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) fds.insert(fd);
    }
    return fds;
}

// The library's own descriptors never reach a child; one opened
// inheritable on request does.
TEST(SpawnDescriptors, ChildSeesOnlyWhatTheCallerMadeInheritable) {
    std::set<int> expected = inheritable_descriptors();
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    TempDir dir;
    msfio_fd file = msfio_create((dir / "f").c_str(), 1, 0600, 0);
    mssio_stream *stream = mssio_open((dir / "s").c_str(), "w");
    qrv_handle created =
        msos_createfile((dir / "c").c_str(), MSOS_GENERIC_WRITE, 0, nullptr, MSOS_CREATE_ALWAYS, 0, QRV_INVALID_HANDLE);
    qrv_handle pipe_r, pipe_w;
    ASSERT_TRUE(msos_createpipe(&pipe_r, &pipe_w, nullptr, 0));
    qrv_handle memory = msos_createfilemapping(QRV_INVALID_HANDLE, nullptr, MSOS_PAGE_READWRITE, 0, 4096, nullptr);
    qrv_handle named = msos_createfilemapping(QRV_INVALID_HANDLE, nullptr, MSOS_PAGE_READWRITE, 0, 4096, "spawnfds");
    msos_security_attributes inherit = {sizeof inherit, nullptr, 1};
    qrv_handle shared = msos_createfile((dir / "i").c_str(), MSOS_GENERIC_WRITE, 0, &inherit, MSOS_CREATE_ALWAYS, 0,
                                        QRV_INVALID_HANDLE);
    ASSERT_TRUE(file != -1 && stream != nullptr && created != QRV_INVALID_HANDLE && memory != 0 && named != 0);
    expected.insert(static_cast<int>(shared));
    Argv argv({"child", "f" + (dir / "r")});
    EXPECT_EQ(mseos_spawnvp_wait(kChild, argv.get()), 0u);
    Report r = parse_report(read_file(dir / "r"));
    std::ostringstream list;
    for (int fd : expected) list << (list.tellp() > 0 ? "," : "") << fd;
    EXPECT_EQ(r.fds, list.str());
    for (qrv_handle h : {created, pipe_r, pipe_w, memory, named, shared}) msos_closehandle(h);
    msfio_close(file);
    mssio_close(stream);
    msbasic_end_main(msbasic_init_cascade);
}

int g_interruptions;

TEST_F(Spawn, WaitResumesAfterSignals) {
    SyscallScope scope;
    qrv::os::g_sys.waitpid = [](pid_t pid, int *status, int options) {
        if (g_interruptions-- > 0) {
            errno = EINTR;
            return pid_t{-1};
        }
        return ::waitpid(pid, status, options);
    };
    for (int wait : {1, 0}) {
        g_interruptions = 3;
        Argv argv({"child", "x7f/dev/null"});
        uint32_t result = mseos_spawnvp_ex(kChild, argv.get(), wait, nullptr, 0, 1);
        EXPECT_EQ(g_interruptions, -1);
        EXPECT_TRUE(wait ? result == 7u : result != kFailed) << wait;
    }
    EXPECT_TRUE(no_children());
}

}  // namespace
