// The Wchar <-> UTF8 translator's two conversion functions, by the
// library's own converter: built into the library and compiled into the
// plug-in "libmstrans_wchar.so" from this one source.
#pragma once

#include <cstdint>

#include "mscs.h"
#include "text/utf16.h"

namespace qrv::codeset::wchar_translator {

// The common end of a conversion: the bytes written, and success only when
// the whole input was converted.
inline int finish(const utf16::Result &r, size_t written_bytes, int *out_len, int *status) noexcept {
    *out_len = static_cast<int>(written_bytes);
    bool whole = r.stop == utf16::Stop::kDone;
    *status = whole ? MSCSTRANS_STATUS_OK : MSCSTRANS_STATUS_PARTIAL;
    return whole ? 1 : 0;
}

inline bool refused(const void *src, int src_len, const void *dst, int dst_size, int *out_len, int *status) noexcept {
    if (out_len == nullptr || status == nullptr) return true;
    *out_len = 0;
    bool bad = src_len < 0 || dst_size < 0 || (src_len > 0 && src == nullptr) || (dst_size > 0 && dst == nullptr);
    if (bad) *status = MSCSTRANS_STATUS_PARTIAL;
    return bad;
}

inline bool unit_aligned(const void *p) noexcept { return reinterpret_cast<uintptr_t>(p) % alignof(char16_t) == 0; }

// UTF-16LE (src_len bytes; an odd last byte is a cut unit) to UTF-8. The
// units are read in place, so like the other direction's destination the
// source must be unit-aligned.
inline int to_utf8(const void *src, int src_len, void *dst, int dst_size, void *, int *out_len, int *status) noexcept {
    if (refused(src, src_len, dst, dst_size, out_len, status)) return 0;
    if (!unit_aligned(src)) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    size_t units = static_cast<size_t>(src_len) / 2;
    utf16::Result r = utf16::to_utf8(static_cast<const char16_t *>(src), units, static_cast<char *>(dst),
                                     static_cast<size_t>(dst_size));
    if (r.stop == utf16::Stop::kDone && src_len % 2 != 0) r.stop = utf16::Stop::kTruncated;
    return finish(r, r.written, out_len, status);
}

// UTF-8 (src_len bytes) to UTF-16LE; dst_size in bytes.
inline int from_utf8(const void *src, int src_len, void *dst, int dst_size, void *, int *out_len,
                     int *status) noexcept {
    if (refused(src, src_len, dst, dst_size, out_len, status)) return 0;
    if (!unit_aligned(dst)) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    utf16::Result r = utf16::from_utf8(static_cast<const char *>(src), static_cast<size_t>(src_len),
                                       static_cast<char16_t *>(dst), static_cast<size_t>(dst_size) / 2);
    return finish(r, r.written * 2, out_len, status);
}

}  // namespace qrv::codeset::wchar_translator
