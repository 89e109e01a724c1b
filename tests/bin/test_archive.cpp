// The archive tools: adding, replacing and extracting members with a real
// "ar", the commands shown instead of run, the tool and its directory from
// the options file, names passed without a shell, and the index tool.
#include "bin/bin_support.h"

namespace {

using Archive = BinTools;

TEST_F(Archive, AddReplaceExtractRoundTrip) {
    std::string a = dir / "tools/a.o", b = dir / "tools/b.o", lib = dir / "lib.a";
    write_file(a, "first a\n");
    write_file(b, std::string("b\0with a NUL\n", 13));
    Argv add({a}), replace({b, a});
    int status = 77;
    ASSERT_EQ(msbin_arlib('a', lib.c_str(), add.get(), 0, &status), 1);
    EXPECT_EQ(status, 0);
    write_file(a, "second a, longer\n");
    ASSERT_EQ(msbin_arlib('r', lib.c_str(), replace.get(), 0, &status), 1);

    std::filesystem::create_directories(dir / "x");
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir / "x");
    int extracted = msbin_arlib('e', lib.c_str(), nullptr, 0, &status);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(extracted, 1);
    EXPECT_EQ(read_file(dir / "x/a.o"), "second a, longer\n");
    EXPECT_EQ(read_file(dir / "x/b.o"), std::string("b\0with a NUL\n", 13));
    EXPECT_EQ(entry_count(), 0);
}

// Shown commands: one line, the tool first, each further argument quoted;
// nothing runs and no archive appears.
TEST_F(Archive, EchoShowsTheCommandAndRunsNothing) {
    std::string tool = stand_in("tools/myar");
    Argv members({"m.o", "n.o"});
    struct Case {
        const char *target, *options;
        int operation;
        const char *line;
    } cases[] = {
        {"", "", 'a', "ar \"q\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"", "", 'r', "ar \"r\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"", "", 'e', "ar \"x\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"", "MSSYS_ARLIB=\n", 'a', "ar \"q\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"", "MSSYS_ARLIB=gar\n", 'a', "gar \"q\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"vx55-ppc", "", 'a', "cmd.exe \"/c\" \"ar\" \"q\" \"lib.a\" \"m.o\" \"n.o\"\n"},
        {"vx6-ppc", "", 'a', "ar \"q\" \"lib.a\" \"m.o\" \"n.o\"\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        options(c.options);
        msbin_set_xtarget(c.target);
        int result = 0, status = 77;
        EXPECT_EQ(printed([&] { result = msbin_arlib(c.operation, "lib.a", members.get(), 1, &status); }), c.line);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(status, 0);
    }
    options("MSSYS_ARLIB=" + tool + "\n");
    EXPECT_EQ(printed([&] { msbin_arlib('a', "lib.a", nullptr, 1, nullptr); }), tool + " \"q\" \"lib.a\"\n");
    EXPECT_EQ(recorded(), Lines{});
    EXPECT_FALSE(std::filesystem::exists("lib.a"));
}

TEST_F(Archive, OtherOperationsAndNoArchiveRunNothing) {
    options("MSSYS_ARLIB=" + stand_in("tools/myar") + "\n");
    Argv members({"m.o"});
    for (int operation : {int('x'), int('A'), 0, -1, 'a' + 256}) {
        SCOPED_TRACE(operation);
        int status = 77;
        EXPECT_EQ(msbin_arlib(operation, "lib.a", members.get(), 0, &status), 0);
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(msbin_arlib('a', nullptr, members.get(), 0, nullptr), 0);
    EXPECT_EQ(msbin_arlib('a', "", members.get(), 0, nullptr), 0);
    Argv many(std::vector<std::string>(MSBIN_MAX_ARGS, "m.o"));
    EXPECT_EQ(msbin_arlib('a', "lib.a", many.get(), 0, nullptr), 0);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10678});
    EXPECT_EQ(recorded(), Lines{});
}

