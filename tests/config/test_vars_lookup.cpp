// MS-variable lookup: the environment snapshot (names without regard to
// case), lookups in sets, booleans, and the precedence of environment,
// initialisation file and environment file as the library's init sets
// them up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/space.h"
#include "msbasic.h"
#include "msstr.h"
#include "msvars.h"
#include "support.h"
#include "vars_support.h"

namespace {

const char *kOwn[] = {"QRV_X", "MSENVFILE", "QUORVELPATH", "QUORVELPATH_FROM_ENV", "Qrv_Mixed", "QRV_MIXED"};

void clear_own_variables() {
    for (const char *name : kOwn) unsetenv(name);
}

std::string show(const char *value) { return value != nullptr ? std::string("'") + value + "'" : "null"; }

class LookupTest : public LibraryTest {
protected:
    void SetUp() override {
        clear_own_variables();
        setenv("Qrv_Mixed", "first", 1);
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        clear_own_variables();
    }
};

TEST_F(LookupTest, EnvironmentNamesIgnoreCase) {
    EXPECT_STREQ(msvars_getenv("QRV_MIXED"), "first");
    EXPECT_STREQ(msvars_getenv("qrv_mixed"), "first");
    EXPECT_EQ(msvars_getenv("QRV_MIXE"), nullptr);
    EXPECT_EQ(msvars_getenv("QRV_MIXEDX"), nullptr);
    EXPECT_EQ(msvars_getenv(nullptr), nullptr);
    // A later change is seen once the snapshot is taken again; of two
    // names equal without regard to case the first in the block wins.
    setenv("QRV_MIXED", "second", 1);
    EXPECT_STREQ(msvars_getenv("QRV_MIXED"), "first");
    ASSERT_EQ(msvars_envinit(), 1);
    EXPECT_STREQ(msvars_getenv("qrv_MIXED"), "first");
    unsetenv("Qrv_Mixed");
    msvars_envend();  // without a snapshot the first lookup takes one
    EXPECT_STREQ(msvars_getenv("QRV_MIXED"), "second");
    // Every variable of a large environment is found.
    for (int i = 0; i < 300; ++i) setenv(("QRV_MANY_" + std::to_string(i)).c_str(), std::to_string(i).c_str(), 1);
    msvars_envinit();
    for (int i = 0; i < 300; ++i) {
        std::string number = std::to_string(i);
        EXPECT_STREQ(msvars_getenv(("qrv_many_" + number).c_str()), number.c_str());
        unsetenv(("QRV_MANY_" + std::to_string(i)).c_str());
    }
}

TEST_F(LookupTest, SetsCompareNamesExactly) {
    msvars_set *set = msvars_readbuf("Path=x\nA\nA=2\nB=no\nC=yes");
    EXPECT_EQ(msvars_getvar(set, "PATH"), nullptr);
    EXPECT_STREQ(msvars_getvar(set, "Path"), "x");
    EXPECT_STREQ(msvars_getvar(set, "A"), "");  // the first, without value
    EXPECT_EQ(msvars_getvar_boolean(set, "A"), 0);
    EXPECT_EQ(msvars_getvar_boolean(set, "B"), 0);
    EXPECT_EQ(msvars_getvar_boolean(set, "C"), 1);
    EXPECT_EQ(msvars_getvar_boolean(set, "D"), 0);
    EXPECT_EQ(msvars_getvar(nullptr, "A"), nullptr);
    EXPECT_EQ(msvars_getvar(set, nullptr), nullptr);

    // Continuing after a match finds the next definition.
    const msvars_entry *found = nullptr;
    EXPECT_STREQ(msvars_getvar_limits(set, "A", &found, nullptr, nullptr), "");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(msvars_getvar_limits(set, "A", &found, found + 2, nullptr), "2");
    EXPECT_EQ(msvars_getvar_limits(set, "A", &found, found + 2, nullptr), nullptr);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(msvars_getvar_limits(set, "A", &found, found, reinterpret_cast<const msvars_entry *>(set)), nullptr);

    std::vector<std::string> seen;
    msvars_getvar_all(
        set,
        [](void *context, const char *name, const char *value) {
            static_cast<std::vector<std::string> *>(context)->push_back(std::string(name) + "=" + value);
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"Path=x", "A=", "A=2", "B=no", "C=yes"}));
    msvars_freevars(set);
}

