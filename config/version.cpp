// The library's version, its identification texts, version texts and the
// per-kind version thresholds.
#include <cstdint>

#include "base/version.h"
#include "mscv.h"
#include "mserror.h"
#include "msversion.h"

namespace {

constexpr int32_t pack(uint32_t major, uint32_t minor, uint32_t revision) {
    return static_cast<int32_t>(((major & 127u) << 24) + (minor << 16) + revision);
}

// Thresholds of each kind in ascending order, ended by 0.
constexpr int32_t kThresholds[16][7] = {
    {0},
    {pack(7, 21, 0), 0},
    {pack(7, 0, 0), 0},
    {pack(6, 1, 7), pack(6, 11, 0), pack(7, 0, 0), pack(8, 40, 0), pack(8, 61, 0), pack(10, 20, 5), 0},
    {pack(4, 0, 0), pack(7, 0, 0), pack(10, 20, 1), 0},
    {pack(10, 20, 7), 0},
    {pack(6, 1, 7), pack(6, 10, 1), 0},
    {pack(8, 10, 3), 0},
    {pack(8, 10, 3), 0},
    {pack(8, 10, 3), 0},
    {pack(6, 1, 7), 0},
    {pack(6, 2, 0), pack(6, 4, 0), 0},
    {pack(8, 20, 0), 0},
    {pack(8, 62, 0), 0},
    {pack(8, 50, 0), 0},
    {pack(10, 20, 7), 0},
};

const int32_t *thresholds(int kind) {
    static constexpr int32_t kNone[1] = {0};
    return kind >= 0 && kind < 16 ? kThresholds[kind] : kNone;
}

bool newer_than_library(int32_t version) {
    return (static_cast<uint32_t>(version) & 0xFFFF0000u) > static_cast<uint32_t>(msversion_dbms);
}

// Reads a number after the text of a version; 0 and nothing reported when
// there is none.
const char *optional_number(int32_t *out, const char *text) {
    int32_t floor = mserror_cleanup_save();
    const char *next = mscv_xl(out, text);
    mserror_cleanup_restore(floor);
    if (next == nullptr) *out = 0;
    return next;
}

}  // namespace

extern "C" {

QRV_API extern const int32_t msversion_ver_major = QRV_VERSION_MAJOR;
QRV_API extern const int32_t msversion_ver_minor = QRV_VERSION_MINOR;
QRV_API extern const int32_t msversion_ver_revision = QRV_VERSION_PATCH;
QRV_API extern const int32_t msversion_dbms = pack(QRV_VERSION_MAJOR, QRV_VERSION_MINOR, QRV_VERSION_PATCH);

QRV_API extern const char msversion_version[] = "Quorvel " QRV_VERSION_TEXT;
QRV_API extern const char msversion_version_w_revision[] = "Quorvel " QRV_VERSION_TEXT;
QRV_API extern const char msversion_package_name[] = "Quorvel";
QRV_API extern const char msversion_copyright[] = "Copyright (c) Quorvel developers";
QRV_API extern const char msversion_company_name[] = "Quorvel developers";
QRV_API extern const char msversion_email[] = "support@quorvel.invalid";
QRV_API extern const char msversion_website[] = "https://quorvel.invalid/";

QRV_API int32_t msversion_convert(const char *text) noexcept {
    int32_t major = 0, minor = 0, revision = 0;
    const char *p = mscv_xl(&major, text);
    if (p == nullptr) return 0;
    if (*p == '.') {
        p = optional_number(&minor, p + 1);
        if (p != nullptr && *p == '.') {
            optional_number(&revision, p + 1);
        } else if (p != nullptr && p[0] == ' ' && p[1] == 'r') {
            optional_number(&revision, p + 2);
        }
    }
    uint32_t value = ((static_cast<uint32_t>(major) & 127u) * 256u + static_cast<uint32_t>(minor)) * 65536u +
                     static_cast<uint32_t>(revision);
    return static_cast<int32_t>(value);
}

QRV_API int msversion_check(int kind, int32_t version) noexcept {
    if (newer_than_library(version)) return 0;
    const int32_t *t = thresholds(kind);
    if (t[0] == 0 || static_cast<uint32_t>(version) < static_cast<uint32_t>(t[0])) return 3;
    int last = 0;
    while (t[last + 1] != 0) ++last;
    return static_cast<uint32_t>(version) >= static_cast<uint32_t>(t[last]) ? 1 : 2;
}

QRV_API int msversion_supported(int kind, int32_t version) noexcept {
    if (newer_than_library(version)) return -1;
    int reached = 0;
    for (const int32_t *t = thresholds(kind); *t != 0; ++t) {
        if (static_cast<uint32_t>(version) >= static_cast<uint32_t>(*t)) ++reached;
    }
    return reached;
}

}  // extern "C"
