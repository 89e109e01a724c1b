// Eight threads rendering their own stacks and reading NLS files at once.
#include <thread>
#include <vector>

#include "msnlsmsg.h"
#include "support.h"

namespace {

TEST_F(LibraryTest, ConcurrentRenderingAndFileReads) {
    msnlsmsg_client *client = msnlsmsg_init_client("japanese", '|');
    ASSERT_NE(client, nullptr);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, client, &mismatches] {
            if (msbasic_init_thread() != 1) {
                ++mismatches[t];
                return;
            }
            std::string path = "/thread/" + std::to_string(t);
            for (int i = 0; i < 200; ++i) {
                mserror_reset_seterr_1arg(16453, t * 1000 + i);
                mserror_seterr_1arg_str(16473, path.c_str());
                char text[256];
                msnlsmsg_error_msg_all(text, sizeof text, client);
                std::string want = "ファイル '" + path + "' を開けません|ソケットをポート " +
                                   std::to_string(t * 1000 + i) + " にバインドできません";
                const char *file_text = msnlsmsg_str_real(10601 + (i % 3) * 2, nullptr);  // from the NLS file
                const char *client_text = msnlsmsg_str_real(10601, client);
                if (want != text || std::string(client_text) != "オプション ファイルを読み取れません" ||
                    file_text[0] == '\0') {
                    ++mismatches[t];
                }
            }
            msbasic_end_thread();
        });
    }
    for (auto &th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    msnlsmsg_end_client(client);
}

}  // namespace
