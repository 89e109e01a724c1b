// The C heap under the space allocator, inline because every allocation of
// the library passes through it.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdlib>

namespace qrv::os {

inline void *heap_alloc(size_t size) noexcept { return std::malloc(size); }
inline void *heap_resize(void *block, size_t size) noexcept { return std::realloc(block, size); }
inline void heap_release(void *block) noexcept { std::free(block); }
inline size_t heap_usable_size(void *block) noexcept { return malloc_usable_size(block); }

}  // namespace qrv::os

#include <sys/single_threaded.h>

namespace qrv::os {

// True while the process has never had a second thread: shared counters can
// then be updated without bus locks, as glibc's own allocator does.
inline bool single_threaded() noexcept { return __libc_single_threaded != 0; }

}  // namespace qrv::os
