// Owner of the system-call table.
#include <errno.h>
#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include "os/syscall.h"

namespace qrv::os {
namespace {

int sys_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int sys_fcntl(int fd, int command, long argument) { return ::fcntl(fd, command, argument); }
int sys_fcntl_lock(int fd, int command, struct flock *lock) { return ::fcntl(fd, command, lock); }
int sys_stat(const char *path, struct stat *status) { return ::stat(path, status); }
int sys_fstat(int fd, struct stat *status) { return ::fstat(fd, status); }

// Some file systems cannot refuse to replace atomically (EINVAL): check for
// the target first there, accepting the race, since replacing is worse.
int sys_rename_noreplace(const char *from, const char *to) {
    int rc = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (rc == 0 || errno != EINVAL) return rc;
    struct stat status;
    if (::lstat(to, &status) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

const char *sys_locale_codeset(char *buffer, size_t size) {
    locale_t mine = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (mine == static_cast<locale_t>(nullptr)) return nullptr;
    locale_t previous = ::uselocale(mine);
    ::snprintf(buffer, size, "%s", ::nl_langinfo(CODESET));
    ::uselocale(previous);
    ::freelocale(mine);
    return buffer;
}

ssize_t sys_getrandom(void *buffer, size_t length, unsigned flags) { return ::getrandom(buffer, length, flags); }

constexpr Syscalls kReal = {
    sys_open,       ::read,
    ::write,        ::close,
    ::lseek,        ::fsync,
    ::ftruncate,    sys_fcntl,
    sys_fcntl_lock, sys_fstat,
    sys_stat,       ::fstatat,
    ::unlink,       sys_rename_noreplace,
    ::mkdir,        ::rmdir,
    ::chdir,        ::getcwd,
    ::opendir,      ::readdir,
    ::closedir,     ::pipe2,
    sys_getrandom,  ::mmap,
    ::munmap,       ::msync,
    ::shm_open,     ::shm_unlink,
    ::memfd_create, sys_locale_codeset,
    ::socket,       ::bind,
    ::connect,      ::listen,
    ::accept4,      ::getsockname,
    ::recv,         ::send,
    ::ppoll,        ::setsockopt,
    ::getsockopt,   ::getaddrinfo,
    ::freeaddrinfo, ::getnameinfo,
    ::gethostname,  ::getifaddrs,
    ::freeifaddrs,  ::clock_gettime,
    ::gmtime_r,     ::localtime_r,
    ::waitpid,      ::rename,
    ::readlink,
};

}  // namespace

Syscalls g_sys = kReal;

void restore_syscalls() noexcept { g_sys = kReal; }

}  // namespace qrv::os
