// The whole library brought up and taken down: msbasic_init_main with the
// library's cascade and msbasic_end_main, the first pair in a fresh process
// (printed before the benchmarks run) and then repeated pairs. Heap calls
// are counted by interposing the C allocator (the sanitizer builds, whose
// allocator that would replace, count nothing); the peak number of live
// spaces of a pair comes from the allocator's own statistics. A pair that
// leaves a space behind stops the run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "msbasic.h"
#include "mssp.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {
std::atomic<long> g_heap_calls{0};
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QRV_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QRV_SANITIZED 1
#endif

#ifndef QRV_SANITIZED
// The sanitizers own the allocator; only the plain build counts.
extern "C" void *malloc(size_t n) {
    g_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void *calloc(size_t n, size_t size) {
    g_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, size_t n) {
    g_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
extern "C" void free(void *p) { __libc_free(p); }
#endif

namespace {

// One pair; false when the init failed or a space outlived the end.
bool init_end_pair() {
    if (msbasic_init_main(msbasic_init_cascade) != 1) return false;
    msbasic_end_main(msbasic_init_cascade);
    return msbasic_get_init_pid() == 0 && mssp_get_spstat(3) == 0;
}

void BM_InitEndPair(benchmark::State &state) {
    long calls = 0, peak_spaces = 0;
    for (auto _ : state) {
        long before = g_heap_calls.load();
        mssp_reset_spstat_hwm(0);
        if (!init_end_pair()) {
            state.SkipWithError("init failed or spaces left after the end");
            break;
        }
        calls += g_heap_calls.load() - before;
        peak_spaces = std::max<long>(peak_spaces, mssp_get_spstat(0));
    }
    state.counters["heap_calls_per_pair"] =
        benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
    state.counters["peak_spaces"] = static_cast<double>(peak_spaces);
}
BENCHMARK(BM_InitEndPair)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    long before = g_heap_calls.load();
    auto start = std::chrono::steady_clock::now();
    bool ok = init_end_pair();
    auto took = std::chrono::steady_clock::now() - start;
    std::printf("first pair in a fresh process: %s, %.1f us, %ld heap calls, peak %d spaces\n", ok ? "ok" : "FAILED",
                std::chrono::duration<double, std::micro>(took).count(), g_heap_calls.load() - before,
                mssp_get_spstat(0));
    if (!ok) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
