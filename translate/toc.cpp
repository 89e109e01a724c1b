// libmstoc.so: the table of contents of the translators this product ships.
#include "codeset/pairs.h"
#include "translate/plugin.h"

namespace {
mscstrans_entry g_list[] = {QRV_TRANSLATOR_PAIRS(QRV_TOC_ENTRY)};
}  // namespace

QRV_PLUGIN_API int mstrans_find_cvset(int codeset1, int codeset2, mscstrans_entry *out) {
    return out != nullptr && qrv::codeset::pairs::find(codeset1, codeset2, out) ? 1 : 0;
}

QRV_PLUGIN_API mscstrans_entry *mstrans_get_trlist(int *count) {
    if (count != nullptr) *count = qrv::codeset::pairs::kEntryCount;
    return g_list;
}
