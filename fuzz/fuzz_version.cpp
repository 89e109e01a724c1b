// Version texts on arbitrary bytes: msversion_convert never reads past the
// text, a packed version written back as text converts to itself, and the
// two checks of every kind agree with each other.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "msbasic.h"
#include "mserror.h"
#include "msversion.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_version: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!msbasic_init_main(msbasic_init_cascade)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    int32_t version = msversion_convert(text.c_str());
    mserror_reset();

    auto v = static_cast<uint32_t>(version);
    char written[32];
    std::snprintf(written, sizeof written, "%u.%u.%u", v >> 24, (v >> 16) & 0xFF, v & 0xFFFF);
    if (v >> 31 == 0) check(msversion_convert(written) == version, "packed version does not read back");
    std::snprintf(written, sizeof written, "%u.%u r%u", v >> 24, (v >> 16) & 0xFF, v & 0xFFFF);
    if (v >> 31 == 0) check(msversion_convert(written) == version, "revision form does not read back");

    for (int kind = -1; kind <= 16; ++kind) {
        int state = msversion_check(kind, version);
        int reached = msversion_supported(kind, version);
        check(state >= 0 && state <= 3, "check out of range");
        check((state == 0) == (reached == -1), "too new disagrees");
        check(state != 3 || reached == 0, "unsupported version reached a threshold");
        check(state != 2 || reached >= 1, "supported version reached no threshold");
    }
    mserror_reset();
    return 0;
}
