// Translators from many threads at once: one open record of each kind
// shared by eight threads, and the formatting engine's wide translator
// opened by the first wide conversions of eight threads racing.
#include <atomic>
#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "mscs.h"
#include "msfmt.h"
#include "support.h"

namespace {

constexpr int kThreads = 8;

std::string bytes(const void *p, int n) { return std::string(static_cast<const char *>(p), static_cast<size_t>(n)); }

// Runs body(n) on kThreads threads released together; the number of
// wrong results they counted.
template <typename Body>
int race(Body body) {
    std::atomic<int> wrong{0};
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([&, n] {
            start.arrive_and_wait();
            body(n, wrong);
        });
    }
    for (std::thread &th : threads) th.join();
    return wrong.load();
}

TEST_F(LibraryTest, EightThreadsConvertThroughOneRecord) {
    const std::u16string wide = u"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8 abc";
    const std::string utf8 = "\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8 abc",
                      sjis = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67 abc";
    const std::string utf16 = bytes(wide.data(), static_cast<int>(wide.size() * 2));
    const struct {
        int cs1, cs2;
        std::string one, two;
    } pairs[] = {
        {MSCS_SJIS, MSCS_UTF8, sjis, utf8},    // plug-in over the code-page service
        {MSCS_WCHAR, MSCS_UTF8, utf16, utf8},  // plug-in, the library's own converter
        {MSCS_WCHAR, MSCS_SJIS, utf16, sjis},  // platform
    };
    mscstrans_trans records[3];
    for (int i = 0; i < 3; ++i) {
        mscstrans_init_trans(&records[i]);
        ASSERT_EQ(mscstrans_open_trans(pairs[i].cs1, pairs[i].cs2, &records[i]), 1);
    }
    int wrong_results = race([&](int n, std::atomic<int> &wrong) {
        mscstrans_strbuf b;
        mscstrans_strbuf_init(&b);
        for (int i = 0; i < 300; ++i) {
            const auto &p = pairs[(n + i) % 3];
            mscstrans_trans *t = &records[(n + i) % 3];
            alignas(2) char out[128];
            int out_len = 0, status = -1;
            int direction = i % 2;
            const std::string &src = direction == 0 ? p.one : p.two, &want = direction == 0 ? p.two : p.one;
            if (!mscstrans_cs1_cs2(t, direction, src.data(), static_cast<int>(src.size()), out, sizeof out, &out_len,
                                   &status) ||
                bytes(out, out_len) != want) {
                wrong.fetch_add(1);
            }
            std::string terminated = src + std::string(2, '\0');
            if (!mscstrans_cs1_cs2_str_ex(t, direction, terminated.data(), -1, &b, &status) ||
                bytes(b.text, b.length).compare(0, want.size(), want) != 0) {
                wrong.fetch_add(1);
            }
        }
        mscstrans_strbuf_destroy(&b);
    });
    EXPECT_EQ(wrong_results, 0);
    for (mscstrans_trans &t : records) mscstrans_close_trans(&t);
}

// A fresh process: the first wide conversions of eight threads race to
// open the shared translator.
TEST_F(LibraryTest, EightThreadsFormatWideTextFirst) {
    int wrong_results = race([](int n, std::atomic<int> &wrong) {
        char text[128];
        for (int i = 0; i < 200; ++i) {
            msfmt_buffer_lim(text, sizeof text, "%ls|%lc|%d", u"\u65e5\u672c\u8a9e\U0001F600", 0x3042 + n, i);
            std::string want = "\u65e5\u672c\u8a9e\U0001F600|" + std::string(1, '\xE3') + static_cast<char>(0x81) +
                               static_cast<char>(0x82 + n) + "|" + std::to_string(i);
            if (want != text) wrong.fetch_add(1);
        }
    });
    EXPECT_EQ(wrong_results, 0);
    EXPECT_EQ(mserror_geterr_id(), 0);
}

}  // namespace
