// What configuration and the installation directory ask of the platform
// beyond the file layer: the environment block, the library's own file and
// the clock in seconds. Only os/ includes platform headers.
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

// Seconds since 1970 (UTC).
int64_t time_seconds() noexcept;

}  // namespace qrv::os
