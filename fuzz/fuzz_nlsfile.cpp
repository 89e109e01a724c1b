// The NLS file reader on arbitrary bytes, opened from memory as the store's
// files are: every id named in the first buckets and in the input's first
// bytes is looked up. Nothing may be read outside the input or written
// outside the 8192-byte area, and what the NLS compiler's own reader finds
// in the file the library must find too, with the same text.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "msbasic.h"
#include "mserror.h"
#include "msg/nlsfile.h"
#include "nlsc.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_nlsfile: %s\n", what);
        std::abort();
    }
}

constexpr int kPad = 64;

void look_up(qrv::nls::File &f, std::string_view image, uint32_t id) {
    static unsigned char area[kPad + qrv::nls::kAreaSize + kPad];
    std::memset(area, 0xA5, sizeof area);
    char *text = reinterpret_cast<char *>(area + kPad);
    bool found = qrv::nls::read(f, id, text);
    mserror_reset();
    for (int i = 0; i < kPad; ++i)
        check(area[i] == 0xA5 && area[sizeof area - 1 - i] == 0xA5, "wrote outside the area");
    if (found) check(std::memchr(text, '\0', qrv::nls::kAreaSize) != nullptr, "text without its NUL");
    qrv::nlsc::Header header;
    std::string error, expected;
    if (qrv::nlsc::read_header(image, header, error) &&
        qrv::nlsc::find_message(image, header, id, expected, error) == qrv::nlsc::Lookup::found) {
        check(found && expected == text, "the compiler's reader found a different text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = msbasic_init_main(msbasic_init_cascade) == 1;
    check(started, "cannot initialise the library");
    // A copy of exactly the input, so that reading past it is caught.
    std::vector<char> copy(data, data + size);
    std::string_view image(copy.data(), copy.size());
    qrv::nls::File f;
    bool opened = qrv::nls::open_bytes(f, image);
    mserror_reset();
    if (!opened) return 0;
    std::vector<uint32_t> ids = {1, 65535, 70000};
    for (size_t at = qrv::nls::kHeaderSize; at + 6 <= size && ids.size() < 40; at += 6) {
        ids.push_back(static_cast<uint32_t>(data[at] << 8 | data[at + 1]));
    }
    for (uint32_t id : ids) look_up(f, image, id);
    qrv::nls::close(f);
    return 0;
}
