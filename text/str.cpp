// The character tables and the msstr_ string functions. Pure functions over
// caller memory: no allocation, no error reporting, no shared state.
#include <climits>
#include <cstring>
#include <string_view>

#include "msstr.h"
#include "mstables.h"
#include "text/tables.h"

namespace qrv::text {
namespace {

const char *or_empty(const char *s) { return s != nullptr ? s : ""; }

// Display width of the characters starting within the first limit bytes.
// The limit is checked before each byte is read: s need not be terminated
// within it.
int display_columns(const char *s, long limit) {
    const char *end = limit == LONG_MAX ? nullptr : s + (limit > 0 ? limit : 0);
    int width = 0;
    for (const char *p = s; (end == nullptr || p < end) && *p != '\0';) {
        width += display_width(*p);
        p = end == nullptr ? next_char(p) : next_char_within(p, end);
    }
    return width;
}

int count_chars(const char *s, long limit) {
    const char *end = limit == LONG_MAX ? nullptr : s + (limit > 0 ? limit : 0);
    int count = 0;
    for (const char *p = s; (end == nullptr || p < end) && *p != '\0';) {
        ++count;
        p = end == nullptr ? next_char(p) : next_char_within(p, end);
    }
    return count;
}

template <typename Equal>
const char *find_first(const char *s, const char *sub, Equal equal) {
    if (s == nullptr || sub == nullptr) return nullptr;
    for (const char *p = s;; ++p) {
        size_t i = 0;
        while (sub[i] != '\0' && equal(p[i], sub[i])) ++i;
        if (sub[i] == '\0') return p;
        if (*p == '\0') return nullptr;
    }
}

bool same_letter(char a, char b) { return kLowerMap[byte(a)] == kLowerMap[byte(b)]; }

// Shared rule of the account-name checks; allowed is the bit of the ASCII
// table and multibyte the class bits a non-ASCII first byte needs.
int check_account(const char *s, uint8_t allowed, uint8_t multibyte) {
    if (s == nullptr) return 0;
    for (const char *p = s; *p != '\0';) {
        uint8_t first = byte(*p);
        if (first < 0x80) {
            if ((kAccount[first] & allowed) == 0) return 0;
            ++p;
            continue;
        }
        if ((kCharType[first] & multibyte) == 0) return 0;
        int n = char_length(*p);
        for (int i = 1; i < n; ++i) {
            if ((byte(p[i]) & 0xC0) != 0x80) return 0;  // also stops at the terminator
        }
        p += n;
    }
    return 1;
}

}  // namespace
}  // namespace qrv::text

using namespace qrv::text;

extern "C" {

// Constant data needs "extern" beside its initialiser to keep the exported
// visibility of the header's declaration.
QRV_API extern const unsigned char mstables_char_type[256] = {QRV_TABLE_256(kCharType)};
QRV_API extern const unsigned char mstables_char_lc[256] = {QRV_TABLE_256(kLowerMap)};
QRV_API extern const unsigned char mstables_char_uc[256] = {QRV_TABLE_256(kUpperMap)};
QRV_API extern const char *const mstables_syslabels[] = {"SYS_OS_LINUX_X64", "SYS_OS_LINUX", "ALL", nullptr};

QRV_API const char *msstr_head(const char *s) noexcept {
    if (s == nullptr) return nullptr;
    while (is_white(*s)) ++s;
    return s;
}

QRV_API const char *msstr_tail(const char *s) noexcept {
    if (s == nullptr) return nullptr;
    const char *end = s + std::strlen(s);
    while (end > s && is_white(end[-1])) --end;
    return end;
}

QRV_API int msstr_qspace(const char *s) noexcept { return *msstr_head(or_empty(s)) == '\0'; }

QRV_API int msstr_headeq(const char *s, const char *prefix) noexcept {
    if (s == nullptr || prefix == nullptr || *s == '\0' || *prefix == '\0') return 0;
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

QRV_API const char *msstr_index(const char *s, const char *sub) noexcept {
    if (s == nullptr || sub == nullptr) return nullptr;
    return std::strstr(s, sub);
}

QRV_API const char *msstr_dindex(const char *s, const char *sub) noexcept { return find_first(s, sub, same_letter); }

QRV_API const char *msstr_rindex(const char *s, const char *sub, int n) noexcept {
    if (s == nullptr || sub == nullptr || n < 1) return nullptr;
    size_t text_length = std::strlen(s);
    size_t sub_length = std::strlen(sub);
    if (sub_length == 0 || sub_length > text_length) return nullptr;
    for (const char *p = s + (text_length - sub_length);; --p) {
        if (std::memcmp(p, sub, sub_length) == 0 && --n == 0) return p;
        if (p == s) return nullptr;
    }
}

QRV_API int msstr_parse_str_boolean(const char *s) noexcept {
    s = or_empty(s);
    const char *begin = msstr_head(s);
    const char *end = msstr_tail(s);
    if (end <= begin) return 0;  // empty or blank
    auto length = static_cast<size_t>(end - begin);
    char lower[5];
    if (length > sizeof lower) return 1;
    for (size_t i = 0; i < length; ++i) lower[i] = static_cast<char>(kLowerMap[byte(begin[i])]);
    std::string_view word(lower, length);
    return !(word == "n" || word == "no" || word == "off" || word == "false");
}

QRV_API int msstr_nlength(const char *s, int n) noexcept {
    if (s == nullptr || n < 1) return 0;
    return static_cast<int>(strnlen(s, static_cast<size_t>(n)));
}

QRV_API int msstr_length_ch(const char *s) noexcept { return count_chars(or_empty(s), LONG_MAX); }

QRV_API int msstr_nlength_ch(const char *s, int n) noexcept { return count_chars(or_empty(s), n); }

QRV_API int msstr_length_disp(const char *s) noexcept { return display_columns(or_empty(s), LONG_MAX); }

QRV_API int msstr_nlength_disp(const char *s, int n) noexcept { return display_columns(or_empty(s), n); }

QRV_API char *msstr_ncopy(char *dst, const char *src, int n) noexcept {
    if (dst == nullptr) return nullptr;
    src = or_empty(src);
    for (int i = 0; i < n; ++i) {
        dst[i] = src[i];
        if (src[i] == '\0') return dst + i;
    }
    return n > 0 ? dst + n : dst;
}

QRV_API char *msstr_ncopy_ch(char *dst, const char *src, int n) noexcept {
    if (dst == nullptr) return nullptr;
    src = or_empty(src);
    const long room = n > 0 ? n : 0;
    const char *end = src;
    for (const char *next; *end != '\0' && (next = next_char(end)) - src <= room;) end = next;
    auto used = static_cast<size_t>(end - src);
    std::memcpy(dst, src, used);
    dst[used] = '\0';
    return dst + used;
}

QRV_API int msstr_check_login(const char *s) noexcept {
    if (s != nullptr && *s == ' ') return 0;
    return check_account(s, kLoginOk, kUpper | kLower | kDigit);
}

QRV_API int msstr_check_passwd(const char *s) noexcept {
    return check_account(s, kPasswdOk, kUpper | kLower | kDigit | kPunct | kSpace);
}

}  // extern "C"
