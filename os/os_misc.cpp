// Error numbers and texts, the environment, standard error and the C heap.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <cstdlib>

#include "msos.h"
#include "os/os_internal.h"

namespace {

// GNU strerror_r: returns the text, which may or may not be in buf.
const char *system_text(int32_t code, char *buf, size_t size) { return strerror_r(code, buf, size); }

}  // namespace

extern "C" {

QRV_API int32_t msos_geterror(void) noexcept { return errno; }

QRV_API int32_t msos_getlasterror(void) noexcept { return errno; }

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

}  // extern "C"

namespace qrv::os {

void write_stderr(const char *text, size_t length) noexcept {
    int saved = errno;
    while (length > 0) {
        ssize_t n = write(STDERR_FILENO, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text += n;
        length -= static_cast<size_t>(n);
    }
    errno = saved;
}

const char *getenv(const char *name) noexcept { return name == nullptr ? nullptr : ::getenv(name); }

void *heap_realloc(void *block, size_t size) noexcept { return std::realloc(block, size); }

void heap_free(void *block) noexcept { std::free(block); }

}  // namespace qrv::os
