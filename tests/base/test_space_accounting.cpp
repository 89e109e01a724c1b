// The accounting where a fault would go unseen: the bytes a checked resize
// reserves come back when the ceiling refuses it, and a growing resize
// raises the bytes high-water mark; the size counted for a block is the
// heap's own, whether read from the block's header or asked of the heap.
#include <malloc.h>

#include <cstdlib>
#include <thread>

#include "mssp.h"
#include "os/heap.h"
#include "support.h"

namespace {

int stat(int selector) { return mssp_get_spstat(selector); }

class TenMillionCeiling : public LibraryTest {
protected:
    void SetUp() override {
        setenv("MSSPACELIMIT", "10000000", 1);
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        unsetenv("MSSPACELIMIT");
    }
};

TEST_F(TenMillionCeiling, RefusedResizeGivesItsReservationBack) {
    for (int round = 0; round < 3; ++round) {  // a leak would add up round by round
        void *p = mssp_get_ex(100, 1);
        ASSERT_NE(p, nullptr);
        const int bytes = stat(MSSP_STAT_BYTES), size = mssp_size(p);
        EXPECT_EQ(mssp_reget_ex(p, 9500000, 1), nullptr);
        EXPECT_EQ(mserror_geterr_id(), 16007);
        EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes - size) << "the caller's space is freed, the reservation returned";
        void *kept = qrv::space::get(100);
        const int with_kept = stat(MSSP_STAT_BYTES);
        EXPECT_EQ(qrv::space::reget(kept, 9500000), nullptr);
        EXPECT_EQ(stat(MSSP_STAT_BYTES), with_kept) << "the library's resize keeps the block";
        qrv::space::release(kept);
    }
    void *room = mssp_get_ex(8990000 - stat(MSSP_STAT_BYTES), 1);
    EXPECT_NE(room, nullptr) << "the whole room below the ceiling is still there";
    mssp_free_rv(room);
}

TEST_F(LibraryTest, GrowingResizeRaisesTheBytesHighWaterMark) {
    void *p = mssp_get_ex(100, 1);
    mssp_reset_spstat_hwm(MSSP_STAT_BYTES_HWM);
    const int before = stat(MSSP_STAT_BYTES);
    p = mssp_reget_ex(p, 200000, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(stat(MSSP_STAT_BYTES), before + 190000);
    EXPECT_EQ(stat(MSSP_STAT_BYTES_HWM), stat(MSSP_STAT_BYTES));
    const int peak = stat(MSSP_STAT_BYTES);
    mssp_free_rv(p);
    EXPECT_EQ(stat(MSSP_STAT_BYTES_HWM), peak) << "the mark stays";
}

// Small blocks, bin edges, a large one and blocks the heap maps on their own,
// from the first arena and from a thread's.
void expect_heaps_own_sizes() {
    for (int size : {1, 24, 25, 1000, 1032, 4096, 70000, 200000, 1 << 22}) {
        const int bytes = stat(MSSP_STAT_BYTES);
        void *p = mssp_get_ex(size, 1);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(static_cast<size_t>(mssp_size(p)), malloc_usable_size(p)) << size;
        EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes + mssp_size(p)) << size;
        mssp_free_rv(p);
        EXPECT_EQ(stat(MSSP_STAT_BYTES), bytes) << size;
    }
}

TEST_F(LibraryTest, CountedSizeIsTheHeapsOwn) {
#ifndef QRV_HEAP_FOREIGN
    EXPECT_TRUE(qrv::os::g_heap_size_word.load()) << "glibc's heap: sizes read from the block's header";
#endif
    expect_heaps_own_sizes();
    std::thread(expect_heaps_own_sizes).join();
}

}  // namespace
