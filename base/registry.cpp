// The registry of live handles: one open-addressing hash set of addresses
// per kind. Readers probe without a lock; writers hold the kind's lock.
// Adding a key or closing one changes a single slot (empty or closed becomes
// the key, the key becomes closed), which a concurrent reader sees either
// before or after, both consistent. Only a rebuild that clears closed slots
// in place moves keys; it runs with the sequence count odd, and a reader
// that saw the count change probes again. A table that grows is replaced,
// and the outgrown one is kept, since a reader may still be probing it.
#include "base/registry.h"

#include <cerrno>
#include <cstdint>
#include <new>

#include "base/errids.h"
#include "base/space.h"
#include "mserror.h"
#include "msos.h"
#include "os/heap.h"
#include "os/mutex.h"

namespace qrv::space {
namespace {

constexpr uintptr_t kEmpty = 0;
constexpr uintptr_t kClosed = 1;
constexpr uint32_t kFirstCapacity = 64;
constexpr uint32_t kMostCapacity = uint32_t{1} << 30;

struct Table {
    Table *outgrown;    // the table this one replaced, kept for late readers
    uint32_t capacity;  // a power of two
    uint32_t shift;     // 64 - log2(capacity)
    std::atomic<uintptr_t> slots[1];
};

struct Registry {
    std::atomic<uint32_t> sequence;  // odd while a rebuild moves keys
    std::atomic<Table *> table;
    qrv_mutex lock;  // writers
    // Under the lock:
    uint32_t live;  // keys in the table
    uint32_t used;  // slots not empty (keys and closed)
    uintptr_t recent[kRecentCloses];
    uint32_t recent_next;
};

constinit Registry g_registry[kKinds]{};

}  // namespace

constinit std::atomic<uint64_t> g_retirements[kKinds]{};

namespace {

Registry &registry(Kind kind) { return g_registry[static_cast<int>(kind)]; }

uint32_t home(const Table *t, uintptr_t key) {
    return static_cast<uint32_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> t->shift);
}

bool probe(const Table *t, uintptr_t key) {
    const uint32_t mask = t->capacity - 1;
    uint32_t i = home(t, key);
    for (uint32_t n = 0; n < t->capacity; ++n, i = (i + 1) & mask) {
        uintptr_t v = t->slots[i].load(std::memory_order_acquire);
        if (v == key) return true;
        if (v == kEmpty) return false;
    }
    return false;
}

Table *new_table(uint32_t capacity, Table *outgrown) {
    auto *t = static_cast<Table *>(os::heap_alloc(sizeof(Table) + (capacity - 1) * sizeof(std::atomic<uintptr_t>)));
    if (t == nullptr) return nullptr;
    t->outgrown = outgrown;
    t->capacity = capacity;
    t->shift = 64 - static_cast<uint32_t>(__builtin_ctz(capacity));
    for (uint32_t i = 0; i < capacity; ++i) new (&t->slots[i]) std::atomic<uintptr_t>(kEmpty);
    return t;
}

// Puts key in the first empty or closed slot from its home; the release
// store keeps a rebuild's odd sequence count ahead of it.
void place(Registry &r, Table *t, uintptr_t key) {
    const uint32_t mask = t->capacity - 1;
    for (uint32_t i = home(t, key);; i = (i + 1) & mask) {
        uintptr_t v = t->slots[i].load(std::memory_order_relaxed);
        if (v == kEmpty || v == kClosed) {
            if (v == kEmpty) ++r.used;
            t->slots[i].store(key, std::memory_order_release);
            return;
        }
    }
}

// The live keys of t into keys (room for r.live).
void collect(const Registry &r, const Table *t, uintptr_t *keys) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < t->capacity && n < r.live; ++i) {
        uintptr_t v = t->slots[i].load(std::memory_order_relaxed);
        if (v != kEmpty && v != kClosed) keys[n++] = v;
    }
}

// A table of capacity slots holding the live keys without closed slots.
bool rebuild(Registry &r, uint32_t capacity) {
    Table *t = r.table.load(std::memory_order_relaxed);
    if (t != nullptr && t->capacity == capacity) {
        auto *keys = static_cast<uintptr_t *>(os::heap_alloc(sizeof(uintptr_t) * (r.live + 1)));
        if (keys != nullptr) {
            collect(r, t, keys);
            uint32_t s = r.sequence.load(std::memory_order_relaxed);
            r.sequence.store(s + 1, std::memory_order_relaxed);
            for (uint32_t i = 0; i < capacity; ++i) t->slots[i].store(kEmpty, std::memory_order_release);
            r.used = 0;
            for (uint32_t i = 0; i < r.live; ++i) place(r, t, keys[i]);
            r.sequence.store(s + 2, std::memory_order_release);
            os::heap_release(keys);
            return true;
        }
        capacity *= 2;  // no room to sort in place: grow instead
    }
    if (capacity > kMostCapacity) return false;
    Table *grown = new_table(capacity, t);
    if (grown == nullptr) return false;
    r.used = 0;
    if (t != nullptr) {
        for (uint32_t i = 0; i < t->capacity; ++i) {
            uintptr_t v = t->slots[i].load(std::memory_order_relaxed);
            if (v != kEmpty && v != kClosed) place(r, grown, v);
        }
    }
    r.table.store(grown, std::memory_order_release);
    return true;
}

