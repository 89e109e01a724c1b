// Buffered streams over file descriptors and each task's stream table. The
// table is reached through the task handle; its own mutex guards the list,
// and each stream's mutex is held for the whole of every operation on it.
#include "io/stream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/context.h"
#include "base/errids.h"
#include "base/guard.h"
#include "base/registry.h"
#include "base/space.h"
#include "fmt/engine.h"
#include "io/fio.h"
#include "mserror.h"
#include "msfmt.h"
#include "msos.h"
#include "mssio.h"
#include "mssp.h"
#include "msthread.h"
#include "os/heap.h"
#include "os/os_internal.h"

struct mssio_stream {
    msfio_fd fd;       // set through use_descriptor
    uint64_t vouched;  // the registry's count of descriptor retirements when fd was last found live
    int32_t binary;
    int32_t input;
    char *buffer;   // MSSIO_BUFFER_SIZE bytes, or null when buffering is off
    char *cursor;   // next byte to read, or next free byte to write
    int32_t count;  // input: unread bytes; output: free bytes
    // Changed under the lock; atomic because the flush before a read looks
    // at other streams' flags without taking their locks.
    std::atomic<int32_t> dirty;
    qrv_mutex lock;
    mssio_stream *next;
    struct qrv_stream_table *table;  // the table the stream is linked in, or null
};

struct qrv_stream_table {
    qrv_mutex lock;
    mssio_stream *list;  // newest first
    std::atomic<int32_t> output_pending;
    mssio_stream *standard[3];  // input, output, error
    char *names[3];
};

