// Sockets, the resolver and the interface list: each msos_ function is one
// system call through the table of os/syscall.h. Interrupted calls are
// retried so that callers written for whole calls never see EINTR; close
// never is (the descriptor is gone either way).
#include <arpa/inet.h>
#include <errno.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "msos.h"
#include "os/netif.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace qrv::os {
namespace {

// The stored start-up result and the starts not yet stopped. Nothing needs
// starting on Linux; the count lets tests see the load hook's start.
std::atomic<int> g_start_result{0};
std::atomic<int> g_socket_users{0};

// A handle as a descriptor, or -1 with EBADF when it cannot be one.
int fd_of(qrv_handle handle) {
    if (handle < 0 || handle > INT_MAX) return errno = EBADF, -1;
    return static_cast<int>(handle);
}

bool bad_length(int length) { return length < 0 && (errno = EINVAL, true); }

int64_t monotonic_ns() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// ppoll, resumed after signals with what is left of the time-out (null: none).
int poll_retrying(struct pollfd *fds, nfds_t count, const struct timespec *timeout) {
    int64_t deadline = timeout != nullptr ? monotonic_ns() + timeout->tv_sec * 1000000000LL + timeout->tv_nsec : 0;
    struct timespec left = timeout != nullptr ? *timeout : timespec{};
    for (;;) {
        int rc = g_sys.ppoll(fds, count, timeout != nullptr ? &left : nullptr, nullptr);
        if (rc >= 0 || errno != EINTR) return rc;
        if (timeout != nullptr) {
            int64_t rest = deadline - monotonic_ns();
            if (rest < 0) rest = 0;
            left = {static_cast<time_t>(rest / 1000000000), static_cast<long>(rest % 1000000000)};
        }
    }
}

// The sets' sockets as poll entries; false with errno when one is no socket
// number or a set is too full.
constexpr short kSetEvents[3] = {POLLIN, POLLOUT, POLLPRI};
constexpr short kSetReady[3] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLHUP | POLLERR, POLLPRI};

bool valid_set(const msos_fd_set *set, size_t *total) {
    if (set == nullptr) return true;
    if (set->count > MSOS_FD_SETSIZE) return errno = EINVAL, false;
    for (uint32_t i = 0; i < set->count; ++i) {
        if (fd_of(set->sockets[i]) < 0) return false;
    }
    *total += set->count;
    return true;
}

}  // namespace

int socket_layer_users() noexcept { return g_socket_users.load(std::memory_order_relaxed); }

int net_devices(NetDevice *devices, int max) noexcept {
    struct ifaddrs *list = nullptr;
    if (g_sys.getifaddrs(&list) != 0) return -1;
    int n = 0;
    for (struct ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr) continue;
        int i = 0;
        while (i < n && strncmp(devices[i].name, entry->ifa_name, sizeof devices[i].name - 1) != 0) ++i;
        if (i == n) {
            if (n == max) continue;
            memset(&devices[n], 0, sizeof devices[n]);
            strncpy(devices[n].name, entry->ifa_name, sizeof devices[n].name - 1);
            ++n;
        }
        const struct sockaddr *address = entry->ifa_addr;
        if (address == nullptr) continue;
        if (address->sa_family == AF_INET && devices[i].ipv4 == 0) {  // the first one
            devices[i].ipv4 = reinterpret_cast<const struct sockaddr_in *>(address)->sin_addr.s_addr;
        } else if (address->sa_family == AF_PACKET) {
            memcpy(devices[i].hardware, reinterpret_cast<const struct sockaddr_ll *>(address)->sll_addr, 8);
        }
    }
    g_sys.freeifaddrs(list);
    return n;
}

int ipv4_interface_addresses(uint32_t *addresses, int max) noexcept {
    struct ifaddrs *list = nullptr;
    if (g_sys.getifaddrs(&list) != 0) return -1;
    int n = 0;
    for (struct ifaddrs *entry = list; entry != nullptr && n < max; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            addresses[n++] = reinterpret_cast<const struct sockaddr_in *>(entry->ifa_addr)->sin_addr.s_addr;
        }
    }
    g_sys.freeifaddrs(list);
    return n;
}

int resolve_ipv4(const char *name, uint32_t *address) noexcept {
    *address = 0;
    if (name == nullptr) return EAI_NONAME;
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    struct addrinfo *list = nullptr;
    int rc = g_sys.getaddrinfo(name, nullptr, &hints, &list);
    if (rc != 0) return rc;
    for (struct addrinfo *entry = list; entry != nullptr && *address == 0; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            *address = ntohl(reinterpret_cast<const struct sockaddr_in *>(entry->ai_addr)->sin_addr.s_addr);
        }
    }
    g_sys.freeaddrinfo(list);
    return 0;
}

