// Sockets with error reporting: each function calls its msos_ form and, on
// failure, records errno (16151) and pushes its own id. A connection the
// peer reset is not a failure for send and receive: the caller learns of it
// at its next read, as the end of the stream.
#include <errno.h>

#include <cstring>

#include "base/eos.h"
#include "base/errids.h"
#include "mserror.h"
#include "msos.h"

namespace {

namespace err = qrv::err;
using qrv::eos::push_os_error;

// The port of an IPv4 or IPv6 address (at the same place in both) in host
// order, 0 when the address is too short to have one.
int64_t port_of(const struct sockaddr *address, int length) {
    if (address == nullptr || length < 4) return 0;
    uint16_t port;
    std::memcpy(&port, reinterpret_cast<const unsigned char *>(address) + 2, sizeof port);
    return msos_ntohs(port);
}

// Above this a socket number was refused by the platform's wait; the limit
// stays so that programs see the same refusal everywhere.
constexpr int32_t kWaitSocketLimit = 131616;

}  // namespace

extern "C" {

QRV_API qrv_handle mseos_socket(int family, int type, int protocol) noexcept {
    qrv_handle s = msos_socket(family, type, protocol);
    if (s == QRV_INVALID_HANDLE) push_os_error(errno, err::kCannotOpenSocket);
    return s;
}

QRV_API int mseos_bind(qrv_handle socket, const struct sockaddr *address, int length) noexcept {
    int rc = msos_bind(socket, address, length);
    if (rc != 0) qrv::eos::push_os_error_number(errno, err::kCannotBindSocket, port_of(address, length));
    return rc;
}

QRV_API int mseos_connect(qrv_handle socket, const struct sockaddr *address, int length) noexcept {
    int rc = msos_connect(socket, address, length);
    if (rc != 0) qrv::eos::push_os_error_number(errno, err::kCannotConnectSocket, port_of(address, length));
    return rc;
}

QRV_API int mseos_listen(qrv_handle socket, int backlog) noexcept {
    int rc = msos_listen(socket, backlog);
    if (rc != 0) push_os_error(errno, err::kCannotListenSocket);
    return rc;
}

QRV_API qrv_handle mseos_accept(qrv_handle socket, struct sockaddr *address, int *length) noexcept {
    qrv_handle s = msos_accept(socket, address, length);
    if (s == QRV_INVALID_HANDLE) push_os_error(errno, err::kCannotAcceptSocket);
    return s;
}

QRV_API int mseos_getsockname(qrv_handle socket, struct sockaddr *address, int *length) noexcept {
    int rc = msos_getsockname(socket, address, length);
    if (rc != 0) push_os_error(errno, err::kCannotGetSocketInfo);
    return rc;
}

QRV_API int mseos_select(int count, msos_fd_set *read_set, msos_fd_set *write_set, msos_fd_set *error_set,
                         const msos_timeval *timeout) noexcept {
    int rc = msos_select(count, read_set, write_set, error_set, timeout);
    if (rc < 0) push_os_error(errno, err::kCannotWaitForIo);
    return rc;
}

QRV_API int mseos_setsockopt(qrv_handle socket, int level, int option, const void *value, int length) noexcept {
    int rc = msos_setsockopt(socket, level, option, value, length);
    if (rc != 0) push_os_error(errno, err::kCannotSetSocketOptions);
    return rc;
}

QRV_API int mseos_closesocket(qrv_handle socket) noexcept {
    int rc = msos_closesocket(socket);
    if (rc != 0) push_os_error(errno, err::kCannotCloseSocket);
    return rc;
}

QRV_API int mseos_send(qrv_handle socket, const void *buffer, int length, int flags) noexcept {
    int sent = msos_send(socket, buffer, length, flags);
    if (sent >= 0) return sent;
    // Linux answers ECONNRESET once and EPIPE after that.
    if (errno == ECONNRESET || errno == EPIPE) return length;
    push_os_error(errno, err::kCannotSendSocket);
    return -1;
}

QRV_API int mseos_recv(qrv_handle socket, void *buffer, int length, int flags) noexcept {
    int received = msos_recv(socket, buffer, length, flags);
    if (received >= 0) return received;
    int saved = errno;
    if (saved == ECONNABORTED || saved == ECONNRESET || saved == ESHUTDOWN) return 0;
    mserror_seterr(err::kCannotReceiveSocket, 0);
    errno = saved;
    return -1;
}

QRV_API int mseos_socket_wait_for_read(int64_t *slots, int count, int timeout_seconds, int report) noexcept {
    if (slots == nullptr || count < 0) count = 0;
    msos_fd_set set;
    set.count = 0;
    int32_t largest = -1;
    for (int i = 0; i < count; ++i) {
        int32_t s = static_cast<int32_t>(static_cast<uint64_t>(slots[i]) & 0xFFFFFFFFu);
        if (s >= kWaitSocketLimit) {
            mserror_seterr_2arg(err::kSocketNumberTooLarge, s, kWaitSocketLimit);
            return -1;
        }
        if (s > largest) largest = s;
        bool present = false;
        for (uint32_t k = 0; k < set.count && !present; ++k) present = set.sockets[k] == s;
        if (!present && set.count < MSOS_FD_SETSIZE) set.sockets[set.count++] = s;
    }
    msos_timeval limit = {timeout_seconds, 0};
    if (timeout_seconds < 0) limit = {0, 1};
    const msos_timeval *timeout = timeout_seconds == 0 ? nullptr : &limit;
    int rc = report ? mseos_select(largest + 1, &set, nullptr, nullptr, timeout)
                    : msos_select(largest + 1, &set, nullptr, nullptr, timeout);
    for (int i = 0; rc >= 1 && i < count; ++i) {
        int32_t s = static_cast<int32_t>(static_cast<uint64_t>(slots[i]) & 0xFFFFFFFFu);
        bool ready = false;
        for (uint32_t k = 0; k < set.count && !ready; ++k) ready = set.sockets[k] == s;
        if (!ready) slots[i] = -1;
    }
    return rc;
}

}  // extern "C"
