// File I/O on descriptors: open modes and their errors, the null
// descriptor, bad arguments, positioning, locks, information, names and
// directory listings.
#include <fcntl.h>
#include <unistd.h>

#include <set>
#include <tuple>
#include <vector>

#include "msfio.h"
#include "msos.h"
#include "os_support.h"
#include "support.h"

namespace {

class Fio : public LibraryTest {
protected:
    TempDir dir;
    const std::string path = dir / "f";
};

// A call's result and the id then on top of the error stack.
struct Outcome {
    int64_t result;
    int32_t id;
    bool operator==(const Outcome &) const = default;
    friend std::ostream &operator<<(std::ostream &o, const Outcome &x) { return o << x.result << " with " << x.id; }
};
Outcome outcome(int64_t result) { return {result, mserror_geterr_id()}; }

// What each access opens, where "XY" written at once goes, and the errors:
// the write modes never create, unknown letters are refused.
TEST_F(Fio, AccessDecidesWhatOpensAndWhereWritesGo) {
    const struct {
        char access;
        bool exists;
        int32_t id;         // 0: success
        const char *after;  // the file after writing "XY"; null: a read-only descriptor
    } kModes[] = {{'r', true, 0, nullptr},      {'w', true, 0, "XYc"},        {'a', true, 0, "abcXY"},
                  {'u', true, 0, "XYc"},        {'e', true, 0, "abcXY"},      {'l', true, 0, "abcXY"},
                  {'w', false, 16473, nullptr}, {'a', false, 16473, nullptr}, {'R', true, 16126, nullptr}};
    for (const auto &c : kModes) {
        SCOPED_TRACE(std::string(1, c.access) + (c.exists ? " existing" : " missing"));
        std::remove(path.c_str());
        if (c.exists) write_file(path, "abc");
        mserror_seterr(16001, 0);  // an older report the failures must replace
        msfio_fd fd = msfio_open(path.c_str(), 1, c.access);
        if (c.id != 0) {
            EXPECT_EQ(fd, MSFIO_NONE);
            EXPECT_EQ(mserror_geterr_id(), c.id);
            EXPECT_EQ(entry_count(), c.id == 16473 ? 2 : 1) << "the report starts anew";
            if (c.id == 16473) {
                EXPECT_EQ(string_arg(0), path);
                EXPECT_TRUE(mserror_pop() && mserror_geterr_id() == 16151 && number_arg(0) == ENOENT);
            }
            continue;
        }
        int wrote = msfio_write(fd, "XY", 2);
        char buf[8];
        int got = msfio_read(fd, buf, sizeof buf);
        EXPECT_EQ(msfio_close(fd), 1);
        if (c.after == nullptr) {
            EXPECT_EQ(wrote, -1);
            EXPECT_EQ(got, 3);
        } else {
            EXPECT_EQ(wrote, 2);
            EXPECT_EQ(read_file(path), c.after);
        }
    }
}

TEST_F(Fio, CreateTruncatesOrRefusesAnExistingFile) {
    write_file(path, "old contents");
    EXPECT_EQ(msfio_close(msfio_create(path.c_str(), 1, 0, 0)), 1);
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(outcome(msfio_create(path.c_str(), 1, 0, 1)), (Outcome{MSFIO_NONE, 16470}));
    EXPECT_EQ(msfio_get_qrv_oserr(), 2) << "EEXIST";
    EXPECT_EQ(mserror_geterr_id(), 16470) << "classifying leaves the stack alone";
}

TEST_F(Fio, TemporaryFileLeavesNoNameBehindUnlessTheRuntimeTypeSaysOrdinary) {
    msfio_fd fd = msfio_create_tmp(path.c_str(), 1, 0, 1);
    EXPECT_EQ(msfio_write(fd, "data", 4), 4);
    EXPECT_EQ(msfio_exists(path.c_str()), 0);
    char buf[8] = {};
    EXPECT_EQ(msfio_seek(fd, 0), 0);
    EXPECT_EQ(msfio_read(fd, buf, 8), 4) << "still readable";
    EXPECT_EQ(msfio_close(fd), 1);
    msrte_type = 1;
    EXPECT_EQ(msfio_close(msfio_create_tmp(path.c_str(), 1, 0, 1)), 1);
    msrte_type = 0;
    EXPECT_EQ(msfio_exists(path.c_str()), 2);
}

TEST_F(Fio, NullDescriptorDoesNothingAndReportsNothing) {
    static char b[4];
    const struct {
        const char *name;
        int64_t (*call)();
        int64_t expected;
    } kCalls[] = {
        {"read", [] { return int64_t{msfio_read(MSFIO_NULL, b, 4)}; }, 0},
        {"write", [] { return int64_t{msfio_write(MSFIO_NULL, "abcd", 4)}; }, 4},
        {"tell", [] { return msfio_tell(MSFIO_NULL); }, 0},
        {"seek", [] { return msfio_seek(MSFIO_NULL, 5); }, -1},
        {"seek_relative", [] { return int64_t{msfio_seek_relative(MSFIO_NULL, 5)}; }, -1},
        {"sync", [] { return int64_t{msfio_sync(MSFIO_NULL)}; }, 1},
        {"ftruncate", [] { return int64_t{msfio_ftruncate(MSFIO_NULL, 9)}; }, 1},
        {"lock", [] { return int64_t{msfio_lock(MSFIO_NULL, 0)}; }, 1},
        {"unlock", [] { return int64_t{msfio_unlock(MSFIO_NULL)}; }, 1},
        {"dup", [] { return int64_t{msfio_dup(MSFIO_NULL)}; }, -911},
        {"close", [] { return int64_t{msfio_close(MSFIO_NULL)}; }, 1},
        {"inherit", [] { return int64_t{msfio_inherit_set(MSFIO_NULL, 1)}; }, 1},
    };
    for (const auto &c : kCalls) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_EQ(mserror_geterr_id(), 0) << c.name;
    }
    char type = 0;
    int64_t size = -1;
    int perms = 0;
    EXPECT_EQ(msfio_fstat(MSFIO_NULL, &type, &size, nullptr, nullptr, &perms), 1);
    EXPECT_EQ(std::tuple(type, size, perms), std::tuple('c', int64_t{0}, 7));
}

