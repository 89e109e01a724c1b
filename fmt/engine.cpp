// The formatting engine. A call runs three passes over fixed work areas:
// pass 1 scans the format, fills one descriptor per conversion, types the
// argument slots and writes a rewritten format in which every conversion
// is "%" plus its descriptor number; pass 2 reads the arguments into the
// slots in slot order; pass 3 walks the rewritten format and renders.
// Keeping the parse apart from the arguments lets positional references
// ("%2$d", "*1$") be typed before anything is read.
#include "fmt/engine.h"

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

bool is_position(const unsigned char *p) { return p[0] >= '1' && p[0] <= '9' && p[1] == '$'; }

// Bytes of the character at p, never past the terminator.
int step(const unsigned char *p) {
    auto c = reinterpret_cast<const char *>(p);
    return static_cast<int>(text::next_char(c) - c);
}

// Pass 1 for one conversion at p (a "%" that starts a conversion).
// Returns the position after it, or null when it would pass a limit; then
// nothing of it is kept.
const unsigned char *parse_conversion(Call &call, const unsigned char *p, int &sequential, int used) {
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
            const char *end = mscv_xi(&v, reinterpret_cast<const char *>(q));
            value = end != nullptr ? v : failed;
            if (end != nullptr) q = reinterpret_cast<const unsigned char *>(end);
        }
    };
    star_or_number(d.width_slot, d.width, 0);
    if (*q == '.') {
        ++q;
        d.pad = ' ';
        star_or_number(d.precision_slot, d.precision, -1);
    }
    bool sequential_value = value_slot < 0;
    if (sequential_value) value_slot = next++;
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

    if (call.conversions >= kMaxConversions || next > kMaxSlots || d.width > kMaxWidth ||
        used + 2 > kRewrittenFormatSize - 1) {
        return nullptr;
    }
    // Commit: a slot keeps the type of its first reference; "*" reads an
    // int; a sequential slot past the positional range starts untyped.
    auto type_star = [&](int slot) {
        if (slot < 0) return;
        if (slot >= 9 || call.tags[slot] == kUntyped) call.tags[slot] = kInt;
        if (slot + 1 > call.slot_count) call.slot_count = slot + 1;
    };
    type_star(d.width_slot);
    type_star(d.precision_slot);
    if (sequential_value && value_slot >= 9) call.tags[value_slot] = kUntyped;
    if (d.conversion != nullptr && call.tags[value_slot] == kUntyped) call.tags[value_slot] = d.conversion->tag;
    if (value_slot + 1 > call.slot_count) call.slot_count = value_slot + 1;
    d.value_slot = static_cast<int8_t>(value_slot);
    sequential = next;
    call.desc[call.conversions] = d;
    call.at[call.conversions] = static_cast<int16_t>(used);
    call.rewritten[used] = '%';
    call.rewritten[used + 1] = static_cast<char>('0' + call.conversions);
    ++call.conversions;
    return q;
}

