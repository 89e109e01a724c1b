// The error stack's life per thread, driven by the library layer.
#pragma once

#include "base/context.h"
#include "mserror.h"

namespace qrv::errstack {

using Reallocator = void *(*)(void *block, int size, int check_limit);

// The function all of the stack's memory comes from (size 0 frees).
void set_reallocator(Reallocator fn) noexcept;

// Gives the anchor a stack (10 words) unless it has one; false if the state
// itself cannot be allocated.
bool create(ctx::Anchor *anchor) noexcept;
// Frees the variable slots, the words, the strings and the state.
void destroy(ctx::Anchor *anchor) noexcept;

// Hides the entries present for its lifetime and then drops whatever was
// pushed meanwhile, string space included: for work whose failures must
// not reach the caller's report.
// Descriptor bit 17 + i marks argument i as a string the stack could not
// keep (its area could not grow): the word holds the number 0 and the
// renderers show the empty string, never some later string's text.
inline constexpr int kLostStringShift = 17;
inline bool is_lost_string(int64_t descriptor, int i) noexcept {
    return ((descriptor >> (kLostStringShift + i)) & 1) != 0;
}

class QuietScope {
public:
    QuietScope() noexcept {
        mserror_stack_save(&top_, &used_);
        floor_ = mserror_cleanup_save();
    }
    ~QuietScope() {
        mserror_cleanup_restore(floor_);
        mserror_stack_restore(top_, used_);
    }
    QuietScope(const QuietScope &) = delete;
    QuietScope &operator=(const QuietScope &) = delete;

private:
    int32_t top_ = 0, used_ = 0, floor_ = 0;
};

}  // namespace qrv::errstack
