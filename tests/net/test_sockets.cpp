// Sockets over loopback TCP, the refusals of bad handles and waits, injected
// interruptions and resolver failures, and this machine's names and interfaces.
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>

#include "msnethost.h"
#include "msnlsmsg.h"
#include "net_support.h"
#include "os/netif.h"
#include "os_support.h"
#include "support.h"

namespace {

using qrv::os::g_sys;

// The top id and the errno of the 16151 entry under it: "id/errno" ("id/-").
std::string reported() {
    int32_t top = 0, used = 0, id = mserror_geterr_id();
    mserror_stack_save(&top, &used);
    std::string os = mserror_pop() && mserror_geterr_id() == 16151 ? std::to_string(number_arg(0)) : "-";
    mserror_stack_restore(top, used);
    return std::to_string(id) + "/" + os;
}
std::string reported(int32_t id, int os_error) { return std::to_string(id) + "/" + std::to_string(os_error); }

std::string render() {
    msnlsmsg_client *client = msnlsmsg_init_client("english", '|');
    char text[256] = "";
    msnlsmsg_error_msg_all(text, sizeof text, client);
    msnlsmsg_end_client(client);
    return text;
}

class Sockets : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        listener_ = listen_loopback(&port_);
        ASSERT_NE(listener_, -1);
    }
    void TearDown() override {
        qrv::os::restore_syscalls();
        for (qrv_handle s : {listener_, client_, server_}) msos_closesocket(s);  // -1 too: it is refused
        LibraryTest::TearDown();
    }
    void connect_pair(sockaddr_in *peer = nullptr, int *length = nullptr) {
        client_ = connect_loopback(port_);
        ASSERT_NE(client_, -1);
        server_ = mseos_accept(listener_, reinterpret_cast<sockaddr *>(peer), length);
        ASSERT_NE(server_, -1);
    }
    qrv_handle listener_ = -1, client_ = -1, server_ = -1;
    int port_ = 0;
};

// An echo both ways; then the peer resets: reading gives the end and sending
// counts as done without SIGPIPE, leaving a report the caller had alone.
TEST_F(Sockets, EchoThenPeerReset) {
    sockaddr_in peer;
    int length = sizeof peer;
    connect_pair(&peer, &length);
    EXPECT_EQ(length, static_cast<int>(sizeof peer));
    EXPECT_EQ(msos_ntohl(peer.sin_addr.s_addr), 0x7F000001u);
    char text[16] = {};
    EXPECT_EQ(mseos_send(client_, "ping", 4, 0), 4);
    EXPECT_EQ(mseos_recv(server_, text, sizeof text, 0), 4);
    EXPECT_EQ(mseos_send(server_, text, 4, 0), 4);
    EXPECT_EQ(mseos_recv(client_, text + 4, sizeof text - 4, 0), 4);
    EXPECT_STREQ(text, "pingping");
    EXPECT_EQ(entry_count(), 0);

    struct linger abort_close = {1, 0};
    ASSERT_EQ(mseos_setsockopt(server_, SOL_SOCKET, SO_LINGER, &abort_close, sizeof abort_close), 0);
    ASSERT_EQ(mseos_closesocket(server_), 0);
    server_ = -1;
    mserror_seterr(16001, 0);
    EXPECT_EQ(mseos_recv(client_, text, 1, 0), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mseos_send(client_, "abc", 3, 0), 3) << i;  // reset, then EPIPE
    EXPECT_EQ(error_ids(), std::vector<int32_t>{16001});
    EXPECT_EQ(msos_send(client_, "abc", 3, 0), -1);
    EXPECT_EQ(errno, EPIPE);
}

