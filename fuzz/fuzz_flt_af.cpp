// The float reader on arbitrary text: it never reads past the terminator,
// fails only with its own error ids and leaves the result alone then, and
// where glibc's strtod reads the same whole decimal text the two agree to
// the reader's accuracy (a few rounding steps of scaling by table powers).
// The first 8 bytes, taken as a double, also make a round trip: printed by
// the engine with 16 significant digits ("%.15le") it reads back within
// 4e-15 (each direction scales by up to six table powers, each rounding
// once); only values beyond the normal range may fail, with overflow or
// underflow.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "msbasic.h"
#include "mscv.h"
#include "mserror.h"
#include "msfmt.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return msbasic_init_main(msbasic_init_cascade) == 1 ? 0 : 1; }

namespace {

// Plain decimal text as both readers understand it: no hexadecimal form,
// no infinity, no exponent written with white space or "0x".
bool plain_decimal(const char *text) {
    for (const char *p = text; *p != '\0'; ++p) {
        if (std::strchr("0123456789+-.eE \t\n\v\f\r", *p) == nullptr) return false;
        if ((*p == 'e' || *p == 'E') && (p[1] == ' ' || (p[1] >= '\t' && p[1] <= '\r'))) return false;
    }
    return true;
}

void read_text(const char *text) {
    double value = 12345.0;
    int ok = mscv_flt_af(&value, text);
    if (ok == 0) {
        int32_t id = mserror_geterr_id();
        if (value != 12345.0 || id < 16051 || id > 16056) std::abort();
        return;
    }
    if (ok != 1 || std::isnan(value)) std::abort();
    if (!plain_decimal(text) || std::isinf(value)) return;
    char *end = nullptr;
    double peer = std::strtod(text, &end);
    while (*end == ' ' || (*end >= '\t' && *end <= '\r')) ++end;
    if (*end == '\0' && std::isfinite(peer) && std::fabs(value - peer) > 2e-15 * std::fabs(peer)) std::abort();
}

void round_trip(double x) {
    if (!std::isfinite(x)) return;
    char text[40];
    msfmt_buffer_lim(text, sizeof text, "%.15le", x);
    double y = 0.0;
    if (mscv_flt_af(&y, text) == 0) {
        int32_t id = mserror_geterr_id();
        if (!(id == 16054 && std::fabs(x) > 1.7976931348623e308) &&
            !(id == 16056 && std::fabs(x) < 2.2250738585073e-308)) {
            std::abort();
        }
    } else if (std::fabs(y - x) > 4e-15 * std::fabs(x)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    read_text(text.data());
    double x = 0.0;
    std::memcpy(&x, data, size < sizeof x ? size : sizeof x);
    round_trip(x);
    return 0;
}
