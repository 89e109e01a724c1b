// Cross-development targets: choosing the target and switching the options
// file once, the options-file paths, searching path lists for programs and
// the Java tools, the Windows-host helpers, the shared option errors, and
// the printing of commands shown instead of run.
#include <sys/stat.h>

#include "bin/bin_support.h"

namespace {

using Target = BinTools;

struct Found {
    int result;
    std::string target;
    std::vector<int32_t> ids;
};

Found setup(std::vector<std::string> args, int size = 64) {
    Argv argv(std::move(args));
    Canary buffer(static_cast<size_t>(size));
    mserror_reset();
    Found f;
    f.result = msbin_setup_cross_development(static_cast<int>(argv.text.size()), argv.get(), buffer.chars(), size);
    f.target = buffer.chars();
    f.ids = error_ids();
    EXPECT_TRUE(buffer.untouched_from(f.target.size() + 1));
    return f;
}

TEST_F(Target, TargetFromArgumentsElseEnvironment) {
    write_file(dir / "config/xcfg/envtarget", "MSSYS_WHICH=env\n");
    struct Case {
        const char *ms_xtarget;  // null: unset
        std::vector<std::string> args;
        int result;
        const char *target;
        std::vector<int32_t> ids;
        const char *options = "host";  // MSSYS_WHICH afterwards
    } cases[] = {
        {nullptr, {"cc"}, 1, "", {}},
        {"", {"cc", "-c"}, 1, "", {}},
        {"envtarget", {"cc"}, 1, "envtarget", {}, "env"},
        {"envtarget", {"cc", "-c", "x.c"}, 1, "envtarget", {}},
        {"envtarget", {"cc", "-xtarget", ""}, 1, "envtarget", {}},
        {"envtarget", {"cc", "-xtarget", "linux-arm", "-o"}, 1, "linux-arm", {}},
        {"envtarget", {"cc", "-XTARGET", "linux-arm"}, 1, "envtarget", {}},
        {"envtarget", {"-xtarget", "linux-arm"}, 1, "envtarget", {}},  // argv[0] is the name
        {"envtarget", {"cc", "-c", "-xtarget"}, 0, "", {10603}},
        {nullptr, {"cc", "-xtarget"}, 0, "", {10603}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.ms_xtarget ? c.ms_xtarget : "unset") << " " << c.args.size());
        stop();
        c.ms_xtarget != nullptr ? setenv("MS_XTARGET", c.ms_xtarget, 1) : unsetenv("MS_XTARGET");
        start();
        Found f = setup(c.args);
        EXPECT_EQ(f.result, c.result);
        EXPECT_EQ(f.target, c.target);
        EXPECT_EQ(f.ids, c.ids);
        // Switched only by the first target of the process; a new init
        // reads the installation's options again.
        EXPECT_STREQ(msbin_optfile_getvar("MSSYS_WHICH"), c.options);
    }
}

TEST_F(Target, FirstTargetSwitchesTheOptionsFileOnce) {
    write_file(dir / "config/xcfg/t1", "MSSYS_WHICH=t1\n");
    write_file(dir / "config/xcfg/t2", "MSSYS_WHICH=t2\n");
    EXPECT_STREQ(msbin_optfile_getvar("MSSYS_WHICH"), "host");
    EXPECT_EQ(setup({"cc", "-xtarget", "t1"}).result, 1);
    EXPECT_STREQ(msbin_optfile_getvar("MSSYS_WHICH"), "t1");
    Found again = setup({"cc", "-xtarget", "t2"});
    EXPECT_EQ(again.result, 1);
    EXPECT_EQ(again.target, "t2");
    EXPECT_STREQ(msbin_optfile_getvar("MSSYS_WHICH"), "t1");
    EXPECT_EQ(setup({"cc", "-xtarget", "linux-arm"}, 4).target, "lin") << "cut to the buffer";
    EXPECT_EQ(setup({"cc", "-xtarget", "linux-arm"}, 1).target, "");
    Argv last({"cc", "-xtarget"});
    Canary none(0);
    EXPECT_EQ(msbin_setup_cross_development(2, last.get(), none.chars(), 0), 0);
    EXPECT_EQ(msbin_setup_cross_development(2, last.get(), nullptr, 64), 0);
    EXPECT_EQ(msbin_setup_cross_development(5, nullptr, none.chars(), -1), 1);
    EXPECT_TRUE(none.untouched_from(0));
}

