// Rendering a three-entry error stack with msnlsmsg_error_msg_all (beside
// snprintf of the same three English texts, what a program without the
// catalogue would do), and looking ids up in an NLS file: the message
// layer's file reader alone and msnlsmsg_str_real of a file-only id.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "msbasic.h"
#include "mserror.h"
#include "msg/nlsfile.h"
#include "msnlsmsg.h"

namespace {

const char kExpected[] =
    "cannot bind socket to port 8080\ncannot open file '/var/lib/quorvel/db/orders.qrv'\n"
    "O/S error 2: No such file or directory";

void start() {
    static bool started = [] {
        setenv("LANG", "C", 1);
        unsetenv("MSLANG");
        unsetenv("MSNLSFILE");
        return msbasic_init_main(msbasic_init_cascade) == 1;
    }();
    if (!started) std::abort();
}

void push_three() {
    mserror_seterr_os(2);
    mserror_seterr_1arg_str(16473, "/var/lib/quorvel/db/orders.qrv");
    mserror_seterr_1arg(16453, 8080);
}

void BM_error_msg_all_3_entries(benchmark::State &state) {
    start();
    push_three();
    char text[1024];
    for (auto _ : state) {
        msnlsmsg_error_msg_all(text, sizeof text, nullptr);
        benchmark::DoNotOptimize(text);
    }
    if (std::strcmp(text, kExpected) != 0) state.SkipWithError("wrong text");
    mserror_reset();
    state.SetItemsProcessed(state.iterations());
}

void BM_snprintf_3_texts(benchmark::State &state) {
    char text[1024];
    for (auto _ : state) {
        int n = std::snprintf(text, sizeof text, "cannot bind socket to port %ld\n", 8080L);
        n += std::snprintf(text + n, sizeof text - n, "cannot open file '%s'\n", "/var/lib/quorvel/db/orders.qrv");
        std::snprintf(text + n, sizeof text - n, "O/S error %ld: %s", 2L, "No such file or directory");
        benchmark::DoNotOptimize(text);
    }
    if (std::strcmp(text, kExpected) != 0) state.SkipWithError("wrong text");
    state.SetItemsProcessed(state.iterations());
}

// The English NLS file of the built-in store, read through the reader.
void BM_nls_file_read(benchmark::State &state) {
    start();
    qrv::nls::File f;
    if (!qrv::nls::open(f, "/nonexistent/", "utf8_en")) std::abort();
    char area[qrv::nls::kAreaSize];
    const uint32_t ids[] = {10601, 16473, 17051, 16831};
    size_t i = 0;
    for (auto _ : state) {
        bool found = qrv::nls::read(f, ids[i++ & 3], area);
        benchmark::DoNotOptimize(found);
    }
    if (!qrv::nls::read(f, 10601, area) || std::strcmp(area, "cannot read the options file") != 0) {
        state.SkipWithError("wrong text");
    }
    qrv::nls::close(f);
    state.SetItemsProcessed(state.iterations());
}

void BM_str_real_file_only_id(benchmark::State &state) {
    start();
    const char *text = nullptr;
    for (auto _ : state) {
        text = msnlsmsg_str_real(10601, nullptr);
        benchmark::DoNotOptimize(text);
    }
    if (std::strcmp(text, "cannot read the options file") != 0) state.SkipWithError("wrong text");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_error_msg_all_3_entries);
BENCHMARK(BM_snprintf_3_texts);
BENCHMARK(BM_nls_file_read);
BENCHMARK(BM_str_real_file_only_id);

}  // namespace

BENCHMARK_MAIN();
