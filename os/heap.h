// The C heap under the space allocator, inline because every allocation of
// the library passes through it.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QRV_HEAP_FOREIGN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QRV_HEAP_FOREIGN 1
#endif
#endif

namespace qrv::os {

inline void *heap_alloc(size_t size) noexcept { return std::malloc(size); }
inline void *heap_resize(void *block, size_t size) noexcept { return std::realloc(block, size); }
inline void heap_release(void *block) noexcept { std::free(block); }

// Set by heap_probe when malloc is glibc's own and a live block's size can be
// read from the word in front of it.
extern std::atomic<bool> g_heap_size_word;

// Looks once whether malloc is glibc's allocator with the block layout it
// has always had, checked against malloc_usable_size over small, large and
// mapped blocks; anything else (a preloaded allocator, a checker, a
// sanitizer) keeps the library call.
void heap_probe() noexcept;

// The usable size of a live heap block. glibc keeps a block's chunk size in
// the word before it, its low three bits flags (2: mapped on its own, which
// has a two-word header); reading it inline saves the call, which also reads
// the next chunk's header.
inline size_t size_from_word(const void *block) noexcept {
    // Through an integer: the word lies outside the block as C++ sees it.
    const auto header = reinterpret_cast<const size_t *>(reinterpret_cast<uintptr_t>(block) - sizeof(size_t));
    size_t word;
    std::memcpy(&word, header, sizeof word);
    return (word & ~size_t{7}) - sizeof word - (word & 2) * (sizeof word / 2);
}

inline size_t heap_usable_size(void *block) noexcept {
#ifndef QRV_HEAP_FOREIGN
    if (g_heap_size_word.load(std::memory_order_relaxed)) return size_from_word(block);
#endif
    return malloc_usable_size(block);
}

}  // namespace qrv::os

#include <sys/single_threaded.h>

namespace qrv::os {

// True while the process has never had a second thread: shared counters can
// then be updated without bus locks, as glibc's own allocator does.
inline bool single_threaded() noexcept { return __libc_single_threaded != 0; }

}  // namespace qrv::os
