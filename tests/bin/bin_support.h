// Shared by the build tools' tests: an installation in a scratch directory
// brought up with the build tools' cascade, this test program standing in
// for the programs the tools start (it records the argument vector it was
// given), and what a call printed on standard output.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/space.h"
#include "msbin.h"
#include "mssio.h"
#include "os_support.h"
#include "support.h"

// The stand-in's body, Child.Record, is in test_stand_in.cpp (one per program).

using Lines = std::vector<std::string>;

// What fn printed on standard output, through the library's stream or
// descriptor 1, caught in the file path.
template <class F>
std::string printed_to(const std::string &path, F fn) {
    std::fflush(stdout);
    int saved = dup(1), to = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(to, 1);
    close(to);
    fn();
    mssio_flush(mssio_get_stdout());
    dup2(saved, 1);
    close(saved);
    return read_file(path);
}

class BinTools : public ::testing::Test {
protected:
    TempDir dir;
    std::string record = dir / "record";

    void SetUp() override {
        for (const char *sub : {"config/xcfg", "rdbms/exec", "tools", "empty"}) {
            std::filesystem::create_directories(dir / sub);
        }
        write_file(dir / "config/initfile.txt", "QRV_TEST_INSTALLATION=1\n");
        write_file(dir / "config/options", "MSSYS_WHICH=host\n");
        setenv("QUORVELPATH", dir.path().c_str(), 1);
        setenv("GTEST_FILTER", "Child.Record", 1);
        setenv("QRV_RECORDING", "1", 1);
        setenv("QRV_RECORD", record.c_str(), 1);
        setenv("QRV_RECORD_EXIT", "0", 1);
        const char *path = std::getenv("PATH");
        saved_path_ = path != nullptr ? path : "/usr/bin:/bin";
        start();
    }
    void TearDown() override {
        stop();
        setenv("PATH", saved_path_.c_str(), 1);
        for (const char *name : {"QUORVELPATH", "GTEST_FILTER", "QRV_RECORDING", "QRV_RECORD", "MS_XTARGET"}) {
            unsetenv(name);
        }
    }
    void start() {
        ASSERT_EQ(msbasic_init_main(msbin_init_cascade), 1);
        msbasic_set_progname("qrvtest");
    }
    void stop() {
        msbin_set_xtarget("");
        msbasic_end_main(msbin_init_cascade);
        EXPECT_EQ(msbasic_get_init_pid(), 0);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
    // Makes a stand-in program at dir/relative and returns its path.
    std::string stand_in(const std::string &relative) const {
        std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"), dir / relative);
        return dir / relative;
    }
    // The vector the stand-in last recorded (waiting for a detached one);
    // empty when none ran. The record is removed.
    Lines recorded(int wait_ms = 0) const {
        for (int i = 0; i < wait_ms / 10 && !std::filesystem::exists(record); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Lines lines;
        std::string text = read_file(record);
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            lines.push_back(text.substr(at, end - at));
        }
        std::filesystem::remove(record);
        return lines;
    }
    // Switches the options file to one holding text.
    void options(const std::string &text) const {
        write_file(dir / "opts", text);
        ASSERT_EQ(msbin_optfile_switch_file((dir / "opts").c_str()), 1);
    }
    template <class F>
    std::string printed(F fn) const {
        return printed_to(dir / "stdout", fn);
    }

private:
    std::string saved_path_;
};

// A null-terminated vector over strings.
struct Argv {
    std::vector<std::string> text;
    std::vector<char *> pointers;
    explicit Argv(std::vector<std::string> args) : text(std::move(args)) {
        for (std::string &s : text) pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    char *const *get() { return pointers.data(); }
};
