// Program execution: a command with input and output files, the product's
// programs with the arguments that pass on the caller's name and
// redirections, waiting or not, child errors, and the forms that end the
// caller with the child's status (run in a child of this test program).
#include <sstream>

#include "bin/bin_support.h"
#include "msgust.h"

namespace {

using Exec = BinTools;

// Runs only in a child: applies the redirection options of QRV_EXEC_REDIRECT
// ("|"-separated), prints a line, then hands the process over to
// QRV_EXEC_NAME (a path: msbin_sys_exec of sh -c QRV_EXEC_SHELL, else
// msbin_quorvel_exec with QRV_EXEC_EXTRA).
TEST(Child, Exec) {
    const char *name = std::getenv("QRV_EXEC_NAME");
    if (name == nullptr) GTEST_SKIP() << "runs as a child of the other tests";
    ASSERT_EQ(msbasic_init_main(msbin_init_cascade), 1);
    msbasic_set_progname("front");
    std::vector<std::string> options = {"front"};
    std::stringstream redirect(std::getenv("QRV_EXEC_REDIRECT") ? std::getenv("QRV_EXEC_REDIRECT") : "");
    for (std::string item; std::getline(redirect, item, '|');) options.push_back(item);
    Argv given(options);
    int argc = static_cast<int>(options.size());
    char **argv = given.pointers.data();
    ASSERT_EQ(msgust_stdio(&argc, &argv), 1);
    mssio_printf("front says\n");
    const char *command = std::getenv("QRV_EXEC_SHELL");
    Argv args({"front", "a b", "-c"}), shell({"sh", "-c", command != nullptr ? command : "exit 7"});
    if (name[0] == '/') {
        msbin_sys_exec(name, shell.get());
    } else {
        msbin_quorvel_exec(name, std::getenv("QRV_EXEC_EXTRA"), args.get());
    }
    std::_Exit(99);
}

// This program's Child.Exec with the extra environment; its exit status.
int run_exec_child(const std::vector<std::string> &env) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &e : env) putenv(strdup(e.c_str()));
        execl(self.c_str(), self.c_str(), "--gtest_filter=Child.Exec", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The child reads the input and writes the output as its descriptors 0 and
// 1, and holds no second copy of either.
TEST_F(Exec, SpawnIoFeedsInputAndCreatesOutput) {
    std::string in = dir / "in", out = dir / "out";
    write_file(in, "line one\nline two\n");
    write_file(out, std::string(5000, 'x'));  // truncated by the run
    Argv cat({"sh", "-c", "cat; ls -l /proc/$$/fd"});
    int status = 77;
    EXPECT_EQ(msbin_sys_spawn_io("sh", cat.get(), in.c_str(), out.c_str(), 1, &status), 1);
    EXPECT_EQ(status, 0);
    std::string text = read_file(out);
    EXPECT_EQ(text.substr(0, 18), "line one\nline two\n");
    EXPECT_NE(text.find(" 0 -> " + in + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" 1 -> " + out + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find(in + "\n"), text.rfind(in + "\n")) << text;
    EXPECT_EQ(text.find(out + "\n"), text.rfind(out + "\n")) << text;
    EXPECT_EQ(entry_count(), 0);
}

TEST_F(Exec, SpawnIoStatusOnlyWhenWaiting) {
    Argv sh({"sh", "-c", "exit 3"});
    for (int wait : {1, 0}) {
        int status = 77;
        EXPECT_EQ(msbin_sys_spawn_io("sh", sh.get(), nullptr, nullptr, wait, &status), 1);
        EXPECT_EQ(status, wait ? 3 : 0);
    }
    EXPECT_EQ(msbin_sys_spawn_io("sh", sh.get(), nullptr, nullptr, 1, nullptr), 1);
}

TEST_F(Exec, SpawnIoFailuresStartNothing) {
    std::string tool = stand_in("tools/rec"), missing = dir / "missing", out = dir / "out";
    std::string in = dir / "in", no_dir_out = dir / "nodir/out";
    write_file(in, "x");
    Argv argv({"rec"});
    struct Case {
        const char *label;
        const char *program, *input, *output;
        std::vector<int32_t> ids;  // a new report, top first
        const char *arg;           // the top entry's string argument, or null
        bool output_exists;        // afterwards
    } cases[] = {
        {"null program", nullptr, nullptr, out.c_str(), {10607}, nullptr, false},
        {"empty program", "", nullptr, nullptr, {10607}, nullptr, false},
        {"missing input", tool.c_str(), missing.c_str(), out.c_str(), {16473, 16151}, missing.c_str(), false},
        {"output in a missing directory",
         tool.c_str(),
         in.c_str(),
         no_dir_out.c_str(),
         {16470, 16151},
         no_dir_out.c_str(),
         false},
        {"unstartable", "/nonexistent/prog", in.c_str(), out.c_str(), {10604}, "/nonexistent/prog", true},
        {"not executable", in.c_str(), nullptr, nullptr, {10604}, in.c_str(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(out);
        mserror_reset_seterr(16001, 0);  // a stale report
        int status = 77;
        EXPECT_EQ(msbin_sys_spawn_io(c.program, argv.get(), c.input, c.output, 1, &status), 0);
        EXPECT_EQ(status, 77);
        if (c.arg != nullptr) {
            EXPECT_EQ(string_arg(0), c.arg);
        }
        EXPECT_EQ(error_ids(), c.ids);
        EXPECT_EQ(std::filesystem::exists(out), c.output_exists);
        EXPECT_EQ(recorded(), Lines{});
    }
}

TEST_F(Exec, ErrorChildPushesOnlyForANonzeroStatus) {
    struct Case {
        int started, status;
        uint32_t id;
        int result;
        std::vector<int32_t> ids;  // afterwards, top first, over a stale 16001
    } cases[] = {
        {0, 0, 10612, 0, {16001}}, {0, 3, 10612, 0, {16001}},  {1, 0, 10612, 1, {16001}},
        {1, 3, 10612, 0, {10612}}, {1, -1, 10604, 0, {10604}}, {1, 3, MSBIN_NO_ERROR, 0, {16001}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.started << " " << c.status << " " << c.id);
        mserror_reset_seterr(16001, 0);
        EXPECT_EQ(msbin_error_child(c.started, c.status, c.id, "cc -c x.c"), c.result);
        if (c.ids[0] != 16001) {
            EXPECT_EQ(string_arg(0), "cc -c x.c");
        }
        EXPECT_EQ(error_ids(), c.ids);
    }
    EXPECT_EQ(msbin_error_child(1, 3, 10612, nullptr), 0);
    EXPECT_EQ(mserror_geterr_id(), 10612);
}

TEST_F(Exec, ProductProgramGetsNameProgramNameAndArguments) {
    stand_in("rdbms/exec/qtool");
    setenv("QRV_RECORD_EXIT", "4", 1);
    Argv argv({"front", "x y", "-z", ""});
    int status = 0;
    EXPECT_EQ(msbin_quorvel_spawn("qtool", argv.get(), &status), 1);
    EXPECT_EQ(status, 4);
    EXPECT_EQ(recorded(), (Lines{"qtool", "-MSPROGNAME", "qrvtest", "x y", "-z", ""}));

    Argv only_name({"front"});
    for (char *const *args : {only_name.get(), static_cast<char *const *>(nullptr)}) {
        EXPECT_EQ(msbin_quorvel_spawn("qtool", args, nullptr), 1);
        EXPECT_EQ(recorded(), (Lines{"qtool", "-MSPROGNAME", "qrvtest"}));
    }

    setenv("QRV_RECORD_EXIT", "5", 1);
    status = 77;
    EXPECT_EQ(msbin_quorvel_spawn_nowait("qtool", argv.get(), &status), 1);
    EXPECT_EQ(status, 0) << "no wait: the child's later failure is not seen";
    EXPECT_EQ(recorded(20000), (Lines{"qtool", "-MSPROGNAME", "qrvtest", "x y", "-z", ""}));
}

TEST_F(Exec, ProductProgramFailures) {
    std::string missing = dir / "rdbms/exec/absent";
    stand_in("rdbms/exec/qtool");
    Argv argv({"front"});
    struct Case {
        const char *name;
        int32_t id;
        const char *arg;
    } cases[] = {{nullptr, 10607, nullptr}, {"", 10607, nullptr}, {"absent", 10604, missing.c_str()}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "null");
        for (int wait : {1, 0}) {
            int status = 77;
            int started = wait ? msbin_quorvel_spawn(c.name, argv.get(), &status)
                               : msbin_quorvel_spawn_nowait(c.name, argv.get(), &status);
            EXPECT_EQ(started, 0);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(mserror_geterr_id(), c.id);
            if (c.arg != nullptr) {
                EXPECT_EQ(string_arg(0), c.arg);
            }
        }
    }
}

// A caller's vector of up to 2000 elements is passed on; a longer one is
// refused before anything starts.
TEST_F(Exec, CallersVectorOfMoreThan2000ElementsIsRefused) {
    stand_in("rdbms/exec/qtool");
    for (size_t elements : {2000u, 2001u, 3000u}) {
        SCOPED_TRACE(elements);
        Argv argv(std::vector<std::string>(elements, "a"));
        mserror_reset();
        int started = msbin_quorvel_spawn("qtool", argv.get(), nullptr);
        Lines got = recorded();
        if (elements <= 2000) {
            EXPECT_EQ(started, 1);
            EXPECT_EQ(got.size(), elements + 2);
        } else {
            EXPECT_EQ(started, 0);
            EXPECT_EQ(error_ids(), std::vector<int32_t>{10678});
            EXPECT_EQ(got, Lines{});
            setenv("QRV_RECORD_EXIT", "93", 1);  // a wrong run ends this test with a failure
            EXPECT_NE(msbin_quorvel_exec("qtool", nullptr, argv.get()), 0) << "returns after printing the stack";
            EXPECT_EQ(recorded(), Lines{});
        }
    }
}

TEST_F(Exec, ExecFailuresReturnAfterPrintingTheStack) {
    Argv argv({"front"});
    EXPECT_NE(msbin_sys_exec("", argv.get()), 0);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10607});
    EXPECT_NE(msbin_sys_exec("/nonexistent/prog", argv.get()), 0);
    EXPECT_EQ(mserror_geterr_id(), 10604);
    EXPECT_EQ(string_arg(0), "/nonexistent/prog");
    EXPECT_NE(msbin_quorvel_exec("absent", nullptr, argv.get()), 0);
    EXPECT_EQ(mserror_geterr_id(), 10604);
}

// The replacing forms end this process with the child's exit status and
// pass on the redirections of the standard streams, after what this process
// wrote.
TEST_F(Exec, ExecEndsTheCallerWithTheChildsStatus) {
    stand_in("rdbms/exec/qtool");
    std::string in = dir / "in", out = dir / "out", err = dir / "err";
    write_file(in, "");
    struct Case {
        const char *label;
        std::vector<std::string> env;
        int status;
        Lines vector;
    } cases[] = {
        {"sys_exec", {"QRV_EXEC_NAME=/bin/sh"}, 7, {}},
        {"sys_exec, child ended by a signal", {"QRV_EXEC_NAME=/bin/sh", "QRV_EXEC_SHELL=kill -TERM $$"}, 128 + 15, {}},
        {"plain", {"QRV_EXEC_NAME=qtool", "QRV_RECORD_EXIT=6"}, 6, {"qtool", "-MSPROGNAME", "front", "a b", "-c"}},
        {"stdout redirected and extra",
         {"QRV_EXEC_NAME=qtool", "QRV_EXEC_REDIRECT=-MSSTDOUT|" + out, "QRV_EXEC_EXTRA=-extra"},
         0,
         {"qtool", "-MSPROGNAME", "front", "+MSSTDOUT", out, "-extra", "a b", "-c"}},
        {"all three redirected",
         {"QRV_EXEC_NAME=qtool", "QRV_RECORD_EXIT=255",
          "QRV_EXEC_REDIRECT=+MSSTDERR|" + err + "|-MSSTDIN|" + in + "|+MSSTDOUT|" + out},
         255,
         {"qtool", "-MSPROGNAME", "front", "-MSSTDIN", in, "+MSSTDOUT", out, "+MSSTDERR", err, "a b", "-c"}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(out);
        c.env.push_back("QUORVELPATH=" + dir.path());
        EXPECT_EQ(run_exec_child(c.env), c.status);
        EXPECT_EQ(recorded(), c.vector);
        if (c.vector.size() > 5) {
            EXPECT_EQ(read_file(out), "front says\n");
        }
    }
}

}  // namespace
