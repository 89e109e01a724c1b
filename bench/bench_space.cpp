// The space allocator beside malloc/free: a get and a release over a ladder
// of sizes from 16 to 4096 bytes, on one thread and then on two.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>

#include "msbasic.h"
#include "mssp.h"

namespace {

constexpr int kSizes[] = {16, 24, 40, 64, 100, 128, 200, 256, 512, 1000, 1024, 2048, 3000, 4096};
constexpr int kCount = sizeof kSizes / sizeof kSizes[0];

void BM_GetFree_Space(benchmark::State &state) {
    if (state.thread_index() == 0) msbasic_init_main(msbasic_init_cascade);
    int i = 0;
    for (auto _ : state) {
        void *p = mssp_get_ex(kSizes[i], 1);
        benchmark::DoNotOptimize(p);
        mssp_free_rv(p);
        i = i + 1 == kCount ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GetFree_Malloc(benchmark::State &state) {
    int i = 0;
    for (auto _ : state) {
        void *p = std::malloc(static_cast<size_t>(kSizes[i]));
        benchmark::DoNotOptimize(p);
        std::free(p);
        i = i + 1 == kCount ? 0 : i + 1;
    }
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
// process has had a second thread, and the two-thread runs end that.
BENCHMARK(BM_GetFree_Space);
BENCHMARK(BM_GetFree_Malloc);
BENCHMARK(BM_GetFree_MallocWithSizeQueries);
BENCHMARK(BM_GetFree_Space)->Threads(2);
BENCHMARK(BM_GetFree_Malloc)->Threads(2);

}  // namespace

BENCHMARK_MAIN();