namespace qrv::sio {
namespace {

using Stream = mssio_stream;
using Table = qrv_stream_table;

constexpr int kSize = MSSIO_BUFFER_SIZE;
enum Standard { kIn = 0, kOut = 1, kErr = 2 };

// Holds a stream's lock for one operation. While the process has a single
// thread no one else can reach the stream and the lock is skipped (as glibc's
// streams skip theirs): its two bus-locked operations cost a tenth of a
// formatted line. A thread can only appear through a call the operation does
// not make, so the choice holds until the destructor.
struct Locked : MutexGuard {
    explicit Locked(Stream *s) noexcept : MutexGuard(os::single_threaded() ? nullptr : &s->lock) {}
};

Table *current_table() {
    ctx::TaskHandle *handle = ctx::current_task_handle();
    return handle != nullptr ? static_cast<Table *>(handle->stream_table) : nullptr;
}

constexpr uint64_t kNotVouched = UINT64_MAX;  // a count the registry never reaches

void use_descriptor(Stream *s, msfio_fd fd) {
    s->fd = fd;
    s->vouched = kNotVouched;
}

// msfio_write on the stream's descriptor. A descriptor found live stays
// live until some descriptor is retired, so the registry is asked again only
// when its count of retirements has moved since the last lookup.
int write_out(Stream *s, const char *data, int n) {
    if (s->fd == MSFIO_NULL) return msfio_write(s->fd, data, n);
    const uint64_t now = space::retirements(space::Kind::descriptor);
    fio::Descriptor *d = now == s->vouched ? reinterpret_cast<fio::Descriptor *>(s->fd) : fio::lookup(s->fd);
    if (d != nullptr) s->vouched = now;
    return fio::write_record(d, data, n);
}

void empty_buffer(Stream *s) {
    s->cursor = s->buffer;
    s->count = s->input ? 0 : kSize;
}

void link(Table *t, Stream *s) {
    if (t == nullptr) return;
    msthread_mutex_lock(&t->lock);
    s->table = t;
    s->next = t->list;
    t->list = s;
    msthread_mutex_unlock(&t->lock);
}

void unlink(Stream *s) {
    Table *t = s->table;
    if (t == nullptr) return;
    msthread_mutex_lock(&t->lock);
    for (Stream **p = &t->list; *p != nullptr; p = &(*p)->next) {
        if (*p == s) {
            *p = s->next;
            break;
        }
    }
    for (Stream *&slot : t->standard) {
        if (slot == s) slot = nullptr;
    }
    s->table = nullptr;
    s->next = nullptr;
    msthread_mutex_unlock(&t->lock);
}

Stream *make(msfio_fd fd, bool binary, bool input) {
    auto *s = space::get_handle_zeroed<Stream>(space::Kind::stream);
    if (s == nullptr) return nullptr;
    s->buffer = static_cast<char *>(space::get(kSize));
    if (s->buffer == nullptr || !msthread_mutex_init(&s->lock)) {
        space::release(s->buffer);
        space::release_handle(space::Kind::stream, s);
        return nullptr;
    }
    use_descriptor(s, fd);
    s->binary = binary;
    s->input = input;
    empty_buffer(s);
    return s;
}

// Frees a stream already retired from the registry.
void release(Stream *s) {
    msthread_mutex_destroy(&s->lock);
    space::release(s->buffer);
    space::release(s);
}

// A value that is not a live stream: EBADF, then the operation's id if it
// has one.
void refuse(int32_t id) {
    mserror_seterr_os(EBADF);
    if (id != 0) mserror_seterr(id, 0);
    errno = EBADF;
}

Stream *live(mssio_stream *stream, int32_t id) {
    if (space::is_live(space::Kind::stream, stream)) return stream;
    refuse(id);
    return nullptr;
}

// Writes the buffered output; on a short write the unwritten bytes move to
// the front and stay buffered, so nothing accepted is ever lost.
bool drain(Stream *s) {
    int used = kSize - s->count;
    if (used == 0) return true;
    int written = write_out(s, s->buffer, used);
    if (written < 0) written = 0;
    if (written == used) {
        empty_buffer(s);
        return true;
    }
    std::memmove(s->buffer, s->buffer + written, static_cast<size_t>(used - written));
    s->cursor = s->buffer + (used - written);
    s->count = kSize - (used - written);
    return false;
}

void append(Stream *s, const char *data, int n) {
    std::memcpy(s->cursor, data, static_cast<size_t>(n));
    s->cursor += n;
    s->count -= n;
}

int flush_locked(Stream *s) {
    if (s->input) {
        mserror_reset_seterr(err::kOutputOnInputStream, 0);
        return 0;
    }
    if (s->buffer == nullptr || !s->dirty) return 1;
    s->dirty = 0;
    if (drain(s)) return 1;
    s->dirty = 1;
    return 0;
}

// The buffer holds used bytes of earlier calls and the caller's n bytes were
// appended; total bytes go out in one write. Earlier bytes that did not get
// out stay buffered (-1); of the caller's, what got out is reported.
int write_appended(Stream *s, int used, int n) {
    int total = used + n;
    int written = write_out(s, s->buffer, total);
    if (written < 0) written = 0;
    if (written >= used) {
        empty_buffer(s);
        return written == total ? n : written - used;
    }
    std::memmove(s->buffer, s->buffer + written, static_cast<size_t>(used - written));
    s->cursor = s->buffer + (used - written);
    s->count = kSize - (used - written);
    return -1;
}

int write_locked(Stream *s, const char *data, int n) {
    if (s->input) {
        mserror_reset_seterr(err::kOutputOnInputStream, 0);
        return -1;
    }
    if (n < 1) return 0;
    if (data == nullptr) {
        mserror_seterr_os(EINVAL);
        mserror_seterr(err::kCannotWriteFile, 0);
        return -1;
    }
    if (s->buffer == nullptr) return write_out(s, data, n);
    const int used = kSize - s->count;
    int result;
    if (std::memchr(data, '\n', static_cast<size_t>(n)) != nullptr) {
        if (used + n <= kSize) {
            append(s, data, n);
            result = write_appended(s, used, n);
        } else {
            result = drain(s) ? write_out(s, data, n) : -1;
        }
    } else if (used + n <= 2 * kSize) {
        if (used == 0 && n > kSize) {
            result = write_out(s, data, n);
        } else if (used + n <= kSize) {
            append(s, data, n);
            result = n;
        } else {
            int fill = kSize - used;
            append(s, data, fill);
            result = write_appended(s, used, fill);
            if (result == fill) {
                append(s, data + fill, n - fill);
                result = n;
            }
        }
    } else {
        result = drain(s) ? write_out(s, data, n) : -1;
    }
    if (used == 0 && s->count < kSize && !s->dirty) {
        s->dirty = 1;
        if (s->table != nullptr) s->table->output_pending.store(1, std::memory_order_release);
    }
    return result;
}

// Before a read: flush every dirty stream of the table. A stream locked by
// another thread is passed over and the walk repeated, so that the table
// lock is never held while waiting for a stream.
bool flush_pending(Table *t) {
    if (t == nullptr || t->output_pending.exchange(0, std::memory_order_acq_rel) == 0) return true;
    bool ok = true;
    for (bool skipped = true; skipped;) {
        skipped = false;
        msthread_mutex_lock(&t->lock);
        for (Stream *s = t->list; s != nullptr; s = s->next) {
            if (s->input || !s->dirty) continue;
            int acquired = 0;
            msthread_mutex_trylock(&s->lock, &acquired);
            if (!acquired) {
                skipped = true;
                continue;
            }
            ok = flush_locked(s) && ok;
            msthread_mutex_unlock(&s->lock);
        }
        msthread_mutex_unlock(&t->lock);
        if (skipped) msos_relinquish_thread();
    }
    return ok;
}

bool refill(Stream *s) {
    int got = msfio_read(s->fd, s->buffer, kSize);
    if (got < 0) return false;
    s->cursor = s->buffer;
    s->count = got;
    return true;
}

// The checks every read makes; false with the error pushed.
bool ready_to_read(Stream *s, const void *buffer, int count) {
    if (!s->input) {
        mserror_reset_seterr(err::kInputOnOutputStream, 0);
        return false;
    }
    if (buffer == nullptr || count < 0) {
        mserror_seterr_os(EINVAL);
        mserror_seterr(err::kCannotReadFile, 0);
        return false;
    }
    return flush_pending(s->table);
}

int read_locked(Stream *s, char *out, int count) {
    if (!ready_to_read(s, out, count)) return -1;
    if (s->buffer == nullptr) return msfio_read(s->fd, out, count);
    int got = 0;
    while (got < count) {
        if (s->count == 0) {
            if (!refill(s)) return -1;
            if (s->count == 0) break;
        }
        int take = std::min(s->count, count - got);
        std::memcpy(out + got, s->cursor, static_cast<size_t>(take));
        s->cursor += take;
        s->count -= take;
        got += take;
    }
    return got;
}

int readline_locked(Stream *s, char *out, int size, int delimiter) {
    if (!ready_to_read(s, out, size)) return -1;
    if (s->buffer == nullptr && !mssio_buf_on(s)) return -1;
    const char stop = static_cast<char>(delimiter);
    int got = 0;
    while (got < size) {
        if (s->count == 0) {
            if (!refill(s)) return -1;
            if (s->count == 0) break;
        }
        int room = std::min(s->count, size - got);
        const void *hit = std::memchr(s->cursor, stop, static_cast<size_t>(room));
        int take = hit != nullptr ? static_cast<int>(static_cast<const char *>(hit) - s->cursor) + 1 : room;
        std::memcpy(out + got, s->cursor, static_cast<size_t>(take));
        s->cursor += take;
        s->count -= take;
        got += take;
        if (hit != nullptr) break;
    }
    if (got < size) out[got] = '\0';
    return got;
}

// File bytes that the unread buffered input stands for: a line feed read in
// text mode came from two bytes.
int64_t unread_file_bytes(const Stream *s, int bytes) {
    int64_t n = bytes;
    if (!s->binary && fio::text_mode_on()) n += std::count(s->cursor, s->cursor + bytes, '\n');
    return n;
}

int64_t tell_locked(Stream *s) {
    if (!s->input) return flush_locked(s) ? msfio_tell(s->fd) : -1;
    int64_t position = msfio_tell(s->fd);
    if (position < 0 || s->buffer == nullptr) return position;
    return position - unread_file_bytes(s, s->count);
}

int64_t seek_locked(Stream *s, int64_t position) {
    if (!s->input) return flush_locked(s) ? msfio_seek(s->fd, position) : -1;
    if (s->buffer != nullptr && s->count > 0 && position != -1) {
        int64_t end = msfio_tell(s->fd);
        int64_t start = end < 0 ? -1 : end - unread_file_bytes(s, s->count);
        if (start >= 0 && position >= start && position <= end) {
            // Step inside the buffer; in text mode a line feed is two file bytes.
            for (int64_t at = start; at < position && s->count > 0; ++s->cursor, --s->count) {
                at += (*s->cursor == '\n' && !s->binary && fio::text_mode_on()) ? 2 : 1;
            }
            return position;
        }
    }
    if (s->buffer != nullptr) empty_buffer(s);
    return msfio_seek(s->fd, position);
}

struct PrintContext {
    Stream *stream;
    bool whole;
};

void stream_sink(void *context, const char *data, int length) {
    auto *c = static_cast<PrintContext *>(context);
    if (write_locked(c->stream, data, length) != length) c->whole = false;
}

// Formatted output written in place into the free end of the buffer, piece
// by piece as write_locked would take each: a piece that does not fit goes
// through write_locked itself, and so does every piece while the stream is
// not yet marked dirty (the window shows no room), so that it marks it.
struct PrintWindow : fmt::Window {
    Stream *stream;
    bool whole;
};

void show(PrintWindow &w) {
    Stream *s = w.stream;
    w.pos = s->cursor;
    w.end = s->dirty.load(std::memory_order_relaxed) != 0 ? s->buffer + kSize : s->cursor;
}

// The stream takes in what the engine copied.
void take(PrintWindow &w) {
    Stream *s = w.stream;
    s->count -= static_cast<int32_t>(w.pos - s->cursor);
    s->cursor = w.pos;
}

void window_spill(fmt::Window &window, const char *data, int length) noexcept {
    auto &w = static_cast<PrintWindow &>(window);
    take(w);
    if (write_locked(w.stream, data, length) != length) w.whole = false;
    show(w);
}

// A line that fitted: the buffer goes out with it, as in write_locked.
void window_line(fmt::Window &window, int length) noexcept {
    auto &w = static_cast<PrintWindow &>(window);
    take(w);
    Stream *s = w.stream;
    if (write_appended(s, kSize - s->count - length, length) != length) w.whole = false;
    show(w);
}

int print_locked(Stream *s, const char *format, va_list args) {
    if (s == nullptr) return 1;
    if (live(s, err::kCannotWriteFile) == nullptr) return 0;
    Locked hold(s);
    if (format != nullptr && !s->input && s->buffer != nullptr) {
        PrintWindow w{{nullptr, nullptr, window_spill, window_line}, s, true};
        show(w);
        fmt::format_valist(w, format, args);
        take(w);
        return w.whole;
    }
    PrintContext context{s, true};
    if (format == nullptr) {
        stream_sink(&context, "(NILFORMAT)", 11);
    } else {
        msfmt_valist(stream_sink, &context, format, args);
    }
    return context.whole;
}

Stream *standard(int which) {
    Table *t = current_table();
    return t != nullptr ? t->standard[which] : nullptr;
}

// Formatted output on a standard stream; 0 when the task has none.
int print_standard(int which, const char *format, va_list args) {
    Stream *s = standard(which);
    return s != nullptr ? print_locked(s, format, args) : 0;
}

const char *standard_name(int which) {
    Table *t = current_table();
    return t != nullptr ? t->names[which] : nullptr;
}

int set_standard(int which, Stream *s, const char *name) {
    if (s != nullptr && live(s, 0) == nullptr) return 0;
    Table *t = current_table();
    if (t == nullptr) return 0;
    char *copy = nullptr;
    if (name != nullptr) {
        size_t length = std::strlen(name) + 1;
        copy = static_cast<char *>(space::get(static_cast<int>(std::min<size_t>(length, INT32_MAX))));
        if (copy != nullptr) std::memcpy(copy, name, length);
    }
    msthread_mutex_lock(&t->lock);
    t->standard[which] = s;
    space::release(t->names[which]);
    t->names[which] = copy;
    msthread_mutex_unlock(&t->lock);
    return 1;
}

// A stream of the task's table on an opened descriptor, which is closed
// when the stream cannot be made.
Stream *adopt(msfio_fd fd, bool binary, bool input) {
    if (fd == MSFIO_NONE) return nullptr;
    Stream *s = make(fd, binary, input);
    if (s == nullptr) {
        msfio_close(fd);
        return nullptr;
    }
    link(current_table(), s);
    return s;
}

Stream *open_stream(const char *path, int binary, const char *access) {
    char mode = access != nullptr && access[0] != '\0' && access[1] == '\0' ? access[0] : '?';
    msfio_fd fd = MSFIO_NONE;
    switch (mode) {
        case 'r':
            fd = msfio_open(path, binary, 'r');
            break;
        case 'w':
            fd = msfio_create(path, binary, 0, 0);
            break;
        case 'a':
        case 'e': {
            // A missing file is created; the failed open's report is dropped.
            int32_t floor = mserror_cleanup_save();
            fd = msfio_open(path, binary, mode);
            mserror_cleanup_restore(floor);
            if (fd == MSFIO_NONE) {
                fd = msfio_create(path, binary, 0, 1);
                if (fd != MSFIO_NONE && mode == 'e') {
                    msfio_close(fd);
                    fd = msfio_open(path, binary, 'e');
                }
            }
            break;
        }
        default:
            mserror_reset_seterr(err::kInvalidStreamAccess, 0);
            return nullptr;
    }
    return adopt(fd, binary != 0, mode == 'r');
}

// A stream whose flush fails stays open and in its table, so that the caller
// can try again and the task's end still closes it.
int close_stream(Stream *s, int flush) {
    if (s == nullptr || live(s, err::kCannotCloseFile) == nullptr) return 0;
    {
        Locked hold(s);
        if (flush && !s->input && !flush_locked(s)) return 0;
    }
    unlink(s);
    // Of two closes racing, one finds the stream retired.
    if (!space::retire(space::Kind::stream, s)) {
        refuse(err::kCannotCloseFile);
        return 0;
    }
    msfio_fd fd = s->fd;
    release(s);
    return msfio_close(fd);
}

}  // namespace

mssio_stream *open_regular_input(const char *path) noexcept { return adopt(fio::open_regular(path, 0), false, true); }

bool init(int mode) noexcept {
    if (mode == MSBASIC_MODE_THREAD) return true;
    ctx::TaskHandle *handle = ctx::current_task_handle();
    if (handle == nullptr) return false;
    if (handle->stream_table != nullptr) return true;
    auto *t = space::get_zeroed<Table>();
    if (t == nullptr || !msthread_mutex_init(&t->lock)) {
        space::release(t);
        return false;
    }
    const msfio_fd fds[3] = {msfio_get_stdin(), msfio_get_stdout(), msfio_get_stderr()};
    for (int i = kIn; i <= kErr; ++i) {
        Stream *s = make(fds[i], false, i == kIn);
        if (s == nullptr) {
            handle->stream_table = t;
            end(mode, 1);
            return false;
        }
        link(t, s);
        t->standard[i] = s;
    }
    handle->stream_table = t;
    return true;
}

void attach_standard() noexcept {
    Table *t = current_table();
    if (t == nullptr) return;
    const msfio_fd fds[3] = {msfio_get_stdin(), msfio_get_stdout(), msfio_get_stderr()};
    for (int i = kIn; i <= kErr; ++i) {
        if (Stream *s = t->standard[i]) {
            Locked hold(s);
            if (!s->input) flush_locked(s);
            use_descriptor(s, fds[i]);
            if (s->buffer != nullptr) empty_buffer(s);
        }
    }
}

void end(int mode, int orderly) noexcept {
    if (mode == MSBASIC_MODE_THREAD) return;
    ctx::TaskHandle *handle = ctx::current_task_handle();
    auto *t = handle != nullptr ? static_cast<Table *>(handle->stream_table) : nullptr;
    if (t == nullptr) return;
    // A forked child must not write out what its parent had buffered; what a
    // full disk refuses at the end is lost with the stream.
    while (Stream *s = t->list) {
        if (orderly) close_stream(s, 1);
        if (s == t->list) close_stream(s, 0);
    }
    for (char *&name : t->names) {
        space::release(name);
        name = nullptr;
    }
    msthread_mutex_destroy(&t->lock);
    space::release(t);
    handle->stream_table = nullptr;
}

}  // namespace qrv::sio

