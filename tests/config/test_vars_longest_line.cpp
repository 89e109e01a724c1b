// A text buffer's line of exactly the longest legal length (1023 bytes) is
// read, wherever it stands in the text.
#include "msvars.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, BufferLineOfTheLongestLegalLengthIsRead) {
    const std::string name(1021, 'n');  // with "=1": 1023 bytes
    for (const std::string &text : {name + "=1", name + "=1\nB=2", "B=2\n" + name + "=1\n"}) {
        msvars_set *set = msvars_readbuf(text.c_str());
        ASSERT_NE(set, nullptr) << mserror_geterr_id();
        EXPECT_STREQ(msvars_getvar(set, name.c_str()), "1");
        EXPECT_EQ(msvars_getvar(set, "B") != nullptr, text.find("B=2") != std::string::npos);
        msvars_freevars(set);
    }
}

}  // namespace
