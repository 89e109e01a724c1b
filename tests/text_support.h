// Shared pieces of the text and conversion tests: a fixture that gives the
// thread an error stack, a reader of the stack's depth, and guarded memory
// that shows whether anything outside the caller's buffer was written.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
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
class Guarded {
public:
    static constexpr size_t kPad = 16;
    static constexpr unsigned char kFill = 0xA5;
    explicit Guarded(size_t n) : bytes_(n + 2 * kPad, kFill), n_(n) {}
    unsigned char *data() { return bytes_.data() + kPad; }
    char *chars() { return reinterpret_cast<char *>(data()); }
    // True when nothing before the buffer and nothing from byte `from` of the
    // buffer onwards (through the trailing canary) was written.
    bool untouched_from(size_t from) const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            if ((i < kPad || i >= kPad + from) && bytes_[i] != kFill) return false;
        }
        return true;
    }
    bool canaries_intact() const { return untouched_from(n_); }

private:
    std::vector<unsigned char> bytes_;
    size_t n_;
};
