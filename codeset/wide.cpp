// The formatting engine's wide conversions through one shared translator
// record from Wchar to UTF8. The engine opens it on first use under its
// mutex and closes it at process end; converting leaves the record alone,
// so every thread uses it at once.
#include "codeset/wide.h"

#include "mscs.h"

namespace qrv::codeset {
namespace {

mscstrans_trans g_record;

bool open() noexcept {
    mscstrans_init_trans(&g_record);
    return mscstrans_open_trans(MSCS_WCHAR, MSCS_UTF8, &g_record) == 1;
}

void close() noexcept { mscstrans_close_trans(&g_record); }

// The engine's buffer becomes the string buffer's storage for the call.
int convert(const char16_t *src, char **buffer, int *capacity) noexcept {
    mscstrans_strbuf b{*buffer, *buffer, *capacity, 0};
    int status = 0;
    int ok = mscstrans_cs1_cs2_str_ex(&g_record, 0, src, -1, &b, &status);
    *buffer = b.storage;
    *capacity = b.size;
    if (ok == 0 || b.text == nullptr) return -1;
    int length = b.length;
    if (length > 0 && b.text[length - 1] == '\0') --length;  // the converted terminator
    if (b.text != b.storage) __builtin_memmove(b.storage, b.text, static_cast<size_t>(length));
    return length;
}

const fmt::WideTranslator kTranslator = {open, close, convert};

}  // namespace

const fmt::WideTranslator *wide_translator() noexcept { return &kTranslator; }

}  // namespace qrv::codeset
