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

// A short text straight into the engine's fixed buffer.
int convert_into(const char16_t *src, char *dst, int size) noexcept {
    size_t units = 0;
    for (; src[units] != 0; ++units) {
        if ((units + 1) * 3 >= static_cast<size_t>(size)) return -1;  // 3 bytes a unit and the terminator
    }
    int length = 0, status = 0;
    if (mscstrans_cs1_cs2(&g_record, 0, src, static_cast<int>(units * 2), dst, size - 1, &length, &status) == 0) {
        return -1;
    }
    dst[length] = '\0';
    return length;
}

const fmt::WideTranslator kTranslator = {open, close, convert, convert_into};

}  // namespace

const fmt::WideTranslator *wide_translator() noexcept { return &kTranslator; }

}  // namespace qrv::codeset
