// A typical formatting mix (two ints, a string, a "%lf", literal text; 71
// bytes out) through msfmt_buffer_lim, beside glibc snprintf and {fmt}'s
// format_to_n. The double has an exact binary value, so all three print
// the same text; each benchmark checks it before timing.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdio>
#include <cstring>

#include "msbasic.h"
#include "msfmt.h"

namespace {

constexpr char kExpected[] = "order 12345 line -678: item 'widget-blue' costs 1234.500000000000000 EUR";

struct Library {
    Library() { msbasic_init_main(msbasic_init_cascade); }
    ~Library() { msbasic_end_main(msbasic_init_cascade); }
};

// Inputs the compiler cannot fold.
volatile int g_order = 12345;
volatile int g_line = -678;
const char *volatile g_item = "widget-blue";
volatile double g_price = 1234.5;

bool verify(benchmark::State &state, const char *text) {
    if (std::strcmp(text, kExpected) == 0) return true;
    state.SkipWithError(text);
    return false;
}

void BM_Mix_Library(benchmark::State &state) {
    static Library lib;
    char buf[128];
    msfmt_buffer_lim(buf, sizeof buf, "order %d line %d: item '%s' costs %lf EUR", g_order, g_line, g_item, g_price);
    if (!verify(state, buf)) return;
    for (auto _ : state) {
        msfmt_buffer_lim(buf, sizeof buf, "order %d line %d: item '%s' costs %lf EUR", g_order, g_line, g_item,
                         g_price);
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mix_Library);

void BM_Mix_Snprintf(benchmark::State &state) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "order %d line %d: item '%s' costs %.15f EUR", g_order, g_line, g_item, g_price);
    if (!verify(state, buf)) return;
    for (auto _ : state) {
        std::snprintf(buf, sizeof buf, "order %d line %d: item '%s' costs %.15f EUR", g_order, g_line, g_item, g_price);
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mix_Snprintf);

void BM_Mix_Fmt(benchmark::State &state) {
    char buf[128];
    auto run = [&] {
        auto r = fmt::format_to_n(buf, sizeof buf - 1, "order {} line {}: item '{}' costs {:.15f} EUR", g_order, g_line,
                                  static_cast<const char *>(g_item), static_cast<double>(g_price));
        *r.out = '\0';
    };
    run();
    if (!verify(state, buf)) return;
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mix_Fmt);

}  // namespace

BENCHMARK_MAIN();
