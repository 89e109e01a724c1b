// Shared pieces of the text and conversion tests: a fixture that gives the
// thread an error stack, the ids on that stack, and guarded memory that
// shows whether anything outside the caller's buffer was written.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "msbasic.h"
#include "mserror.h"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1); }
    void TearDown() override { msbasic_end_main(msbasic_init_cascade); }
};

// Ids on the stack, top first (pops them).
inline std::vector<int32_t> drain_errors() {
    std::vector<int32_t> ids;
    for (int32_t id; (id = mserror_geterr_id()) != 0; mserror_pop()) ids.push_back(id);
    return ids;
}

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
