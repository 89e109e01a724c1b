// Declarations shared by the files of the frame. The frame's process-wide
// state has these owners:
//   frame/frame.cpp     application and module records, dependency list,
//                       init-enabled and in-progress flags, MSDEBUG
//   frame/loadhook.cpp  the thread-detach key
//   frame/library.cpp   the MSDEBUG switches of the library's own layer
// The per-thread context it builds on is base/context.h.
#pragma once

#include <cstdint>

#include "base/context.h"

namespace qrv::frame {

using ctx::Anchor;
using ctx::current_anchor;
using ctx::current_ptr;
using ctx::current_thread_block;
using ctx::init_lock;
using ctx::is_thread_block;
using ctx::kAnchorSlot;
using ctx::set_discarding;
using ctx::task_key_lock;
using ctx::ThreadBlock;

// Count slot of module index in a counter array, growing the array by tens;
// null if it cannot grow.
int32_t *counter_slot(int32_t **array, int index) noexcept;

// The load hook's thread-detach key follows the thread's block.
void note_thread_block(ThreadBlock *block) noexcept;

// The library layer's own functions, and the MSDEBUG value they capture.
int library_init(int mode) noexcept;
void library_end(int mode, int orderly) noexcept;
void set_debug_value(const char *value) noexcept;

// Thread exit: ends the thread's use of the frame, or frees a block that the
// frame no longer counts (its process was ended by another thread).
void end_exiting_thread(ThreadBlock *block) noexcept;

// The ceiling MSSPACELIMIT asks for (negative: none; a bad value is none).
int64_t space_limit() noexcept;
// The space allocator's end-of-process reports that MSDEBUG switched on
// (usage and leak check), printed once every space of the library is back
// (orderly 1; a forked child's discarding pass, orderly 0, drops them).
void note_space_reports(bool usage_report, bool leak_check) noexcept;
void print_space_reports(int orderly) noexcept;

}  // namespace qrv::frame
