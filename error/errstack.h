// The error stack's life per thread, driven by the library layer.
#pragma once

#include "frame/frame_internal.h"

namespace qrv::errstack {

using Reallocator = void *(*)(void *block, int size, int check_limit);

// The function all of the stack's memory comes from (size 0 frees).
void set_reallocator(Reallocator fn) noexcept;

// Gives the anchor a stack (10 words) unless it has one; false if the state
// itself cannot be allocated.
bool create(frame::Anchor *anchor) noexcept;
// Frees the variable slots, the words, the strings and the state.
void destroy(frame::Anchor *anchor) noexcept;

}  // namespace qrv::errstack
