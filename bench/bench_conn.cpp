// A connection made and freed (msconn_alloc + msconn_free with unlink)
// beside malloc and free of a block of the same 184 bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "msbasic.h"
#include "msconn.h"

namespace {

void BM_ConnAllocFree(benchmark::State &state) {
    msbasic_init_main(msbasic_init_cascade);
    for (auto _ : state) {
        msconn_connection *c = msconn_alloc();
        benchmark::DoNotOptimize(c);
        msconn_free(c, 1);
    }
    msbasic_end_main(msbasic_init_cascade);
}

void BM_Malloc184(benchmark::State &state) {
    for (auto _ : state) {
        void *p = std::calloc(1, MSCONN_SIZE);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}

BENCHMARK(BM_ConnAllocFree);
BENCHMARK(BM_Malloc184);

}  // namespace

BENCHMARK_MAIN();
