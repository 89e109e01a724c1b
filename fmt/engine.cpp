// The formatting engine. A format without positional references
// ("%2$d", "*1$") renders in a single pass: each conversion reads its
// arguments and renders as the walk over the format meets it. Any other
// format runs three passes over fixed work areas: pass 1 scans the format,
// fills one descriptor per conversion, types the argument slots and writes
// a rewritten format in which every conversion is "%" plus its descriptor
// number; pass 2 reads the arguments into the slots in slot order; pass 3
// walks the rewritten format and renders. Keeping the parse apart from the
// arguments lets positional references be typed before anything is read.
// Both walks take literal text, conversions and limits by the same steps,
// so they hand the output the same pieces.
#include "fmt/engine.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/space.h"
#include "fmt/wide.h"
#include "mscv.h"
#include "msstr.h"
#include "num/float.h"
#include "text/tables.h"

namespace qrv::fmt {
namespace {

// Argument slot types, as the conversions read them.
enum Tag : uint8_t {
    kUntyped = 0,  // read as an int and discarded
    kChar = 1,
    kString = 2,
    kDouble = 3,
    kInt = 4,
    kLong = 5,  // a C long, low 32 bits kept
    kUInt = 6,
    kULong = 7,
    kInt64 = 8,
    kUInt64 = 9,
    kPointer = 10,
    kWideChar = 11,
    kWideString = 12,
};

enum class Render : uint8_t { kChar, kWideChar, kSigned, kUnsigned, kPointer, kString, kWideString, kQuoted, kFloat };

// One conversion: letter and length ("", "l", "ll") to the slot type it
// reads, how it renders, and the base or float letter it uses.
struct Conversion {
    char letter;
    uint8_t length;
    Tag tag;
    Render render;
    char variant;  // base 8/10/16 for integers, the layout letter for floats
    bool upper;    // hexadecimal digits, or the exponent's "e", upper-cased
};

constexpr Conversion kConversions[] = {
    {'c', 0, kChar, Render::kChar, 0, false},
    {'c', 1, kWideChar, Render::kWideChar, 0, false},
    {'c', 2, kWideChar, Render::kWideChar, 0, false},
    {'d', 0, kInt, Render::kSigned, 10, false},
    {'i', 0, kInt, Render::kSigned, 10, false},
    {'d', 1, kLong, Render::kSigned, 10, false},
    {'i', 1, kLong, Render::kSigned, 10, false},
    {'d', 2, kInt64, Render::kSigned, 10, false},
    {'i', 2, kInt64, Render::kSigned, 10, false},
    {'u', 0, kUInt, Render::kUnsigned, 10, false},
    {'u', 1, kULong, Render::kUnsigned, 10, false},
    {'u', 2, kUInt64, Render::kUnsigned, 10, false},
    {'o', 0, kUInt, Render::kUnsigned, 8, false},
    {'o', 1, kULong, Render::kUnsigned, 8, false},
    {'o', 2, kUInt64, Render::kUnsigned, 8, false},
    {'x', 0, kUInt, Render::kUnsigned, 16, false},
    {'x', 1, kULong, Render::kUnsigned, 16, false},
    {'x', 2, kUInt64, Render::kUnsigned, 16, false},
    {'X', 0, kUInt, Render::kUnsigned, 16, true},
    {'X', 1, kULong, Render::kUnsigned, 16, true},
    {'X', 2, kUInt64, Render::kUnsigned, 16, true},
    {'p', 0, kPointer, Render::kPointer, 16, false},
    {'s', 0, kString, Render::kString, 0, false},
    {'s', 1, kWideString, Render::kWideString, 0, false},
    {'s', 2, kWideString, Render::kWideString, 0, false},
    {'Q', 0, kString, Render::kQuoted, 0, false},
    {'Q', 1, kString, Render::kQuoted, 0, false},
    {'Q', 2, kString, Render::kQuoted, 0, false},
    {'e', 0, kDouble, Render::kFloat, 'e', false},
    {'e', 1, kDouble, Render::kFloat, 'E', false},
    {'e', 2, kDouble, Render::kFloat, 'E', false},
    {'E', 0, kDouble, Render::kFloat, 'e', true},
    {'E', 1, kDouble, Render::kFloat, 'E', true},
    {'E', 2, kDouble, Render::kFloat, 'E', true},
    {'f', 0, kDouble, Render::kFloat, 'f', false},
    {'f', 1, kDouble, Render::kFloat, 'F', false},
    {'f', 2, kDouble, Render::kFloat, 'F', false},
    {'g', 0, kDouble, Render::kFloat, 'g', false},
    {'g', 1, kDouble, Render::kFloat, 'G', false},
    {'g', 2, kDouble, Render::kFloat, 'G', false},
    {'G', 0, kDouble, Render::kFloat, 'g', true},
    {'G', 1, kDouble, Render::kFloat, 'G', true},
    {'G', 2, kDouble, Render::kFloat, 'G', true},
};
constexpr int kConversionCount = sizeof kConversions / sizeof kConversions[0];

// Conversion row + 1 by [length][letter]; 0 for an unknown conversion.
struct Lookup {
    uint8_t row[3][128];
};
constexpr Lookup make_lookup() {
    Lookup t{};
    for (int i = 0; i < kConversionCount; ++i) {
        t.row[kConversions[i].length][static_cast<unsigned char>(kConversions[i].letter)] = static_cast<uint8_t>(i + 1);
    }
    return t;
}
constexpr Lookup kLookup = make_lookup();

const Conversion *find_conversion(int length, unsigned char letter) {
    if (letter >= 128) return nullptr;
    int row = kLookup.row[length][letter];
    return row != 0 ? &kConversions[row - 1] : nullptr;
}

// Padding comes from constant runs, sent as one piece each.
struct Runs {
    char spaces[kMaxWidth], zeros[kMaxWidth], stars[kMaxWidth];
};
constexpr Runs make_runs() {
    Runs r{};
    for (int i = 0; i < kMaxWidth; ++i) r.spaces[i] = ' ', r.zeros[i] = '0', r.stars[i] = '*';
    return r;
}
constexpr Runs kRuns = make_runs();

struct Descriptor {
    const Conversion *conversion;  // null: unknown, renders nothing
    char sign;                     // 0, ' ' or '+'
    char pad;                      // ' ' or '0'
    bool alternate;
    bool left;
    int8_t width_slot;  // -1: the width below
    int8_t precision_slot;
    int8_t value_slot;
    int32_t width;
    int32_t precision;  // -1: none
};

struct Slot {
    uint64_t bits;  // integers extended to 64 bits, pointers, a double's bit pattern
    Tag tag;

