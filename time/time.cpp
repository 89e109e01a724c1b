// "Now" with the process's time offset, the local calendar date, and
// timeval arithmetic. The clocks themselves are the operating-system
// layer's; this floor adds the offset from MSTIMEOFFSET.
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/errids.h"
#include "mscv.h"
#include "mserror.h"
#include "msos.h"
#include "mstime.h"
#include "msvars.h"
#include "os/os_internal.h"
#include "time/offset.h"

namespace qrv::mstime {
namespace {

constexpr int64_t kNano = 1000000000;
constexpr int64_t kMaxSec = std::numeric_limits<int64_t>::max();
constexpr int64_t kMinSec = std::numeric_limits<int64_t>::min();

// Written at process init and end only (under the init lock), read freely.
struct Offset {
    bool active;
    bool negative;
    mstime_timeval magnitude;
};
Offset g_offset{};

// Seconds and nanoseconds with the nanoseconds brought into 0..999999999;
// a carry past either end of the seconds stays at that end.
struct Exact {
    int64_t sec;
    int64_t nsec;
};

Exact saturated(bool high) { return high ? Exact{kMaxSec, kNano - 1} : Exact{kMinSec, 0}; }

Exact normal(const mstime_timeval *v) {
    if (v == nullptr) return {0, 0};
    int64_t carry = v->nsec / kNano;
    int64_t nsec = v->nsec % kNano;
    if (nsec < 0) {
        nsec += kNano;
        --carry;
    }
    int64_t sec;
    if (__builtin_add_overflow(v->sec, carry, &sec)) return saturated(carry > 0);
    return {sec, nsec};
}

int compare(const Exact &a, const Exact &b) {
    if (a.sec != b.sec) return a.sec < b.sec ? -1 : 1;
    if (a.nsec != b.nsec) return a.nsec < b.nsec ? -1 : 1;
    return 0;
}

mstime_timeval *store(mstime_timeval *result, const Exact &v) {
    result->sec = v.sec;
    result->nsec = static_cast<int32_t>(v.nsec);
    return result;
}

// On the clock's own readings, which are normalised: no call into the
// general arithmetic on this path.
void apply_offset(mstime_timeval *tv) {
    const Offset &o = g_offset;
    if (!o.active) return;
    int64_t sec;
    int64_t nsec;
    if (!o.negative) {
        nsec = tv->nsec + o.magnitude.nsec;
        int64_t carry = nsec >= kNano;
        if (__builtin_add_overflow(tv->sec, o.magnitude.sec + carry, &sec)) {
            store(tv, saturated(true));
            return;
        }
        nsec -= carry * kNano;
    } else {
        nsec = tv->nsec - o.magnitude.nsec;
        int64_t borrow = nsec < 0;
        sec = tv->sec - o.magnitude.sec - borrow;  // the magnitude is within the bound mstime_init checked
        nsec += borrow * kNano;
        if (sec < 0) sec = nsec = 0;
    }
    store(tv, Exact{sec, nsec});
}

}  // namespace

void end() noexcept { g_offset = Offset{}; }

}  // namespace qrv::mstime

using namespace qrv;
using namespace qrv::mstime;

