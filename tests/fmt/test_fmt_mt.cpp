// The engine from many threads at once: all working storage is per call,
// and the shared wide translator opens exactly once under its mutex even
// when the first wide conversions race.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fmt/engine.h"
#include "msfmt.h"
#include "support.h"
#include "test_translator.h"

namespace {

TEST_F(LibraryTest, ConcurrentCallsShareOneTranslator) {
    qrv::fmt::set_wide_translator(&kTestTranslator);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &wrong] {
            char buf[64];
            for (int i = 0; i < 500; ++i) {
                msfmt_buffer_lim(buf, sizeof buf, "%ls-%d-%.2lf|%5s", u"thread", t * 1000 + i, 0.5, "x");
                std::string want = "thread-" + std::to_string(t * 1000 + i) + "-0.50|    x";
                if (want != buf) wrong.fetch_add(1);
            }
        });
    }
    for (std::thread &th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(g_translator_opens.load(), 1);
    qrv::fmt::set_wide_translator(nullptr);
}

}  // namespace
