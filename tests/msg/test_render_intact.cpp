// Rendering reads the error stack and leaves it exactly as it was, also
// when an entry's id has no text and its lookup fails, with and without a
// client, whatever the buffer's size.
#include "msnlsmsg.h"
#include "support.h"

namespace {

// Every word of the visible entries, the top and the strings in use.
std::vector<int64_t> snapshot() {
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    std::vector<int64_t> words{top, used};
    for (int64_t *entry; (entry = mserror_geterr_stack()) != nullptr; mserror_pop()) {
        int n = MSERROR_DESC_NARGS(entry[-2]);
        for (int i = -1; i >= -2 - n; --i) words.push_back(entry[i]);
        for (int i = 0; i < n; ++i) words.push_back(MSERROR_DESC_IS_STR(entry[-2], i) ? string_arg(i).size() : 0);
    }
    mserror_stack_restore(top, used);
    return words;
}

TEST_F(LibraryTest, RenderingLeavesTheStackAsItWas) {
    msnlsmsg_client *client = msnlsmsg_init_client("ja", '|');
    ASSERT_NE(client, nullptr);
    mserror_seterr(20003, 0);  // no table or file holds it
    mserror_seterr_1arg_str(16473, "/data/file");
    mserror_seterr(20004, 2);
    mserror_setarg(7, 0);
    mserror_setarg_str("arg", 1);
    const std::vector<int64_t> before = snapshot();
    for (msnlsmsg_client *with : {static_cast<msnlsmsg_client *>(nullptr), client}) {
        for (int size : {1, 2, 10, 40, 4096}) {
            std::string text(static_cast<size_t>(size), 'x');
            EXPECT_EQ(msnlsmsg_error_msg_all(text.data(), size, with), 1);
            EXPECT_EQ(snapshot(), before) << "all, size " << size;
            EXPECT_EQ(msnlsmsg_error_msg(text.data(), size, with), 1);
            EXPECT_EQ(snapshot(), before) << "top, size " << size;
        }
    }
    char text[256];
    msnlsmsg_error_msg_all(text, sizeof text, nullptr);
    EXPECT_STREQ(text, "no message for error id 20004\ncannot open file '/data/file'\nno message for error id 20003");
    msnlsmsg_error_msg_all(text, sizeof text, nullptr);
    EXPECT_STREQ(text, "no message for error id 20004\ncannot open file '/data/file'\nno message for error id 20003")
        << "the same text again";
    msnlsmsg_end_client(client);
}

TEST_F(LibraryTest, RenderingAStackAtItsCapacityLeavesItAsItWas) {
    mserror_seterr(20005, 8);  // 10 words: the stack is full
    const std::vector<int64_t> before = snapshot();
    char text[64];
    EXPECT_EQ(msnlsmsg_error_msg_all(text, sizeof text, nullptr), 1);
    EXPECT_STREQ(text, "no message for error id 20005");
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
