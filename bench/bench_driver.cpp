// The compiler driver building a command and showing it instead of running
// it: msbin_quorvel_comp with "-echoline" (options, mode, library lists,
// the whole argument vector) beside msbin_echoline of the finished vector
// (the printing alone). The installation is the build tree's qrvroot; the
// library's standard output goes to /dev/null (MSSTDOUT), the benchmark's
// report still to the terminal.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "msbasic.h"
#include "msbin.h"

namespace {

char kName[] = "qrvcc", kShow[] = "-echoline", kSource[] = "hello.c", kOut[] = "-o", kProgram[] = "hello";
char *kArgv[] = {kName, kShow, kSource, kOut, kProgram, nullptr};

void BM_msbin_quorvel_comp_echoline(benchmark::State &state) {
    for (auto _ : state) {
        int status = -1;
        if (!msbin_quorvel_comp(5, kArgv, &status) || status != 0) state.SkipWithError("driver failed");
    }
    state.SetItemsProcessed(state.iterations());
}

// The command the driver shows for the same arguments with this options file.
void BM_msbin_echoline_only(benchmark::State &state) {
    const std::string root = QRV_ROOT;
    std::vector<std::string> words = {"cc",
                                      "-pthread",
                                      "-I" + root + "/include/qrvbasic",
                                      "-I" + root + "/include",
                                      "hello.c",
                                      "-o",
                                      "hello",
                                      "-L" + root + "/shlib",
                                      "-lqrvbasic",
                                      "-lm",
                                      "-ldl",
                                      "-Wl,-rpath," + root + "/shlib",
                                      "-lpthread"};
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        int status = -1;
        if (msbin_echoline(argv.data(), 0, &status) == 0) state.SkipWithError("echoline failed");
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_msbin_quorvel_comp_echoline);
BENCHMARK(BM_msbin_echoline_only);

}  // namespace

int main(int argc, char **argv) {
    setenv("MSSTDOUT", "/dev/null", 1);
    unsetenv("QUORVELPATH");
    msapi_setquorvelpath_qrvcs(QRV_ROOT);
    if (!msbasic_init_main(msbin_init_cascade)) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    msbasic_end_main(msbin_init_cascade);
    return 0;
}
