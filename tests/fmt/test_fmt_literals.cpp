// Literal text around conversions: pass 1 finds plain ASCII eight bytes at a
// time up to the next "%", and pass 3 sends the text between the places pass
// 1 recorded unless "%%" occurs. A multibyte character at every offset of a
// run, with and without "%%", must come out as glibc prints it.
#include <cstdio>
#include <string>

#include "msfmt.h"
#include "text_support.h"

namespace {

std::string ours(const std::string &format, int a, int b) {
    char out[256];
    msfmt_buffer_lim(out, sizeof out, format.c_str(), a, b);
    return out;
}

std::string glibc(const std::string &format, int a, int b) {
    char out[256];
    std::snprintf(out, sizeof out, format.c_str(), a, b);
    return out;
}

TEST(Literals, MultibyteAtEveryOffsetOfARun) {
    for (const char *pair : {"", "%%"}) {
        for (size_t run = 0; run <= 19; ++run) {
            for (size_t at = 0; at <= run; ++at) {
                std::string text(run, 'x');
                text.insert(at, "\xC3\xA9");  // U+00E9
                const std::string format = text + "%d" + pair + text + "%5d" + text;
                ASSERT_EQ(ours(format, 42, -7), glibc(format, 42, -7)) << format;
            }
        }
    }
}

}  // namespace
