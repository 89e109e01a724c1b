// The message layer's internal interface: the language choice, the lookup
// of a message id, the per-thread message buffers, and the steps the
// library layer runs at init and end.
#pragma once

#include <cstdint>
#include <string_view>

#include "msg/nlsfile.h"
#include "msnlsmsg.h"

// A caller's view of the catalogue: its separator, its language's table and
// the NLS file it reads (its own only for a third language).
struct msnlsmsg_client {
    char separator;
    qrv::nls::File own;
    const msnlsmsg_entry *table;
    qrv::nls::File *file;
};

namespace qrv::msg {

// A language name as MSLANG or LANG give it ("japanese", "ja_JP.UTF-8",
// "zh_TW.Big5", "C") to its language id; English for anything unknown.
int32_t language_id(std::string_view name) noexcept;

// The text of id, or null (16208 pushed after a reset when no table and no
// file holds it and report is set; null without a report when a copy has no
// buffer). Before the NLS files are open the built-in store's copies of
// them answer.
const char *lookup(int32_t id, const msnlsmsg_client *client, bool report = true) noexcept;

// Copies text into the calling thread's next message buffer; null when the
// thread has none or it cannot grow.
const char *keep(std::string_view text) noexcept;

// Library layer: the process's message state (mode 1), the id-only switch,
// the thread's buffers (every mode); false on failure. end frees the
// thread's buffers and, in mode 1, closes the files and clears the state.
// join_thread joins a thread that has no buffers yet to the frame (the
// frame's msbasic_get_thread_wss), so that a thread that never called init
// still gets its rotating buffers.
bool process_init(void **(*join_thread)()) noexcept;
void set_id_only(bool on) noexcept;
bool thread_init() noexcept;
void end(int mode) noexcept;

// For tests: the size of the calling thread's message buffer i (0-2).
int32_t buffer_size(int i) noexcept;

}  // namespace qrv::msg
