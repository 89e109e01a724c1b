// Reporting an operating-system failure: the one way every layer records
// the system's error and then its own.
#pragma once

#include <cstdint>

namespace qrv::eos {

// Records the operating-system error os_error (16151) and pushes id on top
// (with path as its argument); errno is left as os_error for the caller.
void push_os_error(int os_error, int32_t id) noexcept;
void push_os_error(int os_error, int32_t id, const char *path) noexcept;
// The same with a number as id's argument.
void push_os_error_number(int os_error, int32_t id, int64_t number) noexcept;

}  // namespace qrv::eos
