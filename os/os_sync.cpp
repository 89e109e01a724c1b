// Events, waits on several objects, file mappings and their views, big
// memory blocks.
#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "msos.h"
#include "os/handle.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace {

using qrv::os::g_sys;
using qrv::os::HandleKind;
using qrv::os::HandleRecord;

// ---- Deadlines on the monotonic clock ---------------------------------------

timespec deadline_after(uint32_t timeout_ms) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += timeout_ms / 1000;
    t.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

bool passed(const timespec &deadline) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

void init_monotonic_cond(pthread_cond_t *cond) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(cond, &attr);
    pthread_condattr_destroy(&attr);
}

// ---- Change notification for waits on several objects -------------------------
// Every event set and every thread return bumps one generation; a wait on
// several objects checks them all and sleeps only while the generation it
// read before checking is unchanged, so no change can slip between.

pthread_mutex_t g_change_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_change_cond;
pthread_once_t g_change_once = PTHREAD_ONCE_INIT;
uint64_t g_generation = 0;

void init_change_cond() { init_monotonic_cond(&g_change_cond); }

uint64_t generation() {
    pthread_once(&g_change_once, init_change_cond);
    pthread_mutex_lock(&g_change_lock);
    uint64_t g = g_generation;
    pthread_mutex_unlock(&g_change_lock);
    return g;
}

// ---- Events --------------------------------------------------------------------

struct EventState {
    pthread_mutex_t lock;
    pthread_cond_t cond;
    bool manual;
    bool signalled;
    int refs;  // handles; guarded by g_events_lock
    char *name;
    EventState *next;  // in the list of named events
};

struct EventHandle : HandleRecord {
    EventState *state;
};

pthread_mutex_t g_events_lock = PTHREAD_MUTEX_INITIALIZER;
EventState *g_named_events = nullptr;

EventState *event_state(qrv_handle h) {
    auto *handle = qrv::os::record_of<EventHandle>(h, HandleKind::event);
    return handle != nullptr ? handle->state : nullptr;
}

// Takes the signal if the event has it; the caller holds the event's lock.
bool take_locked(EventState *e) {
    if (!e->signalled) return false;
    if (!e->manual) e->signalled = false;
    return true;
}

bool try_take(EventState *e) {
    pthread_mutex_lock(&e->lock);
    bool taken = take_locked(e);
    pthread_mutex_unlock(&e->lock);
    return taken;
}

uint32_t wait_event(EventState *e, uint32_t timeout_ms) {
    timespec deadline = deadline_after(timeout_ms == MSOS_INFINITE ? 0 : timeout_ms);
    pthread_mutex_lock(&e->lock);
    while (!e->signalled) {
        if (timeout_ms == MSOS_INFINITE) {
            pthread_cond_wait(&e->cond, &e->lock);
        } else if (pthread_cond_timedwait(&e->cond, &e->lock, &deadline) == ETIMEDOUT && !e->signalled) {
            pthread_mutex_unlock(&e->lock);
            return MSOS_WAIT_TIMEOUT;
        }
    }
    take_locked(e);
    pthread_mutex_unlock(&e->lock);
    return MSOS_WAIT_OBJECT_0;
}

void release_event(EventState *e) {
    pthread_mutex_lock(&g_events_lock);
    bool last = --e->refs == 0;
    if (last && e->name != nullptr) {
        for (EventState **p = &g_named_events; *p != nullptr; p = &(*p)->next) {
            if (*p == e) {
                *p = e->next;
                break;
            }
        }
    }
    pthread_mutex_unlock(&g_events_lock);
    if (!last) return;
    pthread_cond_destroy(&e->cond);
    pthread_mutex_destroy(&e->lock);
    std::free(e->name);
    std::free(e);
}

// ---- Regions: views of mappings and big memory blocks ---------------------------

struct Region {
    void *address;
    size_t length;
    bool view;
    Region *next;
};

pthread_mutex_t g_regions_lock = PTHREAD_MUTEX_INITIALIZER;
Region *g_regions = nullptr;

