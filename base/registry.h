// The registry of live handles: for each kind of handle the library hands
// out (descriptors, streams, variable sets and objects, ...), the set of
// addresses that are live now. Every function taking a handle asks here
// before it touches the memory behind it, so a closed, foreign or random
// value is refused without being read.
//
// A closed handle's address is kept among the kind's recent closes for a
// while, and no new handle of that kind is given such an address: a stale
// handle whose block the allocator hands out again is still refused rather
// than taken for the new one.
//
// Membership is read without a lock (a sequence count guards the rare
// rebuilds of a table); registering and closing take the kind's lock, which
// is never held while another lock is taken. The fork handlers hold every
// kind's lock across fork, so a child never inherits one held.
#pragma once

#include <atomic>
#include <cstdint>

namespace qrv::space {

enum class Kind : int {
    descriptor,       // msfio_fd
    stream,           // mssio_stream
    variable_set,     // msvars_set
    variable_object,  // msvars_obj
    nls_client,       // msnlsmsg_client
    listing,          // msfio_dir
    romfile,          // msromf_file
    connection,       // msconn_connection
};
inline constexpr int kKinds = 8;

// How many recent closes of a kind keep their addresses from new handles.
inline constexpr int kRecentCloses = 16;

// A space of size bytes (as get) registered as a live handle of kind, at an
// address none of the kind's recent closes had; null with the error pushed.
void *get_handle(Kind kind, int size) noexcept;

template <typename T>
T *get_handle_zeroed(Kind kind, int extra = 0) noexcept;

// Registers block, a space the caller keeps from an earlier life as a
// handle of kind, as live again: false, with nothing changed, while its
// address is among the kind's recent closes (or no room is left).
bool admit_block(Kind kind, void *block) noexcept;

// True when p is a live handle of kind.
bool is_live(Kind kind, const void *p) noexcept;

// How many handles of kind have been retired. A handle found live after
// the count was read stays live while the count still reads the same, so a
// holder of a handle that it checked can skip checking it again.
inline uint64_t retirements(Kind kind) noexcept;

template <typename T>
T *live(Kind kind, T *p) noexcept {
    return is_live(kind, p) ? p : nullptr;
}

// Ends p's life as a handle of kind before its memory is released: false,
// with nothing changed, when p was not live. Of two threads retiring one
// handle at once, exactly one gets true.
bool retire(Kind kind, const void *p) noexcept;

// retire, then release the space; false when p was not live.
bool release_handle(Kind kind, void *p) noexcept;

// Fork handlers: hold every kind's lock across fork; the child, the only
// thread left, starts with the locks free.
void lock_registries_for_fork() noexcept;
void unlock_registries_after_fork(bool child) noexcept;

}  // namespace qrv::space

#include <cstring>

namespace qrv::space {

// Written by retire under the kind's lock.
extern std::atomic<uint64_t> g_retirements[kKinds];

inline uint64_t retirements(Kind kind) noexcept {
    return g_retirements[static_cast<int>(kind)].load(std::memory_order_acquire);
}

template <typename T>
T *get_handle_zeroed(Kind kind, int extra) noexcept {
    auto size = static_cast<int>(sizeof(T)) + extra;
    void *block = get_handle(kind, size);
    if (block != nullptr) std::memset(block, 0, static_cast<size_t>(size));
    return static_cast<T *>(block);
}

}  // namespace qrv::space
