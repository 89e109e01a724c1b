// The frame's hot paths beside what a C++ program would use instead:
// the thread workspace vs a thread_local, the library mutex vs std::mutex,
// and an error push + reset vs a vector of words.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "msbasic.h"
#include "mserror.h"
#include "msthread.h"

namespace {

// Brings the library up for the benchmarking thread once.
struct Library {
    Library() { msbasic_init_main(msbasic_init_cascade); }
    ~Library() { msbasic_end_main(msbasic_init_cascade); }
};
Library &library() {
    static Library lib;
    return lib;
}

void *g_slots[MSBASIC_THREAD_WSS_SLOTS];
thread_local void **t_workspace = g_slots;

void BM_ThreadWorkspace_Library(benchmark::State &state) {
    library();
    if (msbasic_get_thread_wss() == nullptr) state.SkipWithError("library not initialised");
    for (auto _ : state) benchmark::DoNotOptimize(msbasic_get_thread_wss());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ThreadWorkspace_Library);

void BM_ThreadWorkspace_ThreadLocal(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(t_workspace);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ThreadWorkspace_ThreadLocal);

// The same read behind a function call, as any C interface must be.
[[gnu::noinline]] void **thread_workspace_call() {
    void **ws = t_workspace;
    asm volatile("" : "+r"(ws));
    return ws;
}

void BM_ThreadWorkspace_ThreadLocalBehindCall(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(thread_workspace_call());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ThreadWorkspace_ThreadLocalBehindCall);

void BM_MutexLockUnlock_Library(benchmark::State &state) {
    qrv_mutex m;
    msthread_mutex_init_raw(&m);
    for (auto _ : state) {
        msthread_mutex_lock(&m);
        msthread_mutex_unlock(&m);
    }
    msthread_mutex_destroy_raw(&m);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexLockUnlock_Library);

void BM_MutexLockUnlock_StdMutex(benchmark::State &state) {
    std::mutex m;
    for (auto _ : state) {
        m.lock();
        m.unlock();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexLockUnlock_StdMutex);

void BM_ErrorPush2Reset_Library(benchmark::State &state) {
    library();
    mserror_seterr_2arg(16151, 2, 3);
    if (mserror_geterr_id() != 16151) state.SkipWithError("error stack missing");
    for (auto _ : state) {
        mserror_seterr(16151, 2);
        mserror_setarg(2, 0);
        mserror_setarg(3, 1);
        mserror_reset();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ErrorPush2Reset_Library);

void BM_ErrorPush2Reset_LibraryOneCall(benchmark::State &state) {
    library();
    for (auto _ : state) {
        mserror_seterr_2arg(16151, 2, 3);
        mserror_reset();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ErrorPush2Reset_LibraryOneCall);

void BM_ErrorPush2Reset_Vector(benchmark::State &state) {
    std::vector<uint64_t> words;
    words.reserve(10);
    for (auto _ : state) {
        words.push_back(3);
        words.push_back(2);
        words.push_back(2);
        words.push_back(16151);
        benchmark::DoNotOptimize(words.data());
        words.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ErrorPush2Reset_Vector);

}  // namespace

// glibc leaves out the bus lock of its mutexes while a process has a single
// thread; servers never do, so the comparison runs with a second thread alive.
int main(int argc, char **argv) {
    std::atomic<bool> stop{false};
    std::thread idle([&] {
        while (!stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stop = true;
    idle.join();
    return 0;
}
