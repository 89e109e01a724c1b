// Integer to decimal (mscv_ix, mscv_i64x) beside std::to_chars, and the
// integer readers (mscv_xi, mscv_xi64) beside strtol/strtoll, on the same
// fixed inputs. Each pair's outputs are compared before timing.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mscv.h"

namespace {

constexpr int kCount = 4096;

// Values of every length, both signs, from a fixed seed.
template <typename T>
std::vector<T> values() {
    std::mt19937_64 random(20240601);
    std::vector<T> out;
    for (int i = 0; i < kCount; ++i) {
        int bits = static_cast<int>(random() % (sizeof(T) * 8 - 1)) + 1;
        auto v = static_cast<T>(random() >> (64 - bits));
        out.push_back(random() % 2 ? v : static_cast<T>(-v));
    }
    return out;
}

template <typename T>
std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (T v : values<T>()) out.push_back(std::to_string(v));
    return out;
}

template <typename T>
void write_ours(benchmark::State &state) {
    auto input = values<T>();
    char buf[24];
    for (T v : input) {
        char *end = sizeof(T) == 4 ? mscv_ix(buf, static_cast<int>(v)) : mscv_i64x(buf, static_cast<int64_t>(v));
        if (std::string(buf, end) != std::to_string(v)) state.SkipWithError("mscv writer output differs");
    }
    for (auto _ : state) {
        for (T v : input) {
            char *end = sizeof(T) == 4 ? mscv_ix(buf, static_cast<int>(v)) : mscv_i64x(buf, static_cast<int64_t>(v));
            benchmark::DoNotOptimize(end);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

template <typename T>
void write_to_chars(benchmark::State &state) {
    auto input = values<T>();
    char buf[24];
    for (auto _ : state) {
        for (T v : input) {
            auto result = std::to_chars(buf, buf + sizeof buf, v);
            *result.ptr = '\0';  // the library's writers terminate too
            benchmark::DoNotOptimize(result.ptr);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

template <typename T>
void read_ours(benchmark::State &state) {
    auto input = texts<T>();
    auto expected = values<T>();
    for (int i = 0; i < kCount; ++i) {
        T v = 0;
        const char *end = sizeof(T) == 4 ? mscv_xi(reinterpret_cast<int *>(&v), input[i].c_str())
                                         : mscv_xi64(reinterpret_cast<int64_t *>(&v), input[i].c_str());
        if (end != input[i].c_str() + input[i].size() || v != expected[i]) state.SkipWithError("mscv reader differs");
    }
    for (auto _ : state) {
        for (const std::string &text : input) {
            T v;
            const char *end = sizeof(T) == 4 ? mscv_xi(reinterpret_cast<int *>(&v), text.c_str())
                                             : mscv_xi64(reinterpret_cast<int64_t *>(&v), text.c_str());
            benchmark::DoNotOptimize(end);
            benchmark::DoNotOptimize(v);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

template <typename T>
void read_strtol(benchmark::State &state) {
    auto input = texts<T>();
    for (auto _ : state) {
        for (const std::string &text : input) {
            char *end;
            T v = sizeof(T) == 4 ? static_cast<T>(std::strtol(text.c_str(), &end, 10))
                                 : static_cast<T>(std::strtoll(text.c_str(), &end, 10));
            benchmark::DoNotOptimize(end);
            benchmark::DoNotOptimize(v);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

BENCHMARK(write_ours<int32_t>)->Name("write_int32/mscv_ix");
BENCHMARK(write_to_chars<int32_t>)->Name("write_int32/std::to_chars");
BENCHMARK(write_ours<int64_t>)->Name("write_int64/mscv_i64x");
BENCHMARK(write_to_chars<int64_t>)->Name("write_int64/std::to_chars");
BENCHMARK(read_ours<int32_t>)->Name("read_int32/mscv_xi");
BENCHMARK(read_strtol<int32_t>)->Name("read_int32/strtol");
BENCHMARK(read_ours<int64_t>)->Name("read_int64/mscv_xi64");
BENCHMARK(read_strtol<int64_t>)->Name("read_int64/strtoll");

}  // namespace

BENCHMARK_MAIN();
