// The init/end frame: application records, module records, the dependency
// list and the passes that raise and lower the per-process, per-task and
// per-thread counts. Every pass runs under the init lock.
#include <cstring>

#include "base/space.h"
#include "frame/frame_internal.h"
#include "msbasic.h"
#include "msfmt.h"
#include "msos.h"
#include "mstask.h"
#include "msthread.h"
#include "os/os_internal.h"

namespace qrv::frame {
namespace {

struct AppRecord {
    msbasic_cascade_fn cascade;
    int32_t dep_count;
    int32_t dep_start;
};

struct ModuleRecord {
    msbasic_init_fn init;
    msbasic_end_fn end;
    int32_t process_count;
};

// A process-wide table that grows by a fixed step.
template <typename T, int Step>
struct Table {
    T *items = nullptr;
    int32_t length = 0;
    int32_t capacity = 0;

    bool append(const T &item) noexcept {
        if (length == capacity) {
            int32_t grown = capacity + Step;
            void *p = space::reget(items, grown * static_cast<int>(sizeof(T)));
            if (p == nullptr) return false;
            items = static_cast<T *>(p);
            capacity = grown;
        }
        items[length++] = item;
        return true;
    }
    void release() noexcept {
        space::release(items);
        *this = Table{};
    }
};

Table<AppRecord, 5> g_apps;
Table<ModuleRecord, 10> g_modules;
Table<int32_t, 20> g_deps;

bool g_registration_error = false;
int32_t g_current_app = -1;  // only while a cascade runs
bool g_init_enabled = true;
bool g_in_progress = false;
std::atomic<char *> g_msdebug{nullptr};

constexpr char kDeadlockWarning[] = "Potential deadlock involving Quorvel Init/End functions and DllMain.\n";
constexpr long kEndThreadTries = 999999;  // 0xF423F

// 0 not initialised, 1 initialised by this process, 2 inherited through fork.
int process_state() {
    int32_t pid = msbasic_get_init_pid();
    if (pid == 0) return 0;
    return pid == msos_getpid() ? 1 : 2;
}

int32_t **task_counters(ThreadBlock *tb) {
    auto *task = static_cast<mstask_block *>(tb->task);
    return task != nullptr ? reinterpret_cast<int32_t **>(&task->counters) : nullptr;
}

// The three counts of module m for the thread's block; task and thread are
// null when their arrays cannot grow.
struct Counts {
    int32_t *process;
    int32_t *task;
    int32_t *thread;
    bool available() const { return task != nullptr && thread != nullptr; }
};

Counts counts_of(ThreadBlock *tb, int32_t m) {
    int32_t **tc = task_counters(tb);
    return Counts{&g_modules.items[m].process_count, tc != nullptr ? counter_slot(tc, m) : nullptr,
                  counter_slot(&tb->counters, m)};
}

// What is left in use after an end, which decides how far the frame is torn
// down. Modules the end leaves alone count too: a thread that holds no count
// of its own must not tear down what other threads still use.
struct Sums {
    int64_t process = 0, task = 0, thread = 0;
    void add(const Counts &c) {
        process += *c.process;
        if (c.task != nullptr) task += *c.task;
        if (c.thread != nullptr) thread += *c.thread;
    }
};

void release_tables() {
    g_apps.release();
    g_modules.release();
    g_deps.release();
}

bool create_thread_block(int mode) {
    if (mode == MSBASIC_MODE_PROCESS) {
        msbasic_set_init_pid(msos_getpid());
        if (!space::process_start(space_limit)) return false;
    }
    void *current = mstask_get_ptr_w_default();
    if (current == nullptr) return false;
    ThreadBlock *tb = is_thread_block(current) ? static_cast<ThreadBlock *>(current) : nullptr;
    if (tb == nullptr) {
        tb = space::get_zeroed<ThreadBlock>();
        if (tb != nullptr) {
            tb->magic = MSTASK_THREAD_MAGIC;
            tb->task = current;
        }
        if (tb == nullptr || !mstask_set_ptr(tb)) {
            space::release(tb);
            // Without a block no teardown could ever run: leave the process
            // uninitialised rather than recorded with nothing to end.
            if (mode == MSBASIC_MODE_PROCESS) {
                print_space_reports(1);
                msbasic_set_init_pid(0);
            }
            return false;
        }
        note_thread_block(tb);
    }
    if (mode == MSBASIC_MODE_THREAD) return true;
    if (int32_t **counts = task_counters(tb)) {
        space::release(*counts);  // stale counts of an earlier life of the task
        *counts = nullptr;
    }
    if (mode == MSBASIC_MODE_PROCESS) release_tables();
    return true;
}

// The mode an init function gets for counts that were just raised.
int init_mode(int32_t process, int32_t task) {
    if (process == 1) return MSBASIC_MODE_PROCESS;
    return task == 1 ? MSBASIC_MODE_TASK : MSBASIC_MODE_THREAD;
}

// Frees the calling thread's block and, for modes 1 and 2, its task's counts;
// mode 1 returns the frame to the uninitialised state.
void teardown(int mode, int orderly) {
    ThreadBlock *tb = current_thread_block();
    if (tb == nullptr) return;
    void *task = tb->task;
    int32_t **counts = task_counters(tb);
    space::release(tb->counters);
    note_thread_block(nullptr);
    mstask_set_ptr(task);
    space::release(tb);
    if (mode != MSBASIC_MODE_THREAD && counts != nullptr) {
        space::release(*counts);
        *counts = nullptr;
    }
    if (mode == MSBASIC_MODE_PROCESS) {
        release_tables();
        print_space_reports(orderly);
        msbasic_set_init_pid(0);
        g_init_enabled = true;
    }
}

void leave_locked() {
    g_in_progress = false;
    msthread_mutex_unlock_raw(init_lock());
}

// Ends the modes' counts of every module, last registered first. With
// orderly 1 the caller holds the init lock and this releases it.
void end_pass(int mode, int orderly) {
    if (orderly == 1) {
        g_in_progress = true;
        if (process_state() == 0) return leave_locked();
    }
    ThreadBlock *tb = current_thread_block();
    if (tb == nullptr) {
        if (orderly == 1) leave_locked();
        return;
    }
    // A forked child discarding what it inherited: the parent's other
    // threads are gone, and a lock one of them held would never come free.
    const bool discarding = orderly == 0;
    if (discarding) set_discarding(true);
    Sums sums;
    for (int32_t m = g_modules.length - 1; m >= 0; --m) {
        if (g_modules.items[m].process_count == 0) continue;
        Counts c = counts_of(tb, m);
        if (c.available()) {
            int32_t &process = *c.process;
            bool ends = mode == MSBASIC_MODE_PROCESS || (mode == MSBASIC_MODE_TASK ? *c.task : *c.thread) != 0;
            if (ends && mode == MSBASIC_MODE_PROCESS) {
                process = *c.task = *c.thread = 0;
            } else if (ends && mode == MSBASIC_MODE_TASK) {
                process -= *c.task;
                *c.task = *c.thread = 0;
            } else if (ends) {
                process -= *c.thread;
                *c.task -= *c.thread;
                *c.thread = 0;
            }
            if (msbasic_end_fn end = g_modules.items[m].end; ends && end != nullptr) {
                end(process == 0 ? MSBASIC_MODE_PROCESS : (*c.task != 0 ? MSBASIC_MODE_THREAD : MSBASIC_MODE_TASK),
                    orderly);
            }
        }
        sums.add(c);
    }
    teardown(sums.process == 0 ? MSBASIC_MODE_PROCESS : (sums.task != 0 ? MSBASIC_MODE_THREAD : MSBASIC_MODE_TASK),
             orderly);
    if (discarding) set_discarding(false);
    if (orderly == 1) leave_locked();
}

int32_t find_app(msbasic_cascade_fn cascade) {
    for (int32_t i = 0; i < g_apps.length; ++i) {
        if (g_apps.items[i].cascade == cascade) return i;
    }
    return -1;
}

// Runs a new cascade to record the modules it registers.
int32_t record_app(msbasic_cascade_fn cascade) {
    if (!g_apps.append(AppRecord{cascade, 0, g_deps.length})) return -1;
    int32_t app = g_apps.length - 1;
    g_registration_error = false;
    g_current_app = app;
    cascade();
    g_current_app = -1;
    return g_registration_error ? -1 : app;
}

// Raises the three counts of module m for the thread; calls its init when a
// count reached 1. False if init failed or the counts cannot be had: a
// skipped module would leave the caller believing in a layer never set up.
bool raise_counts(ThreadBlock *tb, int32_t m) {
    Counts c = counts_of(tb, m);
    if (!c.available()) return false;
    int32_t p = ++*c.process, t = ++*c.task, h = ++*c.thread;
    msbasic_init_fn init = g_modules.items[m].init;
    if (init == nullptr || (p != 1 && t != 1 && h != 1)) return true;
    return init(init_mode(p, t)) != 0;
}

bool init_main_locked(msbasic_cascade_fn cascade) {
    int state = process_state();
    if (state == 2) end_pass(MSBASIC_MODE_PROCESS, 0);
    if (!g_init_enabled) return false;
    void *current = mstask_get_ptr_w_default();
    if (current == nullptr) return false;
    if (!is_thread_block(current)) {
        create_thread_block(state == 1 ? MSBASIC_MODE_THREAD : MSBASIC_MODE_PROCESS);
        current = mstask_get_ptr();
        if (!is_thread_block(current)) return false;
    }
    auto *tb = static_cast<ThreadBlock *>(current);
    int32_t app = find_app(cascade);
    if (app < 0 && (app = record_app(cascade)) < 0) return false;
    const int32_t start = g_apps.items[app].dep_start;
    const int32_t count = g_apps.items[app].dep_count;
    for (int32_t i = start; i < start + count; ++i) {
        if (!raise_counts(tb, g_deps.items[i])) return false;
    }
    return true;
}

}  // namespace

int32_t *counter_slot(int32_t **array, int index) noexcept {
    if (index < 0) return nullptr;
    int32_t old = *array != nullptr ? (*array)[0] : 0;
    if (index >= old) {
        int64_t capacity = old + 10 * ((static_cast<int64_t>(index) - old) / 10) + 10;
        auto *grown = static_cast<int32_t *>(space::reget(*array, static_cast<int>((capacity + 1) * 4)));
        if (grown == nullptr) return nullptr;
        std::memset(grown + 1 + old, 0, static_cast<size_t>(capacity - old) * 4);
        grown[0] = static_cast<int32_t>(capacity);
        *array = grown;
    }
    return &(*array)[1 + index];
}

void set_debug_value(const char *value) noexcept {
    char *copy = nullptr;
    if (value != nullptr) {
        size_t length = std::strlen(value) + 1;
        copy = static_cast<char *>(space::get(static_cast<int>(length)));
        if (copy != nullptr) std::memcpy(copy, value, length);
    }
    space::release(g_msdebug.exchange(copy));
}

void end_exiting_thread(ThreadBlock *block) noexcept {
    if (current_ptr() != block) return;
    msbasic_end_thread();
    if (current_thread_block() != block) return;
    // Still here: either the lock never came (warned) or the process was torn
    // down by another thread and the frame no longer counts this block.
    int acquired = 0;
    msthread_mutex_trylock_raw(init_lock(), &acquired);
    if (!acquired) return;
    if (process_state() == 0) {
        library_end(MSBASIC_MODE_THREAD, 1);
        teardown(MSBASIC_MODE_THREAD, 1);
    }
    msthread_mutex_unlock_raw(init_lock());
}

}  // namespace qrv::frame

