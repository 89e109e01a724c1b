// The database description file upgrade, variable-file updates and copies.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "msbin.h"
#include "os_support.h"
#include "support.h"

namespace {

using qrv::os::g_sys;

// The file's lines and what the caller got back.
struct Upgraded {
    int result = 0;
    std::string dfc, block_size, validate_size, text;
    bool canaries = true;
};

Upgraded upgrade(const TempDir &dir, const std::string &name = "tabzero.txt") {
    Canary dfc(MSBIN_TABZERO_VALUE_SIZE), bs(MSBIN_TABZERO_VALUE_SIZE), vs(MSBIN_TABZERO_VALUE_SIZE);
    Upgraded u;
    u.result = msbin_upd_tabzero(dir.path().c_str(), dfc.chars(), bs.chars(), vs.chars());
    u.dfc = dfc.chars(), u.block_size = bs.chars(), u.validate_size = vs.chars();
    u.canaries = dfc.untouched_from(MSBIN_TABZERO_VALUE_SIZE) && bs.untouched_from(MSBIN_TABZERO_VALUE_SIZE) &&
                 vs.untouched_from(MSBIN_TABZERO_VALUE_SIZE);
    u.text = read_file(dir / name);
    return u;
}

size_t entries_in(const TempDir &dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto &e : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
}

const std::string kFull =  // every key present: only the version and validate-size rules act
    "MSDBDFC=DFC\nMSDBBLOCKSIZE=8192\nMSDBPUBLICDBA=1\nMSDBCODESET=utf8\nMSDBCIPHERNAME=\nMSDBFILETRUNCATION=auto\n"
    "MSDBID=7\n";
const std::string kFill = "F1=1\nF2=2\nF3=3\nF4=4\nF5=5\nF6=6\nF7=7\nF8=8\nF9=9\nF10=10\nF11=11\n";
const std::string kHead = "MSDBPUBLICDBA=\\\n  [SYS_OS_WIN32]\n  [ALL]\n\n";
const std::string kAfterCodeset = "\nMSDBCIPHERNAME=\nMSDBCIPHERKEYVERIFY=\n\nMSDBFILETRUNCATION=auto\n\nMSDBID=\n";

using BinTest = LibraryTest;

TEST_F(BinTest, EachOlderFormatGetsItsClassAndValidateSize) {
    struct Case {
        const char *version;  // "" = no version line
        int result;
        const char *added;  // validate-size value added after the eleventh other line
    } cases[] = {
        {"10.20", 3, nullptr}, {"8.61", 2, "440"}, {"8.99", 2, "440"},    {"8.60", 1, "440"},
        {"8.00", 1, "440"},    {"9.05", 1, "440"}, {"10.10", 1, nullptr}, {"11.00", 1, nullptr},
        {"6.07", 1, "000"},    {"6.01", 1, "000"}, {"6.08", 1, "440"},    {"6.00", 0, "000"},
        {"7.50", 0, "000"},    {"5.10", 0, "000"}, {"", 0, "000"},        {"10", 1, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        TempDir dir;
        std::string version = *c.version ? std::string("MSDBVERSION=") + c.version + "\n" : "";
        write_file(dir / "tabzero.txt", version + kFill + kFull);
        Upgraded u = upgrade(dir);
        EXPECT_EQ(u.result, c.result);
        std::string expect = (*c.version ? "MSDBVERSION=10.20\n" : "") + kFill;
        if (c.added) expect += std::string("MSDBVALIDATESIZE=") + c.added + "\n";
        expect += kFull;
        EXPECT_EQ(u.text, expect);
        EXPECT_EQ(u.dfc, "DFC");
        EXPECT_EQ(u.block_size, "8192");
        EXPECT_EQ(u.validate_size, "");
        EXPECT_TRUE(u.canaries);
        EXPECT_EQ(entries_in(dir), 1u);
    }
}

TEST_F(BinTest, KeyRulesAndValuesHandedBack) {
    struct Case {
        const char *name;
        std::string in, out, dfc, block_size, validate_size;
        int result;
    } cases[] = {
        {"split code, no public rights", "MSDBVERSION=10.20\nMSDBDFC=DFC4096\n",
         "MSDBVERSION=10.20\n" + kHead + "MSDBDFC=DFC\nMSDBBLOCKSIZE=4096\n", "DFC", "4096", "", 3},
        {"split code, old public rights renamed", "MSDBPUBLICPRIVILEGES=9\nMSDBDFC=AB\nMSDBVERSION=10.20\n",
         "MSDBPUBLICDBA=9\nMSDBDFC=AB\nMSDBBLOCKSIZE=\nMSDBVERSION=10.20\n", "AB", "", "", 3},
        {"lock granularity",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nMSDBLOCKLEVEL=2\nX=1\nMSDBLOCKLEVEL=3\n"
         "MSDBLOCKGRANULARITY=5\nMSDBLOCKGRANULARITY=6\nMSDBLOCKLEVEL=4\n",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nMSDBLOCKLEVEL=2\nMSDBLOCKGRANULARITY=1\nX=1\nMSDBLOCKLEVEL=3\n"
         "MSDBLOCKGRANULARITY=5\nMSDBLOCKLEVEL=4\n",
         "", "1", "", 3},
        {"obsolete keys dropped",
         "MSDBVERSION_FEATURES=1\nMSDBVERSION=10.20\nMSDBDICTINDEX=2\nMSDBBLOCKSIZE=1\n"
         "MSDBDICTTABLENUMBER=3\n",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\n", "", "1", "", 3},
        {"code set adds cipher, truncation, id", "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nMSDBCODESET=utf8\n",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nMSDBCODESET=utf8\n" + kAfterCodeset, "", "1", "", 3},
        {"validate size handed back", "  MSDBVALIDATESIZE=000\nMSDBVERSION=8.70\nMSDBBLOCKSIZE=1\n" + kFill,
         "  MSDBVALIDATESIZE=000\nMSDBVERSION=10.20\nMSDBBLOCKSIZE=1\n" + kFill, "", "1", "MSVALIDATESIZE=000", 2},
        {"CR LF", "MSDBVERSION=8.70\r\nMSDBDFC=ABC512\r\nMSDBCODESET=x\r\n" + kFill,
         "MSDBVERSION=10.20\n" + kHead + "MSDBDFC=ABC\nMSDBBLOCKSIZE=512\nMSDBCODESET=x\r\n" + kAfterCodeset + kFill +
             "MSDBVALIDATESIZE=440\n",
         "ABC", "512", "", 2},
        {"no final line feed", "MSDBVERSION=9.00\n" + kFill.substr(0, kFill.size() - 1),
         "MSDBVERSION=10.20\n" + kFill + "MSDBVALIDATESIZE=440\n", "", "", "", 1},
        {"continuation lines are values, also at the end",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nV=a\\\n  MSDBDFC=zz\\\nMSDBCODESET=u\\",
         "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nV=a\\\n  MSDBDFC=zz\\\nMSDBCODESET=u\\", "", "1", "", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "tabzero.txt", c.in);
        Upgraded u = upgrade(dir);
        EXPECT_EQ(u.result, c.result);
        EXPECT_EQ(u.text, c.out);
        EXPECT_EQ(u.dfc, c.dfc);
        EXPECT_EQ(u.block_size, c.block_size);
        EXPECT_EQ(u.validate_size, c.validate_size);
        EXPECT_TRUE(u.canaries);
    }
}

TEST_F(BinTest, FindsTheFileOrSaysWhy) {
    TempDir dir;
    Upgraded u = upgrade(dir);
    EXPECT_EQ(u.result, 0);
    EXPECT_EQ(mserror_geterr_id(), 10665);
    EXPECT_EQ(string_arg(0), dir.path());
    EXPECT_TRUE(u.canaries);
    // A directory named tabzero.txt is passed over for the plain name.
    std::filesystem::create_directory(dir / "tabzero.txt");
    write_file(dir / "tabzero", "MSDBVERSION=10.20\nMSDBBLOCKSIZE=2\n");
    EXPECT_EQ(upgrade(dir, "tabzero").result, 3);
    EXPECT_EQ(read_file(dir / "tabzero"), "MSDBVERSION=10.20\nMSDBBLOCKSIZE=2\n");
}

TEST_F(BinTest, BadInputLeavesTheFileOrCopiesItThrough) {
    const std::string big(1 << 20, 'x');
    std::string binary;
    for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 7919) >> 3);
    struct Case {
        const char *name;
        std::string in;
        int result;
        bool unchanged;
        std::string dfc;
    } cases[] = {
        {"version not a number", "MSDBVERSION=x.20\nMSDBBLOCKSIZE=1\n", 0, true, ""},
        {"1 MiB lines", "MSDBVERSION=10.20\nMSDBBLOCKSIZE=1\nMSDBDFC=" + big + "\nX=" + big + "\n", 3, false,
         std::string(MSBIN_TABZERO_VALUE_SIZE - 1 - 8, 'x')},
        {"binary", binary, -1, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "tabzero.txt", c.in);
        Upgraded u = upgrade(dir);
        if (c.result >= 0) {
            EXPECT_EQ(u.result, c.result);
            EXPECT_EQ(u.dfc, c.dfc);
        }
        if (c.unchanged || c.result == 3) {
            EXPECT_EQ(u.text, c.in);  // long lines are copied whole
        }
        EXPECT_TRUE(u.canaries);
        EXPECT_EQ(entries_in(dir), 1u);
    }
}

// Opens that create files fail as in a read-only directory (root may write
// to one anyway).
int refuse_create(const char *path, int flags, mode_t mode) {
    if (flags & O_CREAT) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags, mode);
}
ssize_t broken_disk(int fd, void *buffer, size_t count) {
    if (fd > 2) return errno = EIO, -1;
    return ::read(fd, buffer, count);
}
int fail_fsync(int) { return errno = EIO, -1; }
int fail_rename(const char *, const char *) { return errno = EIO, -1; }
ssize_t full_disk(int fd, const void *buffer, size_t count) {
    if (fd > 2) return errno = ENOSPC, -1;
    return ::write(fd, buffer, count);
}

TEST_F(BinTest, AFailureAtAnyStepLeavesTheOldFileWhole) {
    const std::string old = "MSDBVERSION=8.70\nMSDBDFC=ABC512\n" + kFill;
    struct Case {
        const char *name;
        void (*inject)();
        int32_t id;
    } cases[] = {
        {"read-only directory", [] { g_sys.open = refuse_create; }, 16470},
        {"read error", [] { g_sys.read = broken_disk; }, 16116},
        {"full disk", [] { g_sys.write = full_disk; }, 16478},
        {"fsync", [] { g_sys.fsync = fail_fsync; }, 16480},
        {"rename", [] { g_sys.rename_replace = fail_rename; }, 16475},
    };
    for (const Case &c : cases) {
        for (int which = 0; which < 3; ++which) {  // tabzero, variable file, with backup
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(which));
            TempDir dir;
            write_file(dir / "tabzero.txt", old);
            if (c.id == 16470) chmod(dir.path().c_str(), 0555);
            int result = -1;
            {
                SyscallScope scope;
                c.inject();
                result = which == 0 ? upgrade(dir).result
                                    : msbin_update_varfile((dir / "tabzero.txt").c_str(), "F2", "x", which == 2);
            }
            chmod(dir.path().c_str(), 0755);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(mserror_geterr_id(), c.id);
            EXPECT_EQ(read_file(dir / "tabzero.txt"), old);
            EXPECT_EQ(entries_in(dir), 1u);
        }
    }
}

