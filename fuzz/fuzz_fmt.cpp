// The format parser and renderer on arbitrary formats. The input is a
// format, a NUL, then 9-byte argument records (a kind byte and 8 value
// bytes) that become typed argument values: numbers, doubles of any bit
// pattern, and strings or wide strings from a fixed pool, never a va_list
// of random types. Checked: the sink never sees a negative length, the
// single pass hands it the pieces the three passes would, a bounded buffer
// takes exactly a prefix of the full text and nothing outside it changes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/space.h"
#include "fmt/engine.h"
#include "msbasic.h"

namespace {

const char *const kStrings[] = {"",       "a",    "hello world", "\xC3\xA9t\xC3\xA9", "a\bb\x01", "\xE2\x82", nullptr,
                                "%d%s%n", "0x12", "-12"};
const char16_t *const kWide[] = {u"", u"wide", u"\u00e9\u20ac", nullptr};

bool open_ok() noexcept { return true; }

// Keeps the low byte of each unit; enough to drive the wide paths.
int narrow(const char16_t *src, char **buffer, int *capacity) noexcept {
    int n = 0;
    while (src[n] != 0) ++n;
    if (*capacity < n + 1) {
        char *grown = static_cast<char *>(qrv::space::reget(*buffer, n + 1));
        if (grown == nullptr) return -1;
        *buffer = grown;
        *capacity = n + 1;
    }
    for (int i = 0; i <= n; ++i) (*buffer)[i] = static_cast<char>(src[i] & 0x7F);
    return n;
}

const qrv::fmt::WideTranslator kNarrow = {open_ok, nullptr, narrow};

void append(void *context, const char *data, int length) {
    if (length < 0) std::abort();
    static_cast<std::vector<std::string> *>(context)->emplace_back(data, static_cast<size_t>(length));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (msbasic_init_main(msbasic_init_cascade) != 1) return 1;
    qrv::fmt::set_wide_translator(&kNarrow);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto *nul = static_cast<const uint8_t *>(std::memchr(data, 0, size));
    size_t format_size = nul != nullptr ? static_cast<size_t>(nul - data) : size;
    std::vector<char> format(data, data + format_size);
    format.push_back('\0');

    std::vector<qrv::fmt::Arg> args;
    for (size_t at = format_size + 1; at + 9 <= size && args.size() < 60; at += 9) {
        uint64_t bits;
        double d;
        std::memcpy(&bits, data + at + 1, sizeof bits);
        std::memcpy(&d, &bits, sizeof d);
        const uint8_t kind = data[at] % 4;
        args.push_back(kind == 0   ? qrv::fmt::Arg::of(static_cast<int64_t>(bits))
                       : kind == 1 ? qrv::fmt::Arg::of(d)
                       : kind == 2 ? qrv::fmt::Arg::of(kStrings[bits % std::size(kStrings)])
                                   : qrv::fmt::Arg::of(kWide[bits % std::size(kWide)]));
    }

    std::vector<std::string> pieces, staged;
    qrv::fmt::format_args(append, &pieces, format.data(), args.data(), static_cast<int>(args.size()));
    qrv::fmt::format_args_staged(append, &staged, format.data(), args.data(), static_cast<int>(args.size()));
    if (pieces != staged) std::abort();
    std::string full;
    for (const std::string &piece : pieces) full += piece;

    const size_t limit = full.size() / 2;
    std::vector<char> area(limit + 16, 0x5A);
    qrv::fmt::BufferSink b{area.data() + 8, area.data() + 8 + limit};
    qrv::fmt::format_args(qrv::fmt::buffer_sink, &b, format.data(), args.data(), static_cast<int>(args.size()));
    if (b.pos != area.data() + 8 + limit || std::memcmp(area.data() + 8, full.data(), limit) != 0) std::abort();
    for (size_t i = 0; i < area.size(); ++i) {
        if ((i < 8 || i >= 8 + limit) && area[i] != 0x5A) std::abort();
    }
    return 0;
}
