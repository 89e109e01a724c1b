// Connections: each task's list with its default connection, each thread's
// current and PSM connection (workspace slot 12), the hand-over slot ghc
// between tasks, and the connection layer's init and end.
//
// Lock order: ghcmutex, then a list mutex. Every path that needs both takes
// them in that order, so the hand-over cannot deadlock against a task's
// init or end.
#include <cstddef>
#include <cstring>

#include "base/context.h"
#include "base/errids.h"
#include "base/guard.h"
#include "base/registry.h"
#include "base/space.h"
#include "conn/tmpfile.h"
#include "msconn.h"
#include "mserror.h"
#include "msthread.h"

extern "C" {
QRV_API msconn_connection *ghc = nullptr;
QRV_API qrv_mutex ghcmutex;
}

namespace qrv::conn {
namespace {

using Connection = msconn_connection;

static_assert(sizeof(Connection) == MSCONN_SIZE, "a connection is 184 bytes");
static_assert(offsetof(Connection, in_use) == 8 && offsetof(Connection, tmpfile_state) == 16 &&
                  offsetof(Connection, end_handler) == 24 && offsetof(Connection, mutex) == 40 &&
                  offsetof(Connection, next) == 104,
              "connection layout");

struct List;

struct Pair {
    Connection *current;
    Connection *psm;
};

List *task_list() noexcept {
    ctx::TaskHandle *handle = ctx::current_task_handle();
    return handle != nullptr ? static_cast<List *>(handle->connection_list) : nullptr;
}

Pair *thread_pair() noexcept {
    void **wss = ctx::current_wss();
    return wss != nullptr ? static_cast<Pair *>(wss[ctx::kConnectionSlot]) : nullptr;
}

bool live(const Connection *c) noexcept {
    return c != nullptr && space::is_live(space::Kind::connection, c) && c->magic == MSCONN_MAGIC;
}

void invalid_connection() noexcept { mserror_reset_seterr(err::kInvalidConnection, 0); }

// Released connections wait in their task's list, their state and mutex
// kept, until their address has left the registry's recent closes; a new
// connection of the task then takes the oldest. Connections come and go
// often, and a fresh block would first have to get past every recently
// closed address the allocator hands back.
constexpr int kCached = 2 * space::kRecentCloses;

struct List {
    Connection *first;
    Connection *deflt;
    qrv_mutex mutex;
    Connection *cache[kCached];  // under the mutex
    int cache_first, cache_count;
};

void destroy(Connection *c) noexcept {
    tmp::release_state(c);
    msthread_mutex_destroy_raw(&c->mutex);
    space::release(c);
}

// Under the list's mutex.
Connection *from_cache(List *list) noexcept {
    if (list == nullptr || list->cache_count == 0) return nullptr;
    Connection *c = list->cache[list->cache_first];
    if (!space::admit_block(space::Kind::connection, c)) return nullptr;
    list->cache_first = (list->cache_first + 1) % kCached;
    --list->cache_count;
    return c;
}

// Under the list's mutex: keeps c (retired, its series removed); returns
// the oldest kept one when the ring was full, for the caller to destroy.
Connection *to_cache(List *list, Connection *c) noexcept {
    Connection *evicted = nullptr;
    if (list->cache_count == kCached) {
        evicted = list->cache[list->cache_first];
        list->cache_first = (list->cache_first + 1) % kCached;
        --list->cache_count;
    }
    list->cache[(list->cache_first + list->cache_count) % kCached] = c;
    ++list->cache_count;
    return evicted;
}

void flush_cache(List *list) noexcept {
    while (list->cache_count > 0) {
        destroy(list->cache[list->cache_first]);
        list->cache_first = (list->cache_first + 1) % kCached;
        --list->cache_count;
    }
}

// A new connection, from list's cache when it has one (under its mutex).
Connection *make(List *list) noexcept {
    if (Connection *c = from_cache(list)) {
        void *state = c->tmpfile_state;
        qrv_mutex mutex = c->mutex;
        std::memset(static_cast<void *>(c), 0, sizeof *c);
        c->magic = MSCONN_MAGIC;
        c->tmpfile_state = state;
        c->mutex = mutex;
        msthread_mutex_init_raw(&c->mutex);  // a holder of the old life is gone
        return c;
    }
    auto *c = space::get_handle_zeroed<Connection>(space::Kind::connection);
    if (c == nullptr) return nullptr;
    c->magic = MSCONN_MAGIC;
    c->tmpfile_state = tmp::create_state();
    if (c->tmpfile_state == nullptr || msthread_mutex_init_raw(&c->mutex) != 1) {
        space::release(c->tmpfile_state);
        space::release_handle(space::Kind::connection, c);
        return nullptr;
    }
    return c;
}

// Removes the series' files and keeps the block in list's cache (under its
// mutex), or with no list frees it.
void release(Connection *c, List *list) noexcept {
    if (!space::retire(space::Kind::connection, c)) return;
    if (list == nullptr || !tmp::reset_state(c)) {
        destroy(c);
        return;
    }
    if (Connection *evicted = to_cache(list, c)) destroy(evicted);
}

// Unlinks c from the list (under its mutex); false when it is not in it.
bool unlink(List *list, Connection *c) noexcept {
    for (Connection **link = &list->first; *link != nullptr; link = &(*link)->next) {
        if (*link != c) continue;
        *link = c->next;
        c->next = nullptr;
        if (list->deflt == c) list->deflt = nullptr;
        return true;
    }
    return false;
}

bool contains(const List *list, const Connection *c) noexcept {
    for (const Connection *p = list->first; p != nullptr; p = p->next) {
        if (p == c) return true;
    }
    return false;
}

// After c left the list: the thread's current connection falls back to the
// list's default (read under the list's mutex), a PSM connection equal to
// it is cleared.
void fix_pair(const Connection *c, Connection *deflt) noexcept {
    Pair *pair = thread_pair();
    if (pair == nullptr) return;
    if (pair->current == c) pair->current = deflt;
    if (pair->psm == c) pair->psm = nullptr;
}

bool make_pair(const List *list) noexcept {
    void **wss = ctx::current_wss();
    if (wss == nullptr) return false;
    if (wss[ctx::kConnectionSlot] != nullptr) return true;
    auto *pair = space::get_zeroed<Pair>();
    if (pair == nullptr) return false;
    pair->current = list != nullptr ? list->deflt : nullptr;
    wss[ctx::kConnectionSlot] = pair;
    return true;
}

void free_pair() noexcept {
    void **wss = ctx::current_wss();
    if (wss == nullptr) return;
    space::release(wss[ctx::kConnectionSlot]);
    wss[ctx::kConnectionSlot] = nullptr;
}

// The task's list with its first, default connection: adopted from ghc
// when a connection waits there, else new.
bool init_task(int mode) noexcept {
    if (mode == 1) {
        ghc = nullptr;
        if (msthread_mutex_init_raw(&ghcmutex) != 1) return false;
    }
    ctx::TaskHandle *handle = ctx::current_task_handle();
    if (handle == nullptr) return false;
    if (handle->connection_list != nullptr) return make_pair(static_cast<List *>(handle->connection_list));
    auto *list = space::get_zeroed<List>();
    if (list == nullptr) return false;
    if (msthread_mutex_init_raw(&list->mutex) != 1) {
        space::release(list);
        return false;
    }
    bool ok = false;
    {
        MutexGuard ghc_guard(&ghcmutex);
        MutexGuard list_guard(&list->mutex);
        if (ghc != nullptr) {
            list->first = list->deflt = ghc;
            if (make_pair(list)) {
                ghc = nullptr;
                ok = true;
            } else {
                list->first = list->deflt = nullptr;
            }
        }
        if (!ok && list->first == nullptr) {
            Connection *c = make(list);
            if (c != nullptr) {
                list->first = list->deflt = c;
                ok = make_pair(list);
                if (!ok) {
                    list->first = list->deflt = nullptr;
                    release(c, nullptr);
                }
            }
        }
    }
    if (!ok) {
        msthread_mutex_destroy_raw(&list->mutex);
        space::release(list);
        return false;
    }
    handle->connection_list = list;
    return true;
}

void end_handlers(Connection *c, int process_ending) noexcept {
    if (c->end_handler != nullptr) c->end_handler(1, process_ending, c);
    if (c->end_handler2 != nullptr) c->end_handler2(1, c);
}

void end_process_ghc() noexcept {
    {
        MutexGuard guard(&ghcmutex);
        if (ghc != nullptr) release(ghc, nullptr);  // no end handlers for it
        ghc = nullptr;
    }
    msthread_mutex_destroy_raw(&ghcmutex);
}

void end_task(int mode) noexcept {
    ctx::TaskHandle *handle = ctx::current_task_handle();
    List *list = handle != nullptr ? static_cast<List *>(handle->connection_list) : nullptr;
    if (list == nullptr) return;
    {
        // A task's end may hand a connection to ghc: ghcmutex first.
        MutexGuard ghc_guard(mode == 2 ? &ghcmutex : nullptr);
        MutexGuard list_guard(&list->mutex);
        for (Connection *c = list->first, *next = nullptr; c != nullptr; c = next) {
            next = c->next;
            if (c->in_use != 0) {
                if (mode == 2 && ghc == nullptr) {
                    c->next = nullptr;
                    ghc = c;
                    continue;
                }
                end_handlers(c, mode == 1 ? 1 : 0);
            }
            release(c, nullptr);
        }
        list->first = list->deflt = nullptr;
        flush_cache(list);
    }
    msthread_mutex_destroy_raw(&list->mutex);
    space::release(list);
    handle->connection_list = nullptr;
}

}  // namespace
}  // namespace qrv::conn

