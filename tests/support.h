// Shared by the test programs: a fixture that brings the library up on the
// calling thread and checks that ending it leaves no space behind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/space.h"
#include "msbasic.h"
#include "mserror.h"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1); }
    void TearDown() override {
        msbasic_end_main(msbasic_init_cascade);
        EXPECT_EQ(msbasic_get_init_pid(), 0);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
};

// String argument i of the top error entry ("" if it is not one).
inline std::string string_arg(int i) {
    int64_t value = 0;
    if (!mserror_geterr_arg(&value, i)) return "<none>";
    int64_t *entry = mserror_geterr_stack();
    if (!MSERROR_DESC_IS_STR(entry[-2], i)) return "<number>";
    return reinterpret_cast<const char *>(static_cast<intptr_t>(value));
}

inline int64_t number_arg(int i) {
    int64_t value = -12345;
    mserror_geterr_arg(&value, i);
    return value;
}

// Number of visible entries on the calling thread's stack (restored after).
inline int entry_count() {
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    int n = 0;
    while (mserror_pop()) ++n;
    mserror_stack_restore(top, used);
    return n;
}

// Ids on the error stack, top first (pops them).
inline std::vector<int32_t> error_ids() {
    std::vector<int32_t> ids;
    for (int32_t id; (id = mserror_geterr_id()) != 0; mserror_pop()) ids.push_back(id);
    return ids;
}

// A caller's buffer of n bytes between canaries, all filled with one byte:
// shows whether anything outside the buffer was written.
struct Canary {
    static constexpr size_t kPad = 16;
    std::vector<unsigned char> bytes;
    explicit Canary(size_t n) : bytes(n + 2 * kPad, 0xA5) {}
    unsigned char *data() { return bytes.data() + kPad; }
    char *chars() { return reinterpret_cast<char *>(data()); }
    // Nothing before the buffer and nothing from its byte `from` on changed.
    bool untouched_from(size_t from) const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if ((i < kPad || i >= kPad + from) && bytes[i] != 0xA5) return false;
        }
        return true;
    }
};
