// Translator records and string buffers: opening a record (the code-page
// service, or a plug-in found through the table of contents), converting
// into a caller buffer or a growable string buffer, and closing.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/errids.h"
#include "base/errstack.h"
#include "codeset/loader.h"
#include "codeset/pairs.h"
#include "codeset/registry.h"
#include "mscs.h"
#include "mserror.h"
#include "msos.h"
#include "mssp.h"
#include "os/codepage.h"

namespace qrv::codeset {
namespace {

constexpr int kCodePageWide = 1200;
constexpr int kPathSize = 4096;

bool initialised(const mscstrans_trans *t) noexcept { return t != nullptr && t->magic == MSCSTRANS_MAGIC; }

mscstrans_trans default_record() noexcept {
    mscstrans_trans t{};
    t.magic = MSCSTRANS_MAGIC;
    t.forward_ratio = t.backward_ratio = 1.0;
    t.unit_bytes1 = t.unit_bytes2 = t.max_bytes1 = t.max_bytes2 = 1;
    return t;
}

bool available(int from, int to) noexcept {
    if (msos_IsConvertINetStringAvailable(from, to) == MSOS_CONVERT_OK) return true;
    mserror_reset();
    mserror_seterr_2arg(err::kCannotConvertCodepage, from, to);
    return false;
}

// The widths of a code page as the service sees them; false with 16529
// after the system's error when it does not know the page.
bool page_widths(int page, Widths *w) noexcept {
    if (page == kCodePageWide) {
        *w = {2, 2};
        return true;
    }
    int max_bytes = os::codepage_max_bytes(page);
    if (max_bytes < 0) {
        mserror_seterr_os(EINVAL);
        mserror_seterr_1arg(err::kNoCodepageInfo, page);
        return false;
    }
    *w = {1, max_bytes};
    return true;
}

bool open_platform(int cs1, int cs2, mscstrans_trans *t) noexcept {
    int page1 = code_page(cs1);
    if (page1 == -1) return false;
    int page2 = code_page(cs2);
    if (page2 == -1) return false;
    if (page1 == page2) {
        *t = default_record();
        t->codepage1 = t->codepage2 = page1;
        t->codeset1 = t->codeset2 = cs1 > cs2 ? cs1 : cs2;
        return true;
    }
    if (!available(page1, page2) || !available(page2, page1)) return false;
    Widths w1{}, w2{};
    if (!page_widths(page1, &w1) || !page_widths(page2, &w2)) return false;
    *t = default_record();
    t->kind = MSCSTRANS_PLATFORM;
    t->codeset1 = cs1;
    t->codeset2 = cs2;
    t->codepage1 = page1;
    t->codepage2 = page2;
    t->forward = t->backward = MSCSTRANS_PLATFORM_FN;
    t->unit_bytes1 = w1.unit_bytes;
    t->unit_bytes2 = w2.unit_bytes;
    t->max_bytes1 = w1.max_bytes;
    t->max_bytes2 = w2.max_bytes;
    t->forward_ratio = static_cast<double>(w2.max_bytes) / w1.unit_bytes;
    t->backward_ratio = static_cast<double>(w1.max_bytes) / w2.unit_bytes;
    return true;
}

// Each failure of the plug-in path reports on a cleared stack.
void report_library(const char *path, const char *error) noexcept {
    mserror_reset_seterr_2arg_str(err::kCannotOpenSharedLibrary, path,
                                  error != nullptr && *error != '\0' ? error : "Unknown Error");
}

void report_symbol(const char *name, const char *error) noexcept {
    mserror_reset_seterr_2arg_str(err::kCannotFindSharedSymbol, name,
                                  error != nullptr && *error != '\0' ? error : "Unknown Error");
}

// Resolves the entry's function called name into *fn (a null name leaves
// it null).
bool resolve(void *library, const char *name, mscstrans_fn *fn) noexcept {
    *fn = nullptr;
    if (name == nullptr) return true;
    const char *error = nullptr;
    void *address = loader::symbol(library, name, &error);
    if (address == nullptr) {
        report_symbol(name, error);
        return false;
    }
    *fn = reinterpret_cast<mscstrans_fn>(address);
    return true;
}

// The translator library of entry, its functions filled into t.
bool load_translator(const mscstrans_entry &entry, mscstrans_trans *t) noexcept {
    if (entry.library == nullptr) {
        mserror_reset_seterr(err::kCannotOpenTranslator, 0);
        return false;
    }
    char path[kPathSize];
    const char *error = nullptr;
    void *library = loader::open(entry.library, path, sizeof path, &error);
    if (library == nullptr) {
        report_library(path, error);
        return false;
    }
    mscstrans_fn forward = nullptr, backward = nullptr;
    if (!resolve(library, entry.forward_name, &forward) || !resolve(library, entry.backward_name, &backward)) {
        loader::close(library);
        return false;
    }
    t->kind = MSCSTRANS_PLUGIN;
    t->library = library;
    t->forward = forward;
    t->backward = backward;
    t->forward_ratio = entry.forward_ratio;
    t->backward_ratio = entry.backward_ratio;
    t->unit_bytes1 = entry.unit_bytes1;
    t->unit_bytes2 = entry.unit_bytes2;
    t->max_bytes1 = entry.max_bytes1;
    t->max_bytes2 = entry.max_bytes2;
    return true;
}

bool open_plugin(int cs1, int cs2, mscstrans_trans *t) noexcept {
    char path[kPathSize];
    const char *error = nullptr;
    void *toc = loader::open(pairs::kTocLibrary, path, sizeof path, &error);
    if (toc == nullptr) {
        if (error != nullptr) report_library(path, error);  // else there is no installation
        return false;
    }
    bool ok = false;
    void *find = loader::symbol(toc, "mstrans_find_cvset", &error);
    mscstrans_entry entry{};
    if (find == nullptr) {
        report_symbol("mstrans_find_cvset", error);
    } else if (reinterpret_cast<mstrans_find_cvset_fn>(find)(cs1, cs2, &entry) == 0) {
        mserror_reset_seterr(err::kCannotOpenTranslator, 0);
    } else {
        ok = load_translator(entry, t);
    }
    loader::close(toc);
    return ok;
}

// ---- Converting -------------------------------------------------------------

struct Direction {
    int from_page, to_page;
    mscstrans_fn function;
    double ratio;
    int source_unit;
    int target_set;
};

Direction direction_of(const mscstrans_trans *t, int direction) noexcept {
    if (direction == 0) {
        return {t->codepage1, t->codepage2, t->forward, t->forward_ratio, t->unit_bytes1, t->codeset2};
    }
    return {t->codepage2, t->codepage1, t->backward, t->backward_ratio, t->unit_bytes2, t->codeset1};
}

// The code-page service's conversion of n bytes into dst_size bytes.
int convert_platform(const Direction &d, const void *src, int n, void *dst, int dst_size, int *out_len,
                     int *status) noexcept {
    // The room in the service's units (a lone byte holds no UTF-16 unit);
    // with none the service would only measure.
    int room = d.to_page == kCodePageWide ? dst_size / 2 : dst_size;
    if (room <= 0 && n > 0) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    uint32_t mode = 0;
    int read = n, written = room;
    int32_t rc;
    if (d.from_page == kCodePageWide) {
        read = n / 2;
        rc = msos_ConvertINetUnicodeToMultiByte(&mode, d.to_page, static_cast<const qrv_wchar *>(src), &read,
                                                static_cast<char *>(dst), &written);
        read *= 2;
    } else if (d.to_page == kCodePageWide) {
        rc = msos_ConvertINetMultiByteToUnicode(&mode, d.from_page, static_cast<const char *>(src), &read,
                                                static_cast<qrv_wchar *>(dst), &written);
        written *= 2;
    } else {
        rc = msos_ConvertINetString(&mode, d.from_page, d.to_page, static_cast<const char *>(src), &read,
                                    static_cast<char *>(dst), &written);
    }
    if (rc != MSOS_CONVERT_OK) return 0;
    if (read < n) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    *out_len = written;
    *status = MSCSTRANS_STATUS_OK;
    return 1;
}

// A record that cannot convert: not initialised, or without a function for
// the direction (an identity record: callers copy).
bool refuse(const mscstrans_trans *t, const Direction &d, int *status) noexcept {
    if (!initialised(t) || d.function == nullptr) {
        mserror_reset_seterr(err::kCannotOpenTranslator, 0);
        if (status != nullptr) *status = MSCSTRANS_STATUS_PARTIAL;
        return true;
    }
    return false;
}

// Bytes of the terminated source including its terminator, read no
// further than cap (-1: no cap).
int64_t source_length(const void *src, int unit, int cap) noexcept {
    size_t limit = cap < 0 ? SIZE_MAX : static_cast<size_t>(cap);
    if (unit == 2) {
        auto *p = static_cast<const unsigned char *>(src);
        size_t i = 0;
        for (; i + 1 < limit; i += 2) {  // a unit at a time, at any address
            uint16_t u;
            std::memcpy(&u, p + i, sizeof u);
            if (u == 0) break;
        }
        return static_cast<int64_t>(std::min(i + 2, limit));
    }
    size_t n = cap < 0 ? std::strlen(static_cast<const char *>(src)) : strnlen(static_cast<const char *>(src), limit);
    return static_cast<int64_t>(std::min(n + 1, limit));
}

// Makes b's storage exactly needed bytes unless it fits without wasting
// 1025 bytes or more.
bool fit(mscstrans_strbuf *b, int needed) noexcept {
    if (b->storage != nullptr && b->size >= needed && b->size - needed < 1025) return true;
    void *storage = b->storage == nullptr ? mssp_get_ex(needed, 1) : mssp_reget_ex(b->storage, needed, 1);
    if (storage == nullptr) {  // a refused resize has freed the old storage
        b->storage = b->text = nullptr;
        b->size = b->length = 0;
        return false;
    }
    b->storage = b->text = static_cast<char *>(storage);
    b->size = needed;
    return true;
}

// The mark belongs to the encoding, so a Locale code set in UTF-8 drops it
// as UTF8 does.
void skip_mark(mscstrans_strbuf *b, int target_page) noexcept {
    auto *p = reinterpret_cast<const unsigned char *>(b->storage);
    int mark = 0;
    if (target_page == os::kCodePageUtf8 && b->length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) mark = 3;
    if (target_page == kCodePageWide && b->length >= 2 && p[0] == 0xFF && p[1] == 0xFE) mark = 2;
    b->text = b->storage + mark;
    b->length -= mark;
}

}  // namespace
}  // namespace qrv::codeset

