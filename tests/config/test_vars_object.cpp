// Variable objects (blocks of a set) and version information.
#include <gtest/gtest.h>

#include <string>

#include "mssp.h"
#include "msvars.h"
#include "msversion.h"
#include "support.h"
#include "vars_support.h"

namespace {

class ObjectTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        set = msvars_readbuf("A\nBEGIN\nX=1\nEND\nBEGIN\nX=2\nIN\nY=3\nOUT\nEND\n");
        ASSERT_NE(set, nullptr);
    }
    void TearDown() override {
        msvars_freevars(set);
        LibraryTest::TearDown();
    }
    msvars_set *set = nullptr;
};

TEST_F(ObjectTest, BlocksOneAfterAnother) {
    msvars_obj *obj = msvars_getobj_init(set, "BEGIN", "END");
    ASSERT_NE(obj, nullptr);
    ASSERT_NE(obj, MSVARS_OBJ_NOSPACE);
    EXPECT_EQ(*reinterpret_cast<uint32_t *>(obj), MSVARS_OBJ_TAG);
    EXPECT_STREQ(msvars_getvar_obj(obj, "X"), "1");
    EXPECT_EQ(msvars_getvar_obj(obj, "A"), nullptr);  // outside the block
    EXPECT_EQ(msvars_getvar_obj(obj, "END"), nullptr);
    EXPECT_STREQ(msvars_getvar_obj(set, "A"), "");  // a set is the whole set

    int length = 0;
    char *text = msvars_genbuf_obj(obj, &length);
    EXPECT_STREQ(text, "BEGIN\nX=1\n");
    mssp_free_rv(text);

    EXPECT_EQ(msvars_getobj_next(obj), obj);
    EXPECT_STREQ(msvars_getvar_obj(obj, "X"), "2");
    EXPECT_STREQ(msvars_getvar_obj(obj, "Y"), "3");

    // A block inside the block, and a copy that shares the names.
    msvars_obj *inner = msvars_getobj_obj(obj, "IN", "OUT");
    ASSERT_NE(inner, nullptr);
    EXPECT_STREQ(msvars_getvar_obj(inner, "Y"), "3");
    EXPECT_EQ(msvars_getvar_obj(inner, "X"), nullptr);
    EXPECT_EQ(msvars_getobj_obj(inner, "BEGIN", "END"), nullptr);
    auto *copy = static_cast<msvars_obj *>(msvars_reopen_obj(inner));
    ASSERT_NE(copy, inner);
    EXPECT_STREQ(msvars_getvar_obj(copy, "Y"), "3");
    EXPECT_EQ(msvars_getvars_from_obj(copy), set);
    EXPECT_EQ(msvars_free_obj(copy), 1);
    EXPECT_EQ(msvars_getobj_end(inner), 1);

    EXPECT_EQ(msvars_getobj_next(obj), nullptr);  // released
}

TEST_F(ObjectTest, SetsStandInForObjects) {
    EXPECT_EQ(msvars_getvars_from_obj(set), set);
    EXPECT_EQ(msvars_getvars_from_obj(nullptr), nullptr);
    EXPECT_EQ(msvars_reopen_obj(set), set);
    EXPECT_EQ(msvars_free_obj(set), 1);  // the extra reference
    EXPECT_EQ(msvars_free_obj(nullptr), 1);
    EXPECT_EQ(msvars_reopen_obj(nullptr), nullptr);
    msvars_obj *obj = msvars_getobj_obj(set, "IN", "OUT");
    ASSERT_NE(obj, nullptr);
    const msvars_entry *found = nullptr;
    EXPECT_STREQ(msvars_getvar_obj_limits(obj, "Y", &found, nullptr, nullptr), "3");
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(msvars_free_obj(obj), 1);
    int length = -1;
    char *all = msvars_genbuf_obj(set, &length);
    EXPECT_EQ(length, static_cast<int>(std::strlen(all)) + 1);
    mssp_free_rv(all);
}

TEST_F(ObjectTest, MissingBlocksAndBadArguments) {
    EXPECT_EQ(msvars_getobj_init(set, "BEGIN", "NOEND"), nullptr);
    EXPECT_EQ(msvars_getobj_init(set, "NOBEGIN", "END"), nullptr);
    EXPECT_EQ(msvars_getobj_init(nullptr, "BEGIN", "END"), nullptr);
    EXPECT_EQ(msvars_getobj_init(set, nullptr, "END"), nullptr);
    EXPECT_EQ(msvars_getobj_next(nullptr), nullptr);
    EXPECT_EQ(msvars_getobj_end(nullptr), 0);
    int length = -1;
    EXPECT_EQ(msvars_genbuf_obj(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(mserror_geterr_id(), 0);
}

TEST_F(ObjectTest, NoSpaceForAnObject) {
    qrv::space::fail_nth_allocation(1);
    EXPECT_EQ(msvars_getobj_init(set, "BEGIN", "END"), MSVARS_OBJ_NOSPACE);
    qrv::space::fail_nth_allocation(0);
    EXPECT_EQ(mserror_geterr_id(), 16002);
}

TEST(Version, Convert) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    const std::pair<const char *, int32_t> cases[] = {
        {"10.20", 0x0A140000}, {"10.20.7", 0x0A140007}, {"10.20 r7", 0x0A140007}, {"10", 0x0A000000},
        {"10.", 0x0A000000},   {"10.20.", 0x0A140000},  {"10.20 x", 0x0A140000},  {"0x0A.0x14", 0x0A140000},
        {"200.1", 0x48010000}, {"8.40.0", 0x08280000},  {" 6.1.7", 0x06010007},   {"1.300", 0x022C0000},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_EQ(msversion_convert(text), expected) << text;
        EXPECT_EQ(mserror_geterr_id(), 0) << text;
    }
    for (const char *bad : {"", "x.1", ".5", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(msversion_convert(bad), 0) << (bad != nullptr ? bad : "null");
        EXPECT_EQ(mserror_geterr_id(), 16052);
        mserror_reset();
    }
    msbasic_end_main(msbasic_init_cascade);
}

TEST(Version, ChecksByKind) {
    struct Case {
        int kind;
        int32_t version;
        int check;
        int supported;
    };
    const Case cases[] = {
        {3, 0x0A140005, 1, 6},  {3, 0x08280000, 2, 4},
        {3, 0x06000000, 3, 0},  {3, 0x0B000000, 0, -1},
        {3, 0x0A14FFFF, 1, 6},  {4, 0x07000000, 2, 2},
        {4, 0x0A140001, 1, 3},  {0, 0x0A140007, 3, 0},
        {5, 0x0A140007, 1, 1},  {5, 0x0A140006, 3, 0},
        {16, 0x01000000, 3, 0}, {-1, 0x01000000, 3, 0},
        {11, 0x06030000, 2, 1}, {7, static_cast<int32_t>(0x80000000u), 0, -1},
    };
    EXPECT_EQ(msversion_dbms, MSVERSION_PACK(msversion_ver_major, msversion_ver_minor, msversion_ver_revision));
    EXPECT_EQ(msversion_dbms, 0x0A140007);
    for (const Case &c : cases) {
        EXPECT_EQ(msversion_check(c.kind, c.version), c.check) << c.kind << " " << std::hex << c.version;
        EXPECT_EQ(msversion_supported(c.kind, c.version), c.supported) << c.kind << " " << std::hex << c.version;
    }
}

}  // namespace