TEST_F(Sockets, BusyBindAndRefusedConnectReportThePort) {
    qrv_handle s = mseos_socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback_address(port_);
    EXPECT_EQ(mseos_bind(s, as_sockaddr(address), sizeof address), -1);
    EXPECT_EQ(reported(), reported(16453, EADDRINUSE));
    EXPECT_EQ(number_arg(0), port_);
    EXPECT_EQ(mseos_bind(s, nullptr, 0), -1);  // no address: port 0
    EXPECT_EQ(number_arg(0), 0);
    msos_closesocket(s);
    ASSERT_EQ(msos_closesocket(listener_), 0);
    listener_ = -1;
    EXPECT_EQ(connect_loopback(port_), -1);
    EXPECT_EQ(reported(), reported(16455, ECONNREFUSED));
    EXPECT_EQ(render(),
              "cannot connect socket to port " + std::to_string(port_) + "|O/S error 111: Connection refused");
}

// Every call on a handle that is no open socket fails with its id and the
// errno under it; closesocket leaves other files open.
TEST_F(Sockets, BadHandlesFailWithTheirIds) {
    int file = open("/dev/null", O_RDONLY | O_CLOEXEC);
    qrv_handle closed = msos_socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(msos_closesocket(closed), 0);
    sockaddr_in address = loopback_address(port_);
    int length = sizeof address, one = 1;
    char buffer[8];
    const std::pair<qrv_handle, int> handles[] = {
        {-1, EBADF}, {closed, EBADF}, {file, ENOTSOCK}, {qrv_handle{INT_MAX} + 1, EBADF}};
    const std::pair<int32_t, std::function<int(qrv_handle)>> calls[] = {
        {16453, [&](qrv_handle h) { return mseos_bind(h, as_sockaddr(address), length); }},
        {16455, [&](qrv_handle h) { return mseos_connect(h, as_sockaddr(address), length); }},
        {16457, [](qrv_handle h) { return mseos_listen(h, 1); }},
        {16452, [](qrv_handle h) { return static_cast<int>(mseos_accept(h, nullptr, nullptr)); }},
        {16456, [&](qrv_handle h) { return mseos_getsockname(h, reinterpret_cast<sockaddr *>(&address), &length); }},
        {16461, [&](qrv_handle h) { return mseos_setsockopt(h, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one); }},
        {16460, [](qrv_handle h) { return mseos_send(h, "x", 1, 0); }},
        {16454, [](qrv_handle h) { return mseos_closesocket(h); }},
    };
    for (const auto &[handle, os_error] : handles) {
        for (const auto &[id, call] : calls) {
            EXPECT_EQ(call(handle), -1) << handle << " " << id;
            EXPECT_EQ(reported(), reported(id, os_error)) << handle;
        }
        mserror_reset();
        EXPECT_EQ(mseos_recv(handle, buffer, sizeof buffer, 0), -1);
        EXPECT_EQ(error_ids(), std::vector<int32_t>{16458}) << "receive pushes its id alone";
    }
    EXPECT_EQ(fcntl(file, F_GETFD), FD_CLOEXEC) << "a file is not closed as a socket";
    close(file);
    EXPECT_EQ(msos_recv(listener_, buffer, -1, 0), -1);
    EXPECT_EQ(errno, EINVAL);
}

// A poll that finds nothing leaves the slots alone; a wait keeps the ready
// socket (high bits and all) and sets the others to -1.
TEST_F(Sockets, WaitForReadMarksTheSocketsNotReady) {
    connect_pair();
    int64_t slots[3] = {client_, server_, listener_};
    EXPECT_EQ(mseos_socket_wait_for_read(slots, 3, -5, 1), 0);
    EXPECT_EQ(slots[1], server_);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mseos_socket_wait_for_read(slots, 1, 1, 1), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    ASSERT_EQ(mseos_send(client_, "x", 1, 0), 1);
    int64_t high_bits = int64_t{0x7777} << 32 | server_;
    int64_t many[4] = {client_, high_bits, listener_, server_};
    EXPECT_EQ(mseos_socket_wait_for_read(many, 4, 5, 1), 1);
    EXPECT_EQ(std::vector<int64_t>(many, many + 4), (std::vector<int64_t>{-1, high_bits, -1, server_}));
    EXPECT_EQ(entry_count(), 0);
}

