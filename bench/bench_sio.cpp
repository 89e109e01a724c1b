// Buffered line output: mssio_printf of a 40-byte line beside fprintf to a
// FILE* on the same kind of file (/dev/null keeps the disk out of it).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "msbasic.h"
#include "mssio.h"

namespace {

void BM_LineOutput_Mssio(benchmark::State &state) {
    msbasic_init_main(msbasic_init_cascade);
    mssio_stream *s = mssio_open_ex("/dev/null", 1, "w");
    if (s == nullptr) state.SkipWithError("cannot open /dev/null");
    int i = 0;
    for (auto _ : state) mssio_fprintf(s, "record %6d of the nightly batch: ok\n", i++);
    mssio_close(s);
    msbasic_end_main(msbasic_init_cascade);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineOutput_Mssio);

void BM_LineOutput_Fprintf(benchmark::State &state) {
    FILE *f = std::fopen("/dev/null", "w");
    if (f == nullptr) state.SkipWithError("cannot open /dev/null");
    setvbuf(f, nullptr, _IOLBF, 512);  // line-buffered like the stream
    int i = 0;
    for (auto _ : state) std::fprintf(f, "record %6d of the nightly batch: ok\n", i++);
    std::fclose(f);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineOutput_Fprintf);

}  // namespace

BENCHMARK_MAIN();