bool add_region(void *address, size_t length, bool view) {
    auto *r = static_cast<Region *>(std::malloc(sizeof(Region)));
    if (r == nullptr) return false;
    *r = Region{address, length, view, nullptr};
    pthread_mutex_lock(&g_regions_lock);
    r->next = g_regions;
    g_regions = r;
    pthread_mutex_unlock(&g_regions_lock);
    return true;
}

// Removes the region starting at address; its length, or 0 if there is none.
size_t take_region(const void *address, bool view) {
    size_t length = 0;
    pthread_mutex_lock(&g_regions_lock);
    for (Region **p = &g_regions; *p != nullptr; p = &(*p)->next) {
        if ((*p)->address == address && (*p)->view == view) {
            Region *r = *p;
            *p = r->next;
            length = r->length;
            std::free(r);
            break;
        }
    }
    pthread_mutex_unlock(&g_regions_lock);
    return length;
}

// ---- File mappings -------------------------------------------------------------------

struct MappingRecord : HandleRecord {
    int fd;
    uint64_t size;
    bool writable;
    char *owned_name;  // set when this handle created a named object
};

constexpr size_t kMaxShmName = 255;

// "/qrvbasic.<name>" with every '/' and '\' turned into '_'.
bool shm_name(const char *name, char *out) {
    static const char kPrefix[] = "/qrvbasic.";
    size_t length = strlen(name);
    if (sizeof kPrefix - 1 + length > kMaxShmName) {
        errno = ENAMETOOLONG;
        return false;
    }
    memcpy(out, kPrefix, sizeof kPrefix - 1);
    for (size_t i = 0; i <= length; ++i) {
        char c = name[i];
        out[sizeof kPrefix - 1 + i] = (c == '/' || c == '\\') ? '_' : c;
    }
    return true;
}

qrv_handle make_mapping(int fd, uint64_t size, bool writable, const char *owned) {
    auto *rec = static_cast<MappingRecord *>(std::malloc(sizeof(MappingRecord)));
    char *name_copy = owned != nullptr ? strdup(owned) : nullptr;
    if (rec == nullptr || (owned != nullptr && name_copy == nullptr)) {
        std::free(rec);
        std::free(name_copy);
        errno = ENOMEM;
        return 0;
    }
    new (rec) MappingRecord;
    rec->kind = HandleKind::mapping;
    rec->fd = fd;
    rec->size = size;
    rec->writable = writable;
    rec->owned_name = name_copy;
    return qrv::os::to_handle(rec);
}

void close_quietly(int fd) {
    int saved = errno;
    g_sys.close(fd);
    errno = saved;
}

}  // namespace