int ipv4_host_name(uint32_t address, char *buffer, int length) noexcept {
    struct sockaddr_in ipv4;
    memset(&ipv4, 0, sizeof ipv4);
    ipv4.sin_family = AF_INET;
    ipv4.sin_addr.s_addr = htonl(address);
    return g_sys.getnameinfo(reinterpret_cast<const struct sockaddr *>(&ipv4), sizeof ipv4, buffer,
                             static_cast<socklen_t>(length), nullptr, 0, 0);
}

}  // namespace qrv::os

using qrv::os::fd_of;
using qrv::os::g_sys;
using qrv::os::retry_eintr;

extern "C" {

QRV_API qrv_handle msos_socket(int family, int type, int protocol) noexcept {
    return g_sys.socket(family, type | SOCK_CLOEXEC, protocol);
}

QRV_API int msos_bind(qrv_handle socket, const struct sockaddr *address, int length) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || qrv::os::bad_length(length)) return -1;
    return g_sys.bind(fd, address, static_cast<socklen_t>(length));
}

QRV_API int msos_connect(qrv_handle socket, const struct sockaddr *address, int length) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || qrv::os::bad_length(length)) return -1;
    if (g_sys.connect(fd, address, static_cast<socklen_t>(length)) == 0) return 0;
    if (errno != EINTR) return -1;
    // The attempt goes on after a signal; a second connect would only say
    // so (EALREADY). Wait for its outcome instead.
    struct pollfd entry = {fd, POLLOUT, 0};
    if (qrv::os::poll_retrying(&entry, 1, nullptr) < 0) return -1;
    int error = 0;
    socklen_t size = sizeof error;
    if (g_sys.getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return -1;
    return error == 0 ? 0 : (errno = error, -1);
}

QRV_API int msos_listen(qrv_handle socket, int backlog) noexcept {
    int fd = fd_of(socket);
    return fd < 0 ? -1 : g_sys.listen(fd, backlog);
}

QRV_API qrv_handle msos_accept(qrv_handle socket, struct sockaddr *address, int *length) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || (length != nullptr && qrv::os::bad_length(*length))) return -1;
    if (address != nullptr && length == nullptr) return errno = EINVAL, -1;
    socklen_t size = length != nullptr ? static_cast<socklen_t>(*length) : 0;
    int accepted =
        retry_eintr([&] { return g_sys.accept4(fd, address, length != nullptr ? &size : nullptr, SOCK_CLOEXEC); });
    if (accepted >= 0 && length != nullptr) *length = static_cast<int>(size);
    return accepted;
}

QRV_API int msos_getsockname(qrv_handle socket, struct sockaddr *address, int *length) noexcept {
    int fd = fd_of(socket);
    if (fd < 0) return -1;
    if (length == nullptr || address == nullptr) return errno = EFAULT, -1;
    if (qrv::os::bad_length(*length)) return -1;
    socklen_t size = static_cast<socklen_t>(*length);
    int rc = g_sys.getsockname(fd, address, &size);
    if (rc == 0) *length = static_cast<int>(size);
    return rc;
}

QRV_API int msos_recv(qrv_handle socket, void *buffer, int length, int flags) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || qrv::os::bad_length(length)) return -1;
    return static_cast<int>(retry_eintr([&] { return g_sys.recv(fd, buffer, static_cast<size_t>(length), flags); }));
}

QRV_API int msos_send(qrv_handle socket, const void *buffer, int length, int flags) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || qrv::os::bad_length(length)) return -1;
    return static_cast<int>(
        retry_eintr([&] { return g_sys.send(fd, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL); }));
}

QRV_API int msos_setsockopt(qrv_handle socket, int level, int option, const void *value, int length) noexcept {
    int fd = fd_of(socket);
    if (fd < 0 || qrv::os::bad_length(length)) return -1;
    return g_sys.setsockopt(fd, level, option, value, static_cast<socklen_t>(length));
}

QRV_API int msos_closesocket(qrv_handle socket) noexcept {
    int fd = fd_of(socket);
    struct stat status;
    if (fd < 0 || g_sys.fstat(fd, &status) != 0) return -1;
    if (!S_ISSOCK(status.st_mode)) return errno = ENOTSOCK, -1;
    return g_sys.close(fd);
}

