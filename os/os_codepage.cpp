// The code-page conversion service over iconv, the user's locale encoding,
// and whole-string UTF-8 <-> UTF-16 by the library's own converter.
#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "msos.h"
#include "os/codepage.h"
#include "os/syscall.h"
#include "text/utf16.h"

namespace qrv::os {
namespace {

struct CodePage {
    int number;
    const char *iconv_name;
    int max_bytes;
    const char *other_names[4];  // as locales and users spell it
};

constexpr CodePage kCodePages[] = {
    {65001, "UTF-8", 4, {"UTF8"}},
    {1200, "UTF-16LE", 2, {}},
    {932, "CP932", 2, {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "WINDOWS-31J"}},
    {936, "GBK", 2, {"GB2312", "CP936", "EUC-CN", "EUCCN"}},
    {949, "CP949", 2, {"UHC"}},
    {950, "BIG5", 2, {"CP950", "BIG5-HKSCS"}},
    {866, "CP866", 1, {"IBM866"}},
    {874, "CP874", 1, {"TIS-620"}},
    {1250, "CP1250", 1, {"WINDOWS-1250"}},
    {1251, "CP1251", 1, {"WINDOWS-1251"}},
    {1252, "CP1252", 1, {"WINDOWS-1252"}},
    {1253, "CP1253", 1, {"WINDOWS-1253"}},
    {1254, "CP1254", 1, {"WINDOWS-1254"}},
    {1255, "CP1255", 1, {"WINDOWS-1255"}},
    {1256, "CP1256", 1, {"WINDOWS-1256"}},
    {1257, "CP1257", 1, {"WINDOWS-1257"}},
    {1258, "CP1258", 1, {"WINDOWS-1258"}},
    {20127, "ASCII", 1, {"ANSI_X3.4-1968", "US-ASCII"}},
    {20866, "KOI8-R", 1, {}},
    {21866, "KOI8-U", 1, {}},
    {28591, "ISO-8859-1", 1, {"ISO8859-1"}},
    {28592, "ISO-8859-2", 1, {"ISO8859-2"}},
    {28593, "ISO-8859-3", 1, {"ISO8859-3"}},
    {28594, "ISO-8859-4", 1, {"ISO8859-4"}},
    {28595, "ISO-8859-5", 1, {"ISO8859-5"}},
    {28596, "ISO-8859-6", 1, {"ISO8859-6"}},
    {28597, "ISO-8859-7", 1, {"ISO8859-7"}},
    {28598, "ISO-8859-8", 1, {"ISO8859-8"}},
    {28599, "ISO-8859-9", 1, {"ISO8859-9"}},
    {28603, "ISO-8859-13", 1, {"ISO8859-13"}},
    {28605, "ISO-8859-15", 1, {"ISO8859-15"}},
    {51932, "EUC-JP", 3, {"EUCJP"}},
    {51949, "EUC-KR", 2, {"EUCKR"}},
    {54936, "GB18030", 4, {}},
};

const CodePage *find(int number) noexcept {
    for (const CodePage &c : kCodePages) {
        if (c.number == number) return &c;
    }
    return nullptr;
}

// ---- Converters kept for reuse ----------------------------------------------
// An iconv descriptor carries conversion state, so one call owns it at a
// time: a slot is empty, free (holding a descriptor for its pair) or taken.
// Taking and returning are one compare-and-swap each; a call that finds no
// free slot for its pair opens a descriptor of its own and offers it to an
// empty slot afterwards.
enum SlotState : int { kEmpty, kFree, kTaken };

struct Slot {
    std::atomic<int> state{kEmpty};
    std::atomic<uint64_t> key{0};
    iconv_t descriptor = nullptr;
};

constexpr size_t kSlots = 64;
Slot g_slots[kSlots];

uint64_t pair_key(int from, int to) noexcept {
    return (static_cast<uint64_t>(static_cast<uint32_t>(from)) << 32) | static_cast<uint32_t>(to);
}

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

class Converter {
public:
    Converter(const CodePage &from, const CodePage &to) noexcept : key_(pair_key(from.number, to.number)) {
        for (Slot &s : g_slots) {
            if (s.key.load(std::memory_order_relaxed) != key_) continue;
            int expected = kFree;
            if (!s.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) continue;
            if (s.key.load(std::memory_order_relaxed) == key_) {
                slot_ = &s;
                descriptor_ = s.descriptor;
                return;
            }
            s.state.store(kFree, std::memory_order_release);
        }
        descriptor_ = iconv_open(to.iconv_name, from.iconv_name);
    }
    ~Converter() {
        if (descriptor_ == kNoDescriptor) return;
        iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        if (slot_ != nullptr) {
            slot_->state.store(kFree, std::memory_order_release);
            return;
        }
        for (Slot &s : g_slots) {
            int expected = kEmpty;
            if (s.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) {
                s.descriptor = descriptor_;
                s.key.store(key_, std::memory_order_relaxed);
                s.state.store(kFree, std::memory_order_release);
                return;
            }
        }
        iconv_close(descriptor_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool usable() const noexcept { return descriptor_ != kNoDescriptor; }
    iconv_t get() const noexcept { return descriptor_; }

private:
    uint64_t key_;
    Slot *slot_ = nullptr;
    iconv_t descriptor_ = kNoDescriptor;
};

// ---- One conversion -----------------------------------------------------------

struct Span {
    size_t read = 0;
    size_t written = 0;
};

bool aligned_units(const void *p) noexcept { return reinterpret_cast<uintptr_t>(p) % alignof(qrv_wchar) == 0; }

// Converts through iconv; with out null only counts what the whole input
// needs. Stops quietly at invalid or cut input and at a full output.
Span convert_iconv(iconv_t cd, const char *in, size_t n, char *out, size_t room) noexcept {
    char *src = const_cast<char *>(in);
    size_t left = n;
    Span span;
    if (out != nullptr) {
        char *dst = out;
        size_t free_bytes = room;
        size_t rc = iconv(cd, &src, &left, &dst, &free_bytes);
        if (rc != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, &dst, &free_bytes);  // shift back
        span.read = n - left;
        span.written = room - free_bytes;
        return span;
    }
    char scratch[1024];
    for (;;) {
        char *dst = scratch;
        size_t free_bytes = sizeof scratch;
        size_t rc = iconv(cd, &src, &left, &dst, &free_bytes);
        span.written += sizeof scratch - free_bytes;
        if (rc != static_cast<size_t>(-1) || errno != E2BIG) break;
    }
    span.read = n - left;
    return span;
}

Span convert_own(int from, const char *in, size_t n, char *out, size_t room) noexcept {
    Span span;
    if (from == kCodePageUtf8) {
        auto *units = reinterpret_cast<qrv_wchar *>(out);
        utf16::Result r = utf16::from_utf8(in, n, units, room / 2);
        span.read = r.read;
        span.written = r.written * 2;
    } else {
        auto *units = reinterpret_cast<const qrv_wchar *>(in);
        utf16::Result r = utf16::to_utf8(units, n / 2, out, room);
        span.read = r.read * 2;
        span.written = r.written;
    }
    return span;
}

// Converts n bytes from one code page to another: the status of the
// service, with *span what was consumed and written (or needed).
int32_t convert(int from, int to, const char *in, size_t n, char *out, size_t room, Span *span) noexcept {
    const CodePage *source = find(from);
    const CodePage *target = find(to);
    if (source == nullptr || target == nullptr) return MSOS_CONVERT_UNAVAILABLE;
    if (from == to) {
        span->read = out == nullptr ? n : std::min(n, room);
        span->written = span->read;
        if (out != nullptr && span->read > 0) std::memmove(out, in, span->read);
        return MSOS_CONVERT_OK;
    }
    bool own = (from == kCodePageUtf8 && to == kCodePageUtf16 && aligned_units(out)) ||
               (from == kCodePageUtf16 && to == kCodePageUtf8 && aligned_units(in));
    if (own) {
        *span = convert_own(from, in, n, out, room);
        return MSOS_CONVERT_OK;
    }
    Converter converter(*source, *target);
    if (!converter.usable()) return MSOS_CONVERT_UNAVAILABLE;
    *span = convert_iconv(converter.get(), in, n, out, room);
    return MSOS_CONVERT_OK;
}

bool same_name(const char *a, const char *b) noexcept { return b != nullptr && strcasecmp(a, b) == 0; }

template <typename Unit>
Unit *copy_out(const Unit *text, size_t length) noexcept {
    auto *copy = static_cast<Unit *>(std::malloc((length + 1) * sizeof(Unit)));
    if (copy == nullptr) return nullptr;
    if (length > 0) std::memcpy(copy, text, length * sizeof(Unit));
    copy[length] = 0;
    return copy;
}

}  // namespace

int codepage_of_name(const char *name) noexcept {
    if (name == nullptr) return -1;
    for (const CodePage &c : kCodePages) {
        if (same_name(name, c.iconv_name)) return c.number;
        for (const char *other : c.other_names) {
            if (same_name(name, other)) return c.number;
        }
    }
    return -1;
}

int codepage_max_bytes(int code_page) noexcept {
    const CodePage *c = find(code_page);
    if (c == nullptr) return -1;
    if (code_page == kCodePageUtf8 || code_page == kCodePageUtf16) return c->max_bytes;
    // Known to the list is not enough: this system's iconv must convert it.
    return msos_IsConvertINetStringAvailable(code_page, kCodePageUtf8) == MSOS_CONVERT_OK ? c->max_bytes : -1;
}

const char *locale_codeset(char *buffer, size_t size) noexcept { return g_sys.locale_codeset(buffer, size); }

void codepage_release() noexcept {
    for (Slot &s : g_slots) {
        int expected = kFree;
        if (!s.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) continue;
        iconv_close(s.descriptor);
        s.descriptor = nullptr;
        s.key.store(0, std::memory_order_relaxed);
        s.state.store(kEmpty, std::memory_order_release);
    }
}

}  // namespace qrv::os

using qrv::os::Span;

namespace {

// The input length in bytes for the service: -1 stands for "up to the
// terminator" (a zero unit for UTF-16); false for a count it refuses.
bool source_bytes(const char *src, const int *src_len, bool wide, size_t unit, size_t *bytes) {
    if (src_len == nullptr) return false;
    if (*src_len == -1) {
        if (src == nullptr) return false;
        if (!wide) {
            *bytes = std::strlen(src);
            return true;
        }
        // Unit by unit through memcpy: a caller's text may sit at an odd address.
        size_t n = 0;
        for (uint16_t unit = 1; std::memcpy(&unit, src + n, 2), unit != 0;) n += 2;
        *bytes = n;
        return true;
    }
    if (*src_len < 0 || (*src_len > 0 && src == nullptr)) return false;
    *bytes = static_cast<size_t>(*src_len) * unit;
    return true;
}

// The service behind the three conversion functions; src_unit and
// dst_unit say whether the counts are bytes (1) or 16-bit units (2).
int32_t service(int from, int to, const char *src, int *src_len, size_t src_unit, char *dst, int *dst_len,
                size_t dst_unit) {
    size_t n = 0;
    if (!source_bytes(src, src_len, from == qrv::os::kCodePageUtf16, src_unit, &n) || dst_len == nullptr ||
        *dst_len < 0) {
        return MSOS_CONVERT_BAD_ARGUMENT;
    }
    const bool count_only = dst == nullptr || *dst_len == 0;
    size_t room = count_only ? 0 : static_cast<size_t>(*dst_len) * dst_unit;
    Span span;
    int32_t status = qrv::os::convert(from, to, src, n, count_only ? nullptr : dst, room, &span);
    if (status != MSOS_CONVERT_OK) return status;
    if (span.written / dst_unit > INT32_MAX) return MSOS_CONVERT_BAD_ARGUMENT;
    *src_len = static_cast<int>(span.read / src_unit);
    *dst_len = static_cast<int>(span.written / dst_unit);
    return MSOS_CONVERT_OK;
}

}  // namespace

extern "C" {

QRV_API qrv_wchar *win32_MultiByteToWideChar(const char *utf8) noexcept {
    if (utf8 == nullptr) return nullptr;
    size_t n = std::strlen(utf8);
    qrv::utf16::Result need = qrv::utf16::from_utf8(utf8, n, static_cast<qrv_wchar *>(nullptr), 0);
    if (need.stop != qrv::utf16::Stop::kDone) return nullptr;
    auto *out = static_cast<qrv_wchar *>(std::malloc((need.written + 1) * sizeof(qrv_wchar)));
    if (out == nullptr) return nullptr;
    qrv::utf16::from_utf8(utf8, n, out, need.written);
    out[need.written] = 0;
    return out;
}

QRV_API char *win32_WideCharToMultiByte(const qrv_wchar *utf16) noexcept {
    if (utf16 == nullptr) return nullptr;
    size_t n = qrv::utf16::length(utf16);
    qrv::utf16::Result need = qrv::utf16::to_utf8(utf16, n, static_cast<char *>(nullptr), 0);
    if (need.stop != qrv::utf16::Stop::kDone) return nullptr;
    auto *out = static_cast<char *>(std::malloc(need.written + 1));
    if (out == nullptr) return nullptr;
    qrv::utf16::to_utf8(utf16, n, out, need.written);
    out[need.written] = '\0';
    return out;
}

QRV_API qrv_wchar *win32_MultiBytePathToWideCharPath(const char *path) noexcept {
    return win32_MultiByteToWideChar(path);
}

QRV_API int32_t msos_ConvertINetString(uint32_t *mode, int from_code_page, int to_code_page, const char *src,
                                       int *src_len, char *dst, int *dst_len) noexcept {
    (void)mode;
    return service(from_code_page, to_code_page, src, src_len, 1, dst, dst_len, 1);
}

QRV_API int32_t msos_ConvertINetMultiByteToUnicode(uint32_t *mode, int from_code_page, const char *src, int *src_len,
                                                   qrv_wchar *dst, int *dst_len) noexcept {
    (void)mode;
    return service(from_code_page, qrv::os::kCodePageUtf16, src, src_len, 1, reinterpret_cast<char *>(dst), dst_len, 2);
}

QRV_API int32_t msos_ConvertINetUnicodeToMultiByte(uint32_t *mode, int to_code_page, const qrv_wchar *src, int *src_len,
                                                   char *dst, int *dst_len) noexcept {
    (void)mode;
    return service(qrv::os::kCodePageUtf16, to_code_page, reinterpret_cast<const char *>(src), src_len, 2, dst, dst_len,
                   1);
}

QRV_API int32_t msos_IsConvertINetStringAvailable(int from_code_page, int to_code_page) noexcept {
    const auto *source = qrv::os::find(from_code_page);
    const auto *target = qrv::os::find(to_code_page);
    if (source == nullptr || target == nullptr) return MSOS_CONVERT_UNAVAILABLE;
    if (from_code_page == to_code_page) return MSOS_CONVERT_OK;
    qrv::os::Converter converter(*source, *target);
    return converter.usable() ? MSOS_CONVERT_OK : MSOS_CONVERT_UNAVAILABLE;
}

QRV_API int msos_GetACP(void) noexcept {
    char name[64];
    const char *codeset = qrv::os::locale_codeset(name, sizeof name);
    int code_page = qrv::os::codepage_of_name(codeset);
    return code_page < 0 ? 0 : code_page;
}

}  // extern "C"
