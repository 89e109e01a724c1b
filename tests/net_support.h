// Shared by the socket tests and the benchmark: loopback listeners and
// connections through the library's own calls.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "msos.h"

inline sockaddr_in loopback_address(int port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = msos_htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = msos_htonl(0x7F000001u);
    return address;
}

inline const sockaddr *as_sockaddr(const sockaddr_in &address) { return reinterpret_cast<const sockaddr *>(&address); }

// A listener on 127.0.0.1 and a port the system chose (*port), or -1.
inline qrv_handle listen_loopback(int *port, int backlog = 128) {
    qrv_handle s = mseos_socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback_address(0);
    int length = sizeof address;
    if (s == -1 || mseos_bind(s, as_sockaddr(address), length) != 0 || mseos_listen(s, backlog) != 0 ||
        mseos_getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (s != -1) msos_closesocket(s);
        return -1;
    }
    *port = msos_ntohs(address.sin_port);
    return s;
}

// A connection to 127.0.0.1:port, or -1.
inline qrv_handle connect_loopback(int port) {
    qrv_handle s = mseos_socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback_address(port);
    if (s != -1 && mseos_connect(s, as_sockaddr(address), sizeof address) != 0) {
        msos_closesocket(s);
        return -1;
    }
    return s;
}