    double real() const {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    const void *pointer(Tag wanted) const {
        return tag == wanted ? reinterpret_cast<const void *>(static_cast<uintptr_t>(bits)) : nullptr;
    }
};

// The work areas of one call. Slot types start untyped; the values are
// written by pass 2 before anything reads them.
struct Call {
    char rewritten[kRewrittenFormatSize];
    const char *tail = nullptr;         // rest of the format, literal, after a limit
    bool percent_in_character = false;  // a "%" byte inside a multibyte character
    bool percent_pairs = false;         // "%%" in the rewritten format
    int length = 0;                     // of the rewritten format
    int16_t at[kMaxConversions];        // where each conversion's "%" stands in it
    int conversions = 0;
    int slot_count = 0;  // highest slot used + 1
    Tag tags[kMaxSlots] = {};
    uint64_t values[kMaxSlots];
    Descriptor desc[kMaxConversions];

    Slot slot(int i) const { return Slot{values[i], tags[i]}; }
};
// Length of the ASCII run at p within its first n bytes (all of them
// readable): eight bytes per step while none has the high bit.
size_t ascii_run(const unsigned char *p, size_t n) {
    size_t i = 0;
    for (uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, p + i, 8);
        if ((word & 0x8080808080808080u) != 0) break;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Whether the last bytes of the n at p are plain ASCII, as many as a
// character can take after its first byte: then no character of the n
// reaches past them.
bool ends_in_ascii(const unsigned char *p, size_t n) {
    if (n >= 4) {
        uint32_t last;
        std::memcpy(&last, p + n - 4, 4);
        return (last & (kLittleEndian ? 0x80808000u : 0x00808080u)) == 0;
    }
    for (size_t i = 0; i < n; ++i) {
        if (p[i] >= 0x80) return false;
    }
    return true;
}

bool is_position(const unsigned char *p) { return p[0] >= '1' && p[0] <= '9' && p[1] == '$'; }

// Bytes of the character at p, never past the terminator.
int step(const unsigned char *p) {
    auto c = reinterpret_cast<const char *>(p);
    return static_cast<int>(text::next_char(c) - c);
}

// A width or precision number at q (a digit), read as an integer literal:
// up to nine decimal digits here, longer numbers and "0x" by the number
// reader, which reports what it cannot read. The end, or null.
const unsigned char *read_number(const unsigned char *q, int &value) {
    if (q[0] != '0' || (q[1] != 'x' && q[1] != 'X')) {
        int v = 0;
        const unsigned char *e = q;
        for (; e < q + 9 && text::is_digit(static_cast<char>(*e)); ++e) v = v * 10 + (*e - '0');
        if (!text::is_digit(static_cast<char>(*e))) {
            value = v;
            return e;
        }
    }
    const char *end = mscv_xi(&value, reinterpret_cast<const char *>(q));
    return reinterpret_cast<const unsigned char *>(end);
}

// One conversion as parsed: slots are numbered on from the sequential
// count, next is that count after it.
struct Parsed {
    Descriptor d;
    bool sequential_value;
    int next;
    const unsigned char *end;  // the position after it
};

// Parses the conversion at p (a "%" that starts one), which would be the
// conversions-th of the call and stand at used in the rewritten format.
// False when it would pass a limit; then nothing of it counts.
[[gnu::always_inline]] inline bool parse_conversion(const unsigned char *p, int sequential, int conversions, int used,
                                                    Parsed &out) {
    Descriptor d{nullptr, 0, ' ', false, false, -1, -1, -1, 0, -1};
    const unsigned char *q = p + 1;
    int next = sequential;
    int value_slot = -1;
    if (is_position(q)) {
        value_slot = q[0] - '1';
        q += 2;
    }
    if (*q == ' ' || *q == '+') {
        d.sign = static_cast<char>(*q++);
    } else if (*q == '#') {
        d.alternate = true;
        ++q;
    }
    if (*q == '-') {
        d.left = true;
        ++q;
    } else if (*q == '0') {
        d.pad = '0';
        ++q;
    }
    // A width or precision number that does not fit an int reads as none
    // and leaves its digits to be printed.
    auto star_or_number = [&](int8_t &slot, int32_t &value, int32_t failed) {
        if (*q == '*') {
            if (is_position(q + 1)) {
                slot = static_cast<int8_t>(q[1] - '1');
                q += 3;
            } else {
                slot = static_cast<int8_t>(next < kMaxSlots ? next : kMaxSlots);
                ++next;
                ++q;
            }
        } else if (text::is_digit(static_cast<char>(*q))) {
            int v = 0;
            const unsigned char *end = read_number(q, v);
            value = end != nullptr ? v : failed;
            if (end != nullptr) q = end;
        }
    };
    star_or_number(d.width_slot, d.width, 0);
    if (*q == '.') {
        ++q;
        d.pad = ' ';
        star_or_number(d.precision_slot, d.precision, -1);
    }
    out.sequential_value = value_slot < 0;
    if (out.sequential_value) value_slot = next++;
    int length = 0;
    if (*q == 'l') {
        ++q;
        length = 1;
        if (*q == 'l') {
            ++q;
            length = 2;
        }
    }
    d.conversion = find_conversion(length, *q);
    if (d.conversion != nullptr) ++q;

    if (conversions >= kMaxConversions || next > kMaxSlots || d.width > kMaxWidth ||
        used + 2 > kRewrittenFormatSize - 1) {
        return false;
    }
    d.value_slot = static_cast<int8_t>(value_slot);
    out.d = d;
    out.next = next;
    out.end = q;
    return true;
}

// Pass 1's step over literal text at p (not a "%"): the run of plain ASCII
// up to the next "%" or the end (found once by the C library's wide search
// and kept in percent), cut to room bytes, or else one multibyte character.
// Returns the end of the step; a step longer than room passes the limit.
const unsigned char *literal_step(const unsigned char *p, const unsigned char *&percent, int room,
                                  bool &percent_in_character) {
    if (percent < p) percent = p;
    if (*percent != '%' && *percent != '\0') {
        percent = reinterpret_cast<const unsigned char *>(strchrnul(reinterpret_cast<const char *>(p), '%'));
    }
    const auto before = static_cast<size_t>(percent - p);
    const size_t i = ascii_run(p, before < static_cast<size_t>(room) ? before : static_cast<size_t>(room));
    const unsigned char *q = p + i;
    if (q == p) {  // one multibyte character
        q += step(p);
        if (std::memchr(p, '%', static_cast<size_t>(q - p)) != nullptr) percent_in_character = true;
    }
    return q;
}

constexpr int kRoom = kRewrittenFormatSize - 1;  // of the rewritten format, before its terminator

// Pass 1 keeps a parsed conversion: a slot keeps the type of its first
// reference; "*" reads an int; a sequential slot past the positional range
// starts untyped.
void commit(Call &call, const Parsed &c, int used) {
    const Descriptor &d = c.d;
    auto type_star = [&](int slot) {
        if (slot < 0) return;
        if (slot >= 9 || call.tags[slot] == kUntyped) call.tags[slot] = kInt;
        if (slot + 1 > call.slot_count) call.slot_count = slot + 1;
    };
    type_star(d.width_slot);
    type_star(d.precision_slot);
    const int value_slot = d.value_slot;
    if (c.sequential_value && value_slot >= 9) call.tags[value_slot] = kUntyped;
    if (d.conversion != nullptr && call.tags[value_slot] == kUntyped) call.tags[value_slot] = d.conversion->tag;
    if (value_slot + 1 > call.slot_count) call.slot_count = value_slot + 1;
    call.desc[call.conversions] = d;
    call.at[call.conversions] = static_cast<int16_t>(used);
    call.rewritten[used] = '%';
    call.rewritten[used + 1] = static_cast<char>('0' + call.conversions);
    ++call.conversions;
}

void scan(Call &call, const char *format) {
    auto p = reinterpret_cast<const unsigned char *>(format);
    int used = 0;
    int sequential = 0;
    const unsigned char *percent = p;  // the next "%" or the terminator, from p on
    while (*p != '\0') {
        if (*p != '%') {
            const unsigned char *q = literal_step(p, percent, kRoom - used, call.percent_in_character);
            auto n = static_cast<int>(q - p);
            if (used + n > kRoom) break;
            std::memcpy(call.rewritten + used, p, static_cast<size_t>(n));
            used += n;
            p = q;
            continue;
        }
        if (p[1] == '%' || p[1] == '\0') {  // a final "%" prints itself too
            if (used + 2 > kRoom) break;
            call.rewritten[used++] = '%';
            call.rewritten[used++] = '%';
            call.percent_pairs = true;
            p += p[1] == '%' ? 2 : 1;
            continue;
        }
        Parsed c;
        if (!parse_conversion(p, sequential, call.conversions, used, c)) break;
        commit(call, c, used);
        sequential = c.next;
        used += 2;
        p = c.end;
    }
    call.rewritten[used] = '\0';
    call.length = used;
    if (*p != '\0') call.tail = reinterpret_cast<const char *>(p);
}

// Argument values in slot order, each read as its slot type wants.
class VaReader {
public:
    explicit VaReader(va_list args) { va_copy(args_, args); }
    ~VaReader() { va_end(args_); }
    VaReader(const VaReader &) = delete;
    VaReader &operator=(const VaReader &) = delete;

    uint64_t read(Tag tag) {
        switch (tag) {
            case kChar:
                return static_cast<uint8_t>(va_arg(args_, int));
            case kString:
                return reinterpret_cast<uintptr_t>(va_arg(args_, const char *));
            case kDouble: {
                double d = va_arg(args_, double);
                uint64_t bits;
                std::memcpy(&bits, &d, sizeof bits);
                return bits;
            }
            case kLong:
                return static_cast<uint64_t>(static_cast<int32_t>(va_arg(args_, long)));
            case kUInt:
                return va_arg(args_, unsigned);
            case kULong:
                return static_cast<uint32_t>(va_arg(args_, unsigned long));
            case kInt64:
                return static_cast<uint64_t>(va_arg(args_, long long));
            case kUInt64:
                return va_arg(args_, unsigned long long);
            case kPointer:
                return reinterpret_cast<uintptr_t>(va_arg(args_, void *));
            case kWideChar:
                return static_cast<uint16_t>(va_arg(args_, int));
            case kWideString:
                return reinterpret_cast<uintptr_t>(va_arg(args_, const char16_t *));
            case kUntyped:
            case kInt:
                break;
        }
        return static_cast<uint64_t>(static_cast<int64_t>(va_arg(args_, int)));
    }

private:
    va_list args_;
};

int64_t number_of(const Arg &a) {
    switch (a.kind) {
        case Arg::Kind::kNumber:
            return a.number;
        case Arg::Kind::kDouble:
            return std::isfinite(a.real) && std::fabs(a.real) < 9.2233720368547758e18 ? static_cast<int64_t>(a.real)
                                                                                      : 0;
        case Arg::Kind::kString:
            return static_cast<int64_t>(reinterpret_cast<uintptr_t>(a.text));
        case Arg::Kind::kWideString:
            return static_cast<int64_t>(reinterpret_cast<uintptr_t>(a.wide));
    }
    return 0;
}

// Typed values as arguments: each takes what its slot type needs; slots
// past count read as 0 or a null pointer.
class ArgReader {
public:
    ArgReader(const Arg *args, int count) : args_(args), count_(count) {}

    uint64_t read(Tag tag) {
        const Arg none = Arg::of(int64_t{0});
        const Arg &a = args_ != nullptr && next_ < count_ ? args_[next_] : none;
        ++next_;
        int64_t n = number_of(a);
        switch (tag) {
            case kChar:
                return static_cast<uint8_t>(n);
            case kWideChar:
                return static_cast<uint16_t>(n);
            case kUntyped:
            case kInt:
            case kLong:
                return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(n)));
            case kUInt:
            case kULong:
                return static_cast<uint32_t>(n);
            case kInt64:
            case kUInt64:
            case kPointer:
                return static_cast<uint64_t>(n);
            case kDouble: {
                double d = a.kind == Arg::Kind::kDouble   ? a.real
                           : a.kind == Arg::Kind::kNumber ? static_cast<double>(a.number)
                                                          : 0.0;
                uint64_t bits;
                std::memcpy(&bits, &d, sizeof d);
                return bits;
            }
            case kString:
                return a.kind == Arg::Kind::kString ? reinterpret_cast<uintptr_t>(a.text) : 0;
            case kWideString:
                return a.kind == Arg::Kind::kWideString ? reinterpret_cast<uintptr_t>(a.wide) : 0;
        }
        return 0;
    }

private:
    const Arg *args_;
    int count_;
    int next_ = 0;
};

// Pass 2: each slot by its type, in slot order.
template <class Reader>
void collect(Call &call, Reader &reader) {
    for (int i = 0; i < call.slot_count; ++i) call.values[i] = reader.read(call.tags[i]);
}

constexpr bool one_column_each(const char *s) {
    for (; *s != '\0'; ++s) {
        if (text::display_width(*s) != 1) return false;
    }
    return true;
}
static_assert(one_column_each("0123456789abcdefABCDEFxX+- .eEInfinityNa"), "number text is one column per byte");

// Large enough for every numeric text: "%f" of the largest double at the
// largest precision (sign, 309 digits, point, 512 decimals), and integers
// with 512 digits of precision.
constexpr int kNumberArea = 832;

// Where the renderer's pieces go. plain: the piece holds no line feed
// (number texts and padding).
struct ToSink {
    qrv_sink_fn sink;
    void *context;
    void put(const char *data, int length, bool /*plain*/) const { sink(context, data, length); }
};

// Whether the n bytes at p (n > 0) hold a line feed. A line's last piece
// mostly ends with it; short pieces are searched a word at a time, without
// a call.
bool has_line_feed(const char *p, size_t n) {
    if (p[n - 1] == '\n') return true;
    if (n > 8) return std::memchr(p, '\n', n - 1) != nullptr;
    if (n >= 4) {
        constexpr uint32_t kOnes = 0x01010101u, kHigh = 0x80808080u;
        auto feed_in = [](uint32_t word) {
            const uint32_t x = word ^ (kOnes * '\n');  // a zero byte where a line feed was
            return ((x - kOnes) & ~x & kHigh) != 0;
        };
        uint32_t first, last;
        std::memcpy(&first, p, 4);
        std::memcpy(&last, p + n - 4, 4);
        return feed_in(first) || feed_in(last);
    }
    for (size_t i = 0; i + 1 < n; ++i) {
        if (p[i] == '\n') return true;
    }
    return false;
}

struct ToWindow {
    Window *window;
    void put(const char *data, int length, bool plain) const {
        Window &w = *window;
        if (length > w.end - w.pos) {
            w.spill(w, data, length);
            return;
        }
        std::memcpy(w.pos, data, static_cast<size_t>(length));
        w.pos += length;
        if (!plain && has_line_feed(data, static_cast<size_t>(length))) w.line(w, length);
    }
};

template <class Out>
class Renderer {
public:
    explicit Renderer(Out out) : out_(out) {}
    ~Renderer() {
        if (wide_buffer_ != nullptr) space::release(wide_buffer_);
    }
    Renderer(const Renderer &) = delete;
    Renderer &operator=(const Renderer &) = delete;

