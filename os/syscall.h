// The system calls of the operating-system layer, reached through one table
// of function pointers so that tests can replace an entry to inject a
// failure (EINTR, ENOSPC, a short write, EMFILE) and restore it afterwards.
// Each call site states its EINTR policy: read, write and open are retried,
// close never is (the descriptor is gone either way on Linux).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>

#include <cstddef>

namespace qrv::os {

struct Syscalls {
    int (*open)(const char *path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void *buffer, size_t count);
    ssize_t (*write)(int fd, const void *buffer, size_t count);
    int (*close)(int fd);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fsync)(int fd);
    int (*ftruncate)(int fd, off_t length);
    int (*fcntl)(int fd, int command, long argument);
    int (*fcntl_lock)(int fd, int command, struct flock *lock);
    int (*fstat)(int fd, struct stat *status);
    int (*stat)(const char *path, struct stat *status);
    int (*fstatat)(int directory_fd, const char *path, struct stat *status, int flags);
    int (*unlink)(const char *path);
    int (*rename_noreplace)(const char *from, const char *to);
    int (*mkdir)(const char *path, mode_t mode);
    int (*rmdir)(const char *path);
    int (*chdir)(const char *path);
    char *(*getcwd)(char *buffer, size_t size);
    DIR *(*opendir)(const char *path);
    struct dirent *(*readdir)(DIR *directory);
    int (*closedir)(DIR *directory);
    int (*pipe2)(int fds[2], int flags);
    ssize_t (*getrandom)(void *buffer, size_t length, unsigned flags);
    void *(*mmap)(void *address, size_t length, int protection, int flags, int fd, off_t offset);
    int (*munmap)(void *address, size_t length);
    int (*msync)(void *address, size_t length, int flags);
    int (*shm_open)(const char *name, int flags, mode_t mode);
    int (*shm_unlink)(const char *name);
    int (*memfd_create)(const char *name, unsigned flags);
    // The character encoding of the user's locale (nl_langinfo(CODESET)),
    // read in a private locale: the program's own locale is never touched.
    // Null when the locale cannot be built.
    const char *(*locale_codeset)(char *buffer, size_t size);
    // Sockets and the resolver: interrupted socket calls are retried, as
    // the socket layer's callers expect whole calls (close is not).
    int (*socket)(int family, int type, int protocol);
    int (*bind)(int fd, const struct sockaddr *address, socklen_t length);
    int (*connect)(int fd, const struct sockaddr *address, socklen_t length);
    int (*listen)(int fd, int backlog);
    int (*accept4)(int fd, struct sockaddr *address, socklen_t *length, int flags);
    int (*getsockname)(int fd, struct sockaddr *address, socklen_t *length);
    ssize_t (*recv)(int fd, void *buffer, size_t length, int flags);
    ssize_t (*send)(int fd, const void *buffer, size_t length, int flags);
    int (*ppoll)(struct pollfd *fds, nfds_t count, const struct timespec *timeout, const sigset_t *mask);
    int (*setsockopt)(int fd, int level, int option, const void *value, socklen_t length);
    int (*getsockopt)(int fd, int level, int option, void *value, socklen_t *length);
    int (*getaddrinfo)(const char *node, const char *service, const struct addrinfo *hints, struct addrinfo **result);
    void (*freeaddrinfo)(struct addrinfo *list);
    int (*getnameinfo)(const struct sockaddr *address, socklen_t length, char *host, socklen_t host_length,
                       char *service, socklen_t service_length, int flags);
    int (*gethostname)(char *buffer, size_t length);
    int (*getifaddrs)(struct ifaddrs **list);
    void (*freeifaddrs)(struct ifaddrs *list);
    // The clocks (CLOCK_REALTIME, CLOCK_MONOTONIC) and the calendar
    // conversions in UTC and in the process's time zone.
    int (*clock_gettime)(clockid_t clock, struct timespec *time);
    struct tm *(*gmtime_r)(const time_t *seconds, struct tm *result);
    struct tm *(*localtime_r)(const time_t *seconds, struct tm *result);
    pid_t (*waitpid)(pid_t pid, int *status, int options);
    // rename(2), replacing the target in one step (for rewriting a file in
    // place: readers see the old file or the new one, never neither).
    int (*rename_replace)(const char *from, const char *to);
    // readlink(2): the running program's file is read from /proc/self/exe.
    ssize_t (*readlink)(const char *path, char *buffer, size_t size);
};

// The table in use. Tests write entries directly and call restore_syscalls().
extern Syscalls g_sys;

// Puts every entry back to the real system call.
void restore_syscalls() noexcept;

}  // namespace qrv::os
