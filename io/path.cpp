// Path helpers: joining a directory and names, and the last component.
#include <cstdarg>
#include <cstring>

#include "mstmp.h"
#include "text/tables.h"

extern "C" {

QRV_API int mspath_mkpath(char *buffer, int size, const char *directory, const char *name) noexcept {
    if (buffer == nullptr || size < 1) return 0;
    if (directory == nullptr) directory = "";
    if (name == nullptr) name = "";
    size_t d = std::strlen(directory), n = std::strlen(name);
    if (d + 1 + n + 1 > static_cast<size_t>(size)) {
        buffer[0] = '\0';
        return 0;
    }
    // The buffer may be the directory (or the name): move the one that lies
    // in it first.
    bool name_in_buffer = name >= buffer && name < buffer + size;
    if (name_in_buffer) std::memmove(buffer + d + 1, name, n + 1);
    std::memmove(buffer, directory, d);
    buffer[d] = '/';
    if (!name_in_buffer) std::memmove(buffer + d + 1, name, n + 1);
    return 1;
}

QRV_API int mspath_mkpath_multi(char *buffer, int size, ...) noexcept {
    if (buffer == nullptr || size < 1) return 0;
    va_list args;
    va_start(args, size);
    size_t total = 0;
    int parts = 0;
    va_list count;
    va_copy(count, args);
    while (const char *part = va_arg(count, const char *)) {
        total += std::strlen(part) + (parts++ > 0 ? 1 : 0);
    }
    va_end(count);
    if (total + 1 > static_cast<size_t>(size)) {
        va_end(args);
        buffer[0] = '\0';
        return 0;
    }
    size_t used = 0;
    for (int i = 0; i < parts; ++i) {
        const char *part = va_arg(args, const char *);
        if (i > 0) buffer[used++] = '/';
        size_t n = std::strlen(part);
        std::memmove(buffer + used, part, n);
        used += n;
    }
    va_end(args);
    buffer[used] = '\0';
    return 1;
}

QRV_API const char *mspath_tailname(const char *path) noexcept {
    if (path == nullptr) return nullptr;
    const char *tail = path;
    for (const char *p = path; *p != '\0'; p = qrv::text::next_char(p)) {
        if (*p == '/' || *p == '\\' || *p == ':') tail = p + 1;
    }
    return tail;
}

}  // extern "C"
