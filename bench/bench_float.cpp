// Floating point beside glibc: "%.15le" through the engine against
// snprintf("%.15e"), and mscv_flt_af against strtod, over fixed inputs
// (a fixed-seed spread of magnitudes). Before timing, every pair is
// checked to agree as far as the two conventions allow: the same decimal
// exponent and values within the library's 16-digit accuracy.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "msbasic.h"
#include "mscv.h"
#include "msfmt.h"

namespace {

struct Library {
    Library() { msbasic_init_main(msbasic_init_cascade); }
    ~Library() { msbasic_end_main(msbasic_init_cascade); }
};

const std::vector<double> &values() {
    static const std::vector<double> v = [] {
        std::mt19937_64 rng(20240601);
        std::vector<double> out;
        for (int i = 0; i < 256; ++i) {
            double mantissa = 1.0 + static_cast<double>(rng() >> 11) * (8.999 / 9007199254740992.0);
            int exponent = static_cast<int>(rng() % 80) - 40;
            out.push_back((rng() & 1 ? -1 : 1) * mantissa * std::pow(10.0, exponent));
        }
        return out;
    }();
    return v;
}

// The same values as text, in the forms people write.
const std::vector<std::string> &texts() {
    static const std::vector<std::string> t = [] {
        std::vector<std::string> out;
        char buf[64];
        const char *const forms[] = {"%.6f", "%.10g", "%.15e", "%.3f"};
        int i = 0;
        for (double v : values()) {
            std::snprintf(buf, sizeof buf, forms[i++ % 4], v);
            out.emplace_back(buf);
        }
        return out;
    }();
    return t;
}

bool close(double a, double b) { return std::fabs(a - b) <= 4e-15 * std::fabs(b); }

void BM_Format15e_Library(benchmark::State &state) {
    static Library lib;
    char ours[64], peer[64];
    for (double v : values()) {
        msfmt_buffer_lim(ours, sizeof ours, "%.15le", v);
        std::snprintf(peer, sizeof peer, "%.15e", v);
        if (!close(std::strtod(ours, nullptr), std::strtod(peer, nullptr)) ||
            std::atoi(std::strchr(ours, 'e') + 1) != std::atoi(std::strchr(peer, 'e') + 1)) {
            state.SkipWithError((std::string(ours) + " vs " + peer).c_str());
            return;
        }
    }
    size_t i = 0;
    for (auto _ : state) {
        msfmt_buffer_lim(ours, sizeof ours, "%.15le", values()[i++ & 255]);
        benchmark::DoNotOptimize(ours);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Format15e_Library);

void BM_Format15e_Snprintf(benchmark::State &state) {
    char peer[64];
    size_t i = 0;
    for (auto _ : state) {
        std::snprintf(peer, sizeof peer, "%.15e", values()[i++ & 255]);
        benchmark::DoNotOptimize(peer);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Format15e_Snprintf);

void BM_ReadDouble_Library(benchmark::State &state) {
    static Library lib;
    for (const std::string &t : texts()) {
        double v = 0;
        if (mscv_flt_af(&v, t.c_str()) != 1 || !close(v, std::strtod(t.c_str(), nullptr))) {
            state.SkipWithError(t.c_str());
            return;
        }
    }
    size_t i = 0;
    double v = 0;
    for (auto _ : state) {
        mscv_flt_af(&v, texts()[i++ & 255].c_str());
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadDouble_Library);

void BM_ReadDouble_Strtod(benchmark::State &state) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strtod(texts()[i++ & 255].c_str(), nullptr));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadDouble_Strtod);

}  // namespace

BENCHMARK_MAIN();
