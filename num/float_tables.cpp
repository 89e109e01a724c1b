// The exported fine powers of ten of floating-point conversion and the
// precision queries. The format descriptors themselves are in fpu_format.cpp.
#include "mscv.h"
#include "num/float.h"

extern "C" {

QRV_API extern const double mscv_flt_small[15] = {1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7, 1e8,
                                                  1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
QRV_API extern const double mscv_flt_rsmall[15] = {1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7, 1e-8,
                                                   1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};
QRV_API extern const int mscv_flt_nsmall = 15;

QRV_API int mscv_flt_get_dprec(void) noexcept { return mscv_fpu_double->dec_digits; }
QRV_API int mscv_flt_get_sprec(void) noexcept { return mscv_fpu_single->dec_digits; }
QRV_API int mscv_flt_get_dexpndigits(void) noexcept { return mscv_fpu_double->exp_digits; }

}  // extern "C"