using namespace qrv::sio;
namespace err = qrv::err;
namespace space = qrv::space;

extern "C" {

QRV_API mssio_stream *mssio_open(const char *path, const char *access) noexcept { return open_stream(path, 0, access); }

QRV_API mssio_stream *mssio_open_ex(const char *path, int binary, const char *access) noexcept {
    return open_stream(path, binary, access);
}

QRV_API int mssio_pipe(mssio_stream *streams[2]) noexcept {
    msfio_fd fds[2];
    if (streams == nullptr || !msfio_pipe(fds)) return 0;
    mssio_stream *in = make(fds[0], true, true);
    mssio_stream *out = in != nullptr ? make(fds[1], true, false) : nullptr;
    if (out == nullptr) {
        if (in != nullptr && space::retire(space::Kind::stream, in)) release(in);
        msfio_close(fds[0]);
        msfio_close(fds[1]);
        return 0;
    }
    link(current_table(), in);
    link(current_table(), out);
    streams[0] = in;
    streams[1] = out;
    return 1;
}

QRV_API int mssio_close(mssio_stream *stream) noexcept { return close_stream(stream, 1); }

QRV_API int mssio_close_ex(mssio_stream *stream, int flush) noexcept { return close_stream(stream, flush); }

QRV_API int mssio_detach(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, 0) == nullptr) return 0;
    unlink(stream);
    return 1;
}

