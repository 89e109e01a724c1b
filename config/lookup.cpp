// MS-variable lookup: the environment snapshot with its case-blind hash
// table, lookups in sets, the precedence of environment, environment file
// and initialisation file, and the loading of those two files.
#include "config/lookup.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/errids.h"
#include "config/varset.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msstr.h"
#include "mstables.h"
#include "msthread.h"
#include "mstmp.h"
#include "msvars.h"
#include "os/heap.h"
#include "os/os_config.h"

namespace qrv::vars {
namespace {

// The snapshot: one heap block holding this header, the null-terminated
// pointer array, the hash slots and the "NAME=VALUE" strings. A slot holds
// the hash of a name folded to lower case and 1 + the string's position
// (0: empty); equal names keep only their first string.
struct Slot {
    uint32_t hash;
    uint32_t position;
};

struct Snapshot {
    char **strings;
    Slot *slots;
    uint32_t mask;
};

std::atomic<Snapshot *> g_snapshot{nullptr};
std::atomic<msvars_set *> g_initfile{nullptr};
std::atomic<msvars_set *> g_envfile{nullptr};
qrv_mutex g_snapshot_lock;  // zero-filled: a free mutex; guards the lazy snapshot

inline unsigned char fold(char c) { return mstables_char_lc[static_cast<unsigned char>(c)]; }

// FNV-1a over the folded bytes of [name, name + n).
inline uint32_t fold_hash(const char *name, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ fold(name[i])) * 16777619u;
    return h;
}

inline bool same_name(const char *entry, const char *name, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (fold(entry[i]) != fold(name[i])) return false;
    }
    return entry[n] == '=';
}

size_t name_length(const char *entry) {
    const char *equals = std::strchr(entry, '=');
    return equals != nullptr ? static_cast<size_t>(equals - entry) : std::strlen(entry);
}

Snapshot *take_snapshot() {
    char *const *env = os::environment();
    if (env == nullptr) return nullptr;
    size_t count = 0, bytes = 0;
    for (; env[count] != nullptr; ++count) bytes += std::strlen(env[count]) + 1;
    uint32_t slots = 16;
    while (slots < 2 * count) slots *= 2;
    size_t size = sizeof(Snapshot) + (count + 1) * sizeof(char *) + slots * sizeof(Slot) + bytes;
    auto *block = static_cast<char *>(os::heap_alloc(size));
    if (block == nullptr) return nullptr;
    auto *snapshot = reinterpret_cast<Snapshot *>(block);
    snapshot->strings = reinterpret_cast<char **>(block + sizeof(Snapshot));
    snapshot->slots = reinterpret_cast<Slot *>(snapshot->strings + count + 1);
    snapshot->mask = slots - 1;
    std::memset(snapshot->slots, 0, slots * sizeof(Slot));
    char *text = reinterpret_cast<char *>(snapshot->slots + slots);
    // Linux keeps the environment as bytes, already the library's UTF-8.
    for (size_t i = 0; i < count; ++i) {
        size_t length = std::strlen(env[i]) + 1;
        std::memcpy(text, env[i], length);
        snapshot->strings[i] = text;
        text += length;
        size_t n = name_length(snapshot->strings[i]);
        if (snapshot->strings[i][n] != '=') continue;  // no value: never found
        uint32_t h = fold_hash(snapshot->strings[i], n);
        for (uint32_t s = h & snapshot->mask;; s = (s + 1) & snapshot->mask) {
            Slot &slot = snapshot->slots[s];
            if (slot.position == 0) {
                slot = Slot{h, static_cast<uint32_t>(i + 1)};
                break;
            }
            if (slot.hash == h && same_name(snapshot->strings[slot.position - 1], snapshot->strings[i], n)) break;
        }
    }
    snapshot->strings[count] = nullptr;
    return snapshot;
}

const char *snapshot_lookup(const Snapshot *snapshot, const char *name) {
    size_t n = std::strlen(name);
    if (std::memchr(name, '=', n) != nullptr) {
        // Names holding "=" cannot be in the table: read the strings in order.
        for (char **s = snapshot->strings; *s != nullptr; ++s) {
            if (same_name(*s, name, n)) return *s + n + 1;
        }
        return nullptr;
    }
    uint32_t h = fold_hash(name, n);
    for (uint32_t s = h & snapshot->mask;; s = (s + 1) & snapshot->mask) {
        const Slot &slot = snapshot->slots[s];
        if (slot.position == 0) return nullptr;
        const char *entry = snapshot->strings[slot.position - 1];
        if (slot.hash == h && same_name(entry, name, n)) return entry + n + 1;
    }
}

Snapshot *current_snapshot() {
    Snapshot *snapshot = g_snapshot.load(std::memory_order_acquire);
    if (snapshot != nullptr) return snapshot;
    msthread_mutex_lock_raw(&g_snapshot_lock);
    snapshot = g_snapshot.load(std::memory_order_acquire);
    if (snapshot == nullptr) {
        snapshot = take_snapshot();
        g_snapshot.store(snapshot, std::memory_order_release);
    }
    msthread_mutex_unlock_raw(&g_snapshot_lock);
    return snapshot;
}

}  // namespace

