// Temporary-file series of 8 threads at once, each with its connection, in
// one temporary directory: every name handed out is new, and creating each
// file exclusively succeeds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "conn/tmpfile.h"
#include "msbasic.h"
#include "msconn.h"
#include "mstmp.h"
#include "support.h"
#include "vars_support.h"

namespace {

class TmpThreads : public LibraryTest {
protected:
    void SetUp() override {
        setenv("MSTMPDIR", dir.str().c_str(), 1);
        LibraryTest::SetUp();
    }
    ScratchDir dir;
};

TEST_F(TmpThreads, NoNameHandedOutTwice) {
    constexpr int kThreads = 8, kFiles = 40;
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<int> failures(kThreads, 0);
    // Connections live until every thread is done: a connection made after
    // another was released may take its address, and with it its series.
    std::vector<void *> connections(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (!msbasic_init_thread()) {
                ++failures[t];
                return;
            }
            void *connection = connections[t] = msconn_alloc();
            for (int i = 0; i < kFiles; ++i) {
                char path[1024];
                if (!mstmp_newfile(path, sizeof path, connection) || msbasic_get_tmpdir_len() < 2) {
                    ++failures[t];
                    continue;
                }
                int fd = open(path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
                if (fd < 0) ++failures[t];
                close(fd);
                names[t].push_back(path);
            }
            msbasic_end_thread();
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (void *connection : connections) msconn_free(static_cast<msconn_connection *>(connection), 1);
    std::set<std::string> all;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0);
        all.insert(names[t].begin(), names[t].end());
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kFiles));
    // Each connection's release removed its own files.
    for (const std::string &name : all) EXPECT_FALSE(std::filesystem::exists(name)) << name;
}

// Eight threads drawing from one connection's series: each claims its own
// candidates, so no name is handed out twice within a turn.
TEST_F(TmpThreads, OneConnectionSharedByThreads) {
    constexpr int kThreads = 8, kFiles = 5;
    msconn_connection *connection = msconn_alloc();
    ASSERT_NE(connection, nullptr);
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFiles; ++i) {
                char path[1024];
                if (mstmp_newfile(path, sizeof path, connection)) names[t].push_back(path);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    std::set<std::string> all;
    for (const auto &list : names) all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kFiles));
    EXPECT_EQ(msconn_free(connection, 1), 1);
}

}  // namespace
