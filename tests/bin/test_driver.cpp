// The compiler driver: driver arguments to the exact command it runs, in
// run and show mode, on the host and on cross-development targets.
#include <sstream>

#include "driver_support.h"

namespace {

// Runs the driver with argv[0] "qrvcc" and the given arguments.
struct Outcome {
    int result = 0;
    int status = -1;
    int32_t error = 0;
    std::string error_arg;
};

Outcome drive(std::vector<std::string> args) {
    args.insert(args.begin(), "qrvcc");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Outcome run;
    run.result = msbin_quorvel_comp(static_cast<int>(args.size()), argv.data(), &run.status);
    run.error = mserror_geterr_id();
    if (run.error != 0) run.error_arg = string_arg(0);
    return run;
}

// Words separated by blanks, with $R for the installation.
std::vector<std::string> words(const std::string &text, const std::string &root) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        for (size_t at; (at = w.find("$R")) != std::string::npos;) w.replace(at, 2, root);
        out.push_back(w);
    }
    return out;
}

using Driver = BuildToolsTest;

TEST_F(Driver, ArgumentsBecomeTheCommandItRuns) {
    struct Case {
        const char *args;
        const char *tool;
        const char *expected;  // the tool's arguments
    } cases[] = {
        {"hello.c -o hello", "cc",
         "-copt -ccopt -I$R/include hello.c -o hello -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        // Compile only: no export options, libraries or system libraries.
        {"-c hello.c", "cc", "-copt -ccopt -I$R/include -c hello.c"},
        {"-E hello.c", "cc", "-copt -ccopt -I$R/include -E hello.c"},
        {"-P hello.c", "cc", "-copt -ccopt -I$R/include -P hello.c"},
        {"/c hello.c", "cc", "-copt -ccopt -I$R/include /c hello.c"},
        {"-EHsc x.c", "cc", "-copt -ccopt -I$R/include -EHsc x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"/code/x.c", "cc", "-copt -ccopt -I$R/include /code/x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-noshlib x.c", "cc",
         "-copt -ccopt -I$R/include x.c $R/common/lib/libqrvbasic.a -m -net -timer -dl -csys -mt"},
        {"-noshlib -srclib x.c", "cc",
         "-copt -ccopt -I$R/include x.c $R/common/src_lib/libqrvbasic.a -m -net -timer -dl -csys -mt"},
        {"-noquorvellib x.c", "cc", "-copt -ccopt -I$R/include x.c"},
        {"-basiclib -basicnetlib x.c", "cc",
         "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-CXX app.cpp", "cxx",
         "-cxxopt -ccopt -I$R/include app.cpp -L$R/shlib -lqrvbasic -m -net -timer -dl -cxxsys -mt"},
        {"-CXX -globmain app.cpp", "cxx",
         "-cxxopt -ccopt -I$R/include app.cpp $R/rdbms/lib/cxxmain.a -L$R/shlib -lqrvbasic -m -net -timer -dl -cxxsys "
         "-mt"},
        {"-globmain x.c", "cc",
         "-copt -ccopt -I$R/include x.c $R/rdbms/lib/globmain.a -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-usenetstub x.c", "cc",
         "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic -m $R/rdbms/lib/mshost.a -timer -dl -csys -mt"},
        {"-readlinelib -cryptlib x.c", "cc",
         "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-sprad x.c", "cc", "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic_sprad -m -net -timer -dl -csys -mt"},
        {"-spdebug -spefence x.c", "cc",
         "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic_spefence -m -net -timer -dl -csys -mt"},
        {"-static x.c", "cc", "-copt -ccopt -I$R/include -stat x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-devcc -c x.c", "cc", "-copt -ccopt -I$R/include -dev -c x.c"},
        {"-quorvelwarn -c x.c", "cc", "-dev -ccopt -I$R/include -c x.c"},
        {"-srcinc -c x.c", "cc", "-copt -ccopt -I$R/include -I$R/common/include -I$R/rdbms/src/include -c x.c"},
        {"-mthread -noglobmain -footprint=small -c x.c", "cc", "-copt -ccopt -I$R/include -c x.c"},
        // An option the driver does not know ends the options.
        {"-unknown -noshlib x.c", "cc",
         "-copt -ccopt -I$R/include -unknown -noshlib x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        // The ODBC modes link the client, not the product.
        {"-ODBC x.c", "cc", "-copt -ccopt x.c -L$R/odbccl/lib -lqrvodbccl -net -timer -dl -csys -mt"},
        {"-ODBCXX -traceable -deprecated x.cpp", "cxx",
         "-cxxopt -ccopt x.cpp $R/odbccl/lib/deprecated.a -L$R/odbccl/lib -lqrvodbccl_t -net -timer -dl -cxxsys -mt"},
        {"-ODBCBCS x.c", "cc",
         "-copt -ccopt x.c $R/rdbms/lib/qrvbcscl.a $R/rdbms/lib/qrvbcsks.a $R/common/lib/qrvbcssup.a -L$R/shlib "
         "-lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-ODBCBCSXX -usedriver x.cpp", "cxx",
         "-cxxopt -ccopt x.cpp -L$R/shlib -lqrvodbccl -m -net -timer -dl -cxxsys -mt"},
        {"-PCC x.c", "cc", "-copt -ccopt -I$R/include x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-PC++ -noshlib x.cpp", "cxx",
         "-cxxopt -ccopt -I$R/include x.cpp $R/common/lib/libqrvbasic.a -m -net -timer -dl -cxxsys -mt"},
        // "-linker" replaces the command in the C modes and is skipped in others.
        {"-linker $R/tools/ld x.o", "ld",
         "-copt -ccopt -I$R/include x.o -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt"},
        {"-CXX -linker ld x.o", "cxx",
         "-cxxopt -ccopt -I$R/include x.o -L$R/shlib -lqrvbasic -m -net -timer -dl -cxxsys -mt"},
        {"-c_compiler $R/tools/cxx -c x.c", "cxx", "-copt -ccopt -I$R/include -c x.c"},
        {"-CXX -c++_compiler $R/tools/cc -c x.cpp", "cc", "-cxxopt -ccopt -I$R/include -c x.cpp"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        for (const char *tool : {"tools/cc", "tools/cxx", "tools/ld"}) inst_.forget(tool);
        Outcome run = drive(words(c.args, inst_.root()));
        EXPECT_EQ(run.result, 1) << run.error << " " << run.error_arg;
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(inst_.recorded(std::string("tools/") + c.tool), words(c.expected, inst_.root()));
    }
}

TEST_F(Driver, BadArgumentsFailWithTheirError) {
    std::string cxx = inst_ / "tools/cxx";
    struct Case {
        std::vector<std::string> args;
        int32_t error;
        std::string arg;
    } cases[] = {
        {{"-CXX", "-c_compiler", cxx, "x.c"}, 10659, "-c_compiler"},
        {{"-c++_compiler", cxx, "x.c"}, 10659, "-c++_compiler"},
        {{"-ODBC", "-c_compiler", cxx, "x.c"}, 10659, "-c_compiler"},
        {{"-c_compiler"}, 10660, "-c_compiler"},
        {{"-CXX", "-c++_compiler"}, 10660, "-c++_compiler"},
        {{}, 10603, "<none>"},
        {{"-noshlib", "-echoline"}, 10603, "<none>"},
        {{"-xtarget"}, 10603, "<none>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + " " + std::to_string(c.args.size()));
        Outcome run = drive(c.args);
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.error, c.error);
        EXPECT_EQ(run.error_arg, c.arg);
        EXPECT_FALSE(inst_.ran("tools/cc") || inst_.ran("tools/cxx"));
    }
    // A vector shorter than its count, or none at all.
    char name[] = "qrvcc", source[] = "x.c";
    char *short_vector[] = {name, nullptr, source};
    int status = -1;
    EXPECT_EQ(msbin_quorvel_comp(3, short_vector, &status), 0);
    EXPECT_EQ(mserror_geterr_id(), 10603);
    EXPECT_EQ(msbin_quorvel_comp(0, nullptr, &status), 0);
    EXPECT_EQ(mserror_geterr_id(), 10603);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(inst_.ran("tools/cc"));
}

TEST_F(Driver, AFailingCompilerIsReportedWithItsStatus) {
    setenv("STANDIN_EXIT", "3", 1);
    Outcome run = drive({"x.c"});
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.error, 10612);
    EXPECT_EQ(run.error_arg, inst_ / "tools/cc");

    write_file(inst_ / "config/other", "MSSYS_CCOMPILER=/no/such/compiler\n");
    ASSERT_EQ(msbin_optfile_switch_file((inst_ / "config/other").c_str()), 1);
    run = drive({"x.c"});
    EXPECT_EQ(run.error, 10604);
    EXPECT_EQ(run.error_arg, "/no/such/compiler");
}

TEST_F(Driver, AModeWithoutACompilerIsRefused) {
    write_file(inst_ / "config/other", "MSSYS_CCOMPILER=cc\n");
    ASSERT_EQ(msbin_optfile_switch_file((inst_ / "config/other").c_str()), 1);
    Outcome run = drive({"-CXX", "x.cpp"});
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.error, 10680);
    EXPECT_EQ(run.error_arg, "MSSYS_CXXCOMPILER");
}

TEST_F(Driver, ShowModesPrintTheCommandAndRunNothing) {
    Outcome run;
    std::string line = printed_to(inst_ / "stdout", [&] {
        run = drive({"-echoline", "-noquorvellib", "a b.c", "q\"x"});
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.status, 0);
    std::string r = inst_.root();
    EXPECT_EQ(line, r + "/tools/cc \"-copt\" \"-ccopt\" \"-I" + r + "/include\" \"a b.c\" \"q\\\"x\"\n");
    std::string lines = printed_to(inst_ / "stdout", [&] {
        run = drive({"-listlines", "-noquorvellib", "-c", "x.c"});
    });
    EXPECT_EQ(lines, r + "/tools/cc\n-copt\n-ccopt\n-I" + r + "/include\n-c\nx.c\n");
    EXPECT_FALSE(inst_.ran("tools/cc"));
}

TEST_F(Driver, FileNamesPassAsTheyAre) {
    std::vector<std::string> names = {"-c", "a b.c", "q\"u'o.c", "$HOME.c", "x;rm -rf y.c", "new\nline.c", "*.c"};
    ASSERT_EQ(drive(names).result, 1);
    std::vector<std::string> got = inst_.recorded("tools/cc");
    ASSERT_GE(got.size(), names.size());
    EXPECT_EQ(std::vector<std::string>(got.end() - static_cast<long>(names.size()), got.end()), names);
}

TEST_F(Driver, EnvironmentChoicesAreTaken) {
    setenv("MS_C_COMPILER", (inst_ / "tools/ld").c_str(), 1);
    setenv("MSSPMODEL", "sprad", 1);
    setenv("MSCC_EXTRASYSLIBS", "-x1|-x2 y", 1);
    setenv("MSCC_EXTRASYSLIBS_WARNING", "off", 1);
    setenv("MSCC_USE_TESTOPTIONS", "1", 1);
    restart();
    ASSERT_EQ(drive({"x.c"}).result, 1);
    auto expected =
        words("-copt -ccopt -I$R/include -dev x.c -L$R/shlib -lqrvbasic_sprad -m -net -timer -dl -csys -mt -x1",
              inst_.root());
    expected.push_back("-x2 y");  // split on bars only
    EXPECT_EQ(inst_.recorded("tools/ld"), expected);
    // An option overrides the variable.
    ASSERT_EQ(drive({"-spstd", "x.c"}).result, 1);
    expected = words("-copt -ccopt -I$R/include -dev x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt -x1",
                     inst_.root());
    expected.push_back("-x2 y");
    EXPECT_EQ(inst_.recorded("tools/ld"), expected);
}

TEST_F(Driver, BoundsAreRefusedNeverOverrun) {
    std::vector<std::string> many(3000, "x.c");
    EXPECT_EQ(drive(many).error, 10678);
    std::vector<std::string> long_names(11, std::string(1000, 'n'));
    EXPECT_EQ(drive(long_names).error, 10679);
    // A list variable longer than its 1024-byte list.
    setenv("QRVTEST_LONG", std::string(1100, 'o').c_str(), 1);
    restart();
    inst_.write_options("MSSYS_CCOPTIONS=\"$QRVTEST_LONG\"\n", "config/other");
    ASSERT_EQ(msbin_optfile_switch_file((inst_ / "config/other").c_str()), 1);
    EXPECT_EQ(drive({"x.c"}).error, 10679);
    unsetenv("QRVTEST_LONG");
    EXPECT_FALSE(inst_.ran("tools/cc"));
}

TEST_F(Driver, ExportOptionsComeFromTheModeOfEachRun) {
    inst_.write_options("MSSYS_CCEXPORTSYM_OPT=-exp1 -exp2\n", "config/other");
    ASSERT_EQ(msbin_optfile_switch_file((inst_ / "config/other").c_str()), 1);
    const char *linked = "-copt -ccopt -I$R/include -exp1 -exp2 x.c -L$R/shlib -lqrvbasic -m -net -timer -dl -csys -mt";
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(drive({"x.c"}).result, 1);
        EXPECT_EQ(inst_.recorded("tools/cc"), words(linked, inst_.root()));
    }
    ASSERT_EQ(drive({"-CXX", "x.c"}).result, 1);  // not a mode that exports
    EXPECT_EQ(inst_.recorded("tools/cxx")[3], "x.c");
    ASSERT_EQ(drive({"-linker", inst_ / "tools/ld", "x.c"}).result, 1);
    EXPECT_EQ(inst_.recorded("tools/ld")[3], "x.c");
}

TEST_F(Driver, BuildSystemCompileVariants) {
    inst_.write_options("MSSYS_DEVCCOMPILER=" + inst_ / "tools/cxx" +
                            "\nMSSYS_DEVCCOMPILEROPTIONS=-d1  -d2\nMSSYS_DEVCCOMPILERSYSLIB=-dsys\n"
                            "MSSYS_CCOMPILER_PIC_OPTIONS=-fPIC\n",
                        "config/other");
    ASSERT_EQ(msbin_optfile_switch_file((inst_ / "config/other").c_str()), 1);
    std::string include = "-I$R/rdbms/src -I$R/include";
    struct Case {
        std::vector<std::string> argv;
        bool pic;
        const char *tool;
        std::string expected;
    } cases[] = {
        {{"cc", "x.c"}, false, "cc", "-copt x.c -csys"},
        {{"cc", "-c", "x.c"}, true, "cc", "-copt -fPIC -c x.c"},
        {{"cc_lib", "x.c", "-o", "y"}, false, "cxx", "-d1 -d2 " + include + " x.c -o y -dsys"},
        {{"cc_lib1", "-xc", "x.c"}, false, "cxx", "-d1 -d2 " + include + " -ccopt -xc x.c -dsys"},
        {{"cc", "x.c", "-o", "x-c.o"}, false, "cc", "-copt x.c -o x-c.o"},  // "-c" anywhere: no libraries
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.argv[0]);
        msbin_sysbin_set_pic_options(c.pic);
        std::vector<char *> argv;
        for (std::string &a : c.argv) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(msbin_sysbin_comp(argv.data()), 1);
        EXPECT_EQ(inst_.recorded(std::string("tools/") + c.tool), words(c.expected, inst_.root()));
    }
    msbin_sysbin_set_pic_options(0);
    char other[] = "gcc", empty_name[] = "";
    char *unknown[] = {other, nullptr}, *empty[] = {empty_name, nullptr}, *none[] = {nullptr};
    EXPECT_EQ(msbin_sysbin_comp(unknown), 0);
    EXPECT_EQ(msbin_sysbin_comp(empty), 0);
    EXPECT_EQ(msbin_sysbin_comp(none), 0);
    EXPECT_EQ(msbin_sysbin_comp(nullptr), 0);
}