// Room for one more key: at most three quarters of the slots in use, and
// after a rebuild at most half of them live.
bool make_room(Registry &r) {
    Table *t = r.table.load(std::memory_order_relaxed);
    if (t != nullptr && (r.used + 1) * 4 <= t->capacity * 3) return true;
    uint32_t capacity = t != nullptr ? t->capacity : kFirstCapacity;
    while ((r.live + 1) * 2 > capacity && capacity <= kMostCapacity) capacity *= 2;
    return rebuild(r, capacity);
}

bool is_recent(const Registry &r, uintptr_t key) {
    for (uintptr_t closed : r.recent) {
        if (closed == key) return true;
    }
    return false;
}

class Hold {
public:
    explicit Hold(Registry &r) : r_(r) { os::mutex_lock(&r_.lock); }
    ~Hold() { os::mutex_unlock(&r_.lock); }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    Registry &r_;
};

enum class Admission { admitted, recently_closed, no_room };

Admission admit(Registry &r, uintptr_t key, bool even_recent) {
    Hold hold(r);
    if (!even_recent && is_recent(r, key)) return Admission::recently_closed;
    if (!make_room(r)) return Admission::no_room;
    place(r, r.table.load(std::memory_order_relaxed), key);
    ++r.live;
    return Admission::admitted;
}

}  // namespace

void *get_handle(Kind kind, int size) noexcept {
    Registry &r = registry(kind);
    // Blocks at recently closed addresses are held until a fresh one comes,
    // so the allocator cannot hand them out again meanwhile.
    void *held[kRecentCloses];
    int n_held = 0;
    void *block = nullptr;
    for (;;) {
        block = get(size);
        if (block == nullptr) break;
        Admission a = admit(r, reinterpret_cast<uintptr_t>(block), n_held == kRecentCloses);
        if (a == Admission::admitted) break;
        if (a == Admission::no_room) {
            release(block);
            block = nullptr;
            mserror_seterr_os(ENOMEM);
            mserror_seterr(err::kNoSpaceFromOs, 0);
            break;
        }
        held[n_held++] = block;
    }
    while (n_held > 0) release(held[--n_held]);
    return block;
}

bool admit_block(Kind kind, void *block) noexcept {
    return block != nullptr && admit(registry(kind), reinterpret_cast<uintptr_t>(block), false) == Admission::admitted;
}

namespace {

// One probe between two reads of the sequence count: 1 found, 0 not, -1
// when a rebuild ran meanwhile or runs now and the probe must be repeated.
[[gnu::always_inline]] inline int probe_between(const Registry &r, uintptr_t key) {
    uint32_t before = r.sequence.load(std::memory_order_acquire);
    if ((before & 1) != 0) return -1;
    const Table *t = r.table.load(std::memory_order_acquire);
    int found = t != nullptr && probe(t, key) ? 1 : 0;
    return r.sequence.load(std::memory_order_acquire) == before ? found : -1;
}

// Out of line, so that the common case of a single probe saves no registers.
[[gnu::noinline]] bool probe_during_rebuild(const Registry &r, uintptr_t key) {
    int found;
    while ((found = probe_between(r, key)) < 0) msos_relinquish_thread();
    return found != 0;
}

}  // namespace

bool is_live(Kind kind, const void *p) noexcept {
    auto key = reinterpret_cast<uintptr_t>(p);
    if (key == kEmpty || key == kClosed) return false;
    const Registry &r = registry(kind);
    int found = probe_between(r, key);
    return found >= 0 ? found != 0 : probe_during_rebuild(r, key);
}

bool retire(Kind kind, const void *p) noexcept {
    auto key = reinterpret_cast<uintptr_t>(p);
    if (key == kEmpty || key == kClosed) return false;
    Registry &r = registry(kind);
    Hold hold(r);
    Table *t = r.table.load(std::memory_order_relaxed);
    if (t == nullptr) return false;
    const uint32_t mask = t->capacity - 1;
    uint32_t i = home(t, key);
    for (uint32_t n = 0; n < t->capacity; ++n, i = (i + 1) & mask) {
        uintptr_t v = t->slots[i].load(std::memory_order_relaxed);
        if (v == kEmpty) return false;
        if (v == key) {
            t->slots[i].store(kClosed, std::memory_order_release);
            g_retirements[static_cast<int>(kind)].fetch_add(1, std::memory_order_release);
            --r.live;
            r.recent[r.recent_next] = key;
            r.recent_next = (r.recent_next + 1) % kRecentCloses;
            return true;
        }
    }
    return false;
}

bool release_handle(Kind kind, void *p) noexcept {
    if (!retire(kind, p)) return false;
    release(p);
    return true;
}

void lock_registries_for_fork() noexcept {
    for (Registry &r : g_registry) os::mutex_lock(&r.lock);
}

void unlock_registries_after_fork(bool child) noexcept {
    for (Registry &r : g_registry) {
        if (child) {
            os::mutex_init(&r.lock);
        } else {
            os::mutex_unlock(&r.lock);
        }
    }
}

}  // namespace qrv::space
