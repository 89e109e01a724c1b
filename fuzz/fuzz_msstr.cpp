// The string utilities on arbitrary bytes (cut and malformed UTF-8
// included): searches agree with strstr/strcasestr and a plain backward
// scan, counts by characters agree with the copies made by characters, and
// nothing is written past n + 1 bytes.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msstr.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_msstr: %s\n", #ok), std::abort()))

namespace {

const char *last_occurrence(const char *s, const char *sub) {
    size_t n = std::strlen(s), m = std::strlen(sub);
    if (m == 0 || m > n) return nullptr;
    for (size_t i = n - m + 1; i-- > 0;) {
        if (std::memcmp(s + i, sub, m) == 0) return s + i;
    }
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Input: n (one byte), then the text, a NUL and the searched-for text.
    if (size < 1) return 0;
    int n = static_cast<int8_t>(data[0]);
    std::string all(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t cut = all.find('\0');
    std::string s = all.substr(0, cut);
    std::string sub = cut == std::string::npos ? std::string() : all.substr(cut + 1);
    sub = sub.substr(0, sub.find('\0'));
    const char *t = s.c_str();

    CHECK(msstr_index(t, sub.c_str()) == std::strstr(t, sub.c_str()));
    CHECK(msstr_dindex(t, sub.c_str()) == strcasestr(t, sub.c_str()));
    CHECK(msstr_rindex(t, sub.c_str(), 1) == last_occurrence(t, sub.c_str()));
    const char *second = msstr_rindex(t, sub.c_str(), 2);
    CHECK(second == nullptr || second < msstr_rindex(t, sub.c_str(), 1));

    int chars = msstr_length_ch(t);
    CHECK(chars == msstr_nlength_ch(t, static_cast<int>(s.size())));
    CHECK(chars <= static_cast<int>(s.size()) && (chars > 0) == !s.empty());
    CHECK(msstr_nlength(t, n) == (n < 1 ? 0 : std::min(n, static_cast<int>(s.size()))));

    std::vector<char> buf(static_cast<size_t>(n > 0 ? n : 0) + 1 + 8, '\x5A');
    char *end = msstr_ncopy_ch(buf.data(), t, n);
    auto copied = static_cast<size_t>(end - buf.data());
    CHECK(*end == '\0' && copied <= static_cast<size_t>(n > 0 ? n : 0));
    CHECK(std::memcmp(buf.data(), t, copied) == 0);
    for (size_t i = copied + 1; i < buf.size(); ++i) CHECK(buf[i] == '\x5A');
    CHECK(msstr_length_ch(buf.data()) == msstr_nlength_ch(t, static_cast<int>(copied)));
    CHECK(msstr_length_disp(buf.data()) == msstr_nlength_disp(t, static_cast<int>(copied)));

    const char *head = msstr_head(t), *tail = msstr_tail(t);
    CHECK(msstr_qspace(t) == (*head == '\0') && (tail > head || *head == '\0'));
    CHECK(!msstr_check_login(t) || msstr_check_passwd(t));
    msstr_parse_str_boolean(t);
    return 0;
}
