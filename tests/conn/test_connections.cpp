// Connections of one task on one thread: the default connection, the
// thread's current and PSM connections, the list, the hand-over slot, the
// end handlers at the process's end, and handles that are not connections.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msconn.h"
#include "mserror.h"
#include "support.h"

namespace {

using Conn = msconn_connection;

TEST_F(LibraryTest, TheTaskStartsWithItsDefaultConnection) {
    Conn *deflt = msconn_get_task();
    ASSERT_NE(deflt, nullptr);
    EXPECT_EQ(deflt->magic, MSCONN_MAGIC);
    EXPECT_EQ(msconn_get_list(), deflt);
    EXPECT_EQ(msconn_get_thread(), deflt);
    EXPECT_EQ(msconn_check(deflt), 1);
    EXPECT_EQ(msconn_get_first(), nullptr) << "only the default: nothing to take";
    EXPECT_EQ(msconn_get_list(), deflt);
    EXPECT_EQ(ghc, nullptr);
}

TEST_F(LibraryTest, FreeingTheCurrentConnectionFallsBackToTheDefault) {
    Conn *deflt = msconn_get_task();
    Conn *c = msconn_alloc();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(msconn_get_list(), c) << "new connections go to the front";
    EXPECT_EQ(msconn_set_conn_thread(c), deflt);
    EXPECT_EQ(msconn_get_thread(), c);
    EXPECT_EQ(msconn_free(c, 1), 1);
    EXPECT_EQ(msconn_get_thread(), deflt);
    EXPECT_EQ(msconn_get_list(), deflt);
}

TEST_F(LibraryTest, PsmConnectionTakesPrecedenceAndBlocksChoosing) {
    Conn *deflt = msconn_get_task();
    Conn *psm = msconn_alloc();
    Conn *other = msconn_alloc();
    EXPECT_EQ(msconn_set_conn_psm(psm), 1);
    EXPECT_EQ(msconn_get_thread(), psm);
    EXPECT_EQ(msconn_set_conn_thread(other), MSCONN_FAILED);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16533}));
    EXPECT_EQ(msconn_set_conn_psm(nullptr), 1);
    EXPECT_EQ(msconn_get_thread(), deflt) << "the refused choice changed nothing";
    EXPECT_EQ(msconn_set_conn_psm(psm), 1);
    EXPECT_EQ(msconn_free(psm, 1), 1);
    EXPECT_EQ(msconn_get_thread(), deflt) << "freeing the PSM connection clears it";
    EXPECT_EQ(msconn_free(other, 1), 1);
}

TEST_F(LibraryTest, GetFirstTakesEveryConnectionButTheDefaultInListOrder) {
    Conn *a = msconn_alloc();
    Conn *b = msconn_alloc();
    EXPECT_EQ(msconn_get_first(), b);
    EXPECT_EQ(msconn_get_first(), a);
    EXPECT_EQ(msconn_get_first(), nullptr);
    EXPECT_EQ(msconn_check(a), 0) << "taken out of the list";
    EXPECT_EQ(msconn_free(a, 0), 1);
    EXPECT_EQ(msconn_free(b, 0), 1);
}

// Null, a block that only looks like a connection, a freed connection and
// one freed twice: refused with 16310, nothing read behind them.
TEST_F(LibraryTest, HandlesThatAreNotLiveConnectionsAreRefused) {
    alignas(8) unsigned char fake[MSCONN_SIZE] = {};
    reinterpret_cast<Conn *>(fake)->magic = MSCONN_MAGIC;
    Conn *freed = msconn_alloc();
    ASSERT_EQ(msconn_free(freed, 1), 1);
    for (Conn *c : {static_cast<Conn *>(nullptr), reinterpret_cast<Conn *>(fake), freed}) {
        EXPECT_EQ(msconn_check(c), 0);
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
        EXPECT_EQ(msconn_free(c, 1), 0);
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
        EXPECT_EQ(msconn_free(c, 0), 0);
        EXPECT_EQ(msconn_set_conn_thread(c), MSCONN_FAILED);
        EXPECT_EQ(error_ids(), (std::vector<int32_t>{16310}));
        EXPECT_EQ(msconn_to_ghc(c), 0);
    }
    EXPECT_EQ(msconn_get_thread(), msconn_get_task());
}

TEST_F(LibraryTest, HandOverSlotTakesOneConnectionOnce) {
    Conn *c = msconn_alloc();
    EXPECT_EQ(msconn_to_ghc(c), 1);
    EXPECT_EQ(ghc, c);
    EXPECT_EQ(msconn_check(c), 0) << "no longer in the task's list";
    Conn *d = msconn_alloc();
    EXPECT_EQ(msconn_to_ghc(d), 0) << "the slot is occupied";
    EXPECT_EQ(msconn_to_ghc(c), 0) << "handed over twice";
    EXPECT_EQ(msconn_free_ghc(), 1);
    EXPECT_EQ(ghc, nullptr);
    EXPECT_EQ(msconn_free(d, 1), 1);
}

// Calls of the end handlers, in order.
std::vector<std::string> g_calls;
void first_handler(int reason, int process_ending, void *c) {
    g_calls.push_back("first(" + std::to_string(reason) + "," + std::to_string(process_ending) + "," +
                      (c == msconn_get_list() ? "head" : "other") + ")");
}
void second_handler(int reason, void *) { g_calls.push_back("second(" + std::to_string(reason) + ")"); }

TEST(Connections, ProcessEndCallsTheHandlersOfConnectionsInUseOnly) {
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    Conn *idle = msconn_alloc();
    idle->end_handler = first_handler;
    Conn *busy = msconn_alloc();
    busy->in_use = 1;
    busy->end_handler = first_handler;
    busy->end_handler2 = second_handler;
    Conn *waiting = msconn_alloc();
    waiting->in_use = 1;
    waiting->end_handler = first_handler;
    ASSERT_EQ(msconn_to_ghc(waiting), 1);
    g_calls.clear();
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"first(1,1,head)", "second(1)"}))
        << "the waiting connection goes without handlers";
    EXPECT_EQ(ghc, nullptr);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST(Connections, AThreadWithoutAPairIsRefused) {
    EXPECT_EQ(msconn_set_conn_thread(nullptr), MSCONN_FAILED);
    EXPECT_EQ(msconn_set_conn_psm(nullptr), 0);
    EXPECT_EQ(msconn_get_thread(), nullptr);
    EXPECT_EQ(msconn_alloc(), nullptr);
}

}  // namespace