// Precedence: environment (set, empty or unset) x initialisation file x
// environment file, as msvars_getenv and msbasic_initfile_getvar_env see
// QRV_X after the library's init.
struct Precedence {
    const char *label;
    const char *environment;   // QRV_X in the environment; null: unset
    const char *initfile;      // the installation's initialisation file
    const char *envfile;       // the environment file (null: none)
    bool envfile_in_initfile;  // MSENVFILE given by the initialisation file
    const char *getenv;
    const char *getvar_env;
};

const Precedence kPrecedence[] = {
    {"environment_wins", "e", "QRV_X=i\n", nullptr, false, "e", "e"},
    {"initfile_when_unset", nullptr, "QRV_X=i\n", nullptr, false, nullptr, "i"},
    {"empty_hides_initfile", "", "QRV_X=i\n", nullptr, false, "", nullptr},
    {"first_definition_wins", nullptr, "QRV_X=i\nQRV_X=j\n", nullptr, false, nullptr, "i"},
    {"initfile_without_value", nullptr, "QRV_X\n", nullptr, false, nullptr, ""},
    {"neither", nullptr, "A=1\n", nullptr, false, nullptr, nullptr},
    {"envfile_replaces_environment", "e", "QRV_X=i\n", "QRV_X=f\n", false, "f", "f"},
    {"envfile_without_it_hides_environment", "e", "QRV_X=i\n", "OTHER=1\n", false, nullptr, "i"},
    {"envfile_names_are_exact", "e", "QRV_X=i\n", "qrv_x=f\n", false, nullptr, "i"},
    {"envfile_empty_entry", "e", "QRV_X=i\n", "QRV_X\n", false, "", nullptr},
    {"envfile_from_initfile", "e", "QRV_X=i\n", "QRV_X=f\n", true, "f", "f"},
};

class PrecedenceTest : public ::testing::TestWithParam<Precedence> {
protected:
    void TearDown() override {
        msbasic_end_main(msbasic_init_cascade);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
        clear_own_variables();
    }
    ScratchDir dir;
};

TEST_P(PrecedenceTest, Sources) {
    const Precedence &c = GetParam();
    clear_own_variables();
    std::string initfile = c.initfile;
    if (c.envfile != nullptr) {
        std::string envfile = dir.file("env.txt", c.envfile);
        if (c.envfile_in_initfile) {
            initfile = "MSENVFILE=" + envfile + "\n" + initfile;
        } else {
            setenv("MSENVFILE", envfile.c_str(), 1);
        }
    }
    dir.file("install/config/initfile.txt", initfile);
    setenv("QUORVELPATH", (dir.str() + "/install").c_str(), 1);
    if (c.environment != nullptr) setenv("QRV_X", c.environment, 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    EXPECT_EQ(show(msvars_getenv("QRV_X")), show(c.getenv));
    EXPECT_EQ(show(msbasic_initfile_getvar_env("QRV_X")), show(c.getvar_env));
    EXPECT_EQ(msvars_envfile_get_vars() != nullptr, c.envfile != nullptr);
    EXPECT_NE(msbasic_initfile_get_vars(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, PrecedenceTest, ::testing::ValuesIn(kPrecedence),
                         [](const auto &info) { return std::string(info.param.label); });

// MSENVFILE naming something that is not a file is no environment file.
TEST(EnvFile, IgnoredUnlessAFile) {
    ScratchDir dir;
    for (std::string name : {dir.str(), dir.str() + "/missing", std::string("")}) {
        clear_own_variables();
        setenv("MSENVFILE", name.c_str(), 1);
        setenv("QRV_X", "e", 1);
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1) << name;
        EXPECT_EQ(msvars_envfile_get_vars(), nullptr);
        EXPECT_STREQ(msvars_getenv("QRV_X"), "e");
        msbasic_end_main(msbasic_init_cascade);
    }
    // The null device is a file, and an empty one.
    setenv("MSENVFILE", "nul", 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    EXPECT_NE(msvars_envfile_get_vars(), nullptr);
    EXPECT_EQ(msvars_getenv("QRV_X"), nullptr);
    msbasic_end_main(msbasic_init_cascade);
    clear_own_variables();
}

}  // namespace