void scan(Call &call, const char *format) {
    auto p = reinterpret_cast<const unsigned char *>(format);
    int used = 0;
    int sequential = 0;
    constexpr int kRoom = kRewrittenFormatSize - 1;
    const unsigned char *percent = p;  // the next "%" or the terminator, from p on
    while (*p != '\0') {
        if (*p != '%') {
            // A run of plain ASCII up to the next "%" or the end (found once
            // by the C library's wide search, not byte by byte), then at most one
            // multibyte character.
            if (percent < p) percent = p;
            if (*percent != '%' && *percent != '\0') {
                percent = reinterpret_cast<const unsigned char *>(strchrnul(reinterpret_cast<const char *>(p), '%'));
            }
            const auto room = static_cast<size_t>(kRoom - used);
            const auto before = static_cast<size_t>(percent - p);
            const size_t i = ascii_run(p, before < room ? before : room);
            const unsigned char *q = p + i;
            if (q == p) {  // one multibyte character
                q += step(p);
                if (std::memchr(p, '%', static_cast<size_t>(q - p)) != nullptr) call.percent_in_character = true;
            }
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
        const unsigned char *next = parse_conversion(call, p, sequential, used);
        if (next == nullptr) break;
        used += 2;
        p = next;
    }
    call.rewritten[used] = '\0';
    call.length = used;
    if (*p != '\0') call.tail = reinterpret_cast<const char *>(p);
}

// Pass 2 from a va_list: each slot by its type, in slot order.
void collect(Call &call, va_list args) {
    for (int i = 0; i < call.slot_count; ++i) {
        uint64_t &bits = call.values[i];
        switch (call.tags[i]) {
            case kChar:
                bits = static_cast<uint8_t>(va_arg(args, int));
                break;
            case kString:
                bits = reinterpret_cast<uintptr_t>(va_arg(args, const char *));
                break;
            case kDouble: {
                double d = va_arg(args, double);
                std::memcpy(&bits, &d, sizeof d);
                break;
            }
            case kLong:
                bits = static_cast<uint64_t>(static_cast<int32_t>(va_arg(args, long)));
                break;
            case kUInt:
                bits = va_arg(args, unsigned);
                break;
            case kULong:
                bits = static_cast<uint32_t>(va_arg(args, unsigned long));
                break;
            case kInt64:
                bits = static_cast<uint64_t>(va_arg(args, long long));
                break;
            case kUInt64:
                bits = va_arg(args, unsigned long long);
                break;
            case kPointer:
                bits = reinterpret_cast<uintptr_t>(va_arg(args, void *));
                break;
            case kWideChar:
                bits = static_cast<uint16_t>(va_arg(args, int));
                break;
            case kWideString:
                bits = reinterpret_cast<uintptr_t>(va_arg(args, const char16_t *));
                break;
            case kUntyped:
            case kInt:
                bits = static_cast<uint64_t>(static_cast<int64_t>(va_arg(args, int)));
                break;
        }
    }
}

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

// Pass 2 from typed values: each slot takes what its type needs.
void collect(Call &call, const Arg *args, int count) {
    for (int i = 0; i < call.slot_count; ++i) {
        uint64_t &bits = call.values[i];
        const Arg none = Arg::of(int64_t{0});
        const Arg &a = args != nullptr && i < count ? args[i] : none;
        int64_t n = number_of(a);
        switch (call.tags[i]) {
            case kChar:
                bits = static_cast<uint8_t>(n);
                break;
            case kWideChar:
                bits = static_cast<uint16_t>(n);
                break;
            case kUntyped:
            case kInt:
            case kLong:
                bits = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(n)));
                break;
            case kUInt:
            case kULong:
                bits = static_cast<uint32_t>(n);
                break;
            case kInt64:
            case kUInt64:
            case kPointer:
                bits = static_cast<uint64_t>(n);
                break;
            case kDouble: {
                double d = a.kind == Arg::Kind::kDouble   ? a.real
                           : a.kind == Arg::Kind::kNumber ? static_cast<double>(a.number)
                                                          : 0.0;
                std::memcpy(&bits, &d, sizeof d);
                break;
            }
            case kString:
                bits = a.kind == Arg::Kind::kString ? reinterpret_cast<uintptr_t>(a.text) : 0;
                break;
            case kWideString:
                bits = a.kind == Arg::Kind::kWideString ? reinterpret_cast<uintptr_t>(a.wide) : 0;
                break;
        }
    }
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

class Renderer {
public:
    Renderer(qrv_sink_fn sink, void *context, const Call &call) : sink_(sink), context_(context), call_(call) {}
    ~Renderer() { space::release(wide_buffer_); }

