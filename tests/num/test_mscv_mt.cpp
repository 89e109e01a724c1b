// The readers from several threads at once: each thread's failures land on
// its own error stack, and the shared tables are only read.
#include <atomic>
#include <thread>

#include "mscv.h"
#include "msstr.h"
#include "text_support.h"

namespace {

class ReadersOnThreads : public LibraryTest {};

TEST_F(ReadersOnThreads, EachThreadSeesOnlyItsOwnErrors) {
    const struct {
        const char *text;
        int32_t id;
    } kPerThread[] = {{"", 16052}, {"2147483648", 16053}, {"-2147483649", 16055}, {"12a", 16051}};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (const auto &mine : kPerThread) {
        threads.emplace_back([&mismatches, mine] {
            if (msbasic_init_thread() != 1) ++mismatches;
            char digits[12];
            for (int i = 0; i < 2000; ++i) {
                int value = 0;
                if (mscv_ai(&value, mine.text) != 0 || mserror_geterr_id() != mine.id) ++mismatches;
                mscv_ix(digits, i);
                if (mscv_ai(&value, digits) != 1 || value != i || msstr_length_ch(digits) < 1) ++mismatches;
            }
            msbasic_end_thread();
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