extern "C" {

QRV_API int mstime_init(void) noexcept {
    g_offset = Offset{};
    os::clock_restart();
    const char *value = msbasic_initfile_getvar_env("MSTIMEOFFSET");
    if (value == nullptr || value[0] == '\0') return 1;
    double seconds = 0;
    if (!mscv_flt_af(&seconds, value) || std::isnan(seconds)) {
        mserror_reset_seterr_1arg_str(err::kBadTimeOffset, value);
        return 0;
    }
    mstime_timeval now;
    if (msos_get_timeval(&now) != 0) {
        mserror_seterr_os_geterror();
        return 0;
    }
    // The offset must not take "now" past the largest timeval.
    const mstime_timeval largest{kMaxSec, 0};
    mstime_timeval room;
    double bound = mstime_timeval_to_double(mstime_timeval_sub(&room, &largest, &now));
    double magnitude = std::fabs(seconds);
    if (magnitude > bound || magnitude >= 0x1p63) {
        mserror_reset_seterr_1arg(err::kTimeOffsetTooLarge, static_cast<int64_t>(bound));
        return 0;
    }
    if (magnitude == 0) return 1;
    int64_t whole = static_cast<int64_t>(magnitude);
    g_offset.magnitude.sec = whole;
    g_offset.magnitude.nsec = static_cast<int32_t>((magnitude - static_cast<double>(whole)) * 1e9);
    g_offset.negative = seconds < 0;
    g_offset.active = true;
    return 1;
}

QRV_API int64_t mstime_gettime(int64_t *seconds) noexcept {
    int64_t now = msos_time();
    if (now >= 0 && g_offset.active) {
        mstime_timeval tv{now, 0};
        const mstime_timeval whole{g_offset.magnitude.sec, 0};
        now = (g_offset.negative ? mstime_timeval_sub(&tv, &tv, &whole) : mstime_timeval_add(&tv, &tv, &whole))->sec;
    }
    if (seconds != nullptr) *seconds = now;
    return now;
}

QRV_API int mstime_get_timeval(mstime_timeval *tv) noexcept {
    if (msos_get_timeval(tv) != 0) return -1;
    apply_offset(tv);
    return 0;
}

QRV_API int mstime_get_local_timeval(mstime_timeval *tv) noexcept {
    if (msos_get_local_timeval(tv) != 0) return -1;
    apply_offset(tv);
    return 0;
}

QRV_API void mstime_getlocal_time(int *year, int *month, int *day, int *hour, int *minute, int *second) noexcept {
    msos_tm now{};
    if (msos_localtime_r(msos_time(), &now) == nullptr) now = msos_tm{0, 0, 0, 1, 0, 70, 4, 0, 0};
    if (year != nullptr) *year = now.year + 1900;
    if (month != nullptr) *month = now.mon + 1;
    if (day != nullptr) *day = now.mday;
    if (hour != nullptr) *hour = now.hour;
    if (minute != nullptr) *minute = now.min;
    if (second != nullptr) *second = now.sec;
}

QRV_API void mstime_getlocal_yymmdd(int *year, int *month, int *day) noexcept {
    mstime_getlocal_time(year, month, day, nullptr, nullptr, nullptr);
}

QRV_API mstime_timeval *mstime_timeval_add(mstime_timeval *result, const mstime_timeval *a,
                                           const mstime_timeval *b) noexcept {
    if (result == nullptr) return nullptr;
    Exact x = normal(a), y = normal(b), sum;
    if (__builtin_add_overflow(x.sec, y.sec, &sum.sec)) return store(result, saturated(x.sec > 0));
    sum.nsec = x.nsec + y.nsec;
    if (sum.nsec >= kNano) {
        sum.nsec -= kNano;
        if (sum.sec == kMaxSec) return store(result, saturated(true));
        ++sum.sec;
    }
    return store(result, sum);
}

QRV_API mstime_timeval *mstime_timeval_sub(mstime_timeval *result, const mstime_timeval *a,
                                           const mstime_timeval *b) noexcept {
    if (result == nullptr) return nullptr;
    Exact x = normal(a), y = normal(b), difference;
    if (compare(x, y) <= 0) return store(result, Exact{0, 0});
    if (__builtin_sub_overflow(x.sec, y.sec, &difference.sec)) return store(result, saturated(true));
    difference.nsec = x.nsec - y.nsec;
    if (difference.nsec < 0) {
        difference.nsec += kNano;
        --difference.sec;
    }
    return store(result, difference);
}

QRV_API int mstime_timeval_cmp(const mstime_timeval *a, const mstime_timeval *b) noexcept {
    return compare(normal(a), normal(b));
}

QRV_API double mstime_timeval_to_double(const mstime_timeval *tv) noexcept {
    return tv == nullptr ? 0.0 : static_cast<double>(tv->sec) + static_cast<double>(tv->nsec) / 1e9;
}

}  // extern "C"