// Each target test runs in a process of its own: the target stays for the
// process once it is chosen.
class DriverTarget : public BuildToolsTest {
protected:
    std::string make_target(const std::string &name, const std::string &extra = "") {
        inst_.mkdir_p("xtarget/" + name + "/shlib");
        inst_.mkdir_p("xtarget/" + name + "/rdbms/lib");
        inst_.write_options(extra, "config/xcfg/" + name);
        return inst_ / ("xtarget/" + name);
    }
};

TEST_F(DriverTarget, ATargetHasItsRootOptionsAndIncludes) {
    std::string t = make_target("linux-arm", "");
    ASSERT_EQ(drive({"-xtarget", "linux-arm", "x.c"}).result, 1);
    EXPECT_STREQ(msbin_xtarget, "linux-arm");
    EXPECT_EQ(inst_.recorded("tools/cc"), words("-copt -ccopt -I" + t + "/include -I$R/include x.c -L" + t +
                                                    "/shlib -lqrvbasic -m -net -timer -dl -csys -mt",
                                                inst_.root()));
}

TEST_F(DriverTarget, AMissingTargetDirectoryIsNamed) {
    inst_.write_options("", "config/xcfg/nosuch");
    Outcome run = drive({"-xtarget", "nosuch", "x.c"});
    EXPECT_EQ(run.error, 10661);
    EXPECT_EQ(run.error_arg, inst_ / "xtarget/nosuch");
}

