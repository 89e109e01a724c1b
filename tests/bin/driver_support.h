// A fake installation for the build tools' tests: config/options naming
// stand-in tools (shell scripts that record their argument vector), the
// library directories the driver looks for, and helpers that run the
// driver and read back what it ran or showed.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/space.h"
#include "bin_support.h"
#include "msbasic.h"
#include "msbin.h"
#include "mssio.h"
#include "os_support.h"
#include "support.h"

class Installation {
public:
    Installation() {
        for (const char *d : {"config/xcfg", "rdbms/lib", "rdbms/exec", "shlib", "include", "tools"}) mkdir_p(d);
        write_file(dir_ / "config/initfile.txt", "# test installation\n");
        standin("tools/cc");
        standin("tools/cxx");
        standin("tools/ld");
    }
    const std::string &root() const { return dir_.path(); }
    std::string operator/(const std::string &name) const { return dir_ / name; }
    void mkdir_p(const std::string &sub) const { std::system(("mkdir -p '" + dir_ / sub + "'").c_str()); }
    // A tool that writes its arguments, each ended by a NUL, to <path>.args
    // (a response file named after "--via" is appended as well), and exits
    // with $STANDIN_EXIT.
    void standin(const std::string &sub) const {
        std::string path = dir_ / sub;
        write_file(
            path,
            "#!/bin/sh\nout=\"$0.args\"; : > \"$out\"\nvia=\n"
            "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out\"; [ \"$via\" = 1 ] && cat \"$a\" >> \"$0.via\";"
            " via=; [ \"$a\" = --via ] && via=1; done\nexit ${STANDIN_EXIT:-0}\n");
        chmod(path.c_str(), 0755);
    }
    std::string options(const std::string &extra = "") const {
        std::string text = "MSSYS_CCOMPILER=" + dir_ / "tools/cc" + "\nMSSYS_CXXCOMPILER=" + dir_ / "tools/cxx" +
                           "\nMSSYS_CCOMPILEROPTIONS=-copt\nMSSYS_CXXCOMPILEROPTIONS=-cxxopt\n"
                           "MSSYS_CCOPTIONS=-ccopt\nMSSYS_CCOMPILERSYSLIB=-csys\nMSSYS_CXXCOMPILERSYSLIB=-cxxsys\n"
                           "MSSYS_MTHREADLIB=-mt\nMSSYS_DLLIB=-dl\nMSSYS_MATHLIB=-m\nMSSYS_TIMERLIB=-timer\n"
                           "MSSYS_NETLIB=-net\nMSSYS_DEVCCOMPILEROPTIONS=-dev\nMSSYS_CCSTATICLINK_OPT=-stat\n"
                           "MSFEATURE_SHLIB=linux\nMSSYS_LINKER=" +
                           dir_ / "tools/ld" + "\n";
        return extra + text;  // the first definition of a name counts
    }
    void write_options(const std::string &extra = "", const std::string &file = "config/options") const {
        write_file(dir_ / file, options(extra));
    }
    // The recorded arguments of a stand-in, "" when it did not run.
    std::vector<std::string> recorded(const std::string &tool) const {
        std::string text = read_file(dir_ / (tool + ".args"));
        std::vector<std::string> args;
        for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
            args.push_back(text.substr(at, end - at));
        }
        return args;
    }
    bool ran(const std::string &tool) const { return access((dir_ / (tool + ".args")).c_str(), F_OK) == 0; }
    void forget(const std::string &tool) const { std::remove((dir_ / (tool + ".args")).c_str()); }

private:
    TempDir dir_;
};

// Brings the library and the build tools' options up on an installation.
class BuildToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        inst_.write_options();
        start();
    }
    void TearDown() override {
        if (msbasic_get_init_pid() != 0) msbasic_end_main(msbin_init_cascade);
        for (const char *name : {"QUORVELPATH", "MS_C_COMPILER", "MSSPMODEL", "MSCC_EXTRASYSLIBS",
                                 "MSCC_EXTRASYSLIBS_WARNING", "MS_XTARGET", "STANDIN_EXIT", "MSCC_USE_TESTOPTIONS"}) {
            unsetenv(name);
        }
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
    void start() {
        setenv("QUORVELPATH", inst_.root().c_str(), 1);
        ASSERT_EQ(msbasic_init_main(msbin_init_cascade), 1);
    }
    // Ends and starts again: the library reads the environment at init.
    void restart() {
        msbasic_end_main(msbin_init_cascade);
        start();
    }
    Installation inst_;
};
