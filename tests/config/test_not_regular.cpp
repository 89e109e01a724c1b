// Files the library reads as data must be regular files: a FIFO named as a
// variable file, the initialisation file, MSENVFILE or an NLS file is
// refused with the file's name instead of blocking the reader for a writer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "msbasic.h"
#include "msvars.h"
#include "support.h"
#include "vars_support.h"

namespace {

class NotRegular : public ::testing::Test {
protected:
    void SetUp() override { alarm(30); }  // a reader that waits fails the test instead of hanging it
    void TearDown() override {
        for (const char *name : {"QUORVELPATH", "MSENVFILE", "MSNLSFILE", "MSLANG"}) unsetenv(name);
        msbasic_end_all();
        EXPECT_EQ(msbasic_get_init_pid(), 0);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
        alarm(0);
    }
    std::string fifo(const std::string &name) {
        std::filesystem::path p = dir.path / name;
        std::filesystem::create_directories(p.parent_path());
        EXPECT_EQ(mkfifo(p.c_str(), 0600), 0);
        return p.string();
    }
    ScratchDir dir;
};

TEST_F(NotRegular, VariableFileReader) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    std::string path = fifo("vars.txt");
    EXPECT_EQ(msvars_readfile(path.c_str()), nullptr);
    EXPECT_EQ(string_arg(0), path);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16545, 16473, 16151}));
    for (const char *null_device : {"/dev/null", "nul"}) {  // reads as an empty file
        msvars_set *set = msvars_readfile(null_device);
        ASSERT_NE(set, nullptr) << null_device;
        EXPECT_EQ(set->index_used, 0);
        msvars_freevars(set);
    }
    msbasic_end_main(msbasic_init_cascade);
}

// The stack, top first, as "id name" with the entry's string argument 0.
std::vector<std::string> report() {
    std::vector<std::string> out;
    for (int32_t id; (id = mserror_geterr_id()) != 0; mserror_pop())
        out.push_back(std::to_string(id) + " " + string_arg(0));
    return out;
}

struct InitCase {
    const char *variable;  // set to the scratch directory followed by value
    const char *value;
    const char *fifo;                 // under the scratch directory
    std::vector<std::string> report;  // "@" stands for the FIFO's path
};

TEST_F(NotRegular, InitRefusesAFifo) {
    const InitCase cases[] = {
        {"QUORVELPATH", "", "config/initfile.txt", {"16302 <none>", "16545 @", "16473 @", "16151 <number>"}},
        {"MSENVFILE", "/env.txt", "env.txt", {"16519 <none>", "16545 @", "16473 @", "16151 <number>"}},
        {"MSNLSFILE", "/nls_", "nls_utf8_en", {"16303 <none>", "16473 @", "16151 <number>"}},
    };
    for (const InitCase &c : cases) {
        SCOPED_TRACE(c.variable);
        std::string path = fifo(c.fifo);
        setenv("MSLANG", "english", 1);
        setenv(c.variable, (dir.str() + c.value).c_str(), 1);
        EXPECT_EQ(msbasic_init_main(msbasic_init_cascade), 0);
        std::vector<std::string> expected = c.report;
        for (std::string &line : expected) {
            if (line.back() == '@') line.replace(line.size() - 1, 1, path);
        }
        EXPECT_EQ(report(), expected);
        msbasic_end_all();
        std::filesystem::remove(path);
        unsetenv(c.variable);
    }
}

}  // namespace
