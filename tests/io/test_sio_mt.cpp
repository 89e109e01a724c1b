// Eight threads printing whole lines to one stream.
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "mssio.h"
#include "os_support.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, ConcurrentPrintsNeverInterleaveWithinACall) {
    TempDir dir;
    std::string path = dir / "lines";
    mssio_stream *s = mssio_open_ex(path.c_str(), 1, "w");
    ASSERT_NE(s, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([s, t] {
            for (int i = 0; i < 300; ++i) mssio_fprintf(s, "thread %d line %d %s\n", t, i, "----------------------");
        });
    }
    for (auto &th : threads) th.join();
    ASSERT_EQ(mssio_close(s), 1);
    std::istringstream in(read_file(path));
    std::map<int, int> next;
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        int t = -1, i = -1;
        char tail[64];
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d %63s", &t, &i, tail), 3) << line;
        EXPECT_EQ(std::string(tail), "----------------------") << line;
        EXPECT_EQ(i, next[t]++) << "each thread's lines in order";
    }
    EXPECT_EQ(lines, 8 * 300);
}

}  // namespace
