// The load hook: what the loader's attach and detach events do, mapped to an
// ELF constructor (process attach), a pthread key destructor (thread detach)
// and an ELF destructor (process detach). Thread attach does nothing.
#include <pthread.h>

#include "base/registry.h"
#include "frame/frame_internal.h"
#include "msbasic.h"
#include "msos.h"
#include "mstask.h"
#include "msthread.h"

namespace qrv::frame {
namespace {

pthread_key_t g_detach_key;
bool g_detach_key_made = false;

// Thread detach. glibc has cleared this key (and perhaps the task key) before
// calling; the frame still finds the block through the thread's mirror.
void on_thread_exit(void *value) {
    end_exiting_thread(static_cast<ThreadBlock *>(value));
    mstask_set_ptr(nullptr);
}

// fork: the child must not inherit a held init lock, nor a task-key lock
// held by a thread it does not have. The child's copies are made anew rather
// than unlocked, because a recursive mutex remembers its owner by thread id,
// which differs in the child. Only the init lock and the handle registries'
// locks are taken around fork (the registries' last: they are never held
// while another lock is taken): a stream's lock can be held for as long as a
// write waits on a full pipe, and taking it would make fork itself wait; the
// child's first init discards the inherited streams and the rest without
// locking.
void before_fork() {
    msthread_mutex_lock_raw(init_lock());
    space::lock_registries_for_fork();
}
void after_fork_parent() {
    space::unlock_registries_after_fork(false);
    msthread_mutex_unlock_raw(init_lock());
}
void after_fork_child() {
    space::unlock_registries_after_fork(true);
    msthread_mutex_init_raw(init_lock());
    msthread_mutex_init_raw(task_key_lock());
}

__attribute__((constructor(101))) void process_attach() {
    msthread_initmutex_init();
    msos_winsock_init();  // its result is checked by the first init
    g_detach_key_made = pthread_key_create(&g_detach_key, on_thread_exit) == 0;
    pthread_atfork(before_fork, after_fork_parent, after_fork_child);
}

__attribute__((destructor(101))) void process_detach() {
    msbasic_end_all_force();
    mstask_tlsfree_thread_task_key();
    msthread_initmutex_destroy();
    if (g_detach_key_made) pthread_key_delete(g_detach_key);
    g_detach_key_made = false;
    msos_winsock_cleanup();
}

}  // namespace

void note_thread_block(ThreadBlock *block) noexcept {
    if (g_detach_key_made) pthread_setspecific(g_detach_key, block);
}

}  // namespace qrv::frame
