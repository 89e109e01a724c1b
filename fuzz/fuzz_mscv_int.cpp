// The integer readers on arbitrary text: the returned position stays inside
// the text, decimal results and errors agree with strtoll/strtoull, a read
// value written back reads as the same value, and the writers agree with
// snprintf on values taken from the input.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "msbasic.h"
#include "mscv.h"
#include "mserror.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_mscv_int: %s\n", what);
        std::abort();
    }
}

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <typename T>
void signed_reader(const char *(*read)(T *, const char *), int (*checked)(T *, const char *), const std::string &s,
                   long long lo, long long hi) {
    const char *text = s.c_str();
    T value = 0;
    const char *end = read(&value, text);
    check(end == nullptr || (end > text && end <= text + s.size()), "position outside the text");
    const char *p = text;
    while (blank(*p)) ++p;
    bool negative = *p == '-';
    const char *digits = p + (negative || *p == '+');
    bool hex = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (!hex) {
        errno = 0;
        char *oracle_end = nullptr;
        long long expected = std::strtoll(text, &oracle_end, 10);
        if (oracle_end == text) {
            check(end == nullptr && mserror_geterr_id() == 16052, "no digits expected");
        } else if (errno == ERANGE || expected < lo || expected > hi) {
            check(end == nullptr && mserror_geterr_id() == (negative ? 16055 : 16053), "overflow expected");
        } else {
            check(end == oracle_end && value == expected, "decimal disagrees with strtoll");
        }
    }
    if (end != nullptr) {
        char buf[24];
        mscv_i64x(buf, value);
        T again = 0;
        check(read(&again, buf) == buf + std::strlen(buf) && again == value, "written value reads back differently");
        const char *rest = end;
        while (blank(*rest)) ++rest;
        check(checked(&again, text) == (*rest == '\0' ? 1 : 0), "checked reader disagrees");
    }
}

void unsigned_reader(const std::string &s, int base) {
    const char *text = s.c_str();
    unsigned value = 0;
    const char *end = mscv_xu(&value, text, base);
    check(end == nullptr || (end > text && end <= text + s.size()), "position outside the text");
    const char *p = text;
    while (blank(*p)) ++p;
    if (*p == '+' || *p == '-' || (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) return;
    errno = 0;
    char *oracle_end = nullptr;
    unsigned long long expected = std::strtoull(text, &oracle_end, base == 8 || base == 16 ? base : 10);
    if (oracle_end == text) {
        check(end == nullptr && mserror_geterr_id() == 16052, "unsigned: no digits expected");
    } else if (errno == ERANGE || expected > 0xFFFFFFFFull) {
        check(end == nullptr && mserror_geterr_id() == 16053, "unsigned: overflow expected");
    } else {
        check(end == oracle_end && value == expected, "unsigned disagrees with strtoull");
    }
}

void writers(const uint8_t *data, size_t size) {
    uint64_t v = 0;
    std::memcpy(&v, data, size < 8 ? size : 8);
    char ours[32], theirs[32];
    mscv_i64x(ours, static_cast<int64_t>(v));
    std::snprintf(theirs, sizeof theirs, "%lld", static_cast<long long>(v));
    check(std::strcmp(ours, theirs) == 0, "mscv_i64x");
    mscv_ix(ours, static_cast<int>(v));
    std::snprintf(theirs, sizeof theirs, "%d", static_cast<int>(v));
    check(std::strcmp(ours, theirs) == 0, "mscv_ix");
    const struct {
        int base;
        const char *f32, *f64;
    } kBases[] = {{8, "%o", "%llo"}, {10, "%u", "%llu"}, {16, "%x", "%llx"}};
    for (const auto &b : kBases) {
        mscv_u64x(ours, v, b.base);
        std::snprintf(theirs, sizeof theirs, b.f64, static_cast<unsigned long long>(v));
        check(std::strcmp(ours, theirs) == 0, "mscv_u64x");
        mscv_ux(ours, static_cast<unsigned>(v), b.base);
        std::snprintf(theirs, sizeof theirs, b.f32, static_cast<unsigned>(v));
        check(std::strcmp(ours, theirs) == 0, "mscv_ux");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool initialised = msbasic_init_main(msbasic_init_cascade) == 1;
    check(initialised, "library did not initialise");
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    signed_reader<int>(mscv_xi, mscv_ai, text, INT32_MIN, INT32_MAX);
    signed_reader<int32_t>(mscv_xl, mscv_al, text, INT32_MIN, INT32_MAX);
    signed_reader<int64_t>(mscv_xi64, mscv_ai64, text, INT64_MIN, INT64_MAX);
    for (int base : {8, 10, 16}) unsigned_reader(text, base);
    writers(data, size);
    return 0;
}