TEST_F(DriverTarget, AMissingTargetOptionsFileFails) {
    inst_.mkdir_p("xtarget/nocfg");
    setenv("MS_XTARGET", "nocfg", 1);
    restart();
    EXPECT_EQ(drive({"x.c"}).error, 10601);
}

TEST_F(DriverTarget, Vx55CommandsRunThroughTheCommandInterpreter) {
    make_target("vx55-ppc");
    std::string lines = printed_to(inst_ / "stdout", [&] {
        drive({"-xtarget", "vx55-ppc", "-listlines", "-c", "x.c"});
    });
    EXPECT_EQ(lines.substr(0, lines.find("-copt")), "cmd.exe\n/c\n" + inst_ / "tools/cc" + "\n");
}

// Compile, then link through a response file when the link has 20
// arguments or more.
TEST_F(DriverTarget, EtkernelArmLinksInASecondStep) {
    make_target("etkernel-arm", "MSFEATURE_SHLIB=etkernel\n");
    for (int objects : {16, 22}) {
        SCOPED_TRACE(objects);
        std::vector<std::string> args = {"-xtarget", "etkernel-arm", "-basiclib", "a.c", "-o", "app", "extra.so"};
        std::vector<std::string> link = {"a.o", "-o", "app"};
        for (int i = 0; i < objects; ++i) {
            args.push_back("o" + std::to_string(i) + ".o");
            link.push_back(args.back());
        }
        std::remove((inst_ / "tools/ld.via").c_str());
        ASSERT_EQ(drive(args).result, 1);
        std::string t = inst_ / "xtarget/etkernel-arm";
        EXPECT_EQ(
            inst_.recorded("tools/cc"),
            words("-c -copt -ccopt -I" + t + "/include -I$R/include a.c -m -net -timer -dl -csys -mt", inst_.root()));
        std::vector<std::string> got = inst_.recorded("tools/ld");
        std::vector<std::string> tail = {"extra.so", t + "/shlib/libqrvbasic.so"};
        if (link.size() < 20) {
            link.insert(link.end(), tail.begin(), tail.end());
            EXPECT_EQ(got, link);
        } else {
            ASSERT_EQ(got.size(), 4u);
            EXPECT_EQ(got[0], "--via");
            EXPECT_EQ(std::vector<std::string>(got.begin() + 2, got.end()), tail);
            std::string lines;
            for (const std::string &a : link) lines += a + "\n";
            EXPECT_EQ(read_file(inst_ / "tools/ld.via"), lines);
            EXPECT_NE(access(got[1].c_str(), F_OK), 0);  // removed after the link
        }
    }
}

TEST_F(DriverTarget, EtkernelShSortsLinkOptionsWithoutAResponseFile) {
    make_target("etkernel-sh");
    ASSERT_EQ(
        drive({"-xtarget", "etkernel-sh", "-noshlib", "-basiclib", "a.cpp", "-Lx", "-ly", "-Wl,z", "-o", "p"}).result,
        1);
    std::string t = inst_ / "xtarget/etkernel-sh";
    EXPECT_EQ(inst_.recorded("tools/ld"), words("a.o -Lx -ly -Wl,z -o p " + t + "/common/lib/libqrvbasic.a", ""));
}

}  // namespace
