// The library's own view of the space allocator. Every record of the library
// is a space, so the accounting sees all of them. Unlike mssp_reget_ex, the
// internal resize keeps the caller's block when it fails, which is what
// growing tables need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qrv::space {

// A space of size bytes under the ceiling, or null (errors pushed).
void *get(int size) noexcept;
// Resizes block (null: allocate; size 0: release and return null). On failure
// null is returned, the error pushed and block left as it was.
void *reget(void *block, int size) noexcept;
// Releases block (null is ignored).
void release(void *block) noexcept;

// The error stack's reallocation function: as reget, but it never pushes an
// error, since it may be growing the very stack an error would go to.
void *reget_quiet(void *block, int size, int check_limit) noexcept;

// A zero-filled block of count records of T.
template <typename T>
T *get_zeroed(int count = 1) noexcept {
    auto size = static_cast<int>(sizeof(T)) * count;
    void *block = get(size);
    if (block != nullptr) std::memset(block, 0, static_cast<size_t>(size));
    return static_cast<T *>(block);
}

// Process state: started when the frame makes its first thread block.
// read_limit gives the ceiling MSSPACELIMIT asks for (bytes, raised to the
// 4 MiB minimum; negative: none); it is called once per process.
bool process_start(int64_t (*read_limit)()) noexcept;

// Whether the end-of-process leak check warns (mssp_end_ngot_set).
bool leak_warning_on() noexcept;

// Whether operating-system space statistics were asked for
// (mssp_enable_os_spstat).
bool os_stats_on() noexcept;

// The new capacity of a growing table that needs at least stepped units
// (its size rounded up to its growth step): at least double the old one, so
// that filling a table of n units copies O(n) in all; never above limit
// unless stepped is.
inline int64_t grown_capacity(int64_t old, int64_t stepped, int64_t limit) noexcept {
    int64_t doubled = old < limit / 2 ? old * 2 : limit;
    return stepped > doubled ? stepped : doubled;
}

// Number of live spaces.
long live_spaces() noexcept;

// Test hook: the n-th allocation from now fails as if the heap were
// exhausted (n >= 1); 0 switches it off.
void fail_nth_allocation(long n) noexcept;

}  // namespace qrv::space
