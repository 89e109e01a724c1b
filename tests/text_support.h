// Shared pieces of the text and conversion tests: guarded memory that shows
// whether anything outside the caller's buffer was written (the fixture and
// the error-id reader come from support.h).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "msbasic.h"
#include "mserror.h"
#include "support.h"

// A buffer of n bytes between canaries, all pre-filled with one pattern.
struct Guarded {
    static constexpr size_t kPad = 16;
    std::vector<unsigned char> bytes;
    explicit Guarded(size_t n) : bytes(n + 2 * kPad, 0xA5) {}
    unsigned char *data() { return bytes.data() + kPad; }
    char *chars() { return reinterpret_cast<char *>(data()); }
    // Nothing before the buffer and nothing from its byte `from` on was written.
    bool untouched_from(size_t from) const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if ((i < kPad || i >= kPad + from) && bytes[i] != 0xA5) return false;
        }
        return true;
    }
};
