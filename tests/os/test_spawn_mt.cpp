// Sixteen threads spawning at once, waiting and detached, each child
// writing into its own close-on-exec pipe: a pipe end leaking into another
// thread's child would hold that pipe open and the reader would never see
// its end.
#include <thread>

#include "spawn_support.h"
#include "support.h"

namespace {

using SpawnThreads = LibraryTest;

TEST_F(SpawnThreads, SixteenThreadsSpawnAtOnce) {
    constexpr int kThreads = 16, kRounds = 6;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < kRounds; ++round) {
                qrv_handle r, w;
                if (!msos_createpipe(&r, &w, nullptr, 0)) {
                    ++failures[t];
                    continue;
                }
                const qrv_handle triple[3] = {QRV_INVALID_HANDLE, w, QRV_INVALID_HANDLE};
                const int wait = round % 2;
                Argv argv({"child", wait ? "x3" : "-", std::to_string(t), std::to_string(round)});
                uint32_t result = mseos_spawnvp_io(kChild, argv.get(), wait, triple);
                msos_closehandle(w);
                Report report = parse_report(read_all(static_cast<int>(r)));
                msos_closehandle(r);
                bool ok = report.ok && report.args == argv.text &&
                          (wait ? result == 3u : result == static_cast<uint32_t>(report.pid));
                if (!ok) ++failures[t];
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    EXPECT_TRUE(no_children());
}

}  // namespace