    // Pass 3.
    void run(const Call &call) {
        if (!call.percent_pairs) {  // the literal text lies between the conversions pass 1 placed
            int from = 0;
            for (int i = 0; i < call.conversions; ++i) {
                literal(call.rewritten + from, call.at[i] - from);
                conversion(call, call.desc[i]);
                from = call.at[i] + 2;
            }
            literal(call.rewritten + from, call.length - from);
            if (call.tail != nullptr) literal(call.tail, static_cast<int64_t>(std::strlen(call.tail)));
            return;
        }
        auto r = reinterpret_cast<const unsigned char *>(call.rewritten);
        const unsigned char *run = r;
        while (*r != '\0') {
            if (*r != '%') {
                // Every "%" marks a conversion unless one hides inside a
                // multibyte character; then step by characters as pass 1 did.
                if (!call.percent_in_character) {
                    r = reinterpret_cast<const unsigned char *>(std::strchr(reinterpret_cast<const char *>(r), '%'));
                    if (r == nullptr) r = run + std::strlen(reinterpret_cast<const char *>(run));
                } else {
                    r += step(r);
                }
                continue;
            }
            literal(reinterpret_cast<const char *>(run), r - run);
            if (r[1] == '%') {
                percent();
            } else {
                conversion(call, call.desc[r[1] - '0']);
            }
            r += 2;
            run = r;
        }
        literal(reinterpret_cast<const char *>(run), r - run);
        if (call.tail != nullptr) literal(call.tail, static_cast<int64_t>(std::strlen(call.tail)));
    }

