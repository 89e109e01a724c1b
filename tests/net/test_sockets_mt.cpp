// A loopback echo server on its own thread, serving every client from one
// wait on many sockets, with 64 clients on threads of their own; a wait
// without a time limit that another thread ends.
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net_support.h"
#include "support.h"

namespace {

// Accepts and echoes until `clients` connections have come and gone.
// Returns the number of failed calls.
int serve(qrv_handle listener, int clients) {
    std::vector<qrv_handle> open;
    int served = 0, failures = 0;
    while (served < clients && failures == 0) {
        std::vector<int64_t> slots{listener};
        slots.insert(slots.end(), open.begin(), open.end());
        int ready = mseos_socket_wait_for_read(slots.data(), static_cast<int>(slots.size()), 10, 1);
        if (ready <= 0) return failures + 1;  // ten seconds of silence: a client is lost
        if (slots[0] != -1) {
            qrv_handle s = mseos_accept(listener, nullptr, nullptr);
            if (s == -1) {
                ++failures;
            } else {
                open.push_back(s);
            }
        }
        for (size_t i = 1; i < slots.size(); ++i) {
            if (slots[i] == -1) continue;
            qrv_handle s = slots[i];
            char buffer[256];
            int n = mseos_recv(s, buffer, sizeof buffer, 0);
            if (n > 0 && mseos_send(s, buffer, n, 0) == n) continue;
            if (n < 0) ++failures;
            mseos_closesocket(s);
            std::erase(open, s);
            ++served;
        }
    }
    for (qrv_handle s : open) mseos_closesocket(s);
    return failures;
}

TEST_F(LibraryTest, SixtyFourClientsOfOneEchoServer) {
    int port = 0;
    qrv_handle listener = listen_loopback(&port);
    ASSERT_NE(listener, -1);
    constexpr int kClients = 64;
    int server_failures = -1;
    std::thread server([&] { server_failures = serve(listener, kClients); });
    std::atomic<int> echoed{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([port, c, &echoed] {
            qrv_handle s = connect_loopback(port);
            if (s == -1) return;
            bool same = true;
            for (int round = 0; round < 4 && same; ++round) {
                std::string message = "client " + std::to_string(c) + " round " + std::to_string(round);
                std::string back(message.size(), '\0');
                same = mseos_send(s, message.data(), static_cast<int>(message.size()), 0) ==
                       static_cast<int>(message.size());
                for (size_t got = 0; same && got < back.size();) {
                    int n = mseos_recv(s, back.data() + got, static_cast<int>(back.size() - got), 0);
                    same = n > 0;
                    got += n > 0 ? n : 0;
                }
                same = same && back == message;
            }
            if (same) ++echoed;
            mseos_closesocket(s);
        });
    }
    for (auto &t : clients) t.join();
    server.join();
    EXPECT_EQ(echoed.load(), kClients);
    EXPECT_EQ(server_failures, 0);
    EXPECT_EQ(mseos_closesocket(listener), 0);
}

TEST_F(LibraryTest, WaitWithoutLimitEndsWhenDataComes) {
    int port = 0;
    qrv_handle listener = listen_loopback(&port);
    ASSERT_NE(listener, -1);
    qrv_handle client = connect_loopback(port);
    qrv_handle server = mseos_accept(listener, nullptr, nullptr);
    ASSERT_NE(server, -1);
    std::thread writer([client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        mseos_send(client, "x", 1, 0);
    });
    int64_t slots[2] = {listener, server};
    EXPECT_EQ(mseos_socket_wait_for_read(slots, 2, 0, 1), 1);
    EXPECT_EQ(slots[0], -1);
    EXPECT_EQ(slots[1], server);
    writer.join();
    for (qrv_handle s : {client, server, listener}) EXPECT_EQ(mseos_closesocket(s), 0);
}

}  // namespace
