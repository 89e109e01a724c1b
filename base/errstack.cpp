// The per-thread error stack: entries of 64-bit words (arguments, descriptor,
// id), string arguments by offset in one growing buffer, a cleanup floor and
// two caller slots. Strictly per thread, so no locks.
#include "base/errstack.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "base/errids.h"
#include "base/space.h"
#include "mserror.h"
#include "msos.h"

namespace qrv::errstack {
namespace {

struct Stack {
    int64_t *words;
    int32_t top;
    int32_t capacity;
    char *strings;
    int32_t string_used;
    int32_t string_capacity;
    int32_t floor;
    void *slots[2];
};

constexpr int kInitialWords = 10;
constexpr int64_t kWordStep = 10;
constexpr int64_t kStringStep = 1024;

std::atomic<Reallocator> g_realloc{space::reget_quiet};

void *reallocate(void *block, int64_t size) {
    if (size > INT_MAX) return nullptr;
    return g_realloc.load(std::memory_order_relaxed)(block, static_cast<int>(size), 1);
}

void release(void *block) {
    if (block != nullptr) g_realloc.load(std::memory_order_relaxed)(block, 0, 0);
}

Stack *current() {
    if (void *cached = ctx::cached_error_stack()) return static_cast<Stack *>(cached);
    ctx::Anchor *anchor = ctx::current_anchor();
    Stack *s = anchor != nullptr ? static_cast<Stack *>(anchor->error_stack) : nullptr;
    ctx::cache_error_stack(s);
    return s;
}

// The top entry's descriptor word, or null when no entry is visible.
int64_t *top_descriptor(Stack *s) {
    if (s == nullptr || s->top <= s->floor || s->top < 2) return nullptr;
    return &s->words[s->top - 2];
}

int64_t *argument_word(Stack *s, int64_t *desc, int i) {
    if (i < 0 || i >= MSERROR_DESC_NARGS(*desc)) return nullptr;
    return &s->words[s->top - 3 - i];
}

// Losing the words keeps the thread usable: the next push starts afresh.
void lose_words(Stack *s) {
    release(s->words);
    s->words = nullptr;
    s->top = s->capacity = s->floor = 0;
}

bool grow_words(Stack *s, int64_t needed) {
    int64_t capacity = space::grown_capacity(
        s->capacity, s->capacity + kWordStep * ((needed - s->capacity - 1) / kWordStep) + kWordStep, INT_MAX / 8);
    auto *words = static_cast<int64_t *>(reallocate(s->words, capacity * 8));
    if (words == nullptr) return false;
    std::memset(words + s->capacity, 0, static_cast<size_t>(capacity - s->capacity) * 8);
    s->words = words;
    s->capacity = static_cast<int32_t>(capacity);
    return true;
}

// Copies text into the string buffer; its offset, or -1 if the buffer could
// not grow (the buffer is then forgotten).
int64_t store_string(Stack *s, const char *text) {
    int64_t length = static_cast<int64_t>(std::strlen(text)) + 1;
    int64_t free_bytes = s->string_capacity - s->string_used;
    if (free_bytes < length) {
        // text may lie in the buffer itself (an argument read back and pushed again)
        bool inside = s->strings != nullptr && text >= s->strings && text < s->strings + s->string_capacity;
        int64_t inside_offset = inside ? text - s->strings : 0;
        free_bytes += (length - free_bytes - 1) / kStringStep * kStringStep + kStringStep;
        free_bytes = space::grown_capacity(s->string_capacity, s->string_used + free_bytes, INT_MAX) - s->string_used;
        auto *grown = static_cast<char *>(reallocate(s->strings, s->string_used + free_bytes));
        if (grown == nullptr) {
            release(s->strings);
            s->strings = nullptr;
            s->string_used = s->string_capacity = 0;
            return -1;
        }
        s->strings = grown;
        s->string_capacity = static_cast<int32_t>(s->string_used + free_bytes);
        if (inside) text = grown + inside_offset;
    }
    int64_t offset = s->string_used;
    std::memmove(s->strings + offset, text, static_cast<size_t>(length));
    s->string_used = static_cast<int32_t>(offset + length);
    return offset;
}

}  // namespace

void set_reallocator(Reallocator fn) noexcept {
    if (fn != nullptr) g_realloc.store(fn, std::memory_order_relaxed);
}

bool create(ctx::Anchor *anchor) noexcept {
    if (anchor->error_stack != nullptr) return true;
    auto *s = static_cast<Stack *>(reallocate(nullptr, sizeof(Stack)));
    if (s == nullptr) return false;
    std::memset(s, 0, sizeof *s);
    s->words = static_cast<int64_t *>(reallocate(nullptr, kInitialWords * 8));
    if (s->words != nullptr) {
        std::memset(s->words, 0, kInitialWords * 8);
        s->capacity = kInitialWords;
    }
    anchor->error_stack = s;
    ctx::cache_error_stack(nullptr);
    return true;
}

void destroy(ctx::Anchor *anchor) noexcept {
    auto *s = static_cast<Stack *>(anchor->error_stack);
    if (s == nullptr) return;
    release(s->slots[0]);
    release(s->slots[1]);
    release(s->words);
    release(s->strings);
    release(s);
    anchor->error_stack = nullptr;
    ctx::cache_error_stack(nullptr);
}

}  // namespace qrv::errstack