// Vectors, never a shell: every byte of a member's name reaches the tool.
TEST_F(Archive, ToolFromItsDirectoryGetsNamesIntact) {
    stand_in("tools/myar");
    options("MSSYS_ARLIB=myar\nMSSYS_ARLIBPATH=" + dir / "tools" + "\n");
    setenv("PATH", (dir / "empty").c_str(), 1);
    std::string odd = "we ird \"q\" $HOME;x 'y' `z` *";
    Argv members({odd, "-", ""});
    int status = 77;
    EXPECT_EQ(msbin_arlib('r', "my lib.a", members.get(), 0, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(recorded(), (Lines{"myar", "r", "my lib.a", odd, "-", ""}));
    EXPECT_EQ(std::string(std::getenv("PATH")), dir / "tools" + ":" + dir / "empty");
}

TEST_F(Archive, RanlibRunsTheConfiguredIndexTool) {
    std::string lib = dir / "lib.a", tool = stand_in("tools/myranlib");
    write_file(lib, "!<arch>\n");
    setenv("PATH", (dir / "empty").c_str(), 1);
    struct Case {
        const char *label;
        std::string archive, options, path;
        const char *exit_code;
        int result, status;
        Lines vector;
    } cases[] = {
        {"missing archive", dir / "nope.a", "MSSYS_RANLIB=myranlib\n", "", "0", 0, 0, {}},
        {"directory", dir / "tools", "MSSYS_RANLIB=myranlib\n", "", "0", 0, 0, {}},
        {"no tool set", lib, "MSSYS_RANLIBPATH=" + dir / "tools" + "\n", "", "0", 1, 0, {}},
        {"empty tool", lib, "MSSYS_RANLIB=\nMSSYS_RANLIBPATH=" + dir / "tools" + "\n", "", "0", 1, 0, {}},
        {"tool nowhere", lib, "MSSYS_RANLIB=myranlib\n", "", "0", 1, 0, {}},
        {"in its directory",
         lib,
         "MSSYS_RANLIB=myranlib\nMSSYS_RANLIBPATH=" + dir / "tools" + "\n",
         "",
         "0",
         1,
         0,
         {tool, lib}},
        {"along PATH, last entry",
         lib,
         "MSSYS_RANLIB=myranlib\nMSSYS_RANLIBPATH=" + dir / "empty" + "\n",
         dir / "empty" + ":" + dir / "tools",
         "0",
         1,
         0,
         {tool, lib}},
        {"named by its path", lib, "MSSYS_RANLIB=" + tool + "\n", "", "0", 1, 0, {tool, lib}},
        {"tool fails",
         lib,
         "MSSYS_RANLIB=myranlib\nMSSYS_RANLIBPATH=" + dir / "tools" + "\n",
         "",
         "3",
         0,
         3,
         {tool, lib}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        options(c.options);
        if (!c.path.empty()) setenv("PATH", c.path.c_str(), 1);
        setenv("QRV_RECORD_EXIT", c.exit_code, 1);
        int status = 77;
        EXPECT_EQ(msbin_ranlib(c.archive.c_str(), &status), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(recorded(), c.vector);
    }
    EXPECT_EQ(mserror_geterr_id(), 10612);
    EXPECT_EQ(msbin_ranlib(nullptr, nullptr), 0);
}

TEST_F(Archive, RanlibForVx55RunsThroughCmd) {
    std::string lib = dir / "lib.a";
    write_file(lib, "!<arch>\n");
    stand_in("tools/cmd.exe");
    options("MSSYS_RANLIB=ranlib\nMSSYS_RANLIBPATH=/usr/bin\n");
    setenv("PATH", (dir / "tools").c_str(), 1);
    msbin_set_xtarget("vx55-x86");
    EXPECT_EQ(msbin_ranlib(lib.c_str(), nullptr), 1);
    EXPECT_EQ(recorded(), (Lines{"cmd.exe", "/c", "/usr/bin/ranlib", lib}));
}

}  // namespace
