// A deep error stack grows with a number of allocations that grows with the
// logarithm of its size: words and strings grow geometrically.
#include <gtest/gtest.h>

#include "mserror.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, DeepStackGrowsWithFewAllocations) {
    constexpr int kEntries = 200000;
    qrv::space::fail_nth_allocation(200);  // fixed steps would need tens of thousands
    for (int i = 0; i < kEntries; ++i) mserror_seterr_1arg_str(16473, "/some/path/of/a/file");
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(entry_count(), kEntries);
    EXPECT_EQ(string_arg(0), "/some/path/of/a/file");
    mserror_reset();
}

}  // namespace