    void literal(const char *data, int64_t length) { send(data, length, false); }
    void percent() { send("%", 1, true); }

    // A conversion with its width and precision as read (an int's value or
    // the literal number) and its value.
    void conversion(const Descriptor &d, int64_t width, int64_t precision, const Slot &v) {
        const Conversion *c = d.conversion;
        if (c == nullptr) return;  // unknown: its letter follows as literal text
        if (width < 0) width = 0;
        if (width > kMaxWidth) width = kMaxWidth;
        if (precision < -1) precision = -1;

        const char *text = number_;
        int64_t length = 0;
        bool quoted = false;
        switch (c->render) {
            case Render::kChar:
                number_[0] = static_cast<char>(v.bits);
                number_[1] = '\0';
                length = 1;
                break;
            case Render::kSigned:
                length =
                    c->tag == kInt64 ? signed_text<int64_t>(v, d, precision) : signed_text<int32_t>(v, d, precision);
                break;
            case Render::kUnsigned:
            case Render::kPointer:
                length = c->tag == kInt64 || c->tag == kUInt64 || c->tag == kPointer
                             ? unsigned_text<uint64_t>(v, d, *c, precision)
                             : unsigned_text<uint32_t>(v, d, *c, precision);
                break;
            case Render::kFloat:
                length = float_text(v, d, *c, precision);
                break;
            case Render::kString:
                text = static_cast<const char *>(v.pointer(kString));
                if (text == nullptr) text = "(nil)";
                length = cut(text, static_cast<int64_t>(std::strlen(text)), precision);
                break;
            case Render::kQuoted:
                text = static_cast<const char *>(v.pointer(kString));
                quoted = text != nullptr;
                if (text == nullptr) text = "NULL";
                length = static_cast<int64_t>(std::strlen(text));
                break;
            case Render::kWideString: {
                auto wide = static_cast<const char16_t *>(v.pointer(kWideString));
                text = wide == nullptr ? "(nil)" : translate(wide, &length);
                if (text == nullptr) text = "(?..?)";
                if (wide == nullptr || length < 0) length = static_cast<int64_t>(std::strlen(text));
                length = cut(text, length, precision);
                break;
            }
            case Render::kWideChar: {
                const char16_t unit[2] = {static_cast<char16_t>(v.bits), u'\0'};
                text = translate(unit, &length);
                if (text == nullptr) text = "?", length = 1;
                break;
            }
        }
        const bool number = c->render == Render::kSigned || c->render == Render::kUnsigned ||
                            c->render == Render::kPointer || c->render == Render::kFloat;
        field(d, width, text, length, quoted, number);
    }

private:
    void send(const char *data, int64_t length, bool plain) {
        while (length > 0) {
            int piece = length > INT32_MAX ? INT32_MAX : static_cast<int>(length);
            out_.put(data, piece, plain);
            data += piece;
            length -= piece;
        }
    }

