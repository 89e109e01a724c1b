// The space allocator's accounting under sixteen threads.
#include <thread>
#include <vector>

#include "mssp.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, SixteenThreadsGetResizeAndFreeWithExactAccounting) {
    const int spaces = mssp_get_spstat(MSSP_STAT_SPACES);
    const int bytes = mssp_get_spstat(MSSP_STAT_BYTES);
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([t] {
            std::vector<void *> held;
            for (int i = 0; i < 2000; ++i) {
                int size = 16 + (i * 37 + t * 101) % 4000;
                void *p = mssp_get_ex(size, 1);
                if (i % 3 == 0) p = mssp_reget_ex(p, size * 2, 1);
                held.push_back(p);
                if (held.size() > 8) {
                    mssp_free_rv(held.front());
                    held.erase(held.begin());
                }
            }
            for (void *p : held) mssp_free_rv(p);
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(mssp_get_spstat(MSSP_STAT_SPACES), spaces);
    EXPECT_EQ(mssp_get_spstat(MSSP_STAT_BYTES), bytes);
    EXPECT_GE(mssp_get_spstat(MSSP_STAT_SPACES_HWM), spaces + 9) << "one thread alone holds nine";
    EXPECT_GT(mssp_get_spstat(MSSP_STAT_BIGGEST), 4000);
    EXPECT_LE(mssp_get_spstat(MSSP_STAT_BIGGEST), 2 * 4015);
}

}  // namespace
