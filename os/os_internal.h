// Internal seam of the operating-system layer: what the rest of the library
// may ask of the platform beyond the exported msos_ functions. Only os/ (and
// the load hook) include platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qrvdefs.h"

namespace qrv::os {

// 1 while the thread behind handle has not returned from its routine, 0 once
// it has, -1 if handle is not a thread handle.
int thread_running(qrv_handle handle) noexcept;

// Writes all of text to the process's standard error (fd 2), retrying
// interrupted and short writes; errors are ignored (diagnostics only).
void write_stderr(const char *text, size_t length) noexcept;

// The environment value of name, or null. The pointer stays valid until the
// environment is changed.
const char *getenv(const char *name) noexcept;

// The thread exit strategy set by msos_set_thread_exit_strategy.
int thread_exit_strategy() noexcept;

// Heap of the C runtime, unaccounted.
void *heap_realloc(void *block, size_t size) noexcept;
void heap_free(void *block) noexcept;

}  // namespace qrv::os
