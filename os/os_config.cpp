// Platform calls behind os/os_config.h.
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "os/os_config.h"

extern char **environ;

namespace qrv::os {
namespace {

bool is_null_device_name(const char *path) { return strcasecmp(path, "nul") == 0; }

// Removes path: a directory with its contents (depth first), else a file.
void remove_tree_at(int dirfd, const char *name) {
    struct stat st;
    if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        unlinkat(dirfd, name, 0);
        return;
    }
    int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR *dir = fdopendir(fd)) {
            while (struct dirent *entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
                remove_tree_at(::dirfd(dir), entry->d_name);
            }
            closedir(dir);
        } else {
            close(fd);
        }
    }
    unlinkat(dirfd, name, AT_REMOVEDIR);
}

}  // namespace

char *const *environment() noexcept { return environ; }

bool own_file_path(char *buffer, size_t size) noexcept {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&own_file_path), &info) == 0) return false;
    const char *name = info.dli_fname;
    // The main program's map has no name of its own in some loaders.
    if (name == nullptr || name[0] == '\0') name = "/proc/self/exe";
    char resolved[PATH_MAX];
    if (realpath(name, resolved) == nullptr) return false;
    size_t length = std::strlen(resolved);
    if (length + 1 > size) return false;
    std::memcpy(buffer, resolved, length + 1);
    return true;
}

int path_kind(const char *path) noexcept {
    if (path == nullptr || path[0] == '\0') return 0;
    if (is_null_device_name(path)) return 2;
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

int open_for_reading(const char *path) noexcept {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (is_null_device_name(path)) path = "/dev/null";
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

long read_some(int fd, void *buffer, size_t size) noexcept {
    ssize_t n;
    do {
        n = read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

void close_fd(int fd) noexcept {
    if (fd >= 0) close(fd);
}

int64_t time_seconds() noexcept {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec);
}

void remove_prefixed_entries(const char *directory, const char *prefix) noexcept {
    if (directory == nullptr || prefix == nullptr || prefix[0] == '\0') return;
    int saved = errno;
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR *dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return;
    }
    size_t n = std::strlen(prefix);
    while (struct dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix, n) == 0) remove_tree_at(::dirfd(dir), entry->d_name);
    }
    closedir(dir);
    errno = saved;
}

}  // namespace qrv::os