namespace qrv::errstack {
namespace {

// The operations on one thread's stack; the exported forms look the stack up
// once and combine these.
// Makes room for needed words; out of line so that pushes stay lean.
[[gnu::noinline, gnu::cold]] bool make_room(Stack *s, int64_t needed) {
    if (grow_words(s, needed)) return true;
    lose_words(s);
    return false;
}

void push(Stack *s, int32_t id, int n) {
    if (s == nullptr || n < 0) return;
    if (n > MSERROR_MAX_ARGS) n = MSERROR_MAX_ARGS;
    int64_t needed = static_cast<int64_t>(s->top) + n + 2;
    if (s->capacity < needed && !make_room(s, needed)) return;
    s->top = static_cast<int32_t>(needed);
    s->words[s->top - 1] = id;
    s->words[s->top - 2] = n;
}

// An entry whose arguments are all numbers, written in one go.
template <int N>
void push_numbers(Stack *s, int32_t id, const int64_t (&args)[N]) {
    if (s == nullptr) return;
    int64_t needed = static_cast<int64_t>(s->top) + N + 2;
    if (s->capacity < needed && !make_room(s, needed)) return;
    int64_t *entry = s->words + s->top;
    for (int i = 0; i < N; ++i) entry[N - 1 - i] = args[i];
    entry[N] = N;
    entry[N + 1] = id;
    s->top = static_cast<int32_t>(needed);
}

int64_t string_bits(int i) { return (int64_t{1} << (8 + i)) | (int64_t{1} << (kLostStringShift + i)); }

void set_number(Stack *s, int64_t value, int i) {
    int64_t *desc = top_descriptor(s);
    if (desc == nullptr) return;
    if (int64_t *word = argument_word(s, desc, i)) {
        *word = value;
        *desc &= ~string_bits(i);
    }
}

// The string area was lost: every string argument below the top, hidden
// ones included, held an offset into it that later strings would reuse.
// Each becomes the number 0, marked lost.
void forget_strings(Stack *s) {
    for (int32_t top = s->top; top >= 2;) {
        int64_t &desc = s->words[top - 2];
        int n = MSERROR_DESC_NARGS(desc);
        if (n > MSERROR_MAX_ARGS || top - 2 - n < 0) return;  // not an entry: restored to an odd place
        for (int i = 0; i < n; ++i) {
            if (!MSERROR_DESC_IS_STR(desc, i)) continue;
            s->words[top - 3 - i] = 0;
            desc = (desc & ~string_bits(i)) | (int64_t{1} << (kLostStringShift + i));
        }
        top -= n + 2;
    }
}

void set_string(Stack *s, const char *text, int i) {
    int64_t *desc = top_descriptor(s);
    if (desc == nullptr || argument_word(s, desc, i) == nullptr) return;
    int64_t offset = store_string(s, text != nullptr ? text : "(nil)");
    int64_t *word = &s->words[s->top - 3 - i];
    if (offset < 0) {
        forget_strings(s);
        *word = 0;
        *desc = (*desc & ~string_bits(i)) | (int64_t{1} << (kLostStringShift + i));
    } else {
        *word = offset;
        *desc = (*desc & ~string_bits(i)) | (int64_t{1} << (8 + i));
    }
}

void reset(Stack *s) {
    if (s == nullptr) return;
    s->top = s->floor;
    if (s->floor < 1) s->string_used = 0;
}

// An entry whose arguments are all strings.
void push_strings(Stack *s, int32_t id, std::initializer_list<const char *> texts) {
    push(s, id, static_cast<int>(texts.size()));
    int i = 0;
    for (const char *text : texts) set_string(s, text, i++);
}

}  // namespace
}  // namespace qrv::errstack

using namespace qrv::errstack;