TEST_F(Target, MissingTargetOptionsFileFails) {
    Found f = setup({"cc", "-xtarget", "nowhere"});
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.target, "nowhere");
    EXPECT_EQ(f.ids.front(), 10601);
    EXPECT_EQ(msbin_optfile_getvar("MSSYS_WHICH"), nullptr);
    EXPECT_EQ(setup({"cc", "-xtarget", "nowhere"}).result, 1) << "no second switch";
}

TEST_F(Target, SwitchToAnUnreadableOptionsFileLeavesNoOptions) {
    write_file(dir / "binary", std::string("A=1\n\0\xff\xfe\x01\n", 10));
    write_file(dir / "long", "A=" + std::string(1 << 20, 'v') + "\n");
    for (std::string path : {dir / "missing", dir / "binary", dir / "long", dir.path()}) {
        SCOPED_TRACE(path);
        options("MSSYS_WHICH=before\n");
        mserror_reset();
        EXPECT_EQ(msbin_optfile_switch_file(path.c_str()), 0);
        EXPECT_EQ(mserror_geterr_id(), 10601);
        EXPECT_EQ(msbin_optfile_getvar("MSSYS_WHICH"), nullptr);
        EXPECT_EQ(msbin_optfile_getvar("A"), nullptr);
    }
    EXPECT_EQ(msbin_optfile_switch_file(nullptr), 0);
}

TEST_F(Target, SetXtargetCutsTo32Characters) {
    std::string forty = "linux-" + std::string(34, 'x');
    for (const auto &[name, kept] : std::vector<std::pair<const char *, std::string>>{
             {forty.c_str(), forty.substr(0, 32)}, {"vx55-ppc", "vx55-ppc"}, {nullptr, ""}, {"", ""}}) {
        msbin_set_xtarget(name);
        EXPECT_EQ(std::string(msbin_xtarget), kept);
    }
}

TEST_F(Target, OptionsFilenames) {
    std::string options = dir / "config/options";
    struct Case {
        const char *target;
        int size;
        int result;
        std::string path;
    } cases[] = {
        {nullptr, 256, 1, options},
        {"", 256, 1, options},
        {"linux-arm", 256, 1, dir / "config/xcfg/linux-arm"},
        {nullptr, static_cast<int>(options.size()) + 1, 1, options},
        {nullptr, static_cast<int>(options.size()), 0, ""},
        {"linux-arm", 8, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        Canary buffer(static_cast<size_t>(c.size));
        EXPECT_EQ(msbin_get_effective_options_filename(c.target, buffer.chars(), c.size), c.result);
        EXPECT_EQ(buffer.chars(), c.path);
        EXPECT_TRUE(buffer.untouched_from(c.path.size() + 1));
    }
}

TEST_F(Target, ProgramFromPath) {
    for (const char *sub : {"d2/prog", "d4"}) std::filesystem::create_directories(dir / sub);
    std::filesystem::create_directories(dir / "d3");
    ASSERT_EQ(mkfifo((dir / "d3/prog").c_str(), 0600), 0);
    write_file(dir / "d4/prog", "");
    std::string d1 = dir / "empty", d2 = dir / "d2", d3 = dir / "d3", d4 = dir / "d4", found = dir / "d4/prog";
    struct Case {
        std::string list;
        const char *program;
        int size;
        int result;
        std::string path;
    } cases[] = {
        {d1 + ":" + d2 + ":" + d3 + ":" + d4, "prog", 256, 1, found},
        {d1 + ";" + d4, "prog", 256, 1, found},
        {"::" + d4 + ":", "prog", 256, 1, found},
        {d1 + ":" + d2 + ":" + d3, "prog", 256, 0, ""},
        {d4, "other", 256, 0, ""},
        {"", "prog", 256, 0, ""},
        {d4, "", 256, 0, ""},
        {d4, nullptr, 256, 0, ""},
        {d4, "prog", static_cast<int>(found.size()) + 1, 1, found},
        {d4, "prog", static_cast<int>(found.size()), 0, ""},
        {d4, "prog", 1, 0, ""},
        {std::string(2000, 'd') + ":" + d4, "prog", 256, 1, found},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.list.substr(0, 80) + " " + std::to_string(c.size));
        Canary buffer(static_cast<size_t>(c.size));
        mserror_reset();
        EXPECT_EQ(msbin_util_get_program_from_path(c.list.c_str(), c.program, buffer.chars(), c.size), c.result);
        EXPECT_EQ(buffer.chars(), c.path);
        EXPECT_TRUE(buffer.untouched_from(static_cast<size_t>(c.size)));
        EXPECT_EQ(entry_count(), 0);
    }
    Canary none(0);
    EXPECT_EQ(msbin_util_get_program_from_path(d4.c_str(), "prog", none.chars(), 0), 0);
    EXPECT_TRUE(none.untouched_from(0));
    EXPECT_EQ(msbin_util_get_program_from_path(nullptr, "prog", none.chars(), 0), 0);
    EXPECT_EQ(msbin_util_get_program_from_path(d4.c_str(), "prog", nullptr, 256), 0);
}

