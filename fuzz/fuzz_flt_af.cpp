// mscv_flt_af on arbitrary text: it never reads past the terminator, fails
// only with its own error ids and leaves the result alone then, and where
// glibc's strtod reads the same whole decimal text the two agree to the
// reader's accuracy (a few rounding steps of scaling by table powers).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "msbasic.h"
#include "mscv.h"
#include "mserror.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const double kUntouched = 12345.0;
    double value = kUntouched;
    int ok = mscv_flt_af(&value, text.data());
    if (ok == 0) {
        int32_t id = mserror_geterr_id();
        if (value != kUntouched || id < 16051 || id > 16056) std::abort();
        return 0;
    }
    if (ok != 1) std::abort();
    if (std::isnan(value)) std::abort();
    if (!plain_decimal(text.data()) || std::isinf(value)) return 0;
    char *end = nullptr;
    double peer = std::strtod(text.data(), &end);
    while (*end == ' ' || (*end >= '\t' && *end <= '\r')) ++end;
    if (*end != '\0' || !std::isfinite(peer)) return 0;
    if (std::fabs(value - peer) > 2e-15 * std::fabs(peer)) std::abort();
    return 0;
}