QRV_API int mssio_read(mssio_stream *stream, void *buffer, int count) noexcept {
    if (stream == nullptr) return 0;
    if (live(stream, err::kCannotReadFile) == nullptr) return -1;
    Locked hold(stream);
    return read_locked(stream, static_cast<char *>(buffer), count);
}

QRV_API int mssio_readline(mssio_stream *stream, char *buffer, int size) noexcept {
    return mssio_readline_ex(stream, buffer, size, '\n');
}

QRV_API int mssio_readline_ex(mssio_stream *stream, char *buffer, int size, int delimiter) noexcept {
    if (stream == nullptr) return 0;
    if (live(stream, err::kCannotReadFile) == nullptr) return -1;
    Locked hold(stream);
    return readline_locked(stream, buffer, size, delimiter);
}

QRV_API int mssio_write(mssio_stream *stream, const void *buffer, int count) noexcept {
    if (stream == nullptr) return 0;
    if (live(stream, err::kCannotWriteFile) == nullptr) return -1;
    Locked hold(stream);
    return write_locked(stream, static_cast<const char *>(buffer), count);
}

QRV_API int mssio_flush(mssio_stream *stream) noexcept {
    if (stream == nullptr) return 1;
    if (live(stream, err::kCannotWriteFile) == nullptr) return 0;
    Locked hold(stream);
    return flush_locked(stream);
}