// Readable memory that holds no descriptor.
msfio_fd not_a_descriptor() {
    alignas(8) static uint64_t words[4];
    return reinterpret_cast<msfio_fd>(words);
}

struct BadCase {
    const char *name;
    int64_t (*call)(msfio_fd fd, char *buffer);
    int64_t result;
    int32_t id;
    int os_error;
};

const BadCase kBadCases[] = {
    {"read_bad_fd", [](msfio_fd, char *b) { return int64_t{msfio_read(MSFIO_NONE, b, 8)}; }, -1, 16474, EBADF},
    {"read_negative", [](msfio_fd f, char *b) { return int64_t{msfio_read(f, b, -1)}; }, -1, 16474, EINVAL},
    {"read_null_buffer", [](msfio_fd f, char *) { return int64_t{msfio_read(f, nullptr, 8)}; }, -1, 16474, EINVAL},
    {"write_not_a_descriptor", [](msfio_fd, char *b) { return int64_t{msfio_write(not_a_descriptor(), b, 8)}; }, -1,
     16478, EBADF},
    {"write_negative", [](msfio_fd f, char *b) { return int64_t{msfio_write(f, b, -5)}; }, -1, 16478, EINVAL},
    {"write_null_buffer", [](msfio_fd f, char *) { return int64_t{msfio_write(f, nullptr, 1)}; }, -1, 16478, EINVAL},
    {"seek_negative", [](msfio_fd f, char *) { return msfio_seek(f, -2); }, -1, 16472, EINVAL},
    {"seek_bad_fd", [](msfio_fd, char *) { return msfio_seek(7, 0); }, -1, 16472, EBADF},
    {"tell_bad_fd", [](msfio_fd, char *) { return msfio_tell(MSFIO_NONE); }, -1, 16472, EBADF},
    {"truncate_negative", [](msfio_fd f, char *) { return int64_t{msfio_ftruncate(f, -1)}; }, 0, 16536, EINVAL},
    {"close_bad_fd", [](msfio_fd, char *) { return int64_t{msfio_close(MSFIO_NONE)}; }, 0, 16469, EBADF},
    {"dup_bad_fd", [](msfio_fd, char *) { return int64_t{msfio_dup(0)}; }, -1, 16471, EBADF},
    {"fstat_bad_fd", [](msfio_fd, char *b) { return int64_t{msfio_fstat(-2, b, nullptr, nullptr, nullptr, nullptr)}; },
     0, 16483, EBADF},
    {"lock_bad_fd", [](msfio_fd, char *) { return int64_t{msfio_lock(MSFIO_NONE, 0)}; }, 0, 16113, EBADF},
    {"lock_read_only", [](msfio_fd f, char *) { return int64_t{msfio_lock(f, 0)}; }, 0, 16113, EBADF},
    {"inherit_bad_fd", [](msfio_fd, char *) { return int64_t{msfio_inherit_set(MSFIO_NONE, 1)}; }, 0, 16134, EBADF},
    {"pipe_null", [](msfio_fd, char *) { return int64_t{msfio_pipe(nullptr)}; }, 0, 16486, EINVAL},
    {"readdir_null", [](msfio_fd, char *b) { return int64_t{msfio_readdir(nullptr, b, 8)}; }, 0, 16130, EINVAL},
};