    void fill(char c, int64_t count) {
        const char *run = c == '0' ? kRuns.zeros : c == '*' ? kRuns.stars : kRuns.spaces;
        for (; count > 0; count -= kMaxWidth) send(run, count < kMaxWidth ? count : kMaxWidth, true);
    }

    void conversion(const Call &call, const Descriptor &d) {
        auto slot_int = [&](int slot) { return static_cast<int32_t>(call.values[slot]); };
        conversion(d, d.width_slot >= 0 ? slot_int(d.width_slot) : d.width,
                   d.precision_slot >= 0 ? slot_int(d.precision_slot) : d.precision, call.slot(d.value_slot));
    }

    // Display width of text[0, length); text is terminated at length.
    static int64_t columns(const char *text, int64_t length) {
        return msstr_nlength_disp(text, length > INT32_MAX ? INT32_MAX : static_cast<int>(length));
    }

    // String precision: cut before the first character that would take the
    // running display width past it.
    static int64_t cut(const char *s, int64_t length, int64_t precision) {
        if (precision < 0 || precision >= columns(s, length)) return length;
        int64_t width = 0;
        for (int64_t i = 0; i < length; i += text::char_length(s[i])) {
            width += text::display_width(s[i]);
            if (width > precision) return i;
        }
        return length;
    }

