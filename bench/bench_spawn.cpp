// Starting /bin/true and waiting for it: msos_spawnvp_wait beside the bare
// posix_spawnp + waitpid it is built on, fork + execv, and system(3)
// (which adds a shell).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "msos.h"

extern char **environ;

namespace {

char kTrue[] = "/bin/true";
char *const kArgv[] = {kTrue, nullptr};

void BM_msos_spawnvp_wait(benchmark::State &state) {
    for (auto _ : state) {
        if (msos_spawnvp_wait(kTrue, kArgv) != 0) state.SkipWithError("spawn failed");
    }
}

void BM_posix_spawnp_waitpid(benchmark::State &state) {
    for (auto _ : state) {
        pid_t pid;
        int status;
        if (posix_spawnp(&pid, kTrue, nullptr, nullptr, kArgv, environ) != 0 || waitpid(pid, &status, 0) != pid)
            state.SkipWithError("spawn failed");
    }
}

void BM_fork_execv(benchmark::State &state) {
    for (auto _ : state) {
        pid_t pid = fork();
        if (pid == 0) {
            execv(kTrue, kArgv);
            _exit(127);
        }
        int status;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) state.SkipWithError("fork failed");
    }
}

void BM_system(benchmark::State &state) {
    for (auto _ : state) {
        if (std::system(kTrue) != 0) state.SkipWithError("system failed");
    }
}

void BM_msos_spawnvp_nowait(benchmark::State &state) {
    for (auto _ : state) {
        if (msos_spawnvp_nowait(kTrue, kArgv) == MSOS_SPAWN_FAILED) state.SkipWithError("spawn failed");
    }
}

BENCHMARK(BM_msos_spawnvp_wait)->UseRealTime();
BENCHMARK(BM_posix_spawnp_waitpid)->UseRealTime();
BENCHMARK(BM_fork_execv)->UseRealTime();
BENCHMARK(BM_system)->UseRealTime();
BENCHMARK(BM_msos_spawnvp_nowait)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
