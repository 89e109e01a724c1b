// What configuration, temporary files and the installation directory ask of
// the platform: the environment block, the library's own file, path kinds,
// plain file reading, the clock in seconds and the removal of a series of
// temporary files. Only os/ includes platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrv::os {

// The process environment as the C runtime keeps it ("NAME=VALUE" strings,
// null-terminated), or null when the process has none.
char *const *environment() noexcept;

// The real path (links resolved) of the file this library's code was loaded
// from: the shared library, or the program it is linked into. False when it
// cannot be found or does not fit in size bytes.
bool own_file_path(char *buffer, size_t size) noexcept;

// 0 nothing there, 1 a directory, 2 anything else; the null device name
// ("nul" in any case) is 2.
int path_kind(const char *path) noexcept;

// A file opened for reading (close-on-exec; "nul" opens the null device):
// a descriptor, or -1 with errno.
int open_for_reading(const char *path) noexcept;
// Bytes read (0 at end of file), or -1 with errno; interrupted reads retry.
long read_some(int fd, void *buffer, size_t size) noexcept;
void close_fd(int fd) noexcept;

// Seconds since 1970 (UTC).
int64_t time_seconds() noexcept;

// Removes every entry of directory whose name begins with prefix: a
// directory with everything below it, anything else as a file. Failures
// are ignored.
void remove_prefixed_entries(const char *directory, const char *prefix) noexcept;

}  // namespace qrv::os
