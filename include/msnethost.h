/* msnethost.h - host names and IPv4 addresses.
 *
 * Addresses are unsigned 32-bit numbers in host byte order: a.b.c.d is
 * (a<<24)|(b<<16)|(c<<8)|d, and 0 means no address. Lookups ask the
 * system's resolver for IPv4 addresses only. A failed lookup pushes 17051
 * with the name (or the dotted address) on the calling thread's error
 * stack; its text comes from the NLS message files. Every function is
 * thread-safe and takes no lock of the library.
 */
#ifndef MSNETHOST_H
#define MSNETHOST_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* A network interface: its name (at most 80 bytes, always terminated), its
 * first IPv4 address in network byte order (0 without one) and the 8 bytes
 * of its hardware address (the first 6 are the MAC address; zeros without
 * one, as for the loopback interface). */
typedef struct msnethost_netdev {
    char description[81];
    uint32_t ipaddr;
    unsigned char hwaddr[8];
} msnethost_netdev;

/* The machine's host name in buffer (length bytes with its NUL); buffer, or
 * null when buffer is null, the name does not fit or is empty. */
QRV_API char *msnethost_get_local_hostname(char *buffer, int length) QRV_NOEXCEPT;
/* The first nonzero IPv4 address of name. When the resolver fails, a name
 * that is a dotted address ("10.0.0.1", or a short form such as "1.2.3")
 * is taken as one and the error stack is cleared. 1, or 0 with 17051 and
 * *address 0. address may be null. */
QRV_API int msnethost_by_name(const char *name, uint32_t *address) QRV_NOEXCEPT;
/* Clears the error stack and writes the host name of address (the dotted
 * form when the resolver knows no name). 1, or 0 with 17051 (the dotted
 * address) when the name does not fit or the resolver fails. */
QRV_API int msnethost_by_ipaddr(uint32_t address, char *buffer, int length) QRV_NOEXCEPT;
/* "a.b.c.d", most significant octet first. 1, or 0 when it does not fit
 * with its NUL (the buffer then holds "" when length > 0). */
QRV_API int msnethost_fmt_ipaddr(uint32_t address, char *buffer, int length) QRV_NOEXCEPT;
/* The address of the machine's host name (names of at most 31 bytes), or 0. */
QRV_API uint32_t msnethost_get_local_ipaddr(void) QRV_NOEXCEPT;
/* 1 for "localhost" and the machine's own host name (exact, case-sensitive)
 * without a lookup; else the answer of msnethost_ipaddr_is_local for the
 * name's address, or -1 when the name cannot be resolved. */
QRV_API int msnethost_name_is_local(const char *name) QRV_NOEXCEPT;
/* 1 when address is the host name's address or that of an interface of the
 * machine; else 0. When the interfaces cannot be listed, 17359 is pushed
 * and the answer rests on the host name's address alone. */
QRV_API int msnethost_ipaddr_is_local(uint32_t address) QRV_NOEXCEPT;
/* The same comparing networks: the first three octets only. */
QRV_API int msnethost_ipaddr_class_is_local(uint32_t address) QRV_NOEXCEPT;
/* Fills up to max records with the machine's interfaces in the system's
 * order; returns how many, 0 when the list cannot be read. */
QRV_API int msnethost_get_netdev_info(msnethost_netdev *records, int max) QRV_NOEXCEPT;
/* 1 when the 6 bytes of mac are the MAC address of one of the first 32
 * interfaces, else 0. An all-zero address is never local. */
QRV_API int msnethost_macaddress_is_local(const unsigned char *mac) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSNETHOST_H */