using namespace qrv::codeset;

extern "C" {

QRV_API int mscstrans_init_trans(mscstrans_trans *t) noexcept {
    if (t == nullptr) return 0;
    *t = mscstrans_trans{};
    t->magic = MSCSTRANS_MAGIC;
    return 1;
}

QRV_API int mscstrans_set_default_trans(mscstrans_trans *t) noexcept {
    if (t == nullptr) return 0;
    *t = default_record();
    return 1;
}

QRV_API int mscstrans_open_trans(int cs1, int cs2, mscstrans_trans *t) noexcept {
    if (!initialised(t)) return 0;
    t->codeset1 = cs1;
    t->codeset2 = cs2;
    if (cs1 == cs2) {
        t->forward_ratio = t->backward_ratio = 1.0;
        return 1;
    }
    if (cs1 == MSCS_LOCALE || cs2 == MSCS_LOCALE) return open_platform(cs1, cs2, t) ? 1 : 0;
    auto single = [](int id) { return id >= MSCS_LATIN1 && id <= MSCS_SJIS; };
    if ((cs1 == MSCS_WCHAR && single(cs2)) || (cs2 == MSCS_WCHAR && single(cs1))) {
        // A refusal here is not the caller's failure: the plug-in may still
        // translate the pair, and its own report is the one that counts.
        qrv::errstack::QuietScope quiet;
        mscstrans_trans trial = *t;
        if (open_platform(cs1, cs2, &trial)) {
            *t = trial;
            return 1;
        }
    }
    return open_plugin(cs1, cs2, t) ? 1 : 0;
}

QRV_API int mscstrans_close_trans(mscstrans_trans *t) noexcept {
    if (t == nullptr) return 0;
    if (initialised(t) && t->kind == MSCSTRANS_PLUGIN && t->library != nullptr) loader::close(t->library);
    return mscstrans_init_trans(t);
}

QRV_API int mscstrans_cs1_cs2(mscstrans_trans *t, int direction, const void *src, int src_len, void *dst, int dst_size,
                              int *out_len, int *status) noexcept {
    if (t == nullptr || out_len == nullptr || status == nullptr || src_len < 0 || dst_size < 0 ||
        (src == nullptr && src_len > 0) || (dst == nullptr && dst_size > 0)) {
        if (status != nullptr) *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    if (src == dst && src != nullptr) {
        *status = MSCSTRANS_STATUS_SAME;
        return 0;
    }
    Direction d = direction_of(t, direction);
    if (refuse(t, d, status)) return 0;
    if (t->kind == MSCSTRANS_PLATFORM) return convert_platform(d, src, src_len, dst, dst_size, out_len, status);
    return d.function(src, src_len, dst, dst_size, &dst, out_len, status);
}

QRV_API int mscstrans_cs1_cs2_str_ex(mscstrans_trans *t, int direction, const void *src, int src_len,
                                     mscstrans_strbuf *b, int *status) noexcept {
    if (t == nullptr || src == nullptr || b == nullptr || status == nullptr) return 0;
    Direction d = direction_of(t, direction);
    if (refuse(t, d, status)) return 0;
    int64_t length = source_length(src, d.source_unit, src_len);
    double needed = static_cast<double>(length + 2) * d.ratio;
    if (!(needed >= 1.0 && needed <= INT_MAX - 2)) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    int size = static_cast<int>(needed);
    if (!fit(b, size)) return 0;
    int converted_length = static_cast<int>(length);
    int out = 0;
    int ok = t->kind == MSCSTRANS_PLATFORM
                 ? convert_platform(d, src, converted_length, b->storage, size, &out, status)
                 : d.function(src, converted_length, b->storage, size, &converted_length, &out, status);
    if (ok == 0) return 0;
    b->text = b->storage;
    b->length = out < 0 || out > size ? 0 : out;
    if (t->kind == MSCSTRANS_PLATFORM) skip_mark(b, d.to_page);
    // A terminator after the text, where the storage has room for it.
    int terminator = d.target_set == MSCS_WCHAR ? 2 : 1;
    int end = static_cast<int>(b->text - b->storage) + b->length;
    if (end + terminator <= b->size) std::memset(b->storage + end, 0, static_cast<size_t>(terminator));
    return ok;
}

QRV_API int mscstrans_strbuf_init(mscstrans_strbuf *b) noexcept {
    if (b == nullptr) return 0;
    *b = mscstrans_strbuf{};
    return 1;
}

QRV_API int mscstrans_strbuf_destroy(mscstrans_strbuf *b) noexcept {
    if (b == nullptr) return 0;
    mssp_free_rv(b->storage);
    *b = mscstrans_strbuf{};
    return 1;
}

QRV_API int mscstrans_get_translist(int cs, int *partners, int max) noexcept {
    if (max <= 0) return 0;
    char path[kPathSize];
    const char *error = nullptr;
    void *toc = loader::open(pairs::kTocLibrary, path, sizeof path, &error);
    if (toc == nullptr) return 0;
    int found = 0;
    if (void *list_fn = loader::symbol(toc, "mstrans_get_trlist", &error)) {
        int count = 0;
        const mscstrans_entry *list = reinterpret_cast<mstrans_get_trlist_fn>(list_fn)(&count);
        for (int i = 0; list != nullptr && i < count && found < max; ++i) {
            int partner = list[i].codeset1 == cs ? list[i].codeset2 : list[i].codeset2 == cs ? list[i].codeset1 : -1;
            if (partner < 0) continue;
            if (partners != nullptr) partners[found] = partner;
            ++found;
        }
    }
    loader::close(toc);
    return found;
}

}  // extern "C"
