// The flush before a read looks at the dirty flag of every stream of the
// task while other threads write to their own streams and change theirs.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "mssio.h"
#include "os_support.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, ReadsFlushWhileWritersDirtyTheirOwnStreams) {
    constexpr int kWriters = 4, kRounds = 5000;
    TempDir dir;
    write_file(dir / "in", "x");
    mssio_stream *in = mssio_open((dir / "in").c_str(), "r");
    ASSERT_NE(in, nullptr);
    std::vector<mssio_stream *> outs;
    for (int i = 0; i < kWriters; ++i) {
        outs.push_back(mssio_open((dir / ("out" + std::to_string(i))).c_str(), "w"));
        ASSERT_NE(outs.back(), nullptr);
    }
    std::atomic<int> running{kWriters};
    std::vector<std::thread> writers;
    for (mssio_stream *out : outs) {
        writers.emplace_back([out, &running] {
            for (int r = 0; r < kRounds; ++r) {
                EXPECT_EQ(mssio_write(out, "abc", 3), 3);  // no line feed: stays buffered, the stream dirty
                EXPECT_EQ(mssio_flush(out), 1);
            }
            --running;
        });
    }
    char c = 0;
    while (running > 0) {
        ASSERT_EQ(mssio_seek(in, 0), 0);
        ASSERT_EQ(mssio_read(in, &c, 1), 1);
    }
    for (auto &w : writers) w.join();
    for (int i = 0; i < kWriters; ++i) {
        EXPECT_EQ(mssio_close(outs[i]), 1);
        EXPECT_EQ(read_file(dir / ("out" + std::to_string(i))).size(), 3u * kRounds) << i;
    }
    EXPECT_EQ(mssio_close(in), 1);
}

}  // namespace
