// A double printed by the engine with 16 significant digits ("%.15le",
// three-digit exponent) reads back close
// to itself. Printing and reading each scale by up to six table powers of
// ten, every step rounding once, so the bound is relative: 4e-15 covers
// both directions (about four units of the 16th digit for a leading 1).
// Only values beyond the largest or below the smallest normal double may
// fail, with overflow or underflow.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "msbasic.h"
#include "mscv.h"
#include "mserror.h"
#include "msfmt.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return msbasic_init_main(msbasic_init_cascade) == 1 ? 0 : 1; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < sizeof(double)) return 0;
    double x;
    std::memcpy(&x, data, sizeof x);
    if (!std::isfinite(x)) return 0;
    char text[40];
    msfmt_buffer_lim(text, sizeof text, "%.15le", x);
    double y = 0.0;
    if (mscv_flt_af(&y, text) == 0) {
        int32_t id = mserror_geterr_id();
        bool overflow = id == 16054 && std::fabs(x) > 1.7976931348623e308;
        bool underflow = id == 16056 && std::fabs(x) < 2.2250738585073e-308;
        if (!overflow && !underflow) std::abort();
        return 0;
    }
    if (std::fabs(y - x) > 4e-15 * std::fabs(x)) std::abort();
    return 0;
}
