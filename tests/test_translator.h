// A UTF-16 to UTF-8 translator for the engine's wide conversions (basic
// plane only), installed by the tests in place of the code-set layer's.
#pragma once

#include <atomic>
#include <string>

#include "base/space.h"
#include "fmt/engine.h"
#include "mserror.h"

inline std::atomic<int> g_translator_opens{0};
inline std::atomic<bool> g_translator_open_ok{true};

inline bool test_translator_open() noexcept {
    ++g_translator_opens;
    if (!g_translator_open_ok) mserror_reset_seterr(16532, 0);  // "cannot open translator"
    return g_translator_open_ok;
}

inline int test_translator_convert(const char16_t *src, char **buffer, int *capacity) noexcept {
    std::string out;
    for (; *src != 0; ++src) {
        unsigned c = *src;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    const int size = static_cast<int>(out.size()) + 1;
    if (*capacity < size) {
        *buffer = static_cast<char *>(qrv::space::reget(*buffer, size));
        *capacity = size;
    }
    out.copy(*buffer, out.size());
    (*buffer)[size - 1] = '\0';
    return size - 1;
}

inline const qrv::fmt::WideTranslator kTestTranslator = {test_translator_open, nullptr, test_translator_convert};