    // Integer precision pads the digits after the prefix (sign, "-", "0x").
    int64_t digits_after(char *o, const char *digits, int64_t count, int64_t precision) {
        if (precision > kMaxPrecision) precision = kMaxPrecision;
        int64_t zeros = precision > count ? precision - count : 0;
        if (zeros > 0) std::memset(o, '0', static_cast<size_t>(zeros));
        std::memcpy(o + zeros, digits, static_cast<size_t>(count));
        o[zeros + count] = '\0';
        return (o - number_) + zeros + count;
    }

    template <typename T>
    int64_t signed_text(const Slot &v, const Descriptor &d, int64_t precision) {
        auto value = static_cast<T>(v.bits);
        char *o = number_;
        if (value < 0) {
            *o++ = '-';
        } else if (d.sign != 0) {
            *o++ = d.sign;
        }
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        if (precision <= 1) return mscv_u64x(o, magnitude, 10) - number_;  // no zeros to put before the digits
        char digits[24];
        int64_t count = mscv_u64x(digits, magnitude, 10) - digits;
        return digits_after(o, digits, count, precision);
    }

    template <typename T>
    int64_t unsigned_text(const Slot &v, const Descriptor &d, const Conversion &c, int64_t precision) {
        auto value = static_cast<T>(v.bits);
        char *o = number_;
        char digits[26];
        char *e = digits;
        if (c.render == Render::kPointer || (d.alternate && c.variant == 16)) {
            *o++ = '0';
            *o++ = c.upper ? 'X' : 'x';
        } else if (d.alternate && c.variant == 8) {
            *e++ = '0';  // counts among the digits for the precision
        }
        e = mscv_u64x(e, value, c.variant);
        if (c.upper) {
            for (char *p = digits; p < e; ++p) {
                if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
            }
        }
        return digits_after(o, digits, e - digits, precision);
    }

