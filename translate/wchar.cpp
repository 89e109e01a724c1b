// libmstrans_wchar.so: Wchar <-> UTF8 by the library's own converter.
#include "codeset/wchar_translator.h"
#include "translate/plugin.h"

using namespace qrv::codeset;

QRV_PLUGIN_API int mstrans_wchar_to_utf8(const void *src, int src_len, void *dst, int dst_size, void *call_site,
                                         int *out_len, int *status) {
    return wchar_translator::to_utf8(src, src_len, dst, dst_size, call_site, out_len, status);
}

QRV_PLUGIN_API int mstrans_utf8_to_wchar(const void *src, int src_len, void *dst, int dst_size, void *call_site,
                                         int *out_len, int *status) {
    return wchar_translator::from_utf8(src, src_len, dst, dst_size, call_site, out_len, status);
}
