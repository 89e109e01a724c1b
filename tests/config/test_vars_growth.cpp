// A large variable file reads with a number of allocations that grows with
// the logarithm of its size: the set's tables grow geometrically.
#include <gtest/gtest.h>

#include <string>

#include "config/varset.h"
#include "msvars.h"
#include "os_support.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, LargeFileReadsWithFewAllocations) {
    constexpr int kLines = 200000;
    TempDir dir;
    std::string text;
    for (int i = 0; i < kLines; ++i) text += "NAME_" + std::to_string(i) + " = value " + std::to_string(i) + "\n";
    write_file(dir / "large.txt", text);
    qrv::space::fail_nth_allocation(200);  // fixed steps would need tens of thousands
    msvars_set *set = msvars_readfile((dir / "large.txt").c_str());
    qrv::space::fail_nth_allocation(0);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->index_used, 2 * kLines);
    EXPECT_STREQ(msvars_getvar(set, "NAME_0"), "value 0");
    EXPECT_STREQ(msvars_getvar(set, "NAME_199999"), "value 199999");
    msvars_freevars(set);
}

}  // namespace