QRV_API int64_t mssio_seek(mssio_stream *stream, int64_t position) noexcept {
    if (stream == nullptr || live(stream, err::kCannotSeek) == nullptr) return -1;
    Locked hold(stream);
    return seek_locked(stream, position);
}

QRV_API int64_t mssio_tell(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, err::kCannotSeek) == nullptr) return -1;
    Locked hold(stream);
    return tell_locked(stream);
}

QRV_API int64_t mssio_size(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, err::kCannotStatFile) == nullptr) return -1;
    int64_t size = -1;
    return msfio_fstat(stream->fd, nullptr, &size, nullptr, nullptr, nullptr) ? size : -1;
}

QRV_API int mssio_buf_on(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, 0) == nullptr) return 0;
    Locked hold(stream);
    if (stream->buffer != nullptr) return 1;
    stream->buffer = static_cast<char *>(qrv::space::get(MSSIO_BUFFER_SIZE));
    if (stream->buffer == nullptr) return 0;
    empty_buffer(stream);
    return 1;
}

QRV_API int mssio_buf_off(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, 0) == nullptr) return 0;
    Locked hold(stream);
    if (stream->buffer == nullptr) return 1;
    if (stream->input && stream->count > 0) {
        mserror_reset_seterr(qrv::err::kNonEmptyInputBuffer, 0);
        return 0;
    }
    if (!stream->input && !drain(stream)) return 0;
    qrv::space::release(stream->buffer);
    stream->buffer = stream->cursor = nullptr;
    stream->count = 0;
    stream->dirty = 0;
    return 1;
}

