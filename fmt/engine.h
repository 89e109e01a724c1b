// The formatting engine's internal interface: the entry that takes typed
// argument values instead of a va_list (for renderers whose arguments are
// already values, such as the error stack's), the memory-buffer sink, and
// the seam through which the code-set layer supplies the wide translator.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "qrvdefs.h"

namespace qrv::fmt {

// Work-area limits of one call. A format that goes beyond the conversion,
// slot, rewritten-format or literal-width limit renders the conversions
// before that point and the rest of the format as literal text.
inline constexpr int kMaxConversions = 50;
inline constexpr int kMaxSlots = 50;
inline constexpr int kRewrittenFormatSize = 5120;
inline constexpr int kMaxWidth = 1024;     // larger "*" widths are cut to it
inline constexpr int kMaxPrecision = 512;  // numeric precisions are cut to it

// One argument value. A conversion takes the value it needs from it:
// numbers and doubles convert into each other (doubles truncate, NaN and
// out-of-range values give 0), a string's number is its address, and a
// string conversion given a number prints as a null pointer would.
struct Arg {
    enum class Kind : uint8_t { kNumber, kDouble, kString, kWideString };
    Kind kind;
    union {
        int64_t number;
        double real;
        const char *text;
        const char16_t *wide;
    };

    static Arg of(int64_t v) noexcept {
        Arg a{Kind::kNumber, {}};
        a.number = v;
        return a;
    }
    static Arg of(double v) noexcept {
        Arg a{Kind::kDouble, {}};
        a.real = v;
        return a;
    }
    static Arg of(const char *v) noexcept {
        Arg a{Kind::kString, {}};
        a.text = v;
        return a;
    }
    static Arg of(const char16_t *v) noexcept {
        Arg a{Kind::kWideString, {}};
        a.wide = v;
        return a;
    }
};

// Renders format with args[0, count) into sink; slots past count read as 0
// or a null pointer. Same grammar, limits and output as msfmt_valist.
void format_args(qrv_sink_fn sink, void *context, const char *format, const Arg *args, int count) noexcept;
void format_valist(qrv_sink_fn sink, void *context, const char *format, va_list args) noexcept;

// An output the engine writes into in place, such as the free end of a
// stream's buffer: a piece that fits below end is copied to pos, and line
// is called after it when it holds a line feed; a piece that does not fit
// goes to spill instead. Both callbacks may move pos and end. The pieces
// are those a sink would get.
struct Window {
    char *pos;
    char *end;
    void (*spill)(Window &w, const char *data, int length) noexcept;
    void (*line)(Window &w, int length) noexcept;  // the piece of length bytes ends at pos
};
void format_valist(Window &window, const char *format, va_list args) noexcept;

// format_args through the three passes whatever the format, for the tests
// that hold the single pass to the same output.
void format_args_staged(qrv_sink_fn sink, void *context, const char *format, const Arg *args, int count) noexcept;

// The memory-buffer sink of the msfmt_buffer family: copies what fits below
// limit (no limit when null) to pos and advances pos. Never terminates.
struct BufferSink {
    char *pos;
    char *limit;
};
void buffer_sink(void *context, const char *data, int length) noexcept;

// The wide-character translator (UTF-16 to UTF-8). The code-set layer
// installs it; until then wide conversions print "?" and "(?..?)".
struct WideTranslator {
    // Opens the translator once per process; false on failure (its error
    // record stays on the caller's error stack).
    bool (*open)() noexcept;
    void (*close)() noexcept;
    // Converts the NUL-terminated src into *buffer, a space the engine owns
    // for the call (grown with qrv::space::reget, *capacity its size).
    // Returns the byte length of the text (no terminator), or -1.
    int (*convert)(const char16_t *src, char **buffer, int *capacity) noexcept;
    // Optional: converts src into dst (size bytes, the text and a
    // terminator); the length, or -1 when the text does not fit or does not
    // convert, and the engine then calls convert. Spares short texts the
    // space.
    int (*convert_into)(const char16_t *src, char *dst, int size) noexcept = nullptr;
};
// Installs t (null removes it) and forgets whether it was opened; the
// record must stay valid while installed. Not for use while formatting.
void set_wide_translator(const WideTranslator *t) noexcept;
// Process start and end of the library layer: create and destroy the
// translator's mutex; the end also closes an opened translator.
bool wide_process_start() noexcept;
void wide_process_end() noexcept;

}  // namespace qrv::fmt
