// The space allocator beside malloc/free: a get and a release over a ladder
// of sizes from 16 to 4096 bytes, with one live block and with 64 live
// blocks replaced in rotation, on one thread and then on 2, 4 and 8. Two
// floors show where the time of an accounting wrapper goes: glibc's size
// queries, and a minimal wrapper's calls.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "msbasic.h"
#include "mssp.h"

namespace {

constexpr int kSizes[] = {16, 24, 40, 64, 100, 128, 200, 256, 512, 1000, 1024, 2048, 3000, 4096};
constexpr int kCount = sizeof kSizes / sizeof kSizes[0];
constexpr int kLive = 64;

struct Space {
    static void *get(int size) { return mssp_get_ex(size, 1); }
    static void release(void *p) { mssp_free_rv(p); }
};
struct Malloc {
    static void *get(int size) { return std::malloc(static_cast<size_t>(size)); }
    static void release(void *p) { std::free(p); }
};

// The floor of any accounting wrapper: malloc and free with the least
// single-thread accounting (sizes from the block's header, two counters,
// three marks), behind a call of its own as an exported function is.
struct Floor {
    static inline int64_t bytes, spaces, bytes_hwm, spaces_hwm, biggest;
    static int64_t size_of(void *p) {
        uint64_t word;
        std::memcpy(&word, reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(p) - 8), 8);
        return static_cast<int64_t>((word & ~uint64_t{7}) - 8 - (word & 2) * 4);
    }
    [[gnu::noinline]] static void *get(int size) {
        void *p = std::malloc(static_cast<size_t>(size));
        bytes += size_of(p);
        spaces += 1;
        if (bytes > bytes_hwm) bytes_hwm = bytes;
        if (spaces > spaces_hwm) spaces_hwm = spaces;
        if (size > biggest) biggest = size;
        return p;
    }
    [[gnu::noinline]] static void release(void *p) {
        bytes -= size_of(p);
        spaces -= 1;
        std::free(p);
    }
};

void start(benchmark::State &state) {
    if (state.thread_index() == 0) msbasic_init_main(msbasic_init_cascade);
}

template <typename A>
void BM_GetFree(benchmark::State &state) {
    start(state);
    int i = 0;
    for (auto _ : state) {
        void *p = A::get(kSizes[i]);
        benchmark::DoNotOptimize(p);
        A::release(p);
        i = i + 1 == kCount ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// 64 blocks stay live; each step releases the oldest and gets a new one of
// the next size, so blocks leave in a different order than they came.
template <typename A>
void BM_Rotate64(benchmark::State &state) {
    start(state);
    void *live[kLive];
    for (int k = 0; k < kLive; ++k) live[k] = A::get(kSizes[k % kCount]);
    int slot = 0, i = 0;
    for (auto _ : state) {
        A::release(live[slot]);
        live[slot] = A::get(kSizes[i]);
        benchmark::DoNotOptimize(live[slot]);
        slot = (slot + 1) % kLive;
        i = i + 1 == kCount ? 0 : i + 1;
    }
    for (void *p : live) A::release(p);
    state.SetItemsProcessed(state.iterations());
}

// The floor under any accounting that follows the heap's own sizes: malloc
// and free with the two size queries the accounting needs.
void BM_GetFree_MallocWithSizeQueries(benchmark::State &state) {
    int i = 0;
    size_t total = 0;
    for (auto _ : state) {
        void *p = std::malloc(static_cast<size_t>(kSizes[i]));
        total += malloc_usable_size(p);
        benchmark::DoNotOptimize(p);
        total -= malloc_usable_size(p);
        std::free(p);
        i = i + 1 == kCount ? 0 : i + 1;
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations());
}

// One thread first: glibc's allocator and ours both skip bus locks until a
// process has had a second thread, and the threaded runs end that.
BENCHMARK(BM_GetFree<Space>)->Name("BM_GetFree_Space");
BENCHMARK(BM_GetFree<Malloc>)->Name("BM_GetFree_Malloc");
BENCHMARK(BM_GetFree_MallocWithSizeQueries);
BENCHMARK(BM_GetFree<Floor>)->Name("BM_GetFree_FloorBehindCalls");
BENCHMARK(BM_Rotate64<Space>)->Name("BM_Rotate64_Space");
BENCHMARK(BM_Rotate64<Malloc>)->Name("BM_Rotate64_Malloc");
BENCHMARK(BM_Rotate64<Floor>)->Name("BM_Rotate64_FloorBehindCalls");
BENCHMARK(BM_GetFree<Space>)->Name("BM_GetFree_Space")->ThreadRange(2, 8);
BENCHMARK(BM_GetFree<Malloc>)->Name("BM_GetFree_Malloc")->ThreadRange(2, 8);
BENCHMARK(BM_Rotate64<Space>)->Name("BM_Rotate64_Space")->ThreadRange(2, 8);
BENCHMARK(BM_Rotate64<Malloc>)->Name("BM_Rotate64_Malloc")->ThreadRange(2, 8);

}  // namespace

BENCHMARK_MAIN();
