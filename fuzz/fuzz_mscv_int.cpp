// The integer readers on arbitrary text: the returned position stays inside
// the text, decimal results and errors agree with strtoll/strtoull, a read
// value written back reads as the same value, and the checked readers
// accept exactly what the plain ones read up to trailing white space. (The
// writers are checked against snprintf by the unit tests.)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "msbasic.h"
#include "mscv.h"
#include "mserror.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_mscv_int: %s\n", #ok), std::abort()))

namespace {

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
const char *skip_blank(const char *p) {
    while (blank(*p)) ++p;
    return p;
}

template <typename T>
void signed_reader(const char *(*read)(T *, const char *), int (*checked)(T *, const char *), const std::string &s,
                   long long lo, long long hi) {
    const char *text = s.c_str();
    T value = 0;
    const char *end = read(&value, text);
    CHECK(end == nullptr || (end > text && end <= text + s.size()));
    const char *p = skip_blank(text);
    bool negative = *p == '-';
    const char *digits = p + (negative || *p == '+');
    if (!(digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))) {
        errno = 0;
        char *oracle_end = nullptr;
        long long expected = std::strtoll(text, &oracle_end, 10);
        if (oracle_end == text) {
            CHECK(end == nullptr && mserror_geterr_id() == 16052);
        } else if (errno == ERANGE || expected < lo || expected > hi) {
            CHECK(end == nullptr && mserror_geterr_id() == (negative ? 16055 : 16053));
        } else {
            CHECK(end == oracle_end && value == expected);
        }
    }
    if (end != nullptr) {
        char buf[24];
        mscv_i64x(buf, value);
        T again = 0;
        CHECK(read(&again, buf) == buf + std::strlen(buf) && again == value);
        CHECK(checked(&again, text) == (*skip_blank(end) == '\0' ? 1 : 0));
    }
}

void unsigned_reader(const std::string &s, int base) {
    const char *text = s.c_str();
    unsigned value = 0;
    const char *end = mscv_xu(&value, text, base);
    CHECK(end == nullptr || (end > text && end <= text + s.size()));
    const char *p = skip_blank(text);
    if (*p == '+' || *p == '-' || (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) return;
    errno = 0;
    char *oracle_end = nullptr;
    unsigned long long expected = std::strtoull(text, &oracle_end, base);
    if (oracle_end == text) {
        CHECK(end == nullptr && mserror_geterr_id() == 16052);
    } else if (errno == ERANGE || expected > 0xFFFFFFFFull) {
        CHECK(end == nullptr && mserror_geterr_id() == 16053);
    } else {
        CHECK(end == oracle_end && value == expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool initialised = msbasic_init_main(msbasic_init_cascade) == 1;
    CHECK(initialised);
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    signed_reader<int>(mscv_xi, mscv_ai, text, INT32_MIN, INT32_MAX);
    signed_reader<int32_t>(mscv_xl, mscv_al, text, INT32_MIN, INT32_MAX);
    signed_reader<int64_t>(mscv_xi64, mscv_ai64, text, INT64_MIN, INT64_MAX);
    for (int base : {8, 10, 16}) unsigned_reader(text, base);
    return 0;
}