using namespace qrv::conn;
using qrv::MutexGuard;

extern "C" {

QRV_API int msconn_init(int mode) noexcept {
    if (mode == 3) return make_pair(task_list()) ? 1 : 0;
    return init_task(mode) ? 1 : 0;
}

QRV_API void msconn_end(int mode, int) noexcept {
    free_pair();
    if (mode == 3) return;
    // The process's end releases what waits in ghc even for a task without
    // a list, so ghcmutex is always destroyed once.
    end_task(mode);
    if (mode == 1) end_process_ghc();
}

QRV_API msconn_connection *msconn_alloc(void) noexcept {
    List *list = task_list();
    if (list == nullptr) {
        invalid_connection();
        return nullptr;
    }
    MutexGuard guard(&list->mutex);
    Connection *c = make(list);
    if (c == nullptr) return nullptr;
    c->next = list->first;
    list->first = c;
    return c;
}

QRV_API int msconn_free(msconn_connection *connection, int unlink_it) noexcept {
    if (!live(connection)) {
        invalid_connection();
        return 0;
    }
    List *list = task_list();
    if (unlink_it == 0) {
        MutexGuard guard(list != nullptr ? &list->mutex : nullptr);
        release(connection, list);
        return 1;
    }
    bool found = false;
    Connection *deflt = nullptr;
    if (list != nullptr) {
        MutexGuard guard(&list->mutex);
        found = unlink(list, connection);
        deflt = list->deflt;
        if (found) release(connection, list);
    }
    if (!found) {
        invalid_connection();
        return 0;
    }
    fix_pair(connection, deflt);
    return 1;
}

QRV_API int msconn_free_ghc(void) noexcept {
    MutexGuard guard(&ghcmutex);
    if (ghc != nullptr) release(ghc, nullptr);
    ghc = nullptr;
    return 1;
}

QRV_API int msconn_check(msconn_connection *connection) noexcept {
    List *list = task_list();
    bool ok = false;
    if (list != nullptr && live(connection)) {
        MutexGuard guard(&list->mutex);
        ok = contains(list, connection);
    }
    if (!ok) invalid_connection();
    return ok ? 1 : 0;
}

QRV_API msconn_connection *msconn_get_task(void) noexcept {
    List *list = task_list();
    if (list == nullptr) return nullptr;
    MutexGuard guard(&list->mutex);
    return list->deflt;
}

QRV_API msconn_connection *msconn_get_list(void) noexcept {
    List *list = task_list();
    if (list == nullptr) return nullptr;
    MutexGuard guard(&list->mutex);
    return list->first;
}

QRV_API msconn_connection *msconn_get_first(void) noexcept {
    List *list = task_list();
    if (list == nullptr) return nullptr;
    if (msthread_mutex_lock_raw(&list->mutex) != 1) return MSCONN_FAILED;
    Connection *c = list->first == list->deflt && list->first != nullptr ? list->first->next : list->first;
    if (c != nullptr) unlink(list, c);
    Connection *deflt = list->deflt;
    msthread_mutex_unlock_raw(&list->mutex);
    if (c != nullptr) fix_pair(c, deflt);
    return c;
}

QRV_API msconn_connection *msconn_get_thread(void) noexcept {
    if (Pair *pair = thread_pair()) return pair->psm != nullptr ? pair->psm : pair->current;
    return msconn_get_task();
}

QRV_API msconn_connection *msconn_set_conn_thread(msconn_connection *connection) noexcept {
    Pair *pair = thread_pair();
    if (pair == nullptr) {
        mserror_reset_seterr(qrv::err::kThreadWorkspaceNotInitialized, 0);
        return MSCONN_FAILED;
    }
    if (!live(connection)) {
        invalid_connection();
        return MSCONN_FAILED;
    }
    if (pair->psm != nullptr) {
        mserror_reset_seterr(qrv::err::kDefaultConnectionInPsm, 0);
        return MSCONN_FAILED;
    }
    Connection *previous = pair->current;
    pair->current = connection;
    return previous;
}

QRV_API int msconn_set_conn_psm(msconn_connection *connection) noexcept {
    Pair *pair = thread_pair();
    if (pair == nullptr) {
        mserror_reset_seterr(qrv::err::kThreadWorkspaceNotInitialized, 0);
        return 0;
    }
    pair->psm = connection;
    return 1;
}

QRV_API int msconn_to_ghc(msconn_connection *connection) noexcept {
    if (connection == nullptr) return 0;
    List *list = task_list();
    if (list == nullptr) return 0;
    MutexGuard ghc_guard(&ghcmutex);
    if (ghc != nullptr) return 0;
    Connection *deflt = nullptr;
    {
        MutexGuard list_guard(&list->mutex);
        if (!unlink(list, connection)) return 0;
        deflt = list->deflt;
    }
    fix_pair(connection, deflt);
    ghc = connection;
    return 1;
}

}  // extern "C"
