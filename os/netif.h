// What the host-name layer needs to know of the machine's network
// interfaces, read from getifaddrs(3).
#pragma once

#include <cstdint>

namespace qrv::os {

// One interface, in the system's order: its name, the first IPv4 address
// (network byte order, 0 without one) and the hardware address of its
// link-layer entry (zeros without one).
struct NetDevice {
    char name[81];
    uint32_t ipv4;
    unsigned char hardware[8];
};

// Fills up to max devices and returns how many; -1 with errno when the
// list cannot be read.
int net_devices(NetDevice *devices, int max) noexcept;

// The IPv4 addresses of every interface (network byte order) in the
// system's order, up to max; -1 with errno when the list cannot be read.
int ipv4_interface_addresses(uint32_t *addresses, int max) noexcept;

// The first IPv4 address of name whose value is not 0 (host byte order; 0
// when every one is), asking the resolver for IPv4 only: 0, or the
// resolver's EAI_ code (a null name is EAI_NONAME).
int resolve_ipv4(const char *name, uint32_t *address) noexcept;

// The resolver's host name for an IPv4 address in host byte order (its
// dotted form when no name is known): 0, or the resolver's EAI_ code.
int ipv4_host_name(uint32_t address, char *buffer, int length) noexcept;

// Starts of the socket layer not yet matched by a stop.
int socket_layer_users() noexcept;

}  // namespace qrv::os
