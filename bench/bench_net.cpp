// Loopback TCP echo of 64-byte messages: mseos_send/mseos_recv beside bare
// send/recv. Both ends are served by the benchmark's thread (send, receive
// on the peer, send back, receive), so a round is four system calls and no
// thread wake-ups: what differs between the two is the library's layer.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "msbasic.h"
#include "tests/net_support.h"

namespace {

constexpr int kMessage = 64;

struct Connection {
    qrv_handle listener = -1, client = -1, server = -1;
    Connection() {
        msbasic_init_main(msbasic_init_cascade);
        int port = 0;
        listener = listen_loopback(&port);
        client = connect_loopback(port);
        server = mseos_accept(listener, nullptr, nullptr);
        int one = 1;
        for (qrv_handle s : {client, server}) mseos_setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Connection() {
        for (qrv_handle s : {client, server, listener}) msos_closesocket(s);
        msbasic_end_main(msbasic_init_cascade);
    }
    bool ok() const { return listener != -1 && client != -1 && server != -1; }
};

// Receives exactly n bytes (a stream may deliver fewer per call).
template <typename Recv>
bool receive_all(Recv recv_call, char *buffer, int n) {
    for (int got = 0; got < n;) {
        int r = recv_call(buffer + got, n - got);
        if (r <= 0) return false;
        got += r;
    }
    return true;
}

void BM_Echo64_Mseos(benchmark::State &state) {
    Connection c;
    if (!c.ok()) state.SkipWithError("no loopback connection");
    char out[kMessage] = "a 64-byte message of the benchmark, echoed by the peer.........", in[kMessage];
    for (auto _ : state) {
        bool ok = mseos_send(c.client, out, kMessage, 0) == kMessage &&
                  receive_all([&](char *b, int n) { return mseos_recv(c.server, b, n, 0); }, in, kMessage) &&
                  mseos_send(c.server, in, kMessage, 0) == kMessage &&
                  receive_all([&](char *b, int n) { return mseos_recv(c.client, b, n, 0); }, in, kMessage);
        if (!ok) state.SkipWithError("echo failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Echo64_Mseos);

void BM_Echo64_Bare(benchmark::State &state) {
    Connection c;
    if (!c.ok()) state.SkipWithError("no loopback connection");
    int client = static_cast<int>(c.client), server = static_cast<int>(c.server);
    char out[kMessage] = "a 64-byte message of the benchmark, echoed by the peer.........", in[kMessage];
    for (auto _ : state) {
        bool ok = send(client, out, kMessage, MSG_NOSIGNAL) == kMessage &&
                  receive_all([&](char *b, int n) { return static_cast<int>(recv(server, b, n, 0)); }, in, kMessage) &&
                  send(server, in, kMessage, MSG_NOSIGNAL) == kMessage &&
                  receive_all([&](char *b, int n) { return static_cast<int>(recv(client, b, n, 0)); }, in, kMessage);
        if (!ok) state.SkipWithError("echo failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Echo64_Bare);

}  // namespace

BENCHMARK_MAIN();
