// The library's clock beside a bare clock_gettime(CLOCK_REALTIME): the
// fine-grained clock (a monotonic read added to its anchor), the same with
// the MSTIMEOFFSET shift, and the local one.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdlib>

#include "msbasic.h"
#include "msos.h"
#include "mstime.h"

namespace {

void start(const char *offset) {
    static bool started = false;
    if (started) return;
    started = true;
    if (offset != nullptr) setenv("MSTIMEOFFSET", offset, 1);
    if (!msbasic_init_main(msbasic_init_cascade)) std::abort();
}

void BM_clock_gettime_realtime(benchmark::State &state) {
    for (auto _ : state) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        benchmark::DoNotOptimize(ts);
    }
}

// What the fine-grained clock reads underneath.
void BM_clock_gettime_monotonic(benchmark::State &state) {
    for (auto _ : state) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        benchmark::DoNotOptimize(ts);
    }
}

void BM_msos_get_timeval(benchmark::State &state) {
    start("-1.5");
    for (auto _ : state) {
        mstime_timeval tv;
        msos_get_timeval(&tv);
        benchmark::DoNotOptimize(tv);
    }
}

void BM_mstime_get_timeval_offset(benchmark::State &state) {
    start("-1.5");
    for (auto _ : state) {
        mstime_timeval tv;
        mstime_get_timeval(&tv);
        benchmark::DoNotOptimize(tv);
    }
}

void BM_mstime_get_local_timeval_offset(benchmark::State &state) {
    start("-1.5");
    for (auto _ : state) {
        mstime_timeval tv;
        mstime_get_local_timeval(&tv);
        benchmark::DoNotOptimize(tv);
    }
}

}  // namespace

BENCHMARK(BM_clock_gettime_realtime);
BENCHMARK(BM_clock_gettime_monotonic);
BENCHMARK(BM_msos_get_timeval);
BENCHMARK(BM_mstime_get_timeval_offset);
BENCHMARK(BM_mstime_get_local_timeval_offset);
BENCHMARK_MAIN();
