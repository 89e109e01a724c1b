// The installation directory, the temporary directory, the program name,
// the library's code set and the operating-system query.
#include "config/settings.h"

#include <atomic>
#include <cstring>

#include "base/context.h"
#include "base/errids.h"
#include "base/guard.h"
#include "config/lookup.h"
#include "config/store.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msstr.h"
#include "mstask.h"
#include "msthread.h"
#include "mstmp.h"
#include "msvars.h"
#include "os/os_config.h"

namespace qrv::settings {
namespace {

constexpr int kPresetMax = 1023;
constexpr int kTmpDirMax = 992;

std::atomic<const char *> g_quorvelpath{nullptr};
char g_preset[kPresetMax + 1];
bool g_preset_resolved = false;  // filled by the resolution, not by the program

struct TmpDir {
    qrv_mutex lock;
    bool lock_ready;
    std::atomic<bool> active;
    char text[kTmpDirMax + 1];
};
TmpDir g_tmpdir;

bool is_set(const char *value) { return value != nullptr && value[0] != '\0'; }

bool use_resolved(const char *path) {
    // Cut, it would name another directory.
    if (std::strlen(path) > kPresetMax) return vars::refuse_installation(path);
    msstr_ncopy_ch(g_preset, path, kPresetMax);
    g_preset_resolved = true;
    msbasic_set_quorvelpath(g_preset);
    return true;
}

// The folder above the one that holds this library, when it holds
// config/initfile.txt.
bool installation_of_library(char *folder, int size) {
    if (!os::own_file_path(folder, static_cast<size_t>(size))) return false;
    for (int cut = 0; cut < 2; ++cut) {
        char *slash = std::strrchr(folder, '/');
        if (slash == nullptr) return false;
        *slash = '\0';
    }
    if (folder[0] == '\0') std::strcpy(folder, "/");
    char initfile[1024];
    return mspath_mkpath_multi(initfile, sizeof initfile, folder, "config", "initfile.txt", nullptr) &&
           msfio_exists(initfile) == 2;
}

bool fallback(bool from_env) {
    char name[64];
    if (mspath_mkpath(name, sizeof name, "config", "initfile.txt") && store::find(name)) {
        msbasic_set_quorvelpath(MSBASIC_INMEM_QUORVELPATH);
        return true;
    }
    mserror_reset_seterr(from_env ? err::kQuorvelpathNotSet : err::kQuorvelpathNotInRegistry, 0);
    return false;
}

}  // namespace

bool resolve_installation() noexcept {
    if (g_preset[0] != '\0') {
        msbasic_set_quorvelpath(g_preset);
        return true;
    }
    if (is_set(msvars_getenv("QUORVELPATH_FROM_ENV"))) {
        const char *path = msvars_getenv("QUORVELPATH");
        return is_set(path) ? use_resolved(path) : fallback(true);
    }
    // Linux has no registry: the environment takes its place, then the
    // tree the library was installed in.
    if (const char *path = msvars_getenv("QUORVELPATH"); is_set(path)) return use_resolved(path);
    char folder[1024];
    if (installation_of_library(folder, sizeof folder)) return use_resolved(folder);
    return fallback(false);
}

void end_installation() noexcept {
    g_quorvelpath.store(nullptr, std::memory_order_release);
    if (g_preset_resolved) g_preset[0] = '\0';
    g_preset_resolved = false;
}

bool choose_tmpdir() noexcept {
    if (!g_tmpdir.lock_ready) {
        if (!msthread_mutex_init(&g_tmpdir.lock)) return false;
        g_tmpdir.lock_ready = true;
    }
    g_tmpdir.active.store(true, std::memory_order_release);
    const char *candidate = msbasic_initfile_getvar_env("MSTMPDIR");
    for (const char *name : {"TMPDIR", "TEMP", "TMP"}) {
        if (is_set(candidate)) break;
        candidate = msvars_getenv(name);
    }
    if (!is_set(candidate)) candidate = ".";
    if (std::strlen(candidate) > kTmpDirMax || msfio_exists(candidate) != 1) {
        mserror_reset_seterr_1arg_str(err::kTmpDirMissing, candidate);
        return false;
    }
    return msbasic_set_tmpdir(candidate) == 1;
}

void end_tmpdir() noexcept {
    g_tmpdir.active.store(false, std::memory_order_release);
    if (!g_tmpdir.lock_ready) return;
    msthread_mutex_lock(&g_tmpdir.lock);
    g_tmpdir.text[0] = '\0';
    msthread_mutex_unlock(&g_tmpdir.lock);
    msthread_mutex_destroy(&g_tmpdir.lock);
    g_tmpdir.lock_ready = false;
}

}  // namespace qrv::settings