TEST_F(Fio, BadArgumentsReportTheirIdAndTouchNothingOutsideTheBuffer) {
    write_file(path, "0123456789");
    for (const BadCase &c : kBadCases) {
        msfio_fd fd = msfio_open(path.c_str(), 1, 'r');
        ASSERT_NE(fd, MSFIO_NONE);
        Guarded buffer(8);
        EXPECT_EQ(c.call(fd, buffer.data()), c.result) << c.name;
        EXPECT_EQ(mserror_geterr_id(), c.id) << c.name;
        EXPECT_TRUE(mserror_pop() && mserror_geterr_id() == 16151 && number_arg(0) == c.os_error) << c.name;
        EXPECT_TRUE(buffer.canaries_intact()) << c.name;
        EXPECT_EQ(std::string(buffer.data(), 8), std::string(8, '\x5A')) << c.name;
        EXPECT_EQ(msfio_tell(fd), 0) << c.name;
        EXPECT_EQ(msfio_close(fd), 1);
    }
    EXPECT_EQ(read_file(path), "0123456789");
}

TEST_F(Fio, PositionsMoveAndTruncationKeepsThePosition) {
    msfio_fd fd = msfio_create(path.c_str(), 1, 0, 1);
    ASSERT_EQ(msfio_write(fd, "0123456789", 10), 10);
    EXPECT_EQ(msfio_seek(fd, 4), 4);
    EXPECT_EQ(msfio_seek_relative(fd, 3), 7);
    EXPECT_EQ(msfio_seek_relative(fd, -7), 0);
    EXPECT_EQ(outcome(msfio_seek_relative(fd, -1)), (Outcome{-1, 16472}));
    EXPECT_EQ(msfio_seek(fd, -1), 10) << "-1 means the end";
    EXPECT_EQ(msfio_ftruncate(fd, 4), 1);
    EXPECT_EQ(msfio_tell(fd), 10);
    EXPECT_EQ(msfio_seek(fd, int64_t{5} << 32), int64_t{5} << 32) << "positions beyond 32 bits";
    EXPECT_EQ(msfio_seek_relative(fd, 1), -1) << "does not fit the 32-bit result";
    EXPECT_EQ(msfio_tell(fd), int64_t{5} << 32) << "and the position stays";
    int64_t size = 0;
    char type = 0;
    EXPECT_EQ(msfio_fstat(fd, &type, &size, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(std::tuple(type, size), std::tuple('r', int64_t{4}));
    EXPECT_EQ(msfio_sync(fd), 1);
    EXPECT_EQ(msfio_close(fd), 1);
}

TEST_F(Fio, LockIsExclusiveBetweenOpenFilesAndNeverCoversData) {
    write_file(path, "data");
    msfio_fd a = msfio_open(path.c_str(), 1, 'u');
    msfio_fd b = msfio_open(path.c_str(), 1, 'u');
    ASSERT_EQ(msfio_lock(a, 1), 1);
    EXPECT_EQ(outcome(msfio_lock(b, 0)), (Outcome{0, 16113}));
    int raw = open(path.c_str(), O_RDWR);
    struct flock data = {};  // a write lock over the first GiB, asked from another open file
    data.l_type = F_WRLCK;
    data.l_len = 1 << 30;
    EXPECT_EQ(fcntl(raw, F_OFD_GETLK, &data), 0);
    EXPECT_EQ(data.l_type, F_UNLCK) << "the lock byte lies beyond any data";
    close(raw);
    EXPECT_EQ(msfio_unlock(a), 1);
    EXPECT_EQ(msfio_lock(b, 0), 1);
    EXPECT_EQ(msfio_unlock(b), 1);
    EXPECT_EQ(msfio_close(a) + msfio_close(b), 2);
}

TEST_F(Fio, DupAndPipeCarryBytesAndFlags) {
    msfio_fd ends[2] = {MSFIO_NONE, MSFIO_NONE};
    ASSERT_EQ(msfio_pipe(ends), 1);
    EXPECT_EQ(fcntl(static_cast<int>(msfio_win_osfd_get(ends[1])), F_GETFD) & FD_CLOEXEC, 0) << "inheritable";
    msfio_fd copy = msfio_dup(ends[1]);
    ASSERT_NE(copy, MSFIO_NONE);
    EXPECT_EQ(msfio_write(copy, "hi", 2), 2);
    EXPECT_EQ(msfio_close(copy) + msfio_close(ends[1]), 2);
    char buf[4];
    EXPECT_EQ(msfio_read(ends[0], buf, 4), 2);
    EXPECT_EQ(msfio_read(ends[0], buf, 4), 0) << "a pipe whose writers are gone ends";
    char type = 0;
    EXPECT_EQ(msfio_fstat(ends[0], &type, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(type, 'p');
    EXPECT_EQ(msfio_inherit_set(ends[0], 0), 1);
    EXPECT_NE(fcntl(static_cast<int>(msfio_win_osfd_get(ends[0])), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(msfio_close(ends[0]), 1);
}

TEST_F(Fio, InheritOnAClosedHandleCountsAsDone) {
    msfio_fd fd = msfio_win_mkdes(987, 1);  // 987: not open
    mserror_seterr(16001, 0);
    EXPECT_EQ(outcome(msfio_inherit_set(fd, 1)), (Outcome{1, 16001})) << "the stack is as it was";
    EXPECT_EQ(outcome(msfio_close(fd)), (Outcome{0, 16469}));
}

int open_descriptors() {
    int n = 0;
    for (int fd = 0; fd < 256; ++fd) n += fcntl(fd, F_GETFD) >= 0;
    return n;
}

TEST_F(Fio, RecordsThatCannotBeAllocatedLeaveNoHandleBehind) {
    write_file(dir / "f", "x");
    int before = open_descriptors();
    for (long n = 1; n <= 3; ++n) {
        qrv::space::fail_nth_allocation(n);
        msfio_fd fd = msfio_open((dir / "f").c_str(), 1, 'r');
        msfio_fd ends[2] = {MSFIO_NONE, MSFIO_NONE};
        int piped = msfio_pipe(ends);
        msfio_dir *listing = msfio_opendir(dir.path().c_str(), nullptr);
        qrv::space::fail_nth_allocation(0);
        EXPECT_TRUE(n != 1 || fd == MSFIO_NONE) << "the record is the open's first allocation";
        EXPECT_EQ(fd == MSFIO_NONE || msfio_close(fd), true) << n;
        EXPECT_EQ(piped == 0 || msfio_close(ends[0]) + msfio_close(ends[1]) == 2, true) << n;
        EXPECT_EQ(piped == 0 ? ends[0] : 0, piped == 0 ? MSFIO_NONE : 0) << "untouched on failure";
        if (listing != nullptr) msfio_closedir(listing);
        EXPECT_EQ(open_descriptors(), before) << n;
    }
}

struct ExistsCase {
    const char *path;
    int exists;
};

TEST_F(Fio, ExistsAndStatTellKindsApart) {
    write_file(dir / "file", "12345");
    const ExistsCase cases[] = {{"file", 2}, {"", 1}, {"missing", 0}, {"file/below", 0}};
    for (const ExistsCase &c : cases) {
        std::string path = *c.path != '\0' ? dir / c.path : dir.path();
        EXPECT_EQ(msfio_exists(path.c_str()), c.exists) << c.path;
    }
    EXPECT_EQ(msfio_exists("NuL"), 2);
    char type = 0;
    int64_t size = -1;
    int32_t mtime = 0;
    EXPECT_EQ(msfio_stat((dir / "file").c_str(), &type, &size, nullptr, &mtime, nullptr), 1);
    EXPECT_EQ(std::tuple(type, size), std::tuple('r', int64_t{5}));
    EXPECT_GT(mtime, 1600000000);
    EXPECT_EQ(msfio_stat("nul", &type, &size, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(std::tuple(type, size), std::tuple('c', int64_t{0}));
    EXPECT_EQ(outcome(msfio_stat((dir / "missing").c_str(), &type, nullptr, nullptr, nullptr, nullptr)),
              (Outcome{0, 16484}));
    EXPECT_EQ(msfio_get_qrv_oserr(), 4);
}

TEST_F(Fio, RemoveRenameAndTheNullDevice) {
    std::string a = dir / "a", b = dir / "b";
    write_file(a, "A");
    write_file(b, "B");
    EXPECT_EQ(msfio_remove((dir / "missing").c_str()), 1);
    EXPECT_EQ(outcome(msfio_rename(a.c_str(), b.c_str())), (Outcome{0, 16475})) << "never replaces";
    EXPECT_EQ(string_arg(0) + "|" + string_arg(1), a + "|" + b);
    EXPECT_EQ(msfio_remove(b.c_str()), 1);
    EXPECT_EQ(msfio_move_file(a.c_str(), b.c_str()), 1);
    EXPECT_EQ(read_file(b), "A");
    EXPECT_EQ(outcome(msfio_remove("nul")), (Outcome{0, 16477}));
    EXPECT_EQ(msfio_rename(b.c_str(), "NUL"), 0);
    EXPECT_EQ(msfio_remove(dir.path().c_str()), 0) << "a directory is not a file";
    EXPECT_EQ(msfio_get_qrv_oserr(), 1) << "EISDIR";
    EXPECT_EQ(msfio_exists("/dev/null"), 2) << "the device survives";
    msfio_fd fd = msfio_open("nul", 1, 'w');
    EXPECT_EQ(msfio_write(fd, "gone", 4), 4);
    EXPECT_EQ(msfio_close(fd), 1);
}

TEST_F(Fio, DirectoryChecksUseTheNameForMessages) {
    const std::string sub = dir / "sub", file = dir / "file", none = dir / "none";
    write_file(file, "x");
    EXPECT_EQ(msfio_mkdir(sub.c_str()), 1);
    EXPECT_EQ(outcome(msfio_mkdir(sub.c_str())), (Outcome{0, 16489}));
    EXPECT_EQ(msfio_dir_exists(sub.c_str(), "S"), 1);
    EXPECT_EQ(outcome(msfio_dir_exists(file.c_str(), "F")), (Outcome{0, 16137}));
    EXPECT_EQ(outcome(msfio_dir_exists_not(sub.c_str(), "S")), (Outcome{0, 16135}));
    EXPECT_EQ(outcome(msfio_dir_exists_not(file.c_str(), "F")), (Outcome{0, 16137}));
    EXPECT_EQ(msfio_dir_exists_not(none.c_str(), "N"), 1);
    mserror_seterr(16001, 0);
    EXPECT_EQ(outcome(msfio_dir_exists(none.c_str(), "N")), (Outcome{0, 16136}));
    EXPECT_EQ(string_arg(0), "N");
    EXPECT_EQ(entry_count(), 1) << "cleared first";

    Guarded small(4);
    EXPECT_EQ(outcome(msfio_abs_dir(sub.c_str(), small.data(), 4)), (Outcome{0, 16114}));
    EXPECT_TRUE(small.canaries_intact() && std::string(small.data(), 4) == std::string(4, '\x5A')) << "untouched";
    Guarded big(4096);
    EXPECT_EQ(msfio_abs_dir(file.c_str(), big.data(), 4096), 0);
    EXPECT_EQ(msfio_get_qrv_oserr(), 0) << "ENOTDIR";
    EXPECT_EQ(msfio_abs_dir((sub + "/./../sub").c_str(), big.data(), 4096), 1);
    EXPECT_EQ(big.text(), sub);
    EXPECT_EQ(msfio_rmdir(sub.c_str()), 1);
    EXPECT_EQ(outcome(msfio_rmdir(sub.c_str())), (Outcome{0, 16490}));
}

std::set<std::string> list(const std::string &directory, const char *prefix, int size = 256) {
    std::set<std::string> names;
    msfio_dir *listing = msfio_opendir(directory.c_str(), prefix);
    if (listing == nullptr) return {"<failed>"};
    std::vector<char> buffer(static_cast<size_t>(size));
    for (;;) {
        if (msfio_readdir(listing, buffer.data(), size) != 1) {
            names.insert("<error>");
            break;
        }
        if (buffer[0] == '\0') break;
        names.insert(buffer.data());
    }
    EXPECT_EQ(msfio_readdir(listing, buffer.data(), size), 1) << "after the end";
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(msfio_closedir(listing), 1);
    return names;
}

TEST_F(Fio, ListingsMatchPrefixesLiterally) {
    for (const char *name : {"QRV_1_a", "QRV_1_b.txt", "QRV_2_a", "other", "[x]*y"}) write_file(dir / name, "");
    using Names = std::set<std::string>;
    EXPECT_EQ(list(dir.path(), "QRV_1_"), (Names{"QRV_1_a", "QRV_1_b.txt"}));
    EXPECT_EQ(list(dir.path(), "[x]*"), (Names{"[x]*y"}));
    EXPECT_EQ(list(dir.path(), "none"), Names{}) << "nothing matches: empty";
    EXPECT_EQ(list(dir.path(), nullptr).size(), 7u) << "dot entries included";
    EXPECT_EQ(list(dir.path(), "oth", 4), (Names{"oth"})) << "cut to size - 1";
    EXPECT_EQ(list(dir / "missing", nullptr), (Names{"<failed>"}));
    EXPECT_EQ(mserror_geterr_id(), 16129);
}

TEST_F(Fio, RemovingTreesAndPrefixedFiles) {
    std::string top = dir / "top";
    ASSERT_EQ(mkdir(top.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((top + "/inner").c_str(), 0777), 0);
    write_file(top + "/inner/f", "");
    write_file(top + "/g", "");
    std::string outside = dir / "outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0777), 0);
    write_file(outside + "/keep", "");
    ASSERT_EQ(symlink(outside.c_str(), (top + "/link").c_str()), 0);
    EXPECT_EQ(msfio_dir_rm_all(top.c_str()), 1);
    EXPECT_EQ(msfio_exists(top.c_str()), 0);
    EXPECT_EQ(msfio_exists((outside + "/keep").c_str()), 2) << "links are not followed";

    for (const char *name : {"T_1", "T_2", "U_1"}) write_file(dir / name, "");
    EXPECT_EQ(msfio_dir_rm_files(dir.path().c_str(), "T_"), 1);
    EXPECT_EQ(list(dir.path(), "T_").size(), 0u);
    EXPECT_EQ(msfio_exists((dir / "U_1").c_str()), 2);
    EXPECT_EQ(msfio_dir_rm_files(dir.path().c_str(), "out"), 0) << "a directory stops it";
}

}  // namespace
