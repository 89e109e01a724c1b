// The library's own allocator. Every record of the library is a space from
// here, so the accounting (and the failure-injection hook of the tests) sees
// all of them. The exported mssp_ family sits on the same functions.
#pragma once

#include <cstddef>

namespace qrv::space {

// A block of size bytes (size >= 0), or null.
void *get(int size) noexcept;
// Resizes block (null: allocate); size 0 releases it and returns null. On
// failure null is returned and block is left as it was.
void *reget(void *block, int size) noexcept;
// Releases block (null is ignored).
void release(void *block) noexcept;

// The frame's reallocation function, shape (block, size, check-limit flag).
void *reget_ex(void *block, int size, int check_limit) noexcept;

// A zero-filled block of count records of T.
template <typename T>
T *get_zeroed(int count = 1) noexcept;

// Process state: started by the first process-level init, ended by the
// process-level teardown (orderly 0 in a forked child).
bool process_start() noexcept;
void process_end(int orderly) noexcept;

// Number of live spaces.
long live_spaces() noexcept;

// Test hook: the n-th allocation from now fails (n >= 1); 0 switches it off.
void fail_nth_allocation(long n) noexcept;

}  // namespace qrv::space

#include <cstring>

template <typename T>
T *qrv::space::get_zeroed(int count) noexcept {
    auto size = static_cast<int>(sizeof(T)) * count;
    void *block = get(size);
    if (block != nullptr) std::memset(block, 0, static_cast<size_t>(size));
    return static_cast<T *>(block);
}
