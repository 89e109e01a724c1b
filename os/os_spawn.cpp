// Starting programs: posix_spawnp with the standard-handle triple as dup2
// file actions (never a shell, never a copy of the caller's address space),
// a wait that survives signals, a detached child for the no-wait form, the
// command-line text function and system(3).
#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "msos.h"
#include "os/handle.h"
#include "os/os_internal.h"
#include "os/syscall.h"

extern char **environ;

namespace {

using qrv::os::g_sys;
using qrv::os::retry_eintr;

constexpr uint32_t kFailed = MSOS_SPAWN_FAILED;
constexpr uint32_t kStdWhich[3] = {MSOS_STD_INPUT_HANDLE, MSOS_STD_OUTPUT_HANDLE, MSOS_STD_ERROR_HANDLE};

// What the child's standard descriptors become. A source among 0-2 is
// first copied above 2 (close-on-exec), so that one dup2 cannot overwrite
// the source of a later one (input and output swapped, for instance).
class Plan {
public:
    Plan() = default;
    Plan(const Plan &) = delete;
    Plan &operator=(const Plan &) = delete;
    ~Plan() {
        if (has_actions_) posix_spawn_file_actions_destroy(&actions_);
        for (int fd : copies_) {
            if (fd >= 0) g_sys.close(fd);
        }
    }

    // 0, or the errno value that stops the spawn.
    int prepare(const qrv_handle *handles) {
        for (int i = 0; i < 3; ++i) {
            qrv_handle h = handles != nullptr ? handles[i] : QRV_INVALID_HANDLE;
            if (h == QRV_INVALID_HANDLE) h = msos_getstdhandle(kStdWhich[i]);
            if (h == QRV_INVALID_HANDLE || h == i) continue;  // the caller's own descriptor i, as it is
            if (!qrv::os::is_fd(h)) return EBADF;
            int fd = static_cast<int>(h);
            if (fd <= 2) {
                fd = g_sys.fcntl(fd, F_DUPFD_CLOEXEC, 3);
                if (fd < 0) return errno;
                copies_[i] = fd;
            }
            if (!has_actions_) {
                int rc = posix_spawn_file_actions_init(&actions_);
                if (rc != 0) return rc;
                has_actions_ = true;
            }
            int rc = posix_spawn_file_actions_adddup2(&actions_, fd, i);
            if (rc != 0) return rc;
        }
        return 0;
    }

