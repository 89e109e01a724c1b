// Paths and temporary-file names: joining and splitting, the series of a
// connection, its turn through 0x4000..0x4030, the temporary directory and
// the removal of a connection's files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "conn/tmpfile.h"
#include "msbasic.h"
#include "msconn.h"
#include "mstmp.h"
#include "support.h"
#include "vars_support.h"

namespace {

TEST(Path, Join) {
    struct Case {
        const char *directory, *name;
        int size;
        const char *expected;  // null: does not fit
    };
    const Case cases[] = {
        {"c:tmp", "a.txt", 12, "c:tmp/a.txt"},
        {"c:tmp", "a.txt", 11, nullptr},
        {"", "a", 3, "/a"},
        {"d", "", 3, "d/"},
        {"d", "", 2, nullptr},
        {"d", "e", 1, nullptr},
    };
    for (const Case &c : cases) {
        Canary buffer(static_cast<size_t>(c.size));
        int ok = mspath_mkpath(buffer.chars(), c.size, c.directory, c.name);
        EXPECT_EQ(ok, c.expected != nullptr);
        EXPECT_STREQ(buffer.chars(), c.expected != nullptr ? c.expected : "");
        EXPECT_TRUE(buffer.untouched_from(std::strlen(buffer.chars()) + 1)) << c.directory << " " << c.name;
    }
    char in_place[16] = "dir";
    EXPECT_EQ(mspath_mkpath(in_place, sizeof in_place, in_place, "x"), 1);
    EXPECT_STREQ(in_place, "dir/x");
    EXPECT_EQ(mspath_mkpath(nullptr, 10, "a", "b"), 0);
    Canary none(4);
    EXPECT_EQ(mspath_mkpath(none.chars(), 0, "a", "b"), 0);
    EXPECT_TRUE(none.untouched_from(0));
}

TEST(Path, JoinMany) {
    Canary exact(9);
    EXPECT_EQ(mspath_mkpath_multi(exact.chars(), 9, "a", "bb", "ccc", nullptr), 1);
    EXPECT_STREQ(exact.chars(), "a/bb/ccc");
    EXPECT_TRUE(exact.untouched_from(9));
    Canary small(8);
    EXPECT_EQ(mspath_mkpath_multi(small.chars(), 8, "a", "bb", "ccc", nullptr), 0);
    EXPECT_STREQ(small.chars(), "");
    EXPECT_TRUE(small.untouched_from(1));
    Canary empty(4);
    EXPECT_EQ(mspath_mkpath_multi(empty.chars(), 4, nullptr), 1);
    EXPECT_STREQ(empty.chars(), "");
    EXPECT_TRUE(empty.untouched_from(1));
}

TEST(Path, Tail) {
    const std::pair<const char *, const char *> cases[] = {
        {"dir/sub\\file", "file"},         {"c:name", "name"}, {"", ""}, {"plain", "plain"}, {"a/", ""}, {"/", ""},
        {"\xC3\xA9/\xC3\xBC", "\xC3\xBC"}, {"x/\xC3", "\xC3"},
    };
    for (const auto &[path, tail] : cases) EXPECT_STREQ(mspath_tailname(path), tail) << path;
    EXPECT_EQ(mspath_tailname(nullptr), nullptr);
}

// A connection of the current task, freed (with its series) at the end.
struct Connection {
    msconn_connection *handle = msconn_alloc();
    ~Connection() { msconn_free(handle, 1); }
};

class TmpTest : public LibraryTest {
protected:
    void SetUp() override {
        setenv("MSTMPDIR", dir.str().c_str(), 1);
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        unsetenv("MSTMPDIR");
    }
    ScratchDir dir;
};

TEST_F(TmpTest, NamesOfASeries) {
    Connection c;
    EXPECT_EQ(mstmp_set_tmpfile_postfix_value(0x1a2), 0x1a2);
    char prefix[64];
    char expected[64];
    std::snprintf(expected, sizeof expected, "QRV_%d_01a2_%llx_", static_cast<int>(getpid()),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(c.handle)));
    ASSERT_EQ(mstmp_file(prefix, sizeof prefix, -1, c.handle), 1);
    EXPECT_STREQ(prefix, expected);