TEST_F(Sockets, BadWaitsFailBeforeWaiting) {
    int64_t too_high[2] = {listener_, 131616};
    EXPECT_EQ(mseos_socket_wait_for_read(too_high, 2, 0, 1), -1);
    EXPECT_EQ(mserror_geterr_id(), 16517);
    EXPECT_EQ(number_arg(0), 131616);
    EXPECT_EQ(number_arg(1), 131616);
    EXPECT_EQ(too_high[0], listener_);
    const std::pair<std::vector<int64_t>, int> cases[] = {
        {{}, EINVAL}, {{131615}, EBADF}, {{-1}, EBADF}, {{listener_, 999}, EBADF}};
    for (auto [slots, os_error] : cases) {
        mserror_reset();
        EXPECT_EQ(mseos_socket_wait_for_read(slots.data(), static_cast<int>(slots.size()), 0, 0), -1);
        EXPECT_EQ(entry_count(), 0) << "unreported";
        EXPECT_EQ(mseos_socket_wait_for_read(slots.data(), static_cast<int>(slots.size()), 0, 1), -1);
        EXPECT_EQ(reported(), reported(16459, os_error));
    }
    EXPECT_EQ(mseos_socket_wait_for_read(nullptr, 3, 0, 0), -1);
}

TEST_F(Sockets, WaitOnAThousandSockets) {
    struct rlimit files;
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 2048));
    setrlimit(RLIMIT_NOFILE, &files);  // the usual soft limit of 1024 is too few
    std::vector<int64_t> slots(1024);
    for (size_t i = 0; i < slots.size(); i += 2) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        slots[i] = pair[0], slots[i + 1] = pair[1];
    }
    std::vector<int64_t> fds = slots;
    ASSERT_EQ(write(static_cast<int>(fds[701]), "x", 1), 1);  // makes its peer, 700, readable
    EXPECT_EQ(mseos_socket_wait_for_read(slots.data(), 1024, 2, 1), 1);
    for (size_t i = 0; i < slots.size(); ++i) EXPECT_EQ(slots[i], i == 700 ? fds[700] : -1) << i;
    for (int64_t fd : fds) close(static_cast<int>(fd));
}

