// The engine from many threads at once: all working storage is per call,
// and the shared wide translator opens exactly once under its mutex even
// when the first wide conversions race.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fmt/engine.h"
#include "msfmt.h"
#include "support.h"

namespace {

std::atomic<int> g_opens{0};

bool count_open() noexcept {
    g_opens.fetch_add(1);
    return true;
}

// Keeps ASCII units, which is all this test sends.
int ascii_convert(const char16_t *src, char **buffer, int *capacity) noexcept {
    int n = 0;
    while (src[n] != 0) ++n;
    if (*capacity < n + 1) {
        *buffer = static_cast<char *>(qrv::space::reget(*buffer, n + 1));
        *capacity = n + 1;
    }
    for (int i = 0; i <= n; ++i) (*buffer)[i] = static_cast<char>(src[i]);
    return n;
}

const qrv::fmt::WideTranslator kAscii = {count_open, nullptr, ascii_convert};

TEST_F(LibraryTest, ConcurrentCallsShareOneTranslator) {
    qrv::fmt::set_wide_translator(&kAscii);
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
    EXPECT_EQ(g_opens.load(), 1);
    qrv::fmt::set_wide_translator(nullptr);
}

}  // namespace
