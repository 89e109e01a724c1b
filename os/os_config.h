// What configuration and the installation directory ask of the platform
// beyond the file layer: the environment block and the library's own file.
// Only os/ includes platform headers.
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

}  // namespace qrv::os