bool refuse_installation(const char *directory) noexcept {
    mserror_seterr_os(ENAMETOOLONG);
    mserror_seterr_1arg_str(err::kCannotAccessDirectory, directory);
    mserror_seterr(err::kInitFileError, 0);
    return false;
}

bool load_initfile() noexcept {
    msvars_set *set = nullptr;
    if (msbasic_quorvelpath_is_real()) {
        char path[1024];
        // A file that cannot be named might exist: never take the built-in
        // one in its place.
        const char *directory = msbasic_get_quorvelpath();
        if (!mspath_mkpath_multi(path, sizeof path, directory, "config", "initfile.txt", nullptr)) {
            return refuse_installation(directory);
        }
        if (msfio_exists(path) != 0) {
            // An installed file overrides the built-in one; when it cannot
            // be read the installation is broken, not absent.
            set = msvars_readfile(path);
            if (set == nullptr) {
                mserror_seterr(err::kInitFileError, 0);
                return false;
            }
        }
    }
    if (set == nullptr) {
        char name[64];
        if (mspath_mkpath(name, sizeof name, "config", "initfile.txt")) set = msvars_readromfile(name);
    }
    if (set == nullptr) {
        mserror_seterr(err::kInitFileError, 0);
        return false;
    }
    msvars_freevars(g_initfile.exchange(set, std::memory_order_acq_rel));
    return true;
}

bool load_envfile() noexcept {
    if (g_envfile.load(std::memory_order_acquire) != nullptr) return true;
    const char *path = msbasic_initfile_getvar_env("MSENVFILE");
    if (path == nullptr || path[0] == '\0' || msfio_exists(path) != 2) return true;
    msvars_set *set = msvars_readfile(path);
    if (set == nullptr) {
        mserror_seterr(err::kEnvFileError, 0);
        return false;
    }
    g_envfile.store(set, std::memory_order_release);
    return true;
}

void release_files() noexcept {
    msvars_freevars(g_envfile.exchange(nullptr, std::memory_order_acq_rel));
    msvars_freevars(g_initfile.exchange(nullptr, std::memory_order_acq_rel));
}

}  // namespace qrv::vars

using namespace qrv::vars;

extern "C" {

QRV_API int msvars_envinit(void) noexcept {
    Snapshot *snapshot = take_snapshot();
    if (snapshot == nullptr) return 0;
    qrv::os::heap_release(g_snapshot.exchange(snapshot, std::memory_order_acq_rel));
    return 1;
}

QRV_API int msvars_envend(void) noexcept {
    qrv::os::heap_release(g_snapshot.exchange(nullptr, std::memory_order_acq_rel));
    return 1;
}

QRV_API const char *msvars_getenv(const char *name) noexcept {
    if (name == nullptr) return nullptr;
    if (msvars_set *envfile = g_envfile.load(std::memory_order_acquire)) return msvars_getvar(envfile, name);
    const Snapshot *snapshot = current_snapshot();
    return snapshot != nullptr ? snapshot_lookup(snapshot, name) : nullptr;
}

QRV_API const char *msvars_getvar_env(msvars_set *set, const char *name) noexcept {
    if (const char *value = msvars_getenv(name)) return value[0] != '\0' ? value : nullptr;
    return set != nullptr ? msvars_getvar(set, name) : nullptr;
}

QRV_API const char *msbasic_initfile_getvar_env(const char *name) noexcept {
    return msvars_getvar_env(g_initfile.load(std::memory_order_acquire), name);
}

QRV_API msvars_set *msbasic_initfile_get_vars(void) noexcept { return g_initfile.load(std::memory_order_acquire); }

QRV_API msvars_set *msvars_envfile_get_vars(void) noexcept { return g_envfile.load(std::memory_order_acquire); }

QRV_API const char *msvars_getvar(msvars_set *set, const char *name) noexcept {
    return msvars_getvar_limits(set, name, nullptr, nullptr, nullptr);
}

QRV_API const char *msvars_getvar_limits(msvars_set *set, const char *name, const msvars_entry **found,
                                         const msvars_entry *first, const msvars_entry *end) noexcept {
    if (found != nullptr) *found = nullptr;
    const int32_t *from = nullptr, *to = nullptr;
    if (!is_set(set) || name == nullptr || !entry_range(set, first, end, &from, &to)) return nullptr;
    const int32_t *entry = find_entry(set, name, from, to);
    if (entry == nullptr) return nullptr;
    if (found != nullptr) *found = entry;
    const char *value = entry_value(set, entry);
    return value != nullptr ? value : "";
}

QRV_API int msvars_getvar_boolean(msvars_set *set, const char *name) noexcept {
    return msstr_parse_str_boolean(msvars_getvar(set, name));
}

QRV_API void msvars_getvar_all(msvars_set *set, msvars_entry_fn fn, void *context) noexcept {
    if (!is_set(set) || fn == nullptr) return;
    for (int32_t i = 0; i < set->index_used; i += 2) {
        const char *value = entry_value(set, set->index + i);
        fn(context, entry_name(set, set->index + i), value != nullptr ? value : "");
    }
}

}  // extern "C"