QRV_API int msos_select(int, msos_fd_set *read_set, msos_fd_set *write_set, msos_fd_set *error_set,
                        const msos_timeval *timeout) noexcept {
    msos_fd_set *sets[3] = {read_set, write_set, error_set};
    size_t total = 0;
    for (msos_fd_set *set : sets) {
        if (!qrv::os::valid_set(set, &total)) return -1;
    }
    if (total == 0 || (timeout != nullptr && (timeout->sec < 0 || timeout->usec < 0))) return errno = EINVAL, -1;
    struct timespec limit = {};
    if (timeout != nullptr) {
        limit.tv_sec = static_cast<time_t>(timeout->sec) + timeout->usec / 1000000;
        limit.tv_nsec = static_cast<long>(timeout->usec % 1000000) * 1000;
    }
    struct pollfd small[64];
    struct pollfd *fds = total <= 64 ? small : static_cast<struct pollfd *>(std::malloc(total * sizeof(struct pollfd)));
    if (fds == nullptr) return errno = ENOMEM, -1;
    size_t n = 0;
    for (int s = 0; s < 3; ++s) {
        for (uint32_t i = 0; sets[s] != nullptr && i < sets[s]->count; ++i) {
            fds[n++] = {static_cast<int>(sets[s]->sockets[i]), qrv::os::kSetEvents[s], 0};
        }
    }
    int rc = qrv::os::poll_retrying(fds, n, timeout != nullptr ? &limit : nullptr);
    for (size_t i = 0; rc > 0 && i < n; ++i) {
        if (fds[i].revents & POLLNVAL) rc = -1, errno = EBADF;
    }
    if (rc > 0) {
        // Each set keeps its ready sockets, in order; the result counts them.
        rc = 0;
        size_t k = 0;
        for (int s = 0; s < 3; ++s) {
            if (sets[s] == nullptr) continue;
            uint32_t kept = 0;
            for (uint32_t i = 0; i < sets[s]->count; ++i, ++k) {
                if (fds[k].revents & qrv::os::kSetReady[s]) sets[s]->sockets[kept++] = sets[s]->sockets[i];
            }
            sets[s]->count = kept;
            rc += static_cast<int>(kept);
        }
    } else if (rc == 0) {
        for (msos_fd_set *set : sets) {
            if (set != nullptr) set->count = 0;
        }
    }
    if (fds != small) {
        int saved = errno;
        std::free(fds);
        errno = saved;
    }
    return rc;
}

QRV_API int msos_getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                             struct addrinfo **result) noexcept {
    if (result == nullptr) return errno = EINVAL, EAI_SYSTEM;
    return g_sys.getaddrinfo(node, service, hints, result);
}

QRV_API void msos_freeaddrinfo(struct addrinfo *list) noexcept {
    if (list != nullptr) g_sys.freeaddrinfo(list);
}

QRV_API int msos_getnameinfo(const struct sockaddr *address, int length, char *host, uint32_t host_length,
                             char *service, uint32_t service_length, int flags) noexcept {
    if (address == nullptr || length < 0) return errno = EINVAL, EAI_SYSTEM;
    return g_sys.getnameinfo(address, static_cast<socklen_t>(length), host, host != nullptr ? host_length : 0, service,
                             service != nullptr ? service_length : 0, flags);
}

QRV_API int msos_gethostname(char *buffer, int length) noexcept {
    if (buffer == nullptr || length <= 0) return errno = EINVAL, -1;
    if (g_sys.gethostname(buffer, static_cast<size_t>(length)) == 0 && memchr(buffer, '\0', length) != nullptr) {
        return 0;
    }
    if (errno == 0) errno = ENAMETOOLONG;
    buffer[0] = '\0';
    return -1;
}

QRV_API uint32_t msos_htonl(uint32_t value) noexcept { return htonl(value); }
QRV_API uint16_t msos_htons(uint16_t value) noexcept { return htons(value); }
QRV_API uint32_t msos_ntohl(uint32_t value) noexcept { return ntohl(value); }
QRV_API uint16_t msos_ntohs(uint16_t value) noexcept { return ntohs(value); }

QRV_API uint32_t msos_inet_addr(const char *text) noexcept {
    // inet_aton stops at white space and takes what came before; the whole
    // text must be the address here.
    if (text == nullptr || strpbrk(text, " \t\n\v\f\r") != nullptr) return INADDR_NONE;
    return inet_addr(text);
}

QRV_API int msos_winsock_init(void) noexcept {
    qrv::os::g_socket_users.fetch_add(1, std::memory_order_relaxed);
    return qrv::os::g_start_result.load(std::memory_order_relaxed);
}

QRV_API int msos_winsock_cleanup(void) noexcept {
    int users = qrv::os::g_socket_users.load(std::memory_order_relaxed);
    while (users > 0 && !qrv::os::g_socket_users.compare_exchange_weak(users, users - 1, std::memory_order_relaxed)) {
    }
    return 0;
}

QRV_API int msos_get_winsock_init_errno(void) noexcept {
    return qrv::os::g_start_result.load(std::memory_order_relaxed);
}

}  // extern "C"