extern "C" {

QRV_API void mserror_seterr(int32_t id, int n) noexcept { push(current(), id, n); }

QRV_API void mserror_setarg(int64_t value, int i) noexcept { set_number(current(), value, i); }

QRV_API void mserror_setarg_str(const char *text, int i) noexcept { set_string(current(), text, i); }

QRV_API void mserror_reset(void) noexcept { reset(current()); }

QRV_API void mserror_reset_seterr(int32_t id, int n) noexcept {
    Stack *s = current();
    reset(s);
    push(s, id, n);
}

QRV_API void mserror_reset_seterr_1arg(int32_t id, int64_t a) noexcept {
    Stack *s = current();
    reset(s);
    push_numbers(s, id, {a});
}

QRV_API void mserror_reset_seterr_1arg_str(int32_t id, const char *s1) noexcept {
    Stack *s = current();
    reset(s);
    push_strings(s, id, {s1});
}

QRV_API void mserror_reset_seterr_2arg_str(int32_t id, const char *s1, const char *s2) noexcept {
    Stack *s = current();
    reset(s);
    push_strings(s, id, {s1, s2});
}

QRV_API void mserror_reset_seterr_3arg_str(int32_t id, const char *s1, const char *s2, const char *s3) noexcept {
    Stack *s = current();
    reset(s);
    push_strings(s, id, {s1, s2, s3});
}

QRV_API void mserror_reset_seterr_4arg_str(int32_t id, const char *s1, const char *s2, const char *s3,
                                           const char *s4) noexcept {
    Stack *s = current();
    reset(s);
    push_strings(s, id, {s1, s2, s3, s4});
}

QRV_API void mserror_seterr_1arg(int32_t id, int64_t a) noexcept { push_numbers(current(), id, {a}); }

QRV_API void mserror_seterr_2arg(int32_t id, int64_t a, int64_t b) noexcept { push_numbers(current(), id, {a, b}); }

QRV_API void mserror_seterr_1arg_str(int32_t id, const char *s1) noexcept { push_strings(current(), id, {s1}); }

QRV_API void mserror_seterr_2arg_str(int32_t id, const char *s1, const char *s2) noexcept {
    push_strings(current(), id, {s1, s2});
}

QRV_API void mserror_seterr_3arg_str(int32_t id, const char *s1, const char *s2, const char *s3) noexcept {
    push_strings(current(), id, {s1, s2, s3});
}

QRV_API void mserror_seterr_os(int32_t os_error) noexcept {
    char text[256];
    msos_geterrormsg(os_error, text, sizeof text);
    Stack *s = current();
    reset(s);
    push(s, qrv::err::kOsError, 2);
    set_number(s, os_error, 0);
    set_string(s, text, 1);
}

QRV_API void mserror_seterr_os_geterror(void) noexcept { mserror_seterr_os(msos_geterror()); }

QRV_API int64_t *mserror_geterr_stack(void) noexcept {
    Stack *s = current();
    return qrv::errstack::top_descriptor(s) != nullptr ? s->words + s->top : nullptr;
}

QRV_API int32_t mserror_geterr_id(void) noexcept {
    Stack *s = current();
    return qrv::errstack::top_descriptor(s) != nullptr ? static_cast<int32_t>(s->words[s->top - 1]) : 0;
}

QRV_API int mserror_geterr_arg(int64_t *out, int i) noexcept {
    Stack *s = current();
    int64_t *desc = qrv::errstack::top_descriptor(s);
    int64_t *word = desc != nullptr ? qrv::errstack::argument_word(s, desc, i) : nullptr;
    if (word == nullptr || out == nullptr) return 0;
    if (!MSERROR_DESC_IS_STR(*desc, i)) {
        *out = *word;
        return 1;
    }
    // An offset the buffer no longer holds (it was lost or emptied) reads as "".
    static const char empty[] = "";
    bool held = s->strings != nullptr && *word >= 0 && *word < s->string_used;
    *out = reinterpret_cast<intptr_t>(held ? s->strings + *word : empty);
    return 1;
}

QRV_API char *mserror_geterr_argbuf(void) noexcept {
    Stack *s = current();
    return s != nullptr ? s->strings : nullptr;
}

QRV_API int mserror_pop(void) noexcept {
    Stack *s = current();
    int64_t *desc = qrv::errstack::top_descriptor(s);
    if (desc == nullptr) return 0;
    int32_t top = s->top - (MSERROR_DESC_NARGS(*desc) + 2);
    s->top = top > s->floor ? top : s->floor;
    if (s->top < 1) s->string_used = 0;
    return 1;
}

QRV_API void mserror_stack_save(int32_t *top, int32_t *string_used) noexcept {
    Stack *s = current();
    if (top != nullptr) *top = s != nullptr ? s->top : 0;
    if (string_used != nullptr) *string_used = s != nullptr ? s->string_used : 0;
}

QRV_API void mserror_stack_restore(int32_t top, int32_t string_used) noexcept {
    Stack *s = current();
    if (s == nullptr || top < s->floor || top > s->capacity || string_used < 0 || string_used > s->string_capacity) {
        return;
    }
    s->top = top;
    s->string_used = string_used;
}

QRV_API int32_t mserror_cleanup_save(void) noexcept {
    Stack *s = current();
    if (s == nullptr) return 0;
    int32_t old = s->floor;
    s->floor = s->top;
    return old;
}

QRV_API void mserror_cleanup_restore(int32_t old_floor) noexcept {
    Stack *s = current();
    if (s == nullptr) return;
    s->top = s->floor;
    if (old_floor >= 0 && old_floor <= s->floor) s->floor = old_floor;
}

QRV_API void **mserror_get_var_slot(int slot) noexcept {
    Stack *s = current();
    if (s == nullptr || slot < 0 || slot > 1) return nullptr;
    return &s->slots[slot];
}

}  // extern "C"