using namespace qrv::settings;

extern "C" {

QRV_API const char *msbasic_get_quorvelpath(void) noexcept { return g_quorvelpath.load(std::memory_order_acquire); }

QRV_API void msbasic_set_quorvelpath(const char *path) noexcept {
    g_quorvelpath.store(path, std::memory_order_release);
}

QRV_API int msbasic_quorvelpath_is_real(void) noexcept {
    const char *path = msbasic_get_quorvelpath();
    return path != nullptr && std::strcmp(path, MSBASIC_INMEM_QUORVELPATH) != 0;
}

QRV_API int msapi_setquorvelpath_qrvcs(const char *path) noexcept {
    if (path == nullptr || std::strlen(path) > kPresetMax) return 0;
    std::memcpy(g_preset, path, std::strlen(path) + 1);
    g_preset_resolved = false;
    return 1;
}

QRV_API char *msbasic_get_tmpdir(char *buffer, int *size) noexcept {
    if (size == nullptr) return nullptr;
    if (!g_tmpdir.active.load(std::memory_order_acquire) || !g_tmpdir.lock_ready) {
        *size = -1;
        return nullptr;
    }
    qrv::MutexGuard lock(&g_tmpdir.lock);
    int length = static_cast<int>(std::strlen(g_tmpdir.text)) + 1;
    int room = *size;
    *size = length;
    if (buffer == nullptr || room < length) return nullptr;
    std::memcpy(buffer, g_tmpdir.text, static_cast<size_t>(length));
    return buffer;
}

QRV_API int msbasic_get_tmpdir_len(void) noexcept {
    int size = 0;
    msbasic_get_tmpdir(nullptr, &size);
    return size;
}

QRV_API int msbasic_set_tmpdir(const char *path) noexcept {
    if (path == nullptr || !g_tmpdir.active.load(std::memory_order_acquire) || !g_tmpdir.lock_ready) return 0;
    qrv::MutexGuard lock(&g_tmpdir.lock);
    msstr_ncopy_ch(g_tmpdir.text, path, kTmpDirMax);
    return 1;
}

QRV_API const char *msbasic_get_progname(void) noexcept {
    mstask_block *task = mstask_api_get_task();
    if (task == nullptr || task->task_handle == nullptr) return nullptr;
    return static_cast<qrv::ctx::TaskHandle *>(task->task_handle)->progname;
}

QRV_API int msbasic_set_progname(const char *name) noexcept {
    mstask_block *task = mstask_api_get_task();
    if (task == nullptr || task->task_handle == nullptr) return 0;
    static_cast<qrv::ctx::TaskHandle *>(task->task_handle)->progname = name;
    return 1;
}

QRV_API int msbasic_get_codeset_id(void) noexcept { return 3; }

QRV_API const char *msbasic_get_codeset_name(void) noexcept { return "UTF8"; }

QRV_API const char *msbasic_get_codeset_dirname(void) noexcept { return "utf8"; }

QRV_API int msbasic_sysinfo_os_is(int query) noexcept { return query == 1 ? 1 : 0; }

}  // extern "C"
