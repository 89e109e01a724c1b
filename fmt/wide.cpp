// The shared wide translator of the formatting engine. The library layer
// creates its mutex at process start; the first wide conversion opens the
// translator under the mutex, and the opened flag (checked before and
// after taking the mutex) lets later conversions skip it.
#include "fmt/wide.h"

#include <atomic>

#include "fmt/engine.h"
#include "msthread.h"

namespace qrv::fmt {
namespace {

std::atomic<const WideTranslator *> g_translator{nullptr};
std::atomic<bool> g_opened{false};
std::atomic<bool> g_mutex_ready{false};
qrv_mutex g_mutex;

bool open_once() {
    if (g_opened.load(std::memory_order_acquire)) return true;
    if (!g_mutex_ready.load(std::memory_order_acquire)) return false;
    if (msthread_mutex_lock_raw(&g_mutex) != 1) return false;
    if (!g_opened.load(std::memory_order_relaxed)) {
        const WideTranslator *t = g_translator.load(std::memory_order_acquire);
        // A failed open leaves the flag clear: the next conversion tries again.
        if (t != nullptr && t->open != nullptr && t->open()) g_opened.store(true, std::memory_order_release);
    }
    msthread_mutex_unlock_raw(&g_mutex);
    return g_opened.load(std::memory_order_acquire);
}

}  // namespace

void set_wide_translator(const WideTranslator *t) noexcept {
    g_opened.store(false, std::memory_order_release);
    g_translator.store(t, std::memory_order_release);
}

bool wide_process_start() noexcept {
    if (g_mutex_ready.load(std::memory_order_acquire)) return true;
    if (msthread_mutex_init_raw(&g_mutex) != 1) return false;
    g_mutex_ready.store(true, std::memory_order_release);
    return true;
}

void wide_process_end() noexcept {
    if (g_opened.exchange(false, std::memory_order_acq_rel)) {
        const WideTranslator *t = g_translator.load(std::memory_order_acquire);
        if (t != nullptr && t->close != nullptr) t->close();
    }
    if (g_mutex_ready.exchange(false, std::memory_order_acq_rel)) msthread_mutex_destroy_raw(&g_mutex);
}

int wide::translate(const char16_t *src, char **buffer, int *capacity) noexcept {
    if (!open_once()) return -1;
    const WideTranslator *t = g_translator.load(std::memory_order_acquire);
    if (t == nullptr || t->convert == nullptr) return -1;
    return t->convert(src, buffer, capacity);
}

int wide::translate_into(const char16_t *src, char *dst, int size) noexcept {
    if (!g_opened.load(std::memory_order_acquire)) return -1;  // translate opens, once
    const WideTranslator *t = g_translator.load(std::memory_order_acquire);
    if (t == nullptr || t->convert_into == nullptr) return -1;
    return t->convert_into(src, dst, size);
}

}  // namespace qrv::fmt