// A crash at any step of an update, played by a child that exits at once
// inside one of the system calls: the file is then the old one or the new
// one, whole, and a kept backup is whole too.
int g_crash_after = 0;  // the call that ends the child; counts down
void crash_point() {
    if (--g_crash_after == 0) _exit(0);
}
ssize_t crash_write(int fd, const void *buffer, size_t count) {
    if (fd > 2) crash_point();
    return ::write(fd, buffer, count);
}
int crash_fsync(int fd) {
    crash_point();
    return ::fsync(fd);
}
int crash_after_rename(const char *from, const char *to) {
    int rc = ::rename(from, to);
    crash_point();
    return rc;
}

TEST_F(BinTest, ACrashBetweenTheStepsLeavesAWholeFile) {
    const std::string old = "A=1\nB=" + std::string(5000, 'b') + "\n";
    const std::string updated = "A=2\nB=" + std::string(5000, 'b') + "\n";
    struct Case {
        const char *name;
        void (*inject)();
    } cases[] = {
        {"write", [] { g_sys.write = crash_write; }},
        {"fsync", [] { g_sys.fsync = crash_fsync; }},
        {"after the rename", [] { g_sys.rename_replace = crash_after_rename; }},
    };
    for (const Case &c : cases) {
        for (int call = 1; call <= 3; ++call) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(call));
            TempDir dir;
            std::string file = dir / "vars";
            write_file(file, old);
            std::fflush(nullptr);
            pid_t child = fork();
            if (child == 0) {
                g_crash_after = call;
                c.inject();
                msbin_update_varfile(file.c_str(), "A", "2", 1);
                _exit(1);  // finished without reaching the crash point
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            if (call == 1) {
                EXPECT_EQ(WEXITSTATUS(status), 0);  // it did crash
            }
            std::string now = read_file(file);
            EXPECT_TRUE(now == old || now == updated) << now.size();
            std::string backup = read_file(file + ".000");
            EXPECT_TRUE(backup.empty() || backup == old) << backup.size();
        }
    }
}