    char path[1024];
    ASSERT_EQ(mstmp_file(path, sizeof path, 0x4000 + 65536, c.handle), 1);
    EXPECT_EQ(std::string(path), dir.str() + "/" + expected + "4000");
    Canary small(8);
    EXPECT_EQ(mstmp_file(small.chars(), 8, 0x4000, c.handle), 0);
    EXPECT_TRUE(small.untouched_from(1));
    EXPECT_EQ(mstmp_file(small.chars(), 8, -1, c.handle), 0);
}

TEST_F(TmpTest, NewFilesTurnThroughTheSeries) {
    Connection c;
    char path[1024];
    for (int i = 0; i <= 0x30; ++i) {
        ASSERT_EQ(mstmp_newfile(path, sizeof path, c.handle), 1) << i;
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "_%04x", 0x4000 + i);
        EXPECT_EQ(std::string(path).substr(std::strlen(path) - 5), suffix);
        dir.file(std::filesystem::path(path).filename().string(), "");
    }
    // All 49 exist: one turn finds none.
    EXPECT_EQ(mstmp_newfile(path, sizeof path, c.handle), 0);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16351}));
    std::string first = std::string(path).substr(0, std::strlen(path) - 4) + "4000";
    std::filesystem::remove(first);
    ASSERT_EQ(mstmp_newfile(path, sizeof path, c.handle), 1);
    EXPECT_EQ(std::string(path), first);
}

TEST_F(TmpTest, ReleasingAConnectionRemovesOnlyItsFiles) {
    auto *a = new Connection;
    Connection b;
    char path[1024];
    std::vector<std::string> of_a, of_b;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(mstmp_newfile(path, sizeof path, a->handle), 1);
        of_a.push_back(path);
        std::filesystem::create_directories(std::string(path) + (i == 0 ? "/sub/deeper" : ""));
        if (i != 0) dir.file(std::filesystem::path(path).filename().string(), "x");
        ASSERT_EQ(mstmp_newfile(path, sizeof path, b.handle), 1);
        of_b.push_back(dir.file(std::filesystem::path(path).filename().string(), "y"));
    }
    delete a;
    for (const std::string &p : of_a) EXPECT_FALSE(std::filesystem::exists(p)) << p;
    for (const std::string &p : of_b) EXPECT_TRUE(std::filesystem::exists(p)) << p;
}

TEST_F(TmpTest, NotAConnection) {
    char path[64];
    uint32_t fake[64] = {MSCONN_MAGIC};
    msconn_connection *freed = msconn_alloc();
    msconn_free(freed, 1);
    for (void *connection : {static_cast<void *>(nullptr), static_cast<void *>(fake), static_cast<void *>(freed)}) {
        EXPECT_EQ(mstmp_file(path, sizeof path, 0, connection), 0);
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
        EXPECT_EQ(mstmp_newfile(path, sizeof path, connection), 0);
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
    }
}

TEST_F(TmpTest, TemporaryDirectory) {
    std::string expected = dir.str();
    int length = msbasic_get_tmpdir_len();
    EXPECT_EQ(length, static_cast<int>(expected.size()) + 1);
    Canary small(static_cast<size_t>(length - 1));
    int size = length - 1;
    EXPECT_EQ(mstmp_get_tmpdir(small.chars(), &size), nullptr);
    EXPECT_EQ(size, length);
    EXPECT_TRUE(small.untouched_from(0));
    Canary exact(static_cast<size_t>(length));
    size = length;
    EXPECT_EQ(msbasic_get_tmpdir(exact.chars(), &size), exact.chars());
    EXPECT_EQ(exact.chars(), expected);
    EXPECT_TRUE(exact.untouched_from(static_cast<size_t>(length)));
    EXPECT_EQ(msbasic_get_tmpdir(exact.chars(), nullptr), nullptr);

    std::string longest(1000, 'd');
    EXPECT_EQ(msbasic_set_tmpdir(longest.c_str()), 1);
    EXPECT_EQ(msbasic_get_tmpdir_len(), 993);
    EXPECT_EQ(msbasic_set_tmpdir(nullptr), 0);
}

TEST(TmpDirectory, InactiveOutsideInit) {
    int size = 100;
    char buffer[100];
    EXPECT_EQ(msbasic_get_tmpdir(buffer, &size), nullptr);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(msbasic_get_tmpdir_len(), -1);
    EXPECT_EQ(msbasic_set_tmpdir("/tmp"), 0);
}

}  // namespace