    void run() {
        if (!call_.percent_pairs) {  // the literal text lies between the conversions pass 1 placed
            int from = 0;
            for (int i = 0; i < call_.conversions; ++i) {
                send(call_.rewritten + from, call_.at[i] - from);
                conversion(call_.desc[i]);
                from = call_.at[i] + 2;
            }
            send(call_.rewritten + from, call_.length - from);
            if (call_.tail != nullptr) send(call_.tail, static_cast<int64_t>(std::strlen(call_.tail)));
            return;
        }
        auto r = reinterpret_cast<const unsigned char *>(call_.rewritten);
        const unsigned char *literal = r;
        while (*r != '\0') {
            if (*r != '%') {
                // Every "%" marks a conversion unless one hides inside a
                // multibyte character; then step by characters as pass 1 did.
                if (!call_.percent_in_character) {
                    r = reinterpret_cast<const unsigned char *>(std::strchr(reinterpret_cast<const char *>(r), '%'));
                    if (r == nullptr) r = literal + std::strlen(reinterpret_cast<const char *>(literal));
                } else {
                    r += step(r);
                }
                continue;
            }
            send(reinterpret_cast<const char *>(literal), r - literal);
            if (r[1] == '%') {
                send("%", 1);
            } else {
                conversion(call_.desc[r[1] - '0']);
            }
            r += 2;
            literal = r;
        }
        send(reinterpret_cast<const char *>(literal), r - literal);
        if (call_.tail != nullptr) send(call_.tail, static_cast<int64_t>(std::strlen(call_.tail)));
    }

private:
    void send(const char *data, int64_t length) {
        while (length > 0) {
            int piece = length > INT32_MAX ? INT32_MAX : static_cast<int>(length);
            sink_(context_, data, piece);
            data += piece;
            length -= piece;
        }
    }

    void fill(char c, int64_t count) {
        const char *run = c == '0' ? kRuns.zeros : c == '*' ? kRuns.stars : kRuns.spaces;
        for (; count > 0; count -= kMaxWidth) send(run, count < kMaxWidth ? count : kMaxWidth);
    }

    int32_t slot_int(int slot) const { return static_cast<int32_t>(call_.values[slot]); }

    void conversion(const Descriptor &d) {
        const Conversion *c = d.conversion;
        if (c == nullptr) return;  // unknown: its letter follows as literal text
        int64_t width = d.width_slot >= 0 ? slot_int(d.width_slot) : d.width;
        if (width < 0) width = 0;
        if (width > kMaxWidth) width = kMaxWidth;
        int64_t precision = d.precision_slot >= 0 ? slot_int(d.precision_slot) : d.precision;
        if (precision < -1) precision = -1;
        const Slot v = call_.slot(d.value_slot);

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
        std::memset(o, '0', static_cast<size_t>(zeros));
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
        char digits[24];
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
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

    // A number's text is printable ASCII, one column per byte.
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
            send(text, prefix);
            fill(d.pad, pad);
            text += prefix;
            length -= prefix;
        }
        if (quoted) send("'", 1);
        send(text, length);
        if (quoted) send("'", 1);
        if (d.left) fill(' ', pad);
    }

    qrv_sink_fn sink_;
    void *context_;
    const Call &call_;
    char number_[kNumberArea];
    char *wide_buffer_ = nullptr;
    int wide_capacity_ = 0;
    char wide_inline_[256];  // short wide texts, without a space
};

}  // namespace

void format_valist(qrv_sink_fn sink, void *context, const char *format, va_list args) noexcept {
    if (sink == nullptr || format == nullptr) return;
    Call call;
    scan(call, format);
    va_list copy;
    va_copy(copy, args);
    collect(call, copy);
    va_end(copy);
    Renderer(sink, context, call).run();
}

void format_args(qrv_sink_fn sink, void *context, const char *format, const Arg *args, int count) noexcept {
    if (sink == nullptr || format == nullptr) return;
    Call call;
    scan(call, format);
    collect(call, args, count);
    Renderer(sink, context, call).run();
}

}  // namespace qrv::fmt
