// String arguments the error stack cannot keep (its string area cannot
// grow under the space ceiling or on a failing heap) render as "", never as
// the text of a string stored after them.
#include <cstdlib>

#include "msnlsmsg.h"
#include "support.h"

namespace {

std::string rendered() {
    char text[512];
    msnlsmsg_error_msg_all(text, sizeof text, nullptr);
    return text;
}

class CeilingOf4MiB : public LibraryTest {
protected:
    void SetUp() override {
        setenv("MSSPACELIMIT", "1", 1);  // raised to the 4 MiB floor
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        unsetenv("MSSPACELIMIT");
    }
};

TEST_F(CeilingOf4MiB, StringsLostAtTheCeilingRenderEmpty) {
    const std::string first(3 << 20, 'a'), second(3 << 20, 'b');
    mserror_seterr_1arg_str(16473, first.c_str());
    mserror_seterr_1arg_str(16473, second.c_str());  // the area cannot grow past the ceiling
    mserror_seterr_1arg_str(16473, "/second/file");
    EXPECT_EQ(rendered(), "cannot open file '/second/file'\ncannot open file ''\ncannot open file ''");
    mserror_pop();
    EXPECT_EQ(number_arg(0), 0) << "the argument that could not be kept is the number 0";
}

TEST_F(LibraryTest, StringsLostOnAFailingHeapRenderEmptyBelowTheFloorToo) {
    mserror_seterr_1arg_str(16473, "/hidden");
    int32_t floor = mserror_cleanup_save();
    mserror_seterr_2arg_str(16475, "/from", std::string(2000, 'x').c_str());  // 2000 bytes need the area to grow
    mserror_seterr_1arg_str(16477, "/kept");
    mserror_seterr(16470, 1);  // the words grow here, not below
    const std::string big(3000, 'y');
    qrv::space::fail_nth_allocation(1);
    mserror_setarg_str(big.c_str(), 0);
    qrv::space::fail_nth_allocation(0);
    mserror_seterr_2arg_str(16475, "/a", "/b");
    EXPECT_EQ(rendered(),
              "cannot rename file '/a' to '/b'\ncannot create file ''\ncannot remove file ''\n"
              "cannot rename file '' to ''");
    mserror_cleanup_restore(floor);
    EXPECT_EQ(rendered(), "cannot open file ''") << "the hidden entry's string went with the area";
}

}  // namespace
