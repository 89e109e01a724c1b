// The variable-file reader and writer: line sources (file, built-in store,
// text buffer), the grammar of variable lines, expansion of quoted values,
// the platform-selection form, and msvars_genbuf.
#include <cstring>

#include "base/errids.h"
#include "base/space.h"
#include "config/store.h"
#include "config/varset.h"
#include "io/stream.h"
#include "msbasic.h"
#include "mserror.h"
#include "mssio.h"
#include "mssp.h"
#include "msstr.h"
#include "mstables.h"
#include "msthread.h"
#include "msvars.h"
#include "text/utf8.h"

namespace qrv::vars {
namespace {

// Bytes of a line before its line feed, and with it.
constexpr int kLineContentMax = 1023;
constexpr int kLineMax = kLineContentMax + 1;
// An expanded value may not grow past this.
constexpr int kValueMax = 1 << 20;
constexpr int kTextStep = 1024;
constexpr int kIndexStep = 20;

bool is_white(unsigned char c) { return (mstables_char_type[c] & MSTABLES_WHITE) != 0; }
bool is_letter(unsigned char c) { return (mstables_char_type[c] & MSTABLES_MULTI) != 0; }
bool is_name_char(unsigned char c) { return (mstables_char_type[c] & (MSTABLES_MULTI | MSTABLES_DIGIT)) != 0; }

const char *skip_white(const char *p) {
    while (is_white(static_cast<unsigned char>(*p))) ++p;
    return p;
}

bool is_platform_word(const char *word, size_t n) {
    for (const char *const *label = mstables_syslabels; *label != nullptr; ++label) {
        if (std::strlen(*label) == n && std::memcmp(*label, word, n) == 0) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Line sources. next() delivers one line into a buffer of kLineMax + 1 bytes
// and terminates it: its length, 0 at the end of the input, -1 on failure
// (the cause pushed). Lines of files and stored files keep their line feed.

class LineSource {
public:
    explicit LineSource(const char *name) : name_(name) {}
    virtual int next(char *line) = 0;
    const char *name() const { return name_; }
    long line_number() const { return line_number_; }

protected:
    // Sources live on the stack: no deleting destructor (the static library
    // serves C programs that do not link the C++ runtime).
    ~LineSource() = default;
    const char *name_;
    long line_number_ = 0;
};

// An open buffered stream: lines of at most kLineMax bytes, line feed kept.
class StreamSource final : public LineSource {
public:
    StreamSource(mssio_stream *stream, const char *name) : LineSource(name), stream_(stream) {}
    int next(char *line) override {
        int count = mssio_readline(stream_, line, kLineMax);
        if (count < 0) {
            ++line_number_;
            return -1;
        }
        line[count] = '\0';
        if (count > 0) ++line_number_;
        return count;
    }

private:
    mssio_stream *stream_;
};

class RomSource final : public LineSource {
public:
    explicit RomSource(msromf_file *file) : LineSource(store::file_name(file)), file_(file) {}
    int next(char *line) override {
        int count = msromf_read(file_, line);
        if (count <= 0) return 0;
        ++line_number_;
        return count;
    }

private:
    msromf_file *file_;
};

// Lines of NUL-terminated text; the cursor skips line feeds before a line,
// moves past the one after it and becomes null at the end of the text.
class BufferSource final : public LineSource {
public:
    explicit BufferSource(const char **cursor) : LineSource("<buffer>"), cursor_(cursor) {}
    int next(char *line) override {
        const char *p = *cursor_;
        if (p == nullptr) return 0;
        while (*p == '\n') {
            ++p;
            ++line_number_;
        }
        const char *start = p;
        while (*p != '\0' && *p != '\n') ++p;
        size_t length = static_cast<size_t>(p - start);
        if (length == 0) {
            *cursor_ = nullptr;
            return 0;
        }
        ++line_number_;
        if (length > static_cast<size_t>(kLineContentMax)) {
            mserror_reset_seterr_1arg(err::kVarLineTooLong, kLineContentMax);
            return -1;
        }
        std::memcpy(line, start, length);
        line[length] = '\0';
        *cursor_ = *p == '\n' ? p + 1 : nullptr;
        return static_cast<int>(length);
    }

private:
    const char **cursor_;
};

// ---------------------------------------------------------------------------
// The reader.

enum class Range { all, include, exclude };

class Reader {
public:
    Reader(LineSource &source, int keep_comments, Range range, const char *start, const char *end)
        : source_(source), keep_comments_(keep_comments != 0), range_(range), start_(start), end_(end) {}

    msvars_set *run();

private:
    enum class State { before, inside, after };

    int next_line(char *line);
    bool parse_variable(const char *line, const char *head);
    bool comment_line(const char *line);
    bool store_entry(const char *name, size_t name_length, const char *leading, size_t leading_length, bool has_equals,
                     const char *value, size_t value_length, bool quoted);
    bool append(const char *bytes, size_t n);
    bool expand(const char *value, size_t n);
    bool grow_index();
    // Value text (first byte not white) to [value, value + n) and quoted;
    // false when the entry has no value.
    static bool value_text(const char *text, const char **value, size_t *n, bool *quoted);
    bool wanted(const char *name, size_t n);

    LineSource &source_;
    bool keep_comments_;
    Range range_;
    const char *start_;
    const char *end_;
    State state_ = State::before;
    bool stop_ = false;
    msvars_set *set_ = nullptr;
    char line_[kLineMax + 1];
    char pushed_[kLineMax + 1];
    bool has_pushed_ = false;
};

bool Reader::grow_index() {
    if (set_->index_capacity - set_->index_used >= 2) return true;
    auto capacity = static_cast<int32_t>(
        space::grown_capacity(set_->index_capacity, set_->index_capacity + kIndexStep, INT32_MAX / 4));
    void *grown = space::reget(set_->index, capacity * static_cast<int>(sizeof(int32_t)));
    if (grown == nullptr) return false;
    set_->index = static_cast<int32_t *>(grown);
    set_->index_capacity = capacity;
    return true;
}

bool Reader::append(const char *bytes, size_t n) {
    int64_t needed = static_cast<int64_t>(set_->text_used) + static_cast<int64_t>(n);
    if (needed > set_->text_capacity) {
        int64_t shortfall = needed - set_->text_capacity;
        int64_t capacity = space::grown_capacity(
            set_->text_capacity, set_->text_capacity + (shortfall + kTextStep - 1) / kTextStep * kTextStep, INT32_MAX);
        if (capacity > INT32_MAX) {
            mserror_reset_seterr_1arg(err::kBadSpaceSize, capacity);
            return false;
        }
        void *grown = space::reget(set_->text, static_cast<int>(capacity));
        if (grown == nullptr) return false;
        set_->text = static_cast<char *>(grown);
        set_->text_capacity = static_cast<int32_t>(capacity);
    }
    if (n > 0) std::memcpy(set_->text + set_->text_used, bytes, n);
    set_->text_used = static_cast<int32_t>(needed);
    return true;
}

// Expands a quoted value into the text area: "\x" is x, "$NAME" and
// "${NAME}" are the MS variable's value (QUORVELPATH falls back to the
// installation directory), any other "$" is itself.
bool Reader::expand(const char *value, size_t n) {
    const int32_t start = set_->text_used;
    const char *p = value;
    const char *const stop = value + n;
    while (p < stop) {
        const char *run = p;
        while (p < stop && *p != '\\' && *p != '$') ++p;
        if (!append(run, static_cast<size_t>(p - run))) return false;
        if (p == stop) break;
        if (*p == '\\') {
            ++p;
            if (p == stop) break;
            int length =
                utf8::sequence_length(reinterpret_cast<const unsigned char *>(p), static_cast<size_t>(stop - p));
            if (length == 0) length = 1;
            if (!append(p, static_cast<size_t>(length))) return false;
            p += length;
        } else {
            const char *name = nullptr;
            size_t name_length = 0;
            if (p + 1 < stop && p[1] == '{') {
                name = p + 2;
                const char *close = name;
                while (close < stop && *close != '}') ++close;
                name_length = static_cast<size_t>(close - name);
                p = close < stop ? close + 1 : stop;
            } else if (p + 1 < stop && is_letter(static_cast<unsigned char>(p[1]))) {
                name = p + 1;
                const char *q = name;
                while (q < stop && is_name_char(static_cast<unsigned char>(*q))) ++q;
                name_length = static_cast<size_t>(q - name);
                p = q;
            } else {
                if (!append(p, 1)) return false;
                ++p;
                continue;
            }
            char key[kLineMax + 1];
            std::memcpy(key, name, name_length);
            key[name_length] = '\0';
            const char *replacement = msvars_getenv(key);
            if ((replacement == nullptr || replacement[0] == '\0') && std::strcmp(key, "QUORVELPATH") == 0) {
                replacement = msbasic_get_quorvelpath();
            }
            if (replacement != nullptr && !append(replacement, std::strlen(replacement))) return false;
        }
        if (set_->text_used - start > kValueMax) {
            mserror_reset_seterr_1arg(err::kVarValueTooLong, kValueMax);
            return false;
        }
    }
    return true;
}

bool Reader::store_entry(const char *name, size_t name_length, const char *leading, size_t leading_length,
                         bool has_equals, const char *value, size_t value_length, bool quoted) {
    if (!grow_index()) return false;
    const int32_t name_offset = set_->text_used;
    static const char zero = '\0';
    if (!append(name, name_length) || !append(&zero, 1)) return false;
    if (keep_comments_ && name_length > 0) {
        const char flag = has_equals ? 1 : 0;
        if (!append(leading, leading_length) || !append(&zero, 1) || !append(&flag, 1)) return false;
    }
    int32_t value_offset = 0;
    if (value != nullptr) {
        value_offset = set_->text_used;
        if (!(quoted ? expand(value, value_length) : append(value, value_length))) return false;
        if (set_->text_used == value_offset && name_length > 0) {
            value_offset = 0;  // expanded to nothing: no value
        } else if (!append(&zero, 1)) {
            return false;
        }
    }
    set_->index[set_->index_used++] = name_offset;
    set_->index[set_->index_used++] = value_offset;
    return true;
}

bool Reader::value_text(const char *text, const char **value, size_t *n, bool *quoted) {
    const char *p = text;
    if (*p == '[') {
        const char *close = std::strchr(p, ']');
        if (close == nullptr || !is_platform_word(p + 1, static_cast<size_t>(close - p - 1))) return false;
        p = skip_white(close + 1);
    }
    const char *end = p + std::strlen(p);
    while (end > p && is_white(static_cast<unsigned char>(end[-1]))) --end;
    *quoted = false;
    if (end - p >= 2 && (*p == '"' || *p == '\'') && end[-1] == *p) {
        ++p;
        --end;
        *quoted = true;
    }
    *value = p;
    *n = static_cast<size_t>(end - p);
    return end > p;
}

// Whether the entry of this name is kept under the range selection; moves
// the selection's state along.
bool Reader::wanted(const char *name, size_t n) {
    auto is = [&](const char *key) { return std::strlen(key) == n && std::memcmp(key, name, n) == 0; };
    switch (range_) {
        case Range::all:
            return true;
        case Range::include:
            if (state_ == State::before) {
                if (!is(start_)) return false;
                state_ = State::inside;
                return true;
            }
            if (is(end_)) stop_ = true;
            return true;
        case Range::exclude:
            if (state_ == State::before) {
                if (!is(start_)) return true;
                state_ = State::inside;
                return false;
            }
            if (state_ == State::inside) {
                if (is(end_)) state_ = State::after;
                return false;
            }
            return true;
    }
    return true;
}

// The next line from the pushed-back one or the source, checked: no NUL
// byte, valid UTF-8, not longer than a line may be.
int Reader::next_line(char *line) {
    if (has_pushed_) {
        has_pushed_ = false;
        std::memcpy(line, pushed_, sizeof pushed_);
        return static_cast<int>(std::strlen(line));
    }
    int n = source_.next(line);
    if (n <= 0) return n;
    if (n == kLineMax && line[n - 1] != '\n') {
        mserror_reset_seterr_1arg(err::kVarLineTooLong, kLineContentMax);
        return -1;
    }
    if (std::memchr(line, '\0', static_cast<size_t>(n)) != nullptr) {
        mserror_reset_seterr(err::kVarLineHasNul, 0);
        return -1;
    }
    if (!utf8::valid(std::string_view(line, static_cast<size_t>(n)))) {
        mserror_reset_seterr(err::kVarLineNotUtf8, 0);
        return -1;
    }
    return n;
}

bool Reader::comment_line(const char *line) {
    if (!keep_comments_) return true;
    if (range_ == Range::include && state_ != State::inside) return true;
    if (range_ == Range::exclude && state_ == State::inside) return true;
    size_t n = std::strlen(line);
    if (n > 0 && line[n - 1] == '\n') --n;
    if (n > 0 && line[n - 1] == '\r') --n;
    return store_entry("", 0, nullptr, 0, false, line, n, false);
}

bool Reader::parse_variable(const char *line, const char *head) {
    const char *equals = std::strchr(head, '=');
    const char *name_end = equals != nullptr ? equals : head + std::strlen(head);
    while (name_end > head && is_white(static_cast<unsigned char>(name_end[-1]))) --name_end;
    const size_t name_length = static_cast<size_t>(name_end - head);
    if (name_length == 0) {
        // A line with no name defines nothing; a faithful rewrite keeps it.
        if (!keep_comments_) return true;
        size_t n = std::strlen(line);
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
        return store_entry("", 0, nullptr, 0, false, line, n, false);
    }
    const char *value = nullptr;
    size_t value_length = 0;
    bool quoted = false;
    if (equals != nullptr) {
        const char *after = equals + 1;
        bool selection = after[0] == '\\' && (after[1] == '\n' || (after[1] == '\r' && after[2] == '\n'));
        if (!selection) {
            if (!value_text(skip_white(after), &value, &value_length, &quoted)) value = nullptr;
        } else {
            // Platform selection: the first "[WORD]value" line whose WORD
            // applies; the first line of another kind ends the form.
            char name_copy[kLineMax + 1];
            std::memcpy(name_copy, head, name_length);
            char leading[kLineMax + 1];
            size_t leading_length = static_cast<size_t>(head - line);
            std::memcpy(leading, line, leading_length);
            const bool keep = wanted(name_copy, name_length);
            bool chosen = false, stored = false;
            for (;;) {
                int n = next_line(line_);
                if (n < 0) return false;
                if (n == 0) break;
                const char *p = skip_white(line_);
                if (*p == '#' || *p == ':' || *p == '\0') continue;
                if (*p != '[') {
                    std::memcpy(pushed_, line_, static_cast<size_t>(n) + 1);
                    has_pushed_ = true;
                    break;
                }
                const char *close = std::strchr(p, ']');
                if (chosen || close == nullptr || !is_platform_word(p + 1, static_cast<size_t>(close - p - 1))) {
                    continue;
                }
                chosen = true;
                // The value lives in line_, which the next line overwrites.
                if (keep && value_text(p, &value, &value_length, &quoted)) {
                    if (!store_entry(name_copy, name_length, leading, leading_length, true, value, value_length,
                                     quoted)) {
                        return false;
                    }
                    stored = true;
                }
            }
            if (!keep || stored) return true;
            return store_entry(name_copy, name_length, leading, leading_length, true, nullptr, 0, false);
        }
    }
    if (!wanted(head, name_length)) return true;
    return store_entry(head, name_length, line, static_cast<size_t>(head - line), equals != nullptr, value,
                       value_length, quoted);
}

msvars_set *Reader::run() {
    set_ = space::get_handle_zeroed<msvars_set>(space::Kind::variable_set);
    bool ok = set_ != nullptr;
    if (ok) {
        set_->tag = MSVARS_SET_TAG;
        set_->references = 1;
        set_->text_used = 1;
        set_->keep_comments = keep_comments_ ? 1 : 0;
        if (!msthread_mutex_init(&set_->lock)) {
            space::release_handle(space::Kind::variable_set, set_);
            set_ = nullptr;
            ok = false;
        }
    }
    if (ok) {
        // Offset 0 never names a value.
        set_->text = static_cast<char *>(space::get(kTextStep));
        ok = set_->text != nullptr;
    }
    if (ok) {
        set_->text[0] = '\0';
        set_->text_capacity = kTextStep;
    }
    while (ok && !stop_) {
        int n = next_line(line_);
        if (n < 0) ok = false;
        if (n <= 0) break;
        const char *head = skip_white(line_);
        if (*head == '#' || *head == ':' || *head == '\0') {
            ok = comment_line(line_);
        } else {
            ok = parse_variable(line_, head);
        }
    }
    if (ok) return set_;
    mserror_seterr(err::kVarFileError, 2);
    mserror_setarg_str(source_.name(), 0);
    mserror_setarg(source_.line_number(), 1);
    msvars_freevars(set_);
    return nullptr;
}

msvars_set *read_source(LineSource &source, int keep_comments, Range range = Range::all, const char *start = nullptr,
                        const char *end = nullptr) {
    return Reader(source, keep_comments, range, start, end).run();
}

msvars_set *read_file(const char *path, int keep_comments, Range range, const char *start, const char *end) {
    if (path == nullptr) return nullptr;
    mssio_stream *stream = sio::open_regular_input(path);
    if (stream == nullptr) {
        mserror_seterr(err::kVarFileError, 2);
        mserror_setarg_str(path, 0);
        mserror_setarg(0, 1);
        return nullptr;
    }
    StreamSource source(stream, path);
    msvars_set *set = read_source(source, keep_comments, range, start, end);
    int32_t floor = mserror_cleanup_save();  // a read-only stream has nothing to lose
    mssio_close(stream);
    mserror_cleanup_restore(floor);
    return set;
}

bool needs_quotes(const char *value) {
    size_t n = std::strlen(value);
    unsigned char first = static_cast<unsigned char>(value[0]);
    return is_white(first) || is_white(static_cast<unsigned char>(value[n - 1])) || first == '"' || first == '\'' ||
           first == '[' || first == '\\';
}

// Where the writer puts text: counts only while out is null.
struct Output {
    char *out = nullptr;
    int64_t count = 0;
    void put(const char *text, size_t n) {
        if (out != nullptr && n > 0) std::memcpy(out + count, text, n);
        count += static_cast<int64_t>(n);
    }
    void put(char c) { put(&c, 1); }
};

// A value so that the reader gives it back: as it is, or in double quotes
// with "\\" and "$" escaped.
void put_value(Output &o, const char *value) {
    if (!needs_quotes(value)) return o.put(value, std::strlen(value));
    o.put('"');
    for (const char *v = value; *v != '\0'; ++v) {
        if (*v == '\\' || *v == '$') o.put('\\');
        o.put(*v);
    }
    o.put('"');
}

void put_entry(Output &o, const msvars_set *set, const int32_t *entry) {
    const char *name = entry_name(set, entry);
    const char *value = entry_value(set, entry);
    if (name[0] == '\0') {
        // A comment, blank or nameless line, written back exactly as read.
        // The reader drops one carriage return before the line feed: a
        // line that ends in one gets it back.
        size_t n = value != nullptr ? std::strlen(value) : 0;
        o.put(value, n);
        if (n > 0 && value[n - 1] == '\r') o.put('\r');
    } else {
        bool equals = value != nullptr;
        size_t name_length = std::strlen(name);
        if (set->keep_comments != 0) {
            const char *leading = name + name_length + 1;
            size_t leading_length = std::strlen(leading);
            o.put(leading, leading_length);
            equals = equals || leading[leading_length + 1] != 0;
        }
        o.put(name, name_length);
        if (equals) o.put('=');
        if (value != nullptr) put_value(o, value);
    }
    o.put('\n');
}

}  // namespace

bool entry_range(const msvars_set *set, const int32_t *first, const int32_t *end, const int32_t **from,
                 const int32_t **to) noexcept {
    const int32_t *begin = set->index;
    const int32_t *limit = set->index + set->index_used;
    const int32_t *f = first != nullptr ? first : begin;
    const int32_t *t = end != nullptr ? end : limit;
    auto inside = [&](const int32_t *e) { return e >= begin && e <= limit && (e - begin) % 2 == 0; };
    if (begin == nullptr) {
        *from = *to = nullptr;
        return first == nullptr && end == nullptr;
    }
    if (!inside(f) || !inside(t) || t < f) return false;
    *from = f;
    *to = t;
    return true;
}

const int32_t *find_entry(const msvars_set *set, const char *name, const int32_t *from, const int32_t *to) noexcept {
    for (const int32_t *e = from; e < to; e += 2) {
        if (std::strcmp(set->text + e[0], name) == 0) return e;
    }
    return nullptr;
}

}  // namespace qrv::vars

using namespace qrv::vars;

extern "C" {

QRV_API msvars_set *msvars_readfile(const char *path) noexcept {
    return read_file(path, 0, Range::all, nullptr, nullptr);
}

QRV_API msvars_set *msvars_readfile_ex(const char *path, int keep_comments) noexcept {
    return read_file(path, keep_comments, Range::all, nullptr, nullptr);
}

QRV_API msvars_set *msvars_readfile_include(const char *path, const char *start, const char *end) noexcept {
    if (start == nullptr || end == nullptr) return nullptr;
    return read_file(path, 0, Range::include, start, end);
}

QRV_API msvars_set *msvars_readfile_exclude(const char *path, const char *start, const char *end) noexcept {
    if (start == nullptr || end == nullptr) return nullptr;
    return read_file(path, 0, Range::exclude, start, end);
}

QRV_API msvars_set *msvars_read(void *source, int kind) noexcept {
    if (source == nullptr) return nullptr;
    if (kind == MSVARS_SOURCE_STREAM) {
        StreamSource stream(static_cast<mssio_stream *>(source), "<stream>");
        return read_source(stream, 0);
    }
    if (kind == MSVARS_SOURCE_ROMFILE) {
        if (!qrv::space::is_live(qrv::space::Kind::romfile, source)) return nullptr;
        RomSource rom(static_cast<msromf_file *>(source));
        return read_source(rom, 0);
    }
    if (kind == MSVARS_SOURCE_BUFFER) {
        BufferSource buffer(static_cast<const char **>(source));
        return read_source(buffer, 0);
    }
    return nullptr;
}

QRV_API msvars_set *msvars_readbuf(const char *text) noexcept {
    if (text == nullptr) return nullptr;
    const char *cursor = text;
    BufferSource buffer(&cursor);
    return read_source(buffer, 0);
}

QRV_API msvars_set *msvars_readromfile(const char *name) noexcept {
    msromf_file *file = msromf_open(name);
    if (file == nullptr) return nullptr;
    RomSource rom(file);
    msvars_set *set = read_source(rom, 0);
    msromf_close(file);
    return set;
}

QRV_API char *msvars_genbuf(msvars_set *set, const msvars_entry *first, const msvars_entry *end, int *length) noexcept {
    int dummy = 0;
    int *out_length = length != nullptr ? length : &dummy;
    *out_length = 0;
    const int32_t *from = nullptr, *to = nullptr;
    if (!is_set(set) || !entry_range(set, first, end, &from, &to) || from == to) return nullptr;
    Output counter;
    for (const int32_t *e = from; e < to; e += 2) put_entry(counter, set, e);
    int64_t size = counter.count + 1;
    if (size > INT32_MAX) return nullptr;
    auto *text = static_cast<char *>(mssp_get_ex(static_cast<int>(size), 1));
    if (text == nullptr) return nullptr;
    Output writer{text, 0};
    for (const int32_t *e = from; e < to; e += 2) put_entry(writer, set, e);
    text[writer.count] = '\0';
    *out_length = static_cast<int>(size);
    return text;
}

QRV_API int msvars_freevars(msvars_set *set) noexcept {
    if (set == nullptr) return 1;
    if (!is_set(set)) return 0;
    msthread_mutex_lock(&set->lock);
    int32_t left = --set->references;
    msthread_mutex_unlock(&set->lock);
    if (left > 0 || !qrv::space::retire(qrv::space::Kind::variable_set, set)) return 1;
    msthread_mutex_destroy(&set->lock);
    qrv::space::release(set->index);
    qrv::space::release(set->text);
    set->tag = 0;
    qrv::space::release(set);
    return 1;
}

QRV_API msvars_set *msvars_reopen(msvars_set *set) noexcept {
    if (!is_set(set)) return nullptr;
    msthread_mutex_lock(&set->lock);
    ++set->references;
    msthread_mutex_unlock(&set->lock);
    return set;
}

}  // extern "C"
