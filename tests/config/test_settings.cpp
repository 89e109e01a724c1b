// Process settings: the installation directory in each branch of its
// resolution, the initialisation and environment files and the temporary
// directory as the library's init reads them, each in a child process
// (this program run again) with a prepared environment; and the small
// settings functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "config/store.h"
#include "msbasic.h"
#include "mstask.h"
#include "msvars.h"
#include "support.h"
#include "vars_support.h"

namespace {

std::string text_of(const char *value) { return value != nullptr ? value : "(null)"; }

// Runs only inside a child: initialises the library as the environment
// says and prints what it found.
TEST(Child, Report) {
    if (std::getenv("QRV_TEST_CHILD") == nullptr) GTEST_SKIP() << "runs as a child of the other tests";
    if (std::getenv("QRV_TEST_HIDE_STORE") != nullptr) qrv::store::set_hidden(true);
    if (const char *preset = std::getenv("QRV_TEST_PRESET")) msapi_setquorvelpath_qrvcs(preset);
    int ok = msbasic_init_main(msbasic_init_cascade);
    std::printf("@@init=%d\n", ok);
    std::string ids;
    if (!ok) {
        for (int32_t id; (id = mserror_geterr_id()) != 0; mserror_pop()) {
            ids += std::to_string(id);
            if (id == 16545 || id == 16522) ids.append("(").append(string_arg(0));
            if (id == 16545) ids.append(":").append(std::to_string(number_arg(1)));
            if (id == 16545 || id == 16522) ids.append(")");
            ids += " ";
        }
    }
    std::printf("@@errors=%s\n", ids.c_str());
    std::printf("@@path=%s\n", text_of(msbasic_get_quorvelpath()).c_str());
    std::printf("@@real=%d\n", msbasic_quorvelpath_is_real());
    std::printf("@@origin=%s\n", text_of(msbasic_initfile_getvar_env("QRV_CONFIG_ORIGIN")).c_str());
    char tmpdir[1024];
    int size = sizeof tmpdir;
    std::printf("@@tmpdir=%s\n", text_of(msbasic_get_tmpdir(tmpdir, &size)).c_str());
    std::fflush(stdout);
    msbasic_end_main(msbasic_init_cascade);
}

std::string place(std::string text, const std::string &dir) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir);
    return text;
}

// env: "NAME=value" items and expected: "key=value" items, each separated
// by "|"; "@" stands for the scratch directory.
struct Branch {
    const char *label, *env;
    const char *initfile;  // written to @/inst/config/initfile.txt (null: none)
    bool copy_program;     // run a copy at @/inst/bin/ instead of this program
    const char *expected;
};

const char kInstalled[] = "QRV_CONFIG_ORIGIN=installed\n";

const Branch kBranches[] = {
    {"preset_wins", "QRV_TEST_PRESET=@/inst|QUORVELPATH=/elsewhere|QUORVELPATH_FROM_ENV=1", kInstalled, false,
     "init=1|path=@/inst|origin=installed"},
    {"from_env_keeps_slashes", "QUORVELPATH_FROM_ENV=1|QUORVELPATH=@/inst/", kInstalled, false,
     "init=1|path=@/inst/|origin=installed"},
    {"from_env_without_path_uses_store", "QUORVELPATH_FROM_ENV=yes|QUORVELPATH=", nullptr, false,
     "init=1|path=<INMEM>|real=0|origin=built-in"},
    {"from_env_without_store", "QUORVELPATH_FROM_ENV=1|QRV_TEST_HIDE_STORE=1", nullptr, false, "init=0|errors=16301 "},
    {"environment", "QUORVELPATH=@/inst", kInstalled, false, "init=1|path=@/inst|real=1|origin=installed"},
    {"folder_of_the_library", "", "QRV_CONFIG_ORIGIN=beside\n", true, "init=1|path=@/inst|origin=beside"},
    {"nothing_installed", "", nullptr, false, "init=1|path=<INMEM>|real=0|origin=built-in"},
    {"nothing_at_all", "QRV_TEST_HIDE_STORE=1", nullptr, false, "init=0|errors=16309 "},
    {"installation_without_initfile_uses_store", "QUORVELPATH=@/empty", nullptr, false,
     "init=1|path=@/empty|origin=built-in"},
    {"broken_initfile", "QUORVELPATH=@/inst", "A=1\nB=\xC3(\n", false,
     "init=0|errors=16302 16545(@/inst/config/initfile.txt:2) 16548 "},
    {"broken_envfile", "QUORVELPATH=@/inst|MSENVFILE=@/env.txt", "A=1\n", false,
     "init=0|errors=16519 16545(@/env.txt:1) 16546 "},
    {"tmpdir_from_initfile", "QUORVELPATH=@/inst|TMPDIR=/nonexistent", "MSTMPDIR=@\n", false, "init=1|tmpdir=@"},
    {"tmpdir_from_environment", "TEMP=/nonexistent|TMPDIR=@", nullptr, false, "init=1|tmpdir=@"},
    {"tmpdir_default", "", nullptr, false, "init=1|tmpdir=."},
    {"tmpdir_missing", "MSTMPDIR=@/missing", nullptr, false, "init=0|errors=16522(@/missing) "},
    {"tmpdir_is_a_file", "TMP=@/env.txt", nullptr, false, "init=0|errors=16522(@/env.txt) "},
    {"envfile_redirects_standard_error", "MSENVFILE=@/redirect.txt", nullptr, false, "init=1|file=@/err.txt"},
};

