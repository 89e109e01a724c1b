// Host names and IPv4 addresses over the resolver and the interface list of
// the operating-system layer. Addresses are in host byte order here.
#include <cerrno>
#include <cstring>

#include "base/eos.h"
#include "base/errids.h"
#include "mserror.h"
#include "msfmt.h"
#include "msnethost.h"
#include "msos.h"
#include "mssp.h"
#include "os/netif.h"

namespace {

namespace err = qrv::err;

constexpr uint32_t kNotAnAddress = 0xFFFFFFFFu;
constexpr int kMaxInterfaces = 32;
// More interfaces than any machine has: a bound on the scratch list.
constexpr int kMostDevices = 1024;

// The host name's address, then the interface addresses; class_mode
// compares the first three octets only.
int address_is_local(uint32_t address, bool class_mode) {
    uint32_t local = msnethost_get_local_ipaddr();
    if (local != 0 && (address == local || (class_mode && (address >> 8) == (local >> 8)))) return 1;
    uint32_t listed[kMaxInterfaces];
    int n = qrv::os::ipv4_interface_addresses(listed, kMaxInterfaces);
    if (n < 0) {
        qrv::eos::push_os_error(errno, err::kInterfaceListFailed);
        return 0;
    }
    int shift = class_mode ? 8 : 0;
    for (int i = 0; i < n; ++i) {
        if ((msos_ntohl(listed[i]) >> shift) == (address >> shift)) return 1;
    }
    return 0;
}

}  // namespace

extern "C" {

QRV_API char *msnethost_get_local_hostname(char *buffer, int length) noexcept {
    if (buffer == nullptr || msos_gethostname(buffer, length) != 0 || buffer[0] == '\0') return nullptr;
    return buffer;
}

QRV_API int msnethost_by_name(const char *name, uint32_t *address) noexcept {
    uint32_t found = 0;
    int rc = qrv::os::resolve_ipv4(name, &found);
    if (address != nullptr) *address = found;
    if (rc == 0) return 1;
    mserror_seterr_1arg_str(err::kHostLookupFailed, name);
    uint32_t parsed = msos_inet_addr(name);
    if (parsed == kNotAnAddress) return 0;
    if (address != nullptr) *address = msos_ntohl(parsed);
    mserror_reset();
    return 1;
}

QRV_API int msnethost_by_ipaddr(uint32_t address, char *buffer, int length) noexcept {
    mserror_reset();
    if (buffer != nullptr && length > 0) {
        if (qrv::os::ipv4_host_name(address, buffer, length) == 0 && std::memchr(buffer, '\0', length) != nullptr) {
            return 1;
        }
        buffer[0] = '\0';
    }
    char text[20];
    msnethost_fmt_ipaddr(address, text, sizeof text);
    mserror_seterr_1arg_str(err::kHostLookupFailed, text);
    return 0;
}

QRV_API int msnethost_fmt_ipaddr(uint32_t address, char *buffer, int length) noexcept {
    if (buffer == nullptr || length <= 0) return 0;
    char text[16];
    char *end = msfmt_buffer_lim(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(address >> 24),
                                 static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                                 static_cast<int>(address & 0xFF));
    size_t size = static_cast<size_t>(end - text) + 1;
    if (size > static_cast<size_t>(length)) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, text, size);
    return 1;
}

QRV_API uint32_t msnethost_get_local_ipaddr(void) noexcept {
    char name[32];
    uint32_t address = 0;
    if (msnethost_get_local_hostname(name, sizeof name) == nullptr || !msnethost_by_name(name, &address)) return 0;
    return address;
}

QRV_API int msnethost_name_is_local(const char *name) noexcept {
    if (name != nullptr) {
        if (std::strcmp(name, "localhost") == 0) return 1;
        char host[256];
        if (msnethost_get_local_hostname(host, sizeof host) != nullptr && std::strcmp(name, host) == 0) return 1;
    }
    uint32_t address = 0;
    if (!msnethost_by_name(name, &address)) return -1;
    return msnethost_ipaddr_is_local(address);
}

QRV_API int msnethost_ipaddr_is_local(uint32_t address) noexcept { return address_is_local(address, false); }

QRV_API int msnethost_ipaddr_class_is_local(uint32_t address) noexcept { return address_is_local(address, true); }

QRV_API int msnethost_get_netdev_info(msnethost_netdev *records, int max) noexcept {
    if (records == nullptr || max <= 0) return 0;
    if (max > kMostDevices) max = kMostDevices;
    qrv::os::NetDevice small[kMaxInterfaces];
    qrv::os::NetDevice *devices = small;
    if (max > kMaxInterfaces) {
        devices = static_cast<qrv::os::NetDevice *>(mssp_get_ex(max * static_cast<int>(sizeof *devices), 0));
        if (devices == nullptr) return 0;
    }
    int n = qrv::os::net_devices(devices, max);
    for (int i = 0; i < n; ++i) {
        std::memcpy(records[i].description, devices[i].name, sizeof records[i].description);
        records[i].ipaddr = devices[i].ipv4;
        std::memcpy(records[i].hwaddr, devices[i].hardware, sizeof records[i].hwaddr);
    }
    if (devices != small) mssp_free_rv(devices);
    return n < 0 ? 0 : n;
}

QRV_API int msnethost_macaddress_is_local(const unsigned char *mac) noexcept {
    static const unsigned char kZero[6] = {};
    if (mac == nullptr || std::memcmp(mac, kZero, 6) == 0) return 0;
    qrv::os::NetDevice devices[kMaxInterfaces];
    int n = qrv::os::net_devices(devices, kMaxInterfaces);
    for (int i = 0; i < n; ++i) {
        if (std::memcmp(devices[i].hardware, mac, 6) == 0) return 1;
    }
    return 0;
}

}  // extern "C"
