// Translator records at the edges their fuzz target found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "mscs.h"
#include "support.h"

namespace {

class TranslateEdges : public LibraryTest {
protected:
    void SetUp() override {
        unsetenv("QUORVELPATH");  // the built-in installation
        LibraryTest::SetUp();
    }
};

struct Case {
    const char *what;
    int cs1, cs2;
    std::string src;
    size_t src_offset;  // of the source in its buffer
    int dst_size;
};

// Each call refuses the input: 0, status 256, not a byte written.
TEST_F(TranslateEdges, RefusedWithoutWriting) {
    const Case cases[] = {{"1 byte holds no UTF-16 unit", MSCS_LATIN1, MSCS_WCHAR, "n", 0, 1},
                          {"Wchar source at an odd address", MSCS_WCHAR, MSCS_UTF8, std::string("n\0", 2), 1, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        mscstrans_trans t;
        mscstrans_init_trans(&t);
        ASSERT_EQ(mscstrans_open_trans(c.cs1, c.cs2, &t), 1);
        alignas(8) char source[16] = {};
        std::memcpy(source + c.src_offset, c.src.data(), c.src.size());
        Canary dst(static_cast<size_t>(c.dst_size));
        int out_len = -1, status = -1;
        EXPECT_EQ(mscstrans_cs1_cs2(&t, 0, source + c.src_offset, static_cast<int>(c.src.size()), dst.data(),
                                    c.dst_size, &out_len, &status),
                  0);
        EXPECT_EQ(status, MSCSTRANS_STATUS_PARTIAL);
        EXPECT_TRUE(dst.untouched_from(0));
        mscstrans_close_trans(&t);
    }
}

}  // namespace