QRV_API int mssio_buf_reset(mssio_stream *stream) noexcept {
    if (stream == nullptr || live(stream, 0) == nullptr) return 0;
    Locked hold(stream);
    if (stream->buffer != nullptr) empty_buffer(stream);
    stream->dirty = 0;
    return 1;
}

QRV_API int mssio_setbinary(mssio_stream *stream, int binary) noexcept {
    if (stream == nullptr || live(stream, 0) == nullptr) return 0;
    Locked hold(stream);
    stream->binary = binary != 0;
    msfio_win_setbinary(stream->fd, binary);
    return 1;
}

QRV_API int mssio_isatty(mssio_stream *stream) noexcept {
    return stream != nullptr && live(stream, 0) != nullptr && qrv::os::is_terminal(msfio_win_osfd_get(stream->fd));
}

QRV_API int mssio_remove(const char *path) noexcept { return msfio_remove(path); }

QRV_API int mssio_fprintf(mssio_stream *stream, const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    int ok = print_locked(stream, format, args);
    va_end(args);
    return ok;
}

QRV_API int mssio_fprintf_valist(mssio_stream *stream, const char *format, va_list args) noexcept {
    return print_locked(stream, format, args);
}

QRV_API int mssio_printf(const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    int ok = print_standard(kOut, format, args);
    va_end(args);
    return ok;
}

