// The translators this product ships: which pairs of code sets, under which
// function and library names, with which ratios and widths. One table for
// the table of contents built into the library and for the plug-in
// libraries built beside it (header-only for that reason).
#pragma once

#include <cstddef>

#include "mscs.h"

namespace qrv::codeset::pairs {

struct Set {
    int id;
    const char *iconv_name;  // what the plug-in's iconv calls it
    int code_page;           // what the library's code-page service calls it
    int unit_bytes;
    int max_bytes;      // the registry's figure
    int longest_bytes;  // the longest character the converter may produce
};

namespace sets {
inline constexpr Set wchar{MSCS_WCHAR, "UTF-16LE", 1200, 2, 2, 4};
inline constexpr Set utf8{MSCS_UTF8, "UTF-8", 65001, 1, 4, 4};
inline constexpr Set ascii{MSCS_ASCII, "ASCII", 20127, 1, 1, 1};
inline constexpr Set latin1{MSCS_LATIN1, "CP1252", 1252, 1, 1, 1};
inline constexpr Set euccn{MSCS_EUC_CN, "GBK", 936, 1, 2, 2};
inline constexpr Set eucjp{MSCS_EUC_JP, "EUC-JP", 51932, 1, 2, 3};
inline constexpr Set euckr{MSCS_EUC_KR, "EUC-KR", 51949, 1, 2, 2};
inline constexpr Set sjis{MSCS_SJIS, "CP932", 932, 1, 2, 2};
}  // namespace sets

// Every pair of ids 2 to 9, once: X(first, second), a row per first set.
// clang-format off
#define QRV_TRANSLATOR_PAIRS(X) \
    X(wchar, utf8) X(wchar, ascii) X(wchar, latin1) X(wchar, euccn) X(wchar, eucjp) X(wchar, euckr) X(wchar, sjis) \
    X(utf8, ascii) X(utf8, latin1) X(utf8, euccn) X(utf8, eucjp) X(utf8, euckr) X(utf8, sjis) \
    X(ascii, latin1) X(ascii, euccn) X(ascii, eucjp) X(ascii, euckr) X(ascii, sjis) \
    X(latin1, euccn) X(latin1, eucjp) X(latin1, euckr) X(latin1, sjis) \
    X(euccn, eucjp) X(euccn, euckr) X(euccn, sjis) \
    X(eucjp, euckr) X(eucjp, sjis) \
    X(euckr, sjis)
// clang-format on

// The pair Wchar <-> UTF8 has a library of its own (the library's own
// converter); every other pair goes through iconv.
inline constexpr const char *kTocLibrary = "libmstoc.so";
inline constexpr const char *kWcharLibrary = "libmstrans_wchar.so";
inline constexpr const char *kIconvLibrary = "libmstrans_iconv.so";

// Most output bytes per input byte from one set to another.
constexpr double ratio(const Set &from, const Set &to) noexcept {
    if (from.id == to.id) return 1.0;
    if (to.unit_bytes == 2) return 2.0;  // every byte may become a unit
    if (from.unit_bytes == 2) return to.longest_bytes == 4 ? 1.5 : to.longest_bytes / 2.0;  // per unit
    // Past ASCII a UTF-8 character has 2 bytes or more; EUC-JP writes some
    // 2-byte ones (the JIS X 0212 Latin letters) in 3.
    if (from.id == MSCS_UTF8) return to.longest_bytes > 2 ? to.longest_bytes / 2.0 : 1.0;
    if (to.id == MSCS_UTF8) return from.id == MSCS_ASCII ? 1.0 : 3.0;
    return to.longest_bytes;
}

constexpr mscstrans_entry entry(const Set &a, const Set &b, const char *forward, const char *backward) noexcept {
    mscstrans_entry e{};
    e.codeset1 = a.id;
    e.codeset2 = b.id;
    e.forward_name = forward;
    e.backward_name = backward;
    e.library = (a.id == MSCS_WCHAR && b.id == MSCS_UTF8) ? kWcharLibrary : kIconvLibrary;
    e.forward_ratio = ratio(a, b);
    e.backward_ratio = ratio(b, a);
    e.unit_bytes1 = a.unit_bytes;
    e.unit_bytes2 = b.unit_bytes;
    e.max_bytes1 = a.max_bytes;
    e.max_bytes2 = b.max_bytes;
    return e;
}

#define QRV_TOC_ENTRY(a, b)                                                                      \
    ::qrv::codeset::pairs::entry(::qrv::codeset::pairs::sets::a, ::qrv::codeset::pairs::sets::b, \
                                 "mstrans_" #a "_to_" #b, "mstrans_" #b "_to_" #a),

inline constexpr mscstrans_entry kEntries[] = {QRV_TRANSLATOR_PAIRS(QRV_TOC_ENTRY)};
inline constexpr int kEntryCount = static_cast<int>(sizeof kEntries / sizeof kEntries[0]);

// The table of contents' lookup: the entry for the pair in either order
// (swapped when found the other way round), or null.
inline bool find(int cs1, int cs2, mscstrans_entry *out) noexcept {
    for (const mscstrans_entry &e : kEntries) {
        if (e.codeset1 == cs1 && e.codeset2 == cs2) {
            *out = e;
            return true;
        }
        if (e.codeset1 == cs2 && e.codeset2 == cs1) {
            *out = e;
            out->codeset1 = cs1;
            out->codeset2 = cs2;
            out->forward_name = e.backward_name;
            out->backward_name = e.forward_name;
            out->forward_ratio = e.backward_ratio;
            out->backward_ratio = e.forward_ratio;
            out->unit_bytes1 = e.unit_bytes2;
            out->unit_bytes2 = e.unit_bytes1;
            out->max_bytes1 = e.max_bytes2;
            out->max_bytes2 = e.max_bytes1;
            return true;
        }
    }
    return false;
}

static_assert(sizeof(mscstrans_entry) == 80, "translation entries are 80 bytes");
static_assert(offsetof(mscstrans_entry, library) == 24 && offsetof(mscstrans_entry, forward_ratio) == 32 &&
                  offsetof(mscstrans_entry, unit_bytes1) == 48 && offsetof(mscstrans_entry, forward) == 64 &&
                  offsetof(mscstrans_entry, backward) == 72,
              "translation entry layout");

}  // namespace qrv::codeset::pairs