TEST_F(BinTest, UpdatesAVariableFile) {
    struct Case {
        const char *name;
        std::string in, key, value, out;
    } cases[] = {
        {"first of two replaced", "A=1\nB=2\nB=3\n", "B", "9", "A=1\nB=9\nB=3\n"},
        {"appended", "A=1\n", "C", "x y", "A=1\nC=x y\n"},
        {"appended after an open last line", "A=1", "C", "2", "A=1\nC=2\n"},
        {"prefix of a longer name is no match", "AB=1\r\n", "A", "2", "AB=1\r\nA=2\n"},
        {"key inside a long line is no match", std::string(300, 'z') + "B=1\nB=2\n", "B", "5",
         std::string(300, 'z') + "B=1\nB=5\n"},
        {"empty file", "", "A", "", "A=\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "vars", c.in);
        EXPECT_EQ(msbin_update_varfile((dir / "vars").c_str(), c.key.c_str(), c.value.c_str(), 0), 1);
        EXPECT_EQ(read_file(dir / "vars"), c.out);
        EXPECT_EQ(entries_in(dir), 1u);
    }
    TempDir dir;
    EXPECT_EQ(msbin_update_varfile((dir / "missing").c_str(), "A", "1", 0), 0);
    EXPECT_EQ(mserror_geterr_id(), 16473);
    EXPECT_EQ(msbin_update_varfile((dir / "missing").c_str(), std::string(63, 'n').c_str(), "1", 0), 0);
    EXPECT_EQ(entries_in(dir), 0u);
}

TEST_F(BinTest, KeepsNumberedBackups) {
    TempDir dir;
    std::string file = dir / "vars";
    write_file(file, "A=1\n");
    write_file(file + ".000", "zero");
    write_file(file + ".001", "one");
    ASSERT_EQ(msbin_update_varfile(file.c_str(), "A", "2", 1), 1);
    ASSERT_EQ(msbin_update_varfile(file.c_str(), "A", "3", 1), 1);
    EXPECT_EQ(read_file(file), "A=3\n");
    EXPECT_EQ(read_file(file + ".000"), "zero");
    EXPECT_EQ(read_file(file + ".002"), "A=1\n");
    EXPECT_EQ(read_file(file + ".003"), "A=2\n");
    EXPECT_EQ(entries_in(dir), 5u);
}

TEST_F(BinTest, CopiesAndAppends) {
    TempDir dir;
    std::string big(10000, 'b');
    write_file(dir / "src", big);
    write_file(dir / "dst", std::string(20000, 'o'));
    EXPECT_EQ(msbin_copy_file((dir / "dst").c_str(), (dir / "src").c_str()), 1);
    EXPECT_EQ(read_file(dir / "dst"), big);
    EXPECT_EQ(msbin_concat_file((dir / "dst").c_str(), (dir / "src").c_str()), 1);
    EXPECT_EQ(read_file(dir / "dst"), big + big);
    EXPECT_EQ(msbin_concat_file((dir / "new").c_str(), (dir / "src").c_str()), 1);
    EXPECT_EQ(entry_count(), 0);
    EXPECT_EQ(read_file(dir / "new"), big);
    std::filesystem::create_symlink(dir / "dst", dir / "link");
    for (auto call : {msbin_copy_file, msbin_concat_file}) {
        EXPECT_EQ(call((dir / "dst").c_str(), (dir / "none").c_str()), 0);
        EXPECT_EQ(mserror_geterr_id(), 16473);
        // The file onto itself, also through a link: refused, never emptied
        // or grown without end.
        for (const char *other : {"dst", "link"}) {
            EXPECT_EQ(call((dir / "dst").c_str(), (dir / other).c_str()), 0);
            EXPECT_EQ(mserror_geterr_id(), 16473);
        }
        EXPECT_EQ(read_file(dir / "dst"), big + big);
    }
}

}  // namespace
