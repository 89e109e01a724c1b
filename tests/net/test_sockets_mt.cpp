// A loopback echo server on its own thread serving 64 client threads from one
// wait on many sockets; a wait without a time limit that another thread ends.
#include <atomic>
#include <chrono>
#include <thread>

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
            if (s != -1) open.push_back(s);
            failures += s == -1;
        }
        for (size_t i = 1; i < slots.size(); ++i) {
            if (slots[i] == -1) continue;
            qrv_handle s = slots[i];
            char buffer[256];
            int n = mseos_recv(s, buffer, sizeof buffer, 0);
            if (n > 0 && mseos_send(s, buffer, n, 0) == n) continue;
            failures += n < 0;
            mseos_closesocket(s);
            std::erase(open, s);
            ++served;
        }
    }
    for (qrv_handle s : open) mseos_closesocket(s);
    return failures;
}

// Four messages each, read back in as many pieces as they come.
bool echoed(int port, int c) {
    qrv_handle s = connect_loopback(port);
    bool same = s != -1;
    for (int round = 0; round < 4 && same; ++round) {
        std::string message = "client " + std::to_string(c) + " round " + std::to_string(round);
        std::string back(message.size(), '\0');
        same = mseos_send(s, message.data(), static_cast<int>(message.size()), 0) == static_cast<int>(message.size());
        for (int got = 0, n = 0; same && got < static_cast<int>(back.size()); got += n) {
            same = (n = mseos_recv(s, back.data() + got, static_cast<int>(back.size()) - got, 0)) > 0;
        }
        same = same && back == message;
    }
    if (s != -1) mseos_closesocket(s);
    return same;
}

TEST_F(LibraryTest, SixtyFourClientsOfOneEchoServer) {
    int port = 0;
    qrv_handle listener = listen_loopback(&port);
    ASSERT_NE(listener, -1);
    constexpr int kClients = 64;
    int server_failures = -1;
    std::thread server([&] { server_failures = serve(listener, kClients); });
    std::atomic<int> echoes{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) clients.emplace_back([port, c, &echoes] { echoes += echoed(port, c); });
    for (auto &t : clients) t.join();
    server.join();
    EXPECT_EQ(echoes.load(), kClients);
    EXPECT_EQ(server_failures, 0);
    EXPECT_EQ(mseos_closesocket(listener), 0);
}

TEST_F(LibraryTest, WaitWithoutLimitEndsWhenDataComes) {
    int port = 0;
    qrv_handle listener = listen_loopback(&port);
    ASSERT_NE(listener, -1);
    qrv_handle client = connect_loopback(port), server = mseos_accept(listener, nullptr, nullptr);
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
