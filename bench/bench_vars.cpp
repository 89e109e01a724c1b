// MS-variable lookup beside getenv, and reading variable files of 10,000
// and 1,000,000 lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "msbasic.h"
#include "msvars.h"

extern char **environ;

namespace {

// A process environment of typical size: what the shell gave plus enough
// variables to reach 40, the looked-up one last in the block.
struct Environment {
    std::string first;
    Environment() {
        int count = 0;
        while (environ[count] != nullptr) ++count;
        for (int i = count; i < 40; ++i) setenv(("QRV_BENCH_FILL_" + std::to_string(i)).c_str(), "some value", 1);
        setenv("QRV_BENCH_LAST", "value", 1);
        first.assign(environ[0], std::strchr(environ[0], '=') - environ[0]);
        if (!msbasic_init_main(msbasic_init_cascade)) std::abort();
    }
};

const Environment &environment() {
    static Environment e;
    return e;
}

void run(benchmark::State &state, const char *(*lookup)(const char *), const char *name) {
    environment();
    for (auto _ : state) {
        const char *value = lookup(name);
        benchmark::DoNotOptimize(value);
    }
}

const char *plain_getenv(const char *name) { return std::getenv(name); }

void BM_msvars_getenv_last(benchmark::State &s) { run(s, msvars_getenv, "QRV_BENCH_LAST"); }
void BM_getenv_last(benchmark::State &s) { run(s, plain_getenv, "QRV_BENCH_LAST"); }
void BM_msvars_getenv_first(benchmark::State &s) { run(s, msvars_getenv, environment().first.c_str()); }
void BM_getenv_first(benchmark::State &s) { run(s, plain_getenv, environment().first.c_str()); }
void BM_msvars_getenv_absent(benchmark::State &s) { run(s, msvars_getenv, "QRV_BENCH_ABSENT"); }
void BM_getenv_absent(benchmark::State &s) { run(s, plain_getenv, "QRV_BENCH_ABSENT"); }

BENCHMARK(BM_msvars_getenv_last);
BENCHMARK(BM_getenv_last);
BENCHMARK(BM_msvars_getenv_first);
BENCHMARK(BM_getenv_first);
BENCHMARK(BM_msvars_getenv_absent);
BENCHMARK(BM_getenv_absent);

// Plain values, quoted values with a reference, comments and
// platform-selected values, as a large options file has them.
void read_file_of(benchmark::State &state, int lines) {
    environment();
    char path[] = "/tmp/qrv_bench_vars.XXXXXX";
    int fd = mkstemp(path);
    std::string text;
    for (int i = 0; i < lines; ++i) {
        switch (i % 4) {
            case 0:
                text += "NAME_" + std::to_string(i) + " = value number " + std::to_string(i) + "\n";
                break;
            case 1:
                text += "PATH_" + std::to_string(i) + "=\"${HOME}/lib/" + std::to_string(i) + "\"\n";
                break;
            case 2:
                text += "# comment line " + std::to_string(i) + "\n";
                break;
            default:
                text += "LIB_" + std::to_string(i) + "=[SYS_OS_LINUX]-lqrv" + std::to_string(i) + "\n";
                break;
        }
    }
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    close(fd);
    for (auto _ : state) {
        msvars_set *set = msvars_readfile(path);
        if (set == nullptr) std::abort();
        benchmark::DoNotOptimize(set);
        msvars_freevars(set);
    }
    state.SetItemsProcessed(state.iterations() * lines);
    unlink(path);
}

void BM_msvars_readfile_10000_lines(benchmark::State &state) { read_file_of(state, 10000); }
// A million lines: the set's tables grow often enough to show whether
// growth stays linear.
void BM_msvars_readfile_1000000_lines(benchmark::State &state) { read_file_of(state, 1000000); }
BENCHMARK(BM_msvars_readfile_10000_lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_msvars_readfile_1000000_lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