extern "C" {

QRV_API qrv_handle msos_createevent(msos_security_attributes * /*security*/, int manual_reset, int initial_state,
                                    const char *name) noexcept {
    bool named = name != nullptr && *name != '\0';
    auto *handle = static_cast<EventHandle *>(std::malloc(sizeof(EventHandle)));
    if (handle == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    new (handle) EventHandle;
    handle->kind = HandleKind::event;
    pthread_mutex_lock(&g_events_lock);
    EventState *e = nullptr;
    if (named) {
        for (e = g_named_events; e != nullptr && strcmp(e->name, name) != 0; e = e->next) {
        }
    }
    bool existed = e != nullptr;
    if (existed) {
        ++e->refs;
    } else {
        e = static_cast<EventState *>(std::calloc(1, sizeof(EventState)));
        char *copy = named && e != nullptr ? strdup(name) : nullptr;
        if (e == nullptr || (named && copy == nullptr)) {
            pthread_mutex_unlock(&g_events_lock);
            std::free(e);
            std::free(handle);
            errno = ENOMEM;
            return 0;
        }
        pthread_mutex_init(&e->lock, nullptr);
        init_monotonic_cond(&e->cond);
        e->manual = manual_reset != 0;
        e->signalled = initial_state != 0;
        e->refs = 1;
        e->name = copy;
        if (named) {
            e->next = g_named_events;
            g_named_events = e;
        }
    }
    pthread_mutex_unlock(&g_events_lock);
    handle->state = e;
    errno = existed ? EEXIST : 0;
    return qrv::os::to_handle(handle);
}

QRV_API int msos_setevent(qrv_handle event) noexcept {
    EventState *e = event_state(event);
    if (e == nullptr) {
        errno = EBADF;
        return 0;
    }
    pthread_mutex_lock(&e->lock);
    e->signalled = true;
    if (e->manual) {
        pthread_cond_broadcast(&e->cond);
    } else {
        pthread_cond_signal(&e->cond);
    }
    pthread_mutex_unlock(&e->lock);
    qrv::os::notify_waiters();
    return 1;
}

QRV_API uint32_t msos_waitformultipleobjects(uint32_t count, const qrv_handle *handles, int wait_all,
                                             uint32_t timeout_ms) noexcept {
    constexpr uint32_t kMaxObjects = 64;
    if (handles == nullptr || count == 0 || count > kMaxObjects) {
        errno = EINVAL;
        return MSOS_WAIT_FAILED;
    }
    EventState *events[kMaxObjects];
    for (uint32_t i = 0; i < count; ++i) {
        events[i] = event_state(handles[i]);
        if (events[i] == nullptr && qrv::os::thread_running(handles[i]) < 0) {
            errno = EBADF;
            return MSOS_WAIT_FAILED;
        }
    }
    // Wait-all takes every event lock, in address order, so that all signals
    // are taken together or none is.
    EventState *sorted[kMaxObjects];
    uint32_t unique = 0;
    if (wait_all) {
        for (uint32_t i = 0; i < count; ++i) {
            if (events[i] != nullptr) sorted[unique++] = events[i];
        }
        std::sort(sorted, sorted + unique);
        unique = static_cast<uint32_t>(std::unique(sorted, sorted + unique) - sorted);
    }
    timespec deadline = deadline_after(timeout_ms == MSOS_INFINITE ? 0 : timeout_ms);
    for (;;) {
        uint64_t seen = generation();
        if (!wait_all) {
            for (uint32_t i = 0; i < count; ++i) {
                bool ready = events[i] != nullptr ? try_take(events[i]) : qrv::os::thread_running(handles[i]) == 0;
                if (ready) return MSOS_WAIT_OBJECT_0 + i;
            }
        } else {
            for (uint32_t i = 0; i < unique; ++i) pthread_mutex_lock(&sorted[i]->lock);
            bool all = true;
            for (uint32_t i = 0; i < count && all; ++i) {
                all = events[i] != nullptr ? events[i]->signalled : qrv::os::thread_running(handles[i]) == 0;
            }
            if (all) {
                for (uint32_t i = 0; i < unique; ++i) take_locked(sorted[i]);
            }
            for (uint32_t i = unique; i-- > 0;) pthread_mutex_unlock(&sorted[i]->lock);
            if (all) return MSOS_WAIT_OBJECT_0;
        }
        if (timeout_ms != MSOS_INFINITE && passed(deadline)) return MSOS_WAIT_TIMEOUT;
        pthread_mutex_lock(&g_change_lock);
        while (g_generation == seen) {
            if (timeout_ms == MSOS_INFINITE) {
                pthread_cond_wait(&g_change_cond, &g_change_lock);
            } else if (pthread_cond_timedwait(&g_change_cond, &g_change_lock, &deadline) == ETIMEDOUT) {
                break;
            }
        }
        pthread_mutex_unlock(&g_change_lock);
    }
}

QRV_API int msos_terminatethread(qrv_handle /*thread*/, uint32_t /*exit_code*/) noexcept {
    errno = ENOTSUP;
    return 0;
}

QRV_API int msos_initializesecuritydescriptor(msos_security_descriptor *descriptor, uint32_t revision) noexcept {
    if (descriptor == nullptr || revision != 1) {
        errno = EINVAL;
        return 0;
    }
    *descriptor = msos_security_descriptor{revision, 0, nullptr, 0};
    return 1;
}

QRV_API int msos_setsecuritydescriptordacl(msos_security_descriptor *descriptor, int present, void *dacl,
                                           int defaulted) noexcept {
    if (descriptor == nullptr || descriptor->revision != 1) {
        errno = EINVAL;
        return 0;
    }
    descriptor->dacl_present = present;
    descriptor->dacl = dacl;
    descriptor->dacl_defaulted = defaulted;
    return 1;
}

QRV_API qrv_handle msos_createfilemapping(qrv_handle file, msos_security_attributes * /*security*/, uint32_t protection,
                                          uint32_t size_high, uint32_t size_low, const char *name) noexcept {
    uint64_t size = (uint64_t{size_high} << 32) | size_low;
    bool writable = (protection & (MSOS_PAGE_READWRITE | 0x40u /*execute read-write*/)) != 0;
    if (size > INT64_MAX) {
        errno = EINVAL;
        return 0;
    }
    if (file == QRV_INVALID_HANDLE) {  // fresh memory, shared by name or by handle
        if (size == 0) {
            errno = EINVAL;
            return 0;
        }
        if (name == nullptr || *name == '\0') {
            int fd = g_sys.memfd_create("qrvbasic-mapping", MFD_CLOEXEC);
            if (fd < 0) return 0;
            if (g_sys.ftruncate(fd, static_cast<off_t>(size)) != 0) {
                close_quietly(fd);
                return 0;
            }
            qrv_handle h = make_mapping(fd, size, true, nullptr);
            if (h == 0) close_quietly(fd);
            return h;
        }
        char object[kMaxShmName + 1];
        if (!shm_name(name, object)) return 0;
        bool created = true;
        int fd = g_sys.shm_open(object, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = g_sys.shm_open(object, O_RDWR | O_CLOEXEC, 0);
        }
        if (fd < 0) return 0;
        struct stat status;
        bool sized = created ? g_sys.ftruncate(fd, static_cast<off_t>(size)) == 0 : g_sys.fstat(fd, &status) == 0;
        qrv_handle h = sized ? make_mapping(fd, created ? size : static_cast<uint64_t>(status.st_size), true,
                                            created ? object : nullptr)
                             : 0;
        if (h == 0) {
            int saved = errno;
            if (created) g_sys.shm_unlink(object);
            g_sys.close(fd);
            errno = saved;
            return 0;
        }
        errno = created ? 0 : EEXIST;
        return h;
    }
    if (!qrv::os::is_fd(file)) {
        errno = EBADF;
        return 0;
    }
    int fd = g_sys.fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return 0;
    struct stat status;
    if (g_sys.fstat(fd, &status) != 0) {
        close_quietly(fd);
        return 0;
    }
    uint64_t file_size = static_cast<uint64_t>(status.st_size);
    if (size == 0) size = file_size;
    bool grow = size > file_size;
    if (size == 0 || (grow && !writable)) {
        g_sys.close(fd);
        errno = EINVAL;
        return 0;
    }
    if (grow && g_sys.ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close_quietly(fd);
        return 0;
    }
    qrv_handle h = make_mapping(fd, size, writable, nullptr);
    if (h == 0) close_quietly(fd);
    return h;
}

QRV_API qrv_handle msos_openfilemapping(uint32_t access, int /*inherit*/, const char *name) noexcept {
    char object[kMaxShmName + 1];
    if (name == nullptr || *name == '\0') {
        errno = EINVAL;
        return 0;
    }
    if (!shm_name(name, object)) return 0;
    bool writable = (access & MSOS_FILE_MAP_WRITE) != 0;
    int fd = g_sys.shm_open(object, (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (fd < 0) return 0;
    struct stat status;
    if (g_sys.fstat(fd, &status) != 0) {
        close_quietly(fd);
        return 0;
    }
    qrv_handle h = make_mapping(fd, static_cast<uint64_t>(status.st_size), writable, nullptr);
    if (h == 0) close_quietly(fd);
    return h;
}

QRV_API void *msos_mapviewoffileex(qrv_handle mapping, uint32_t access, uint32_t offset_high, uint32_t offset_low,
                                   uint64_t size, void *preferred) noexcept {
    auto *rec = qrv::os::record_of<MappingRecord>(mapping, HandleKind::mapping);
    if (rec == nullptr) {
        errno = EBADF;
        return nullptr;
    }
    uint64_t offset = (uint64_t{offset_high} << 32) | offset_low;
    uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    if (offset % page != 0 || offset >= rec->size || size > rec->size - offset) {
        errno = EINVAL;
        return nullptr;
    }
    if (size == 0) size = rec->size - offset;
    bool copy = (access & MSOS_FILE_MAP_COPY) != 0 && (access & MSOS_FILE_MAP_WRITE) == 0;
    bool write = (access & MSOS_FILE_MAP_WRITE) != 0;
    if (write && !rec->writable) {
        errno = EACCES;
        return nullptr;
    }
    int protection = PROT_READ | ((write || copy) ? PROT_WRITE : 0);
    int flags = (copy ? MAP_PRIVATE : MAP_SHARED) | (preferred != nullptr ? MAP_FIXED_NOREPLACE : 0);
    void *view = g_sys.mmap(preferred, size, protection, flags, rec->fd, static_cast<off_t>(offset));
    if (view == MAP_FAILED) return nullptr;
    if ((preferred != nullptr && view != preferred) || !add_region(view, size, true)) {
        g_sys.munmap(view, size);
        errno = preferred != nullptr && view != preferred ? EEXIST : ENOMEM;
        return nullptr;
    }
    return view;
}

QRV_API int msos_unmapviewoffile(const void *view) noexcept {
    size_t length = view != nullptr ? take_region(view, true) : 0;
    if (length == 0) {
        errno = EINVAL;
        return 0;
    }
    void *address = const_cast<void *>(view);
    bool flushed = g_sys.msync(address, length, MS_SYNC) == 0;
    int saved = errno;
    bool unmapped = g_sys.munmap(address, length) == 0;
    if (!flushed) errno = saved;
    return flushed && unmapped;
}

}  // extern "C"

namespace qrv::os {

void notify_waiters() noexcept {
    pthread_once(&g_change_once, init_change_cond);
    pthread_mutex_lock(&g_change_lock);
    ++g_generation;
    pthread_cond_broadcast(&g_change_cond);
    pthread_mutex_unlock(&g_change_lock);
}

int close_sync_handle(qrv_handle handle) noexcept {
    if (auto *h = record_of<EventHandle>(handle, HandleKind::event)) {
        EventState *e = h->state;
        h->kind = HandleKind{0};
        std::free(h);
        release_event(e);
        return 1;
    }
    if (auto *m = record_of<MappingRecord>(handle, HandleKind::mapping)) {
        m->kind = HandleKind{0};
        int rc = g_sys.close(m->fd);  // never retried
        int saved = errno;
        if (m->owned_name != nullptr) g_sys.shm_unlink(m->owned_name);
        std::free(m->owned_name);
        std::free(m);
        errno = saved;
        return rc == 0 ? 1 : 0;
    }
    return -1;
}

int wait_sync_handle(qrv_handle handle, uint32_t timeout_ms, uint32_t *result) noexcept {
    EventState *e = event_state(handle);
    if (e == nullptr) return -1;
    *result = wait_event(e, timeout_ms);
    return 1;
}

void *bigmem_alloc(size_t size) noexcept {
    if (size == 0) {
        errno = EINVAL;
        return nullptr;
    }
    void *block = g_sys.mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    if (!add_region(block, size, false)) {
        g_sys.munmap(block, size);
        errno = ENOMEM;
        return nullptr;
    }
    return block;
}

bool bigmem_free(void *block) noexcept {
    size_t length = block != nullptr ? take_region(block, false) : 0;
    if (length == 0) {
        errno = EINVAL;
        return false;
    }
    return g_sys.munmap(block, length) == 0;
}

}  // namespace qrv::os