    int64_t float_text(const Slot &v, const Descriptor &d, const Conversion &c, int64_t precision) {
        double x = v.real();
        char *o = number_;
        if (d.sign != 0 && x >= 0.0) *o++ = d.sign;  // never for a NaN
        char digits[32];
        int exponent = 0;
        flt::digits(&exponent, digits, x);
        int p = precision > kMaxPrecision ? kMaxPrecision : static_cast<int>(precision);
        char *end = flt::layout(o, exponent, digits, p, c.variant, d.alternate);
        if (c.upper) {
            if (char *e = static_cast<char *>(std::memchr(number_, 'e', static_cast<size_t>(end - number_)))) *e = 'E';
        }
        return end - number_;
    }

    // The translated text, valid until the next wide conversion of this call,
    // or null when there is no translator or it fails.
    const char *translate(const char16_t *wide, int64_t *length) {
        int n = wide::translate_into(wide, wide_inline_, sizeof wide_inline_);
        if (n >= 0) {
            *length = n;
            return wide_inline_;
        }
        n = wide::translate(wide, &wide_buffer_, &wide_capacity_);
        *length = n;
        return n >= 0 ? wide_buffer_ : nullptr;
    }
    // A number's text is printable ASCII, one column per byte, and holds no
    // line feed.
    void field(const Descriptor &d, int64_t width, const char *text, int64_t length, bool quoted, bool number) {
        int64_t pad = 0;
        if (width > 0) {
            int64_t w = number ? length : columns(text, length);
            if (w > width) {
                fill('*', width);
                return;
            }
            pad = width - w;
        }
        if (!d.left && pad > 0) {
            int64_t prefix = 0;
            if (d.pad == '0' && !quoted && length > 0) {
                if (text[0] == '+' || text[0] == '-' || text[0] == ' ') {
                    prefix = 1;
                } else if (length > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
                    prefix = 2;
                }
            }
            send(text, prefix, number);
            fill(d.pad, pad);
            text += prefix;
            length -= prefix;
        }
        if (quoted) send("'", 1, true);
        send(text, length, number);
        if (quoted) send("'", 1, true);
        if (d.left) fill(' ', pad);
    }

