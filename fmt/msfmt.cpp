// The exported formatting functions: the engine with a caller's sink, and
// the memory-buffer sink with and without a limit.
#include <cstdarg>
#include <cstring>

#include "fmt/engine.h"
#include "msfmt.h"

namespace qrv::fmt {

void buffer_sink(void *context, const char *data, int length) noexcept {
    auto *b = static_cast<BufferSink *>(context);
    int64_t n = length;
    if (b->limit != nullptr && n > b->limit - b->pos) n = b->limit - b->pos;
    if (n <= 0) return;
    std::memcpy(b->pos, data, static_cast<size_t>(n));
    b->pos += n;
}

namespace {

char *into_buffer(char *buf, char *limit, const char *format, va_list args) {
    buf[0] = '\0';
    BufferSink b{buf, limit};
    format_valist(buffer_sink, &b, format, args);
    *b.pos = '\0';
    return b.pos;
}

}  // namespace
}  // namespace qrv::fmt

extern "C" {

QRV_API void msfmt_args(qrv_sink_fn sink, void *context, const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    qrv::fmt::format_valist(sink, context, format, args);
    va_end(args);
}

QRV_API void msfmt_valist(qrv_sink_fn sink, void *context, const char *format, va_list args) noexcept {
    qrv::fmt::format_valist(sink, context, format, args);
}

QRV_API char *msfmt_buffer(char *buf, const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    char *end = qrv::fmt::into_buffer(buf, nullptr, format, args);
    va_end(args);
    return end;
}

QRV_API char *msfmt_buffer_lim_valist(char *buf, int size, const char *format, va_list args) noexcept {
    if (size < 1) return buf;
    return qrv::fmt::into_buffer(buf, buf + size - 1, format, args);
}

QRV_API char *msfmt_buffer_lim(char *buf, int size, const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    char *end = msfmt_buffer_lim_valist(buf, size, format, args);
    va_end(args);
    return end;
}

}  // extern "C"
