// The code set registry: ids, names, code pages and widths, the aliases
// users write, and the Locale entry filled from the user's locale.
#include "codeset/registry.h"

#include <atomic>
#include <string_view>

#include "base/errids.h"
#include "mscs.h"
#include "mserror.h"
#include "msos.h"
#include "mssio.h"
#include "os/codepage.h"
#include "os/os_internal.h"

namespace qrv::codeset {
namespace {

struct Entry {
    const char *name;
    int code_page;
    int unit_bytes;
    int max_bytes;
};

constexpr Entry kTable[] = {
    {"Unknown", -1, 0, 0},   {"Locale", -1, 0, 0},   {"Wchar", 1200, 2, 2}, {"UTF8", 65001, 1, 4},
    {"ASCII", -1, 1, 1},     {"LATIN1", 1252, 1, 1}, {"EUC_CN", 936, 1, 2}, {"EUC_JP", 51932, 1, 2},
    {"EUC_KR", 51949, 1, 2}, {"SJIS", 932, 1, 2},
};
constexpr int kIds = static_cast<int>(sizeof kTable / sizeof kTable[0]);

struct Alias {
    const char *name;
    int id;
};

constexpr Alias kAliases[] = {
    {"LATIN1", 5}, {"EUC_JP", 7},    {"SJIS", 9},      {"UTF8", 3},         {"EUC_CN", 6},
    {"EUC_KR", 8}, {"ISO8859_1", 5}, {"ISO8859-1", 5}, {"ISO-8859-1", 5},   {"EUC-CN", 6},
    {"EUCCN", 6},  {"EUC-JP", 7},    {"EUCJP", 7},     {"EUC_JP_LINUX", 7}, {"EUC-KR", 8},
    {"EUCKR", 8},  {"SHIFT-JIS", 9}, {"SHIFT_JIS", 9}, {"UTF-8", 3},        {"", 0},
};

// The Locale entry: code page and widths, written by mscs_init_locale.
std::atomic<int> g_locale_code_page{-1};
std::atomic<int> g_locale_unit_bytes{0};
std::atomic<int> g_locale_max_bytes{0};

constexpr char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool same_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int id_of_name(const char *name, int first) noexcept {
    if (name == nullptr) return 0;
    for (int id = first; id <= kLastId; ++id) {
        if (same_ignoring_case(name, kTable[id].name)) return id;
    }
    return 0;
}

void fill_locale(int code_page, int unit_bytes, int max_bytes) noexcept {
    g_locale_code_page.store(code_page, std::memory_order_relaxed);
    g_locale_unit_bytes.store(unit_bytes, std::memory_order_relaxed);
    g_locale_max_bytes.store(max_bytes, std::memory_order_relaxed);
}

}  // namespace

int code_page(int id) noexcept {
    if (id < kFirstId || id > kLastId) {
        mserror_seterr_1arg(err::kUnknownCodesetId, id);
        return -1;
    }
    return id == MSCS_LOCALE ? g_locale_code_page.load(std::memory_order_relaxed) : kTable[id].code_page;
}

Widths widths(int id) noexcept {
    if (id < kFirstId || id > kLastId) return {0, 0};
    if (id == MSCS_LOCALE) {
        return {g_locale_unit_bytes.load(std::memory_order_relaxed),
                g_locale_max_bytes.load(std::memory_order_relaxed)};
    }
    return {kTable[id].unit_bytes, kTable[id].max_bytes};
}

}  // namespace qrv::codeset

using namespace qrv::codeset;

extern "C" {

QRV_API int mscs_get_id_from_alias(const char *alias) noexcept {
    if (alias == nullptr) return 0;
    for (const Alias &a : kAliases) {
        if (a.name[0] == '\0') break;
        if (same_ignoring_case(alias, a.name)) return a.id;
    }
    return 0;
}

QRV_API int mscs_get_id_from_name(const char *name) noexcept { return id_of_name(name, MSCS_UTF8); }

QRV_API int mscs_get_id_from_name_ex(const char *name) noexcept { return id_of_name(name, MSCS_LOCALE); }

QRV_API const char *mscs_get_name_from_id(int id) noexcept {
    return id >= MSCS_UTF8 && id < kIds ? kTable[id].name : nullptr;
}

QRV_API const char **mscs_get_codeset_namelist(const char **list, int max) noexcept {
    if (list == nullptr || max < 0) return list;
    int n = 0;
    for (int id = MSCS_UTF8; id <= kLastId && n < max; ++id) list[n++] = kTable[id].name;
    list[n] = nullptr;
    return list;
}

QRV_API int mscs_init_locale(void) noexcept {
    char name[64];
    const char *codeset = qrv::os::locale_codeset(name, sizeof name);
    if (codeset == nullptr) return -1;
    // The locale's own spelling first, then its code page.
    int id = mscs_get_id_from_alias(codeset);
    int page = id != 0 ? kTable[id].code_page : qrv::os::codepage_of_name(codeset);
    if (page < 0) return -1;
    for (id = MSCS_UTF8; id <= kLastId; ++id) {
        if (kTable[id].code_page == page) {
            fill_locale(page, kTable[id].unit_bytes, kTable[id].max_bytes);
            return id;
        }
    }
    int max_bytes = qrv::os::codepage_max_bytes(page);
    if (max_bytes < 0) return -1;
    fill_locale(page, 1, max_bytes);
    return MSCS_LOCALE;
}

QRV_API void mscs_win32_codepage_chk(void) noexcept {
    qrv_handle input = msos_getstdhandle(MSOS_STD_INPUT_HANDLE);
    if (input == QRV_INVALID_HANDLE || !qrv::os::is_terminal(input)) return;
    int page = msos_GetACP();
    if (page == qrv::os::kCodePageUtf8) return;
    mssio_eprintf("*** Warning *** Incorrect code page %d, please use UTF-8 codepage %d\n", page,
                  qrv::os::kCodePageUtf8);
}

}  // extern "C"
