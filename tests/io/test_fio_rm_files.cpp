// Removing a directory's files stops at a subdirectory and says which one.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "msfio.h"
#include "os_support.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, RemovingFilesStopsAtASubdirectoryWithItsName) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0777), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    for (const std::string &where : {dir.path(), std::string(".")}) {
        ASSERT_EQ(chdir(where == "." ? dir.path().c_str() : cwd), 0);
        write_file(dir / "f", "");
        mserror_seterr(16001, 0);
        EXPECT_EQ(msfio_dir_rm_files(where.c_str(), ""), 0);
        EXPECT_EQ(mserror_geterr_id(), 16477) << where;
        EXPECT_EQ(string_arg(0), where + "/sub");
        mserror_pop();
        EXPECT_EQ(mserror_geterr_id(), 16151);
        EXPECT_EQ(number_arg(0), EISDIR);
        mserror_pop();
        EXPECT_EQ(mserror_geterr_id(), 0) << "the stack was cleared first";
        EXPECT_EQ(msfio_exists((dir / "sub").c_str()), 1) << "the subdirectory stays";
    }
    ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
