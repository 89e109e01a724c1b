// Error numbers and texts, the environment, standard error, the C heap,
// dynamic loading, the (absent) registry and the random source.
#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "msos.h"
#include "os/os_internal.h"
#include "os/syscall.h"

namespace {

// GNU strerror_r: returns the text, which may or may not be in buf.
const char *system_text(int32_t code, char *buf, size_t size) { return strerror_r(code, buf, size); }

// The loader's last error text, per thread: glibc keeps dlerror() per
// thread too, and a process-wide text could be freed under another reader.
__thread char t_dl_error[512];

const char *keep_dl_error(const char *text) {
    size_t n = strnlen(text, sizeof t_dl_error - 1);
    memcpy(t_dl_error, text, n);
    t_dl_error[n] = '\0';
    return t_dl_error;
}

std::atomic<bool> g_random_open{false};

// Recorded only: strerror_r speaks the program's locale, which the library
// never changes, so the identifier selects nothing on Linux.
std::atomic<uint32_t> g_errormsg_language{0};
constexpr int32_t kNoRandom = 2074984175;

template <typename T>
void set_if(T *out, T value) {
    if (out != nullptr) *out = value;
}

}  // namespace

uint32_t qrv::os::errormsg_language() noexcept { return g_errormsg_language.load(std::memory_order_relaxed); }

extern "C" {

QRV_API int32_t msos_geterror(void) noexcept { return errno; }

QRV_API int32_t msos_getlasterror(void) noexcept { return errno; }

// Sockets report through errno like everything else.
QRV_API int32_t msos_wsagetlasterror(void) noexcept { return errno; }

QRV_API void msos_seterrormsg_lang_to_english(void) noexcept {
    g_errormsg_language.store(0x0409, std::memory_order_relaxed);
}

QRV_API void msos_seterrormsg_lang_to_japanese(void) noexcept {
    g_errormsg_language.store(0x0411, std::memory_order_relaxed);
}

QRV_API char *msos_geterrormsg(int32_t code, char *buffer, int size) noexcept {
    char scratch[256];
    const char *text = code == 0 ? "" : system_text(code, scratch, sizeof scratch);
    size_t length = strlen(text);
    if (buffer != nullptr) {
        if (size <= 0) return buffer;
        size_t n = length < static_cast<size_t>(size) - 1 ? length : static_cast<size_t>(size) - 1;
        memcpy(buffer, text, n);
        buffer[n] = '\0';
        return buffer;
    }
    if (code == 0) return nullptr;
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy != nullptr) memcpy(copy, text, length + 1);
    return copy;
}

QRV_API void msos_freeerrormsg(char *text) noexcept { std::free(text); }

QRV_API char *msos_strerror_r(int32_t code, char *buffer, int size) noexcept {
    return buffer == nullptr ? nullptr : msos_geterrormsg(code, buffer, size);
}

QRV_API void *msos_dlopen(const char *path) noexcept { return dlopen(path, RTLD_NOW); }

QRV_API const char *msos_dlsym(void *module, const char *symbol, void **address) noexcept {
    if (address == nullptr) {
        errno = EINVAL;
        return msos_dlerror();
    }
    *address = nullptr;
    if (module == nullptr || symbol == nullptr) {
        errno = EINVAL;
        return keep_dl_error("invalid module or symbol name");
    }
    dlerror();  // a symbol may be null itself: only dlerror tells failure
    void *found = dlsym(module, symbol);
    if (const char *text = dlerror()) return keep_dl_error(text);
    *address = found;
    return nullptr;
}

QRV_API int msos_dlclose(void *module) noexcept { return module != nullptr && dlclose(module) == 0; }

QRV_API const char *msos_dlerror(void) noexcept {
    int saved = errno;
    if (const char *text = dlerror()) return keep_dl_error(text);
    char scratch[256];
    return keep_dl_error(msos_geterrormsg(saved, scratch, sizeof scratch));
}

QRV_API int32_t msos_regcreatekeyex(msos_hkey, const char *, uint32_t, char *, uint32_t, uint32_t,
                                    msos_security_attributes *, msos_hkey *key, uint32_t *) noexcept {
    set_if<msos_hkey>(key, 0);
    return errno = ENOTSUP;
}

QRV_API int32_t msos_regopenkeyex(msos_hkey, const char *, uint32_t, uint32_t, msos_hkey *key) noexcept {
    set_if<msos_hkey>(key, 0);
    return errno = ENOENT;
}

QRV_API int32_t msos_regqueryvalueex(msos_hkey, const char *, uint32_t *, uint32_t *, void *, uint32_t *) noexcept {
    return errno = ENOENT;
}

QRV_API int32_t msos_regsetvalueex(msos_hkey, const char *, uint32_t, uint32_t, const void *, uint32_t) noexcept {
    return errno = ENOTSUP;
}

QRV_API int msos_regclosekey(msos_hkey) noexcept {
    errno = EBADF;
    return 0;
}

QRV_API int msos_regflushkey(msos_hkey) noexcept {
    errno = EBADF;
    return 0;
}

QRV_API void *msos_malloc(uint32_t size) noexcept { return std::malloc(size); }

QRV_API void *msos_realloc(void *block, uint32_t size) noexcept { return std::realloc(block, size); }

QRV_API void msos_free(void *block) noexcept { std::free(block); }

QRV_API int msos_rand_init(void) noexcept {
    if (g_random_open.load()) return 1;
    unsigned char probe;
    // EAGAIN only says the pool is not seeded yet: the source exists.
    if (qrv::os::g_sys.getrandom(&probe, 1, GRND_NONBLOCK) < 0 && errno != EAGAIN && errno != EINTR) return 0;
    g_random_open.store(true);
    return 1;
}

QRV_API int msos_rand_end(void) noexcept {
    g_random_open.store(false);
    return 1;
}

QRV_API int msos_rand_set_seed(uint32_t /*seed*/) noexcept { return g_random_open.load() ? 1 : 0; }

QRV_API int32_t msos_rand_get_pos_int(void) noexcept {
    if (!g_random_open.load()) return kNoRandom;
    uint32_t bits = 0;
    ssize_t n = qrv::os::retry_eintr([&] { return qrv::os::g_sys.getrandom(&bits, sizeof bits, 0); });
    if (n != static_cast<ssize_t>(sizeof bits)) return kNoRandom;
    // The absolute value in unsigned arithmetic: INT32_MIN maps to itself.
    uint32_t magnitude = (bits & 0x80000000u) != 0 ? 0u - bits : bits;
    return static_cast<int32_t>(magnitude);
}

}  // extern "C"

namespace qrv::os {

void write_stderr(const char *text, size_t length) noexcept {
    int saved = errno;
    while (length > 0) {
        ssize_t n = g_sys.write(STDERR_FILENO, text, length);  // EINTR: retried
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text += n;
        length -= static_cast<size_t>(n);
    }
    errno = saved;
}

bool is_terminal(qrv_handle handle) noexcept {
    return handle >= 0 && handle <= INT32_MAX && isatty(static_cast<int>(handle)) == 1;
}

const char *getenv(const char *name) noexcept { return name == nullptr ? nullptr : ::getenv(name); }

void *heap_realloc(void *block, size_t size) noexcept { return std::realloc(block, size); }

void heap_free(void *block) noexcept { std::free(block); }

}  // namespace qrv::os