    Out out_;
    char number_[kNumberArea];
    char *wide_buffer_ = nullptr;
    int wide_capacity_ = 0;
    char wide_inline_[256];  // short wide texts, without a space
};

// The single pass, for formats without positional references: literal
// text, "%%" and limits taken as pass 1 takes them, and each conversion's
// sequential slots (width, precision, value) read in slot order as it is
// met, so the output gets the pieces the three passes would give it.
template <class Out, class Reader>
void single_pass(Renderer<Out> &r, const char *format, Reader &reader) {
    auto p = reinterpret_cast<const unsigned char *>(format);
    const unsigned char *run = p;       // literal text not yet sent
    const unsigned char *percent = p;   // the next "%" or the terminator, from p on
    bool percent_in_character = false;  // matters only to pass 3
    int used = 0;                       // what the rewritten format would hold
    int sequential = 0;
    int conversions = 0;
    auto flush_run = [&] { r.literal(reinterpret_cast<const char *>(run), p - run); };
    while (*p != '\0') {
        if (*p != '%') {
            // Mostly the whole run to the next "%" fits and ends in ASCII,
            // and pass 1 would take it whole.
            if (percent < p) percent = p;
            if (*percent != '%' && *percent != '\0') {
                percent = reinterpret_cast<const unsigned char *>(strchrnul(reinterpret_cast<const char *>(p), '%'));
            }
            const auto whole = static_cast<size_t>(percent - p);
            if (whole <= static_cast<size_t>(kRoom - used) && ends_in_ascii(p, whole)) {
                used += static_cast<int>(whole);
                p = percent;
                continue;
            }
            const unsigned char *q = literal_step(p, percent, kRoom - used, percent_in_character);
            auto n = static_cast<int>(q - p);
            if (used + n > kRoom) break;
            used += n;
            p = q;
            continue;
        }
        if (p[1] == '%' || p[1] == '\0') {
            if (used + 2 > kRoom) break;
            flush_run();
            r.percent();
            used += 2;
            p += p[1] == '%' ? 2 : 1;
            run = p;
            continue;
        }
        Parsed c;
        if (!parse_conversion(p, sequential, conversions, used, c)) break;
        flush_run();
        const Descriptor &d = c.d;
        int64_t width = d.width_slot >= 0 ? static_cast<int32_t>(reader.read(kInt)) : d.width;
        int64_t precision = d.precision_slot >= 0 ? static_cast<int32_t>(reader.read(kInt)) : d.precision;
        const Tag tag = d.conversion != nullptr ? d.conversion->tag : kUntyped;
        r.conversion(d, width, precision, Slot{reader.read(tag), tag});
        ++conversions;
        sequential = c.next;
        used += 2;
        p = c.end;
        run = p;
    }
    flush_run();
    if (*p != '\0') {
        auto tail = reinterpret_cast<const char *>(p);
        r.literal(tail, static_cast<int64_t>(std::strlen(tail)));
    }
}

// The three passes; kept out of line, so that the single pass does not
// carry their work areas.
template <class Out, class Reader>
[[gnu::noinline]] void three_passes(Renderer<Out> &r, const char *format, Reader &reader) {
    Call call;
    scan(call, format);
    collect(call, reader);
    r.run(call);
}

template <class Out, class Reader>
[[gnu::always_inline]] inline void render(Out out, const char *format, Reader &reader) {
    Renderer<Out> r(out);
    if (std::strchr(format, '$') == nullptr) {
        single_pass(r, format, reader);
    } else {
        three_passes(r, format, reader);
    }
}

}  // namespace

void format_valist(qrv_sink_fn sink, void *context, const char *format, va_list args) noexcept {
    if (sink == nullptr || format == nullptr) return;
    VaReader reader(args);
    render(ToSink{sink, context}, format, reader);
}

void format_args(qrv_sink_fn sink, void *context, const char *format, const Arg *args, int count) noexcept {
    if (sink == nullptr || format == nullptr) return;
    ArgReader reader(args, count);
    render(ToSink{sink, context}, format, reader);
}

void format_valist(Window &window, const char *format, va_list args) noexcept {
    if (format == nullptr) return;
    VaReader reader(args);
    render(ToWindow{&window}, format, reader);
}

void format_args_staged(qrv_sink_fn sink, void *context, const char *format, const Arg *args, int count) noexcept {
    if (sink == nullptr || format == nullptr) return;
    ArgReader reader(args, count);
    Renderer<ToSink> r(ToSink{sink, context});
    three_passes(r, format, reader);
}

}  // namespace qrv::fmt