TEST_F(Target, JavaToolsAlongPath) {
    write_file(dir / "tools/java", "");
    write_file(dir / "tools/javac", "");
    char buffer[256];
    setenv("PATH", (dir / "empty:" + dir / "tools").c_str(), 1);
    EXPECT_EQ(msbin_get_java_program(buffer, sizeof buffer), 1);
    EXPECT_EQ(std::string(buffer), dir / "tools/java");
    EXPECT_EQ(msbin_get_javac_program(buffer, sizeof buffer), 1);
    EXPECT_EQ(std::string(buffer), dir / "tools/javac");
    for (int kind : {0, 1, 2}) EXPECT_EQ(msbin_win32_get_java_program(buffer, sizeof buffer, kind), 1);
    for (int kind : {-1, 3}) {
        EXPECT_EQ(msbin_win32_get_java_program(buffer, sizeof buffer, kind), 0);
        EXPECT_STREQ(buffer, "");
    }
    EXPECT_EQ(entry_count(), 0);
    std::string long_path;
    while (long_path.size() < 20000) long_path += "/no/such/directory:";
    setenv("PATH", (long_path + dir / "tools").c_str(), 1);
    EXPECT_EQ(msbin_get_javac_program(buffer, sizeof buffer), 1) << "a PATH of any length";
    EXPECT_EQ(std::string(buffer), dir / "tools/javac");

    setenv("PATH", (dir / "empty").c_str(), 1);
    EXPECT_EQ(msbin_get_java_program(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10829});
    EXPECT_EQ(msbin_get_javac_program(buffer, sizeof buffer), 0);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10811});
}

TEST_F(Target, WindowsHelpersSucceedWithoutEffect) {
    std::string path = std::getenv("PATH");
    msbin_win32_set_dev_env();
    EXPECT_EQ(std::string(std::getenv("PATH")), path);
    EXPECT_EQ(std::getenv("INCLUDE"), nullptr);
    EXPECT_EQ(msbin_win32_minimize_window("any title"), 1);
    EXPECT_EQ(msbin_win32_restore_window(nullptr), 1);
    mserror_reset();
    EXPECT_EQ(msbin_win32_show_msgbox_stderr(), 0);
    mserror_reset_seterr_1arg_str(16473, "some file");
    EXPECT_EQ(msbin_win32_show_msgbox_stderr(), 1);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{16473}) << "the stack is left as it was";
}