QRV_API int mssio_printf_valist(const char *format, va_list args) noexcept {
    return print_standard(kOut, format, args);
}

QRV_API int mssio_eprintf(const char *format, ...) noexcept {
    va_list args;
    va_start(args, format);
    int ok = print_standard(kErr, format, args);
    va_end(args);
    return ok;
}

QRV_API int mssio_eprintf_valist(const char *format, va_list args) noexcept {
    return print_standard(kErr, format, args);
}

QRV_API mssio_stream *mssio_get_stdin(void) noexcept { return standard(kIn); }
QRV_API mssio_stream *mssio_get_stdout(void) noexcept { return standard(kOut); }
QRV_API mssio_stream *mssio_get_stderr(void) noexcept { return standard(kErr); }
QRV_API const char *mssio_get_stdin_name(void) noexcept { return standard_name(kIn); }
QRV_API const char *mssio_get_stdout_name(void) noexcept { return standard_name(kOut); }
QRV_API const char *mssio_get_stderr_name(void) noexcept { return standard_name(kErr); }

QRV_API int mssio_set_stdin_ex(mssio_stream *stream, const char *name) noexcept {
    return set_standard(kIn, stream, name);
}
QRV_API int mssio_set_stdout_ex(mssio_stream *stream, const char *name) noexcept {
    return set_standard(kOut, stream, name);
}
QRV_API int mssio_set_stderr_ex(mssio_stream *stream, const char *name) noexcept {
    return set_standard(kErr, stream, name);
}

QRV_API int mssio_stdio(void) noexcept {
    auto fd_of = [](Stream *s) { return s != nullptr ? s->fd : MSFIO_NULL; };
    return msfio_stdio(fd_of(standard(kIn)), fd_of(standard(kOut)), fd_of(standard(kErr)));
}

}  // extern "C"