    const posix_spawn_file_actions_t *actions() const { return has_actions_ ? &actions_ : nullptr; }

private:
    posix_spawn_file_actions_t actions_;
    bool has_actions_ = false;
    int copies_[3] = {-1, -1, -1};
};

// posix_spawnp; with mask, the child starts with that signal mask. 0 or an
// errno value.
int start(const char *program, char *const argv[], const Plan &plan, const sigset_t *mask, pid_t *pid) {
    posix_spawnattr_t attributes;
    posix_spawnattr_t *use = nullptr;
    if (mask != nullptr) {
        if (int rc = posix_spawnattr_init(&attributes); rc != 0) return rc;
        use = &attributes;
        posix_spawnattr_setsigmask(use, mask);
        posix_spawnattr_setflags(use, POSIX_SPAWN_SETSIGMASK);
    }
    int rc = posix_spawnp(pid, program, plan.actions(), use, argv, environ);
    if (use != nullptr) posix_spawnattr_destroy(use);
    return rc;
}

// The wait status as one number: the exit code, or 128 + the signal.
uint32_t exit_code(int status) {
    if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return static_cast<uint32_t>(status);
}

bool wait_for(pid_t pid, int *status) {
    return retry_eintr([&] { return g_sys.waitpid(pid, status, 0); }) == pid;
}

// The no-wait child is started by a short-lived intermediate that shares
// the caller's memory (clone with CLONE_VM | CLONE_VFORK, as posix_spawn
// does inside): the caller's thread sleeps until the intermediate has
// started the child and ended, then reaps it. The child, an orphan from
// then on, belongs to init: the caller never sees it end. glibc's __clone
// is called, not clone: a sanitizer's interceptor of clone takes every
// clone for a fork and would run its after-fork steps in memory the
// intermediate shares with the caller.
extern "C" int __clone(int (*fn)(void *), void *stack, int flags, void *arg, ...);
struct Detached {
    const char *program;
    char *const *argv;
    const Plan *plan;
    sigset_t mask;  // the caller's: the intermediate runs with every signal blocked
    pid_t pid;
    int error;
};

int intermediate(void *argument) {
    auto *job = static_cast<Detached *>(argument);
    job->error = start(job->program, job->argv, *job->plan, &job->mask, &job->pid);
    return 0;
}

constexpr size_t kIntermediateStack = 256 * 1024;

uint32_t spawn_detached(const char *program, char *const argv[], const Plan &plan) {
    Detached job{program, argv, &plan, {}, 0, 0};
    void *stack =
        mmap(nullptr, kIntermediateStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return kFailed;
    // No handler of the caller may run on the intermediate's stack.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &job.mask);
    pid_t middle =
        __clone(intermediate, static_cast<char *>(stack) + kIntermediateStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &job);
    int saved = errno;
    pthread_sigmask(SIG_SETMASK, &job.mask, nullptr);
    munmap(stack, kIntermediateStack);
    if (middle < 0) {
        errno = saved;
        return kFailed;
    }
    // The intermediate has ended (CLONE_VFORK); reap it. Should another
    // thread of the caller have reaped it already, the child still started.
    int status;
    wait_for(middle, &status);
    if (job.error != 0) {
        errno = job.error;
        return kFailed;
    }
    return static_cast<uint32_t>(job.pid);
}

bool is_batch(const char *arg, size_t length) { return length > 4 && strcasecmp(arg + length - 4, ".bat") == 0; }

char *put_backslashes(char *out, size_t n) {
    memset(out, '\\', n);
    return out + n;
}

}  // namespace

extern "C" {

QRV_API uint32_t msos_spawnvp_ex(const char *program, char *const argv[], int wait, const qrv_handle *handles,
                                 int show_window, int quote) noexcept {
    (void)show_window;
    (void)quote;
    if (program == nullptr || argv == nullptr || argv[0] == nullptr) {
        errno = EINVAL;
        return kFailed;
    }
    Plan plan;
    if (int rc = plan.prepare(handles); rc != 0) {
        errno = rc;
        return kFailed;
    }
    if (!wait) return spawn_detached(program, argv, plan);
    pid_t pid;
    if (int rc = start(program, argv, plan, nullptr, &pid); rc != 0) {
        errno = rc;
        return kFailed;
    }
    int status;
    return wait_for(pid, &status) ? exit_code(status) : kFailed;
}

QRV_API uint32_t msos_spawnvp_wait(const char *program, char *const argv[]) noexcept {
    return msos_spawnvp_ex(program, argv, 1, nullptr, 0, 1);
}

QRV_API uint32_t msos_spawnvp_nowait(const char *program, char *const argv[]) noexcept {
    return msos_spawnvp_ex(program, argv, 0, nullptr, 0, 1);
}

QRV_API uint32_t msos_spawnvp_io(const char *program, char *const argv[], int wait,
                                 const qrv_handle *handles) noexcept {
    return msos_spawnvp_ex(program, argv, wait, handles, 0, 1);
}

QRV_API char *msos_win32_make_cmdline(char *const argv[], int quote) noexcept {
    // Room for the worst case: every backslash doubled, every quote escaped,
    // two quotes and a space per argument (the last space becomes the NUL).
    size_t size = 0;
    for (size_t i = 0; argv != nullptr && argv[i] != nullptr; ++i) {
        size_t n = 3;
        for (const char *p = argv[i]; *p != '\0'; ++p) n += (*p == '"' || *p == '\\') ? 2 : 1;
        if (__builtin_add_overflow(size, n, &size)) {
            errno = ENOMEM;
            return nullptr;
        }
    }
    char *line = static_cast<char *>(malloc(size > 0 ? size : 1));
    if (line == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    char *out = line;
    size_t i = 0;
    if (quote && argv != nullptr && argv[0] != nullptr && is_batch(argv[0], strlen(argv[0]))) {
        size_t n = strlen(argv[0]);
        memcpy(out, argv[0], n);
        out += n;
        *out++ = ' ';
        i = 1;
    }
    for (; argv != nullptr && argv[i] != nullptr; ++i) {
        const char *p = argv[i];
        if (!quote) {
            size_t n = strlen(p);
            memcpy(out, p, n);
            out += n;
            *out++ = ' ';
            continue;
        }
        *out++ = '"';
        size_t pending = 0;  // backslashes seen, not yet written
        for (; *p != '\0'; ++p) {
            if (*p == '\\') {
                ++pending;
                continue;
            }
            if (*p == '"') {
                out = put_backslashes(out, 2 * pending + 1);
            } else {
                out = put_backslashes(out, pending);
            }
            pending = 0;
            *out++ = *p;
        }
        out = put_backslashes(out, 2 * pending);  // the closing quote stays a quote
        *out++ = '"';
        *out++ = ' ';
    }
    if (out > line) --out;  // the last space
    *out = '\0';
    return line;
}

QRV_API int msos_system(const char *command) noexcept {
    int status = system(command);
    if (command == nullptr || status == -1) return status;
    return static_cast<int>(exit_code(status));
}

}  // extern "C"