using namespace qrv::frame;

extern "C" {

QRV_API int32_t msbasic_end_all_ok = 1;

QRV_API int msbasic_init_main(msbasic_cascade_fn cascade) noexcept {
    if (cascade == nullptr) return 0;
    if (!msthread_mutex_lock_raw(init_lock())) return 0;
    g_in_progress = true;
    bool ok = init_main_locked(cascade);
    // Disabled until a full teardown, which needs something to tear down.
    if (!ok && process_state() != 0) g_init_enabled = false;
    leave_locked();
    return ok;
}

QRV_API void msbasic_init_end_register(msbasic_init_fn init, msbasic_end_fn end) noexcept {
    if (g_current_app < 0) return;
    int32_t index = -1;
    for (int32_t m = 0; m < g_modules.length && index < 0; ++m) {
        const ModuleRecord &r = g_modules.items[m];
        if (r.init == init && r.end == end) {
            index = m;
        } else if ((r.init != nullptr && r.init == init) || (r.end != nullptr && r.end == end)) {
            g_registration_error = true;
            return;
        }
    }
    if (index < 0) {
        if (!g_modules.append(ModuleRecord{init, end, 0})) {
            g_registration_error = true;
            return;
        }
        index = g_modules.length - 1;
    }
    if (!g_deps.append(index)) {
        g_registration_error = true;
        return;
    }
    g_apps.items[g_current_app].dep_count++;
}

QRV_API int msbasic_init_thread(void) noexcept {
    msthread_mutex_lock_raw(init_lock());
    if (!g_init_enabled) {
        msthread_mutex_unlock_raw(init_lock());
        return 0;
    }
    int ok = 1;
    if (g_modules.length > 0) {
        if (!is_thread_block(mstask_get_ptr_w_default())) create_thread_block(MSBASIC_MODE_THREAD);
        ThreadBlock *tb = current_thread_block();
        ok = tb != nullptr;
        for (int32_t m = 0; ok && m < g_modules.length; ++m) {
            if (g_modules.items[m].process_count == 0) continue;
            int32_t **tc = task_counters(tb);
            int32_t *task = tc != nullptr ? counter_slot(tc, m) : nullptr;
            if (task == nullptr || *task == 0) continue;
            ok = raise_counts(tb, m);
        }
    }
    msthread_mutex_unlock_raw(init_lock());
    return ok;
}

QRV_API int msbasic_end_main(msbasic_cascade_fn cascade) noexcept {
    if (!msthread_mutex_lock_raw(init_lock())) return 0;
    g_in_progress = true;
    ThreadBlock *tb = current_thread_block();
    if (process_state() == 0 || tb == nullptr) {
        leave_locked();
        return 1;
    }
    int32_t app = find_app(cascade);
    if (app < 0 || g_apps.items[app].dep_count == 0) {
        teardown(MSBASIC_MODE_PROCESS, 1);
        leave_locked();
        return 1;
    }
    Sums sums;
    const int32_t start = g_apps.items[app].dep_start;
    for (int32_t i = start + g_apps.items[app].dep_count - 1; i >= start; --i) {
        int32_t m = g_deps.items[i];
        Counts c = counts_of(tb, m);
        if (*c.process != 0 && c.available() && *c.task != 0 && *c.thread != 0) {
            int32_t p = --*c.process, t = --*c.task, h = --*c.thread;
            if (msbasic_end_fn end = g_modules.items[m].end) {
                if (p == 0) {
                    end(MSBASIC_MODE_PROCESS, 1);
                } else if (t == 0) {
                    end(MSBASIC_MODE_TASK, 1);
                } else if (h == 0) {
                    end(MSBASIC_MODE_THREAD, 1);
                }
            }
        }
        sums.add(c);
    }
    if (sums.process == 0) {
        teardown(MSBASIC_MODE_PROCESS, 1);
    } else if (sums.task == 0) {
        teardown(MSBASIC_MODE_TASK, 1);
    } else if (sums.thread == 0) {
        teardown(MSBASIC_MODE_THREAD, 1);
    }
    leave_locked();
    return 1;
}

QRV_API void msbasic_end_task(void) noexcept {
    if (msthread_mutex_lock_raw(init_lock())) end_pass(MSBASIC_MODE_TASK, 1);
}

QRV_API void msbasic_end_task_force(void) noexcept {
    msthread_mutex_bypass(1);
    msbasic_end_task();
}

QRV_API void msbasic_end_thread(void) noexcept {
    for (long attempt = 0; attempt < kEndThreadTries; ++attempt) {
        int acquired = 0;
        msthread_mutex_trylock_raw(init_lock(), &acquired);
        if (acquired) return end_pass(MSBASIC_MODE_THREAD, 1);
        msos_relinquish_thread();
    }
    qrv::os::write_stderr(kDeadlockWarning, sizeof kDeadlockWarning - 1);
}

QRV_API void msbasic_end_all(void) noexcept {
    if (msbasic_end_all_ok != 0 && msthread_mutex_lock_raw(init_lock())) end_pass(MSBASIC_MODE_PROCESS, 1);
}

QRV_API void msbasic_end_all_force(void) noexcept {
    msthread_mutex_bypass(1);
    msbasic_end_all();
}

QRV_API int msbasic_is_inited_once(void) noexcept {
    msthread_mutex_lock_raw(init_lock());
    int once = 0;
    for (int32_t m = 0; m < g_modules.length; ++m) {
        const ModuleRecord &r = g_modules.items[m];
        if (r.init == library_init && r.end == library_end) once = r.process_count == 1;
    }
    msthread_mutex_unlock_raw(init_lock());
    return once;
}

QRV_API void msbasic_check_end_task(void) noexcept {
    msthread_mutex_lock_raw(init_lock());
    g_in_progress = true;
    auto warn = [](const char *text) { qrv::os::write_stderr(text, std::strlen(text)); };
    if (process_state() != 0 && msbasic_debug_check("endcheck")) {
        void *current = mstask_get_ptr();
        mstask_block *task = mstask_api_get_task();
        if (current == nullptr) {
            warn("\nWarning: no current task\n");
        } else if (is_thread_block(current) && g_modules.length == 0) {
            warn("\nWarning: no init/end functions structure\n");
        } else {
            for (int32_t m = g_modules.length - 1; m >= 0; --m) {
                int32_t *count =
                    task != nullptr ? counter_slot(reinterpret_cast<int32_t **>(&task->counters), m) : nullptr;
                if (count == nullptr) {
                    warn("\nWarning: no task counts\n");
                    break;
                }
                if (*count != 0) {
                    char line[96];
                    msfmt_buffer_lim(line, sizeof line, "\nWarning: end function %p not called\n",
                                     reinterpret_cast<void *>(g_modules.items[m].end));
                    warn(line);
                }
            }
        }
    }
    leave_locked();
}

QRV_API int msbasic_debug_check(const char *word) noexcept {
    const char *value = g_msdebug.load();
    return value != nullptr && word != nullptr && std::strstr(value, word) != nullptr;
}

QRV_API int msbasic_tset(int32_t *flag) noexcept { return flag != nullptr && msos_interlockedexchange(flag, 1) == 0; }

QRV_API int msbasic_tset_unset(int32_t *flag) noexcept {
    if (flag != nullptr) msos_interlockedexchange(flag, 0);
    return 0;
}

}  // extern "C"
