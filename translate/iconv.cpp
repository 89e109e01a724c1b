// libmstrans_iconv.so: every other pair of the shipped code sets, through
// the system's iconv. Each function converts one direction of one pair with
// a descriptor of its own call, so any number of threads may share a record.
#include <errno.h>
#include <iconv.h>

#include "codeset/pairs.h"
#include "translate/plugin.h"

namespace {

using qrv::codeset::pairs::Set;

int convert(const Set &from, const Set &to, const void *src, int src_len, void *dst, int dst_size, int *out_len,
            int *status) {
    if (out_len == nullptr || status == nullptr) return 0;
    *out_len = 0;
    *status = MSCSTRANS_STATUS_PARTIAL;
    if (src_len < 0 || dst_size < 0 || (src == nullptr && src_len > 0) || (dst == nullptr && dst_size > 0)) return 0;
    iconv_t cd = iconv_open(to.iconv_name, from.iconv_name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char *in = static_cast<char *>(const_cast<void *>(src));
    char *out = static_cast<char *>(dst);
    size_t in_left = static_cast<size_t>(src_len), out_left = static_cast<size_t>(dst_size);
    size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    if (rc != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, &out, &out_left);
    iconv_close(cd);
    *out_len = dst_size - static_cast<int>(out_left);
    if (in_left != 0) return 0;
    *status = MSCSTRANS_STATUS_OK;
    return 1;
}

}  // namespace

#define QRV_ICONV_DIRECTION(a, b)                                                                               \
    QRV_PLUGIN_API int mstrans_##a##_to_##b(const void *src, int src_len, void *dst, int dst_size, void *,      \
                                            int *out_len, int *status) {                                        \
        return convert(qrv::codeset::pairs::sets::a, qrv::codeset::pairs::sets::b, src, src_len, dst, dst_size, \
                       out_len, status);                                                                        \
    }
#define QRV_ICONV_PAIR(a, b) QRV_ICONV_DIRECTION(a, b) QRV_ICONV_DIRECTION(b, a)

// The Wchar <-> UTF8 pair lives in libmstrans_wchar.so; this file defines
// it too, harmlessly, since the macro list is one.
QRV_TRANSLATOR_PAIRS(QRV_ICONV_PAIR)