TEST_F(Target, OptionErrorsAndHelp) {
    Argv help({"cc", "-help"}), helpx({"cc", "-helpx"}), one({"cc"});
    int status = 77;
    std::string text = printed([&] { EXPECT_EQ(msbin_option_help(2, help.get(), 16473, &status), 1); });
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("cannot open file"), std::string::npos) << text;
    EXPECT_EQ(msbin_option_help(2, help.get(), 99999, &status), 1);
    EXPECT_EQ(status, 1);
    status = 77;
    EXPECT_EQ(msbin_option_help(2, helpx.get(), 16473, &status), 0);
    EXPECT_EQ(msbin_option_help(1, help.get(), 16473, &status), 0);
    EXPECT_EQ(msbin_option_help(2, nullptr, 16473, nullptr), 0);
    EXPECT_EQ(status, 77);
    mserror_reset();
    EXPECT_EQ(msbin_option_noarg(1, one.get(), 16473, &status), 1);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10603});
    EXPECT_EQ(msbin_option_noarg(2, helpx.get(), 16473, &status), 0);
    mserror_seterr(16001, 0);
    msbin_option_invnargs();
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10603});
    msbin_option_invoption("-zz");
    EXPECT_EQ(string_arg(0), "-zz");
    EXPECT_EQ(error_ids(), std::vector<int32_t>{10602});
}

TEST_F(Target, CatArgQuotesAndRefusesOverflow) {
    struct Case {
        const char *start, *arg;
        int newline;
        const char *line;
    } cases[] = {
        {"cc", "a\"b", 0, "cc \"a\\\"b\""},   {"cc", "", 0, "cc \"\""},         {"", "x y", 1, "\n\"x y\""},
        {"cc", "\"\"", 0, "cc \"\\\"\\\"\""}, {"cc", "a\\b", 0, "cc \"a\\b\""},
    };
    for (const Case &c : cases) {
        Canary line(MSBIN_LINE_SIZE);
        std::strcpy(line.chars(), c.start);
        EXPECT_EQ(msbin_cat_arg(line.chars(), c.arg, c.newline), 1);
        EXPECT_STREQ(line.chars(), c.line);
    }
    // Filled to leave room for exactly "x" with its separator and quotes.
    Canary line(MSBIN_LINE_SIZE);
    std::string full(MSBIN_LINE_SIZE - 5, 'f');
    for (const auto &[arg, result] : std::vector<std::pair<const char *, int>>{{"xy", 0}, {"\"", 0}, {"x", 1}}) {
        std::strcpy(line.chars(), full.c_str());
        EXPECT_EQ(msbin_cat_arg(line.chars(), arg, 0), result) << arg;
        EXPECT_EQ(std::string(line.chars()), result ? full + " \"x\"" : full);
        EXPECT_TRUE(line.untouched_from(MSBIN_LINE_SIZE));
    }
    std::memset(line.chars(), 'f', MSBIN_LINE_SIZE);  // no terminator at all
    EXPECT_EQ(msbin_cat_arg(line.chars(), "", 1), 0);
    EXPECT_TRUE(line.untouched_from(MSBIN_LINE_SIZE));
    EXPECT_EQ(msbin_cat_arg(nullptr, "x", 0), 0);
    EXPECT_EQ(msbin_cat_arg(line.chars(), nullptr, 0), 0);
}

TEST_F(Target, EchoLineBothForms) {
    Argv argv({"cc", "-o", "a b", "q\"t", ""});
    int status = 77, count = 0;
    std::string line = "cc \"-o\" \"a b\" \"q\\\"t\" \"\"\n";
    EXPECT_EQ(printed([&] { count = msbin_echoline(argv.get(), 0, &status); }), line);
    EXPECT_EQ(count, static_cast<int>(line.size()));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(printed([&] { msbin_echoline(argv.get(), 1, nullptr); }), "cc\n-o\na b\nq\"t\n\n");
    Argv huge({"cc", std::string(3 * MSBIN_LINE_SIZE, 'z')});
    EXPECT_EQ(printed([&] { count = msbin_echoline(huge.get(), 0, nullptr); }).size(), 3 * MSBIN_LINE_SIZE + 6u);
    EXPECT_EQ(count, 3 * MSBIN_LINE_SIZE + 6);
    Argv empty(std::vector<std::string>{});
    EXPECT_EQ(msbin_echoline(empty.get(), 0, &status), 0);
    EXPECT_EQ(msbin_echoline(nullptr, 1, nullptr), 0);
}

}  // namespace