TEST_F(Sockets, SelectRewritesItsSetsAndRefusesEmptyOnes) {
    connect_pair();
    msos_fd_set read_set = {2, {client_, listener_}}, write_set = {1, {client_}}, empty = {};
    msos_timeval wait = {1, 0}, negative = {0, -1};
    EXPECT_EQ(mseos_select(0, &read_set, &write_set, nullptr, &wait), 1);
    EXPECT_EQ(read_set.count, 0u);
    EXPECT_EQ(write_set.count, 1u);
    EXPECT_EQ(mseos_select(0, &empty, nullptr, nullptr, &wait), -1);
    EXPECT_EQ(reported(), reported(16459, EINVAL));
    empty.count = MSOS_FD_SETSIZE + 1;
    EXPECT_EQ(msos_select(0, &empty, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(msos_select(0, &write_set, nullptr, nullptr, &negative), -1);
}

// Every call that can block retries a signal's EINTR.
int g_interrupts = 0;
template <auto Real, typename... Args>
auto interrupted(Args... args) -> decltype(Real(args...)) {
    if (g_interrupts-- > 0) return errno = EINTR, -1;
    return Real(args...);
}

// A signal that arrives once the connection is made: the attempt is over.
int connected_then_interrupted(int fd, const sockaddr *address, socklen_t length) {
    return ::connect(fd, address, length) == 0 ? (errno = EINTR, -1) : -1;
}

TEST_F(Sockets, InterruptedCallsAreRetried) {
    g_sys.accept4 = interrupted<::accept4, int, sockaddr *, socklen_t *, int>;
    g_sys.send = interrupted<::send, int, const void *, size_t, int>;
    g_sys.recv = interrupted<::recv, int, void *, size_t, int>;
    g_sys.ppoll = interrupted<::ppoll, pollfd *, nfds_t, const timespec *, const sigset_t *>;
    g_sys.connect = connected_then_interrupted;
    g_interrupts = 1;
    client_ = connect_loopback(port_);  // waits for the attempt's outcome
    ASSERT_NE(client_, -1);
    g_interrupts = 2;
    server_ = mseos_accept(listener_, nullptr, nullptr);
    ASSERT_NE(server_, -1);
    int64_t slot = server_;
    char text[4] = {};
    const std::function<bool()> calls[] = {
        [&] { return mseos_send(client_, "abc", 3, 0) == 3; },
        [&] { return mseos_socket_wait_for_read(&slot, 1, 5, 1) == 1; },
        [&] { return mseos_recv(server_, text, 3, 0) == 3 && std::string(text) == "abc"; },
        [&] { return mseos_socket_wait_for_read(&slot, 1, -1, 1) == 0; },  // a poll interrupted still polls
    };
    for (const auto &call : calls) {
        g_interrupts = 2;
        EXPECT_TRUE(call()) << &call - calls;
    }
    EXPECT_EQ(entry_count(), 0);
}

TEST_F(LibraryTest, SocketLayerStartsAreCounted) {
    int users = qrv::os::socket_layer_users();
    EXPECT_GE(users, 1) << "started when the library was loaded";
    EXPECT_EQ(msos_winsock_init(), 0);
    EXPECT_EQ(qrv::os::socket_layer_users(), users + 1);
    EXPECT_EQ(msos_winsock_cleanup(), 0);
    EXPECT_EQ(qrv::os::socket_layer_users(), users);
}

TEST(Addresses, DottedTextByteOrderAndFormatting) {
    const std::pair<const char *, uint32_t> cases[] = {
        {"127.0.0.1", 0x7F000001u}, {"10.0.0.1", 0x0A000001u},  {"1.2.3", 0x01020003u},
        {"0x7f.1", 0x7F000001u},    {"256.1.1.1", 0xFFFFFFFFu}, {"1.2.3.4 ", 0xFFFFFFFFu},
        {"1.2.3.4.", 0xFFFFFFFFu},  {"", 0xFFFFFFFFu},          {nullptr, 0xFFFFFFFFu}};
    for (const auto &[text, host_order] : cases) EXPECT_EQ(msos_ntohl(msos_inet_addr(text)), host_order) << text;
    Canary out(16), small(15);
    EXPECT_EQ(msnethost_fmt_ipaddr(0x7F000001u, out.chars(), 16), 1);
    EXPECT_STREQ(out.chars(), "127.0.0.1");
    EXPECT_EQ(msnethost_fmt_ipaddr(0xFFFFFFFFu, out.chars(), 16), 1);
    EXPECT_STREQ(out.chars(), "255.255.255.255");
    EXPECT_TRUE(out.untouched_from(16));
    EXPECT_EQ(msnethost_fmt_ipaddr(0xFFFFFFFFu, small.chars(), 15), 0);
    EXPECT_STREQ(small.chars(), "");
    EXPECT_TRUE(small.untouched_from(1));
    EXPECT_EQ(msnethost_fmt_ipaddr(1, small.chars(), 0), 0);
    EXPECT_EQ(msnethost_fmt_ipaddr(1, nullptr, 16), 0);
}

std::string own_host_name() {
    char name[256] = "";
    gethostname(name, sizeof name);
    return name;
}

// Each name gives an address (1: any nonzero) or fails with 17051 naming it.
TEST_F(LibraryTest, NamesToAddresses) {
    const struct {
        std::string name;
        uint32_t address;
    } cases[] = {
        {"localhost", 0x7F000001u}, {"127.0.0.1", 0x7F000001u}, {"10.0.0.1", 0x0A000001u},  {"1.2.3", 0x01020003u},
        {own_host_name(), 1},       {"nohost.invalid", 0},      {"256.1.1.1", 0},           {"", 0},
        {"no such host", 0},        {std::string(255, 'a'), 0}, {std::string(1000, 'a'), 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        mserror_reset();
        uint32_t address = 0xDEAD;
        EXPECT_EQ(msnethost_by_name(c.name.c_str(), &address), c.address != 0);
        EXPECT_TRUE(c.address == 1 ? address != 0 : address == c.address) << address;
        EXPECT_EQ(mserror_geterr_id(), c.address != 0 ? 0 : 17051);
        EXPECT_EQ(string_arg(0), c.address != 0 ? "<none>" : c.name);
    }
    for (const char *name : {"localhost.", "trailing.dot.invalid."}) {
        uint32_t address = 0;
        int result = msnethost_by_name(name, &address);  // the resolver decides
        EXPECT_TRUE(result == 1 ? address != 0 : mserror_geterr_id() == 17051) << name;
    }
    EXPECT_EQ(msnethost_by_name(nullptr, nullptr), 0);
    EXPECT_EQ(string_arg(0), "(nil)");
    mserror_reset();
    msnethost_by_name("nohost.invalid", nullptr);
    EXPECT_EQ(render(), "host lookup failed for 'nohost.invalid'");
}

TEST_F(LibraryTest, AddressesToNames) {
    mserror_seterr(16001, 0);
    Canary name(64), tiny(3);
    EXPECT_EQ(msnethost_by_ipaddr(0x7F000001u, name.chars(), 64), 1);
    EXPECT_STREQ(name.chars(), "localhost");
    EXPECT_EQ(entry_count(), 0) << "the stack is cleared first";
    EXPECT_EQ(msnethost_by_ipaddr(0x7F000001u, tiny.chars(), 3), 0);
    EXPECT_TRUE(tiny.untouched_from(3));
    EXPECT_EQ(mserror_geterr_id(), 17051);
    EXPECT_EQ(string_arg(0), "127.0.0.1");
    EXPECT_EQ(msnethost_by_ipaddr(0x7F000001u, nullptr, 64), 0);
}

TEST_F(LibraryTest, LocalNamesAndAddresses) {
    std::string host = own_host_name();
    Canary name(256), small(2);
    ASSERT_NE(msnethost_get_local_hostname(name.chars(), 256), nullptr);
    EXPECT_EQ(name.chars(), host);
    EXPECT_EQ(msnethost_get_local_hostname(small.chars(), 2), nullptr);
    EXPECT_TRUE(small.untouched_from(2));
    EXPECT_EQ(msnethost_get_local_hostname(nullptr, 256), nullptr);
    EXPECT_EQ(msos_gethostname(name.chars(), 0), -1);

    uint32_t local = msnethost_get_local_ipaddr();
    ASSERT_NE(local, 0u);
    for (const char *local_name : {"localhost", host.c_str(), "127.0.0.1"}) {
        EXPECT_EQ(msnethost_name_is_local(local_name), 1) << local_name;
    }
    EXPECT_EQ(msnethost_name_is_local("nohost.invalid"), -1);
    EXPECT_EQ(msnethost_name_is_local(nullptr), -1);
    EXPECT_EQ(msnethost_ipaddr_is_local(local), 1);
    EXPECT_EQ(msnethost_ipaddr_is_local(0x7F000001u), 1) << "the loopback interface";
    EXPECT_EQ(msnethost_ipaddr_is_local(0xC6336401u), 0) << "198.51.100.1";
    // A neighbour of the local address on no interface: local by network only.
    uint32_t neighbour = local ^ 0x80, next_network = local ^ 0x100;
    std::vector<uint32_t> listed(32);
    listed.resize(qrv::os::ipv4_interface_addresses(listed.data(), 32));
    bool on_interface = false, network_on_interface = false;
    for (uint32_t a : listed) {
        on_interface |= msos_ntohl(a) == neighbour;
        network_on_interface |= msos_ntohl(a) >> 8 == next_network >> 8;
    }
    EXPECT_EQ(msnethost_ipaddr_class_is_local(neighbour), 1);
    EXPECT_EQ(msnethost_ipaddr_is_local(neighbour), on_interface ? 1 : 0);
    EXPECT_EQ(msnethost_ipaddr_class_is_local(next_network), network_on_interface ? 1 : 0);
    EXPECT_EQ(msnethost_ipaddr_class_is_local(0xC6336401u), 0);
}

TEST_F(LibraryTest, NetworkDevicesAreTheInterfaces) {
    msnethost_netdev devices[32];
    int n = msnethost_get_netdev_info(devices, 32);
    ASSERT_GE(n, 1);
    const msnethost_netdev *lo = nullptr, *wired = nullptr;
    const unsigned char zero[8] = {}, broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int i = 0; i < n; ++i) {
        if (std::string(devices[i].description) == "lo") lo = &devices[i];
        if (wired == nullptr && std::memcmp(devices[i].hwaddr, zero, 6) != 0) wired = &devices[i];
    }
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->ipaddr, msos_htonl(0x7F000001u));
    EXPECT_EQ(std::memcmp(lo->hwaddr, zero, 8), 0);
    EXPECT_TRUE(wired == nullptr || msnethost_macaddress_is_local(wired->hwaddr) == 1);
    EXPECT_EQ(msnethost_macaddress_is_local(broadcast), 0);
    EXPECT_EQ(msnethost_macaddress_is_local(zero), 0) << "the loopback's zeros name no adapter";
    EXPECT_EQ(msnethost_macaddress_is_local(nullptr), 0);
    Canary one(sizeof(msnethost_netdev));
    EXPECT_EQ(msnethost_get_netdev_info(reinterpret_cast<msnethost_netdev *>(one.data()), 1), 1);
    EXPECT_TRUE(one.untouched_from(sizeof(msnethost_netdev)));
    EXPECT_EQ(msnethost_get_netdev_info(devices, 0), 0);
    EXPECT_EQ(msnethost_get_netdev_info(nullptr, 4), 0);
}

int failing_getaddrinfo(const char *, const char *, const addrinfo *, addrinfo **) { return EAI_AGAIN; }
int failing_getifaddrs(ifaddrs **) { return errno = ENOBUFS, -1; }
int failing_gethostname(char *, size_t) { return errno = EPERM, -1; }

// Without the resolver a dotted name is still an address and the stack is
// cleared; when the interfaces cannot be listed the test says so.
TEST_F(LibraryTest, PlatformFailuresGiveTheirResults) {
    SyscallScope restore;
    g_sys.getaddrinfo = failing_getaddrinfo;
    uint32_t address = 0;
    EXPECT_EQ(msnethost_by_name("10.0.0.1", &address), 1);
    EXPECT_EQ(address, 0x0A000001u);
    EXPECT_EQ(entry_count(), 0);
    EXPECT_EQ(msnethost_by_name("localhost", &address), 0);
    EXPECT_EQ(address, 0u);
    qrv::os::restore_syscalls();

    g_sys.getifaddrs = failing_getifaddrs;
    mserror_reset();
    EXPECT_EQ(msnethost_ipaddr_is_local(0xC6336401u), 0);
    EXPECT_EQ(reported(), reported(17359, ENOBUFS));
    msnethost_netdev devices[4];
    EXPECT_EQ(msnethost_get_netdev_info(devices, 4), 0);
    EXPECT_EQ(msnethost_macaddress_is_local(reinterpret_cast<const unsigned char *>("\1\2\3\4\5\6")), 0);
    qrv::os::restore_syscalls();

    g_sys.gethostname = failing_gethostname;
    char name[64];
    EXPECT_EQ(msnethost_get_local_hostname(name, sizeof name), nullptr);
    EXPECT_EQ(msnethost_get_local_ipaddr(), 0u);
}

}  // namespace