std::vector<std::string> items(const std::string &text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t bar = text.find('|', at);
        if (bar == std::string::npos) bar = text.size();
        out.push_back(text.substr(at, bar - at));
        at = bar + 1;
    }
    return out;
}

class Installation : public ::testing::TestWithParam<Branch> {};

TEST_P(Installation, ResolvedInAChild) {
    const Branch &b = GetParam();
    ScratchDir dir;
    std::filesystem::create_directories(dir.path / "empty");
    dir.file("env.txt", "E=" + std::string(2000, 'e') + "\n");
    dir.file("redirect.txt", place("MSSTDERR=@/err.txt\n", dir.str()));
    if (b.initfile != nullptr) dir.file("inst/config/initfile.txt", place(b.initfile, dir.str()));
    std::string program = self_program();
    if (b.copy_program) {
        std::filesystem::create_directories(dir.path / "inst/bin");
        std::filesystem::copy_file(program, dir.path / "inst/bin/child");
        program = (dir.path / "inst/bin/child").string();
    }
    std::map<std::string, std::string> got = run_child(program, items(place(b.env, dir.str())));
    ASSERT_EQ(got["status"], "0") << "child failed";
    for (const std::string &item : items(place(b.expected, dir.str()))) {
        size_t equals = item.find('=');
        if (item.rfind("file=", 0) == 0) {
            EXPECT_TRUE(std::filesystem::exists(item.substr(equals + 1))) << item;
        } else {
            EXPECT_EQ(got[item.substr(0, equals)], item.substr(equals + 1)) << item;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Branches, Installation, ::testing::ValuesIn(kBranches),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(Settings, PresetLimits) {
    EXPECT_EQ(msapi_setquorvelpath_qrvcs(nullptr), 0);
    EXPECT_EQ(msapi_setquorvelpath_qrvcs(std::string(1024, 'p').c_str()), 0);
    EXPECT_EQ(msapi_setquorvelpath_qrvcs(std::string(1023, 'p').c_str()), 1);
    EXPECT_EQ(msapi_setquorvelpath_qrvcs(""), 1);  // empty again: no preset
}

TEST(Settings, ConstantsAndProgramName) {
    EXPECT_EQ(msbasic_get_codeset_id(), 3);
    EXPECT_STREQ(msbasic_get_codeset_name(), "UTF8");
    EXPECT_STREQ(msbasic_get_codeset_dirname(), "utf8");
    for (int q = -1; q <= 14; ++q) EXPECT_EQ(msbasic_sysinfo_os_is(q), q == 1 ? 1 : 0) << q;

    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    static const char name[] = "qrvtool";
    EXPECT_EQ(msbasic_set_progname(name), 1);
    EXPECT_EQ(msbasic_get_progname(), name);
    msbasic_set_quorvelpath("/opt/q");
    EXPECT_EQ(msbasic_quorvelpath_is_real(), 1);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(msbasic_get_quorvelpath(), nullptr);
}

}  // namespace
