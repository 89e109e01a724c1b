// Blocks of a set whose start and end names are the same: each block runs
// from one such entry up to the next, and stepping through them ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mssp.h"
#include "msvars.h"
#include "support.h"

namespace {

struct BlocksCase {
    const char *text;
    std::vector<std::string> blocks;  // each as msvars_genbuf_obj writes it
};

TEST_F(LibraryTest, EqualStartAndEndNamesMakeBlocksThatAdvance) {
    const BlocksCase cases[] = {
        {"REC=1\nA=2\nREC=3\nB=4\n", {"REC=1\nA=2\n"}},  // nothing closes the last block
        {"REC=1\nA=2\nREC=3\nB=4\nREC=5\n", {"REC=1\nA=2\n", "REC=3\nB=4\n"}},
        {"REC\nREC\nREC\n", {"REC\n", "REC\n"}},
        {"A=1\nREC\n", {}},
    };
    for (const BlocksCase &c : cases) {
        msvars_set *set = msvars_readbuf(c.text);
        ASSERT_NE(set, nullptr);
        std::vector<std::string> blocks;
        msvars_obj *obj = msvars_getobj_init(set, "REC", "REC");
        for (; obj != nullptr && blocks.size() < 10; obj = msvars_getobj_next(obj)) {
            ASSERT_NE(obj, MSVARS_OBJ_NOSPACE);
            int length = 0;
            char *text = msvars_genbuf_obj(obj, &length);
            blocks.push_back(text != nullptr ? text : "");
            mssp_free_rv(text);
        }
        if (obj != nullptr) msvars_getobj_end(obj);
        EXPECT_EQ(blocks, c.blocks) << c.text;
        msvars_freevars(set);
    }
}

}  // namespace
