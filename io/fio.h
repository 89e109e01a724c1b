// Internals of the file layer shared by its files. Process-wide state and
// its owners:
//   io/fio_std.cpp   the initial and current standard descriptors, the
//                    process's text-mode switch
//   io/fio_desc.cpp  msrte_type
#pragma once

#include <cstdint>

#include "msfio.h"

namespace qrv::fio {

// A descriptor record, a live handle of the registry from make to close.
struct Descriptor {
    int64_t handle;
    uint8_t binary;
    uint8_t cr_pending;
    uint8_t pending_byte;
    uint8_t may_raise_sigpipe;  // a pipe or socket: writes hold SIGPIPE back
};

// The record behind fd, or null (errno EBADF) when fd is not a live
// descriptor. MSFIO_NULL is not a record: callers test it first.
Descriptor *lookup(msfio_fd fd) noexcept;

// msfio_write through the record of a live descriptor; null is refused as
// msfio_write refuses a descriptor that is not live.
int write_record(Descriptor *d, const void *buffer, int count) noexcept;

// Releases the record of a live descriptor without closing its handle.
void discard(msfio_fd fd) noexcept;

// A new record on handle; MSFIO_NONE when no space is left.
msfio_fd make(qrv_handle handle, bool binary) noexcept;

// msfio_open(path, binary, 'r') for files read as data: anything but a
// regular file or the null device is refused (16473 with the path, over the
// system's reason) rather than waited on, as a FIFO would be.
msfio_fd open_regular(const char *path, int binary) noexcept;

// Closes fd unless it is the null descriptor or an initial standard one.
int close_internal(msfio_fd fd) noexcept;

// True when text descriptors convert line ends (MSTEXTMODE=crlf).
bool text_mode_on() noexcept;
// Test hooks: switch the conversion for the rest of the process, or let the
// next process init decide again from MSTEXTMODE.
void set_text_mode(bool on) noexcept;
void forget_text_mode() noexcept;

// True when fd is one of the current standard descriptors.
bool is_current_standard(msfio_fd fd) noexcept;
bool is_initial_standard(msfio_fd fd) noexcept;

// Reads a configuration variable by name (the frame passes msvars_getenv:
// the variables live in a layer above this one).
using VariableReader = const char *(*)(const char *name);

// The library layer's steps for mode m: init makes the standard descriptors
// and applies the redirection by MSSTDIN, MSSTDOUT and MSSTDERR as read
// names them (mode 1); end closes them (mode 1).
bool init(int mode, VariableReader read) noexcept;
void end(int mode, int orderly) noexcept;
// Applies the redirection again (after an environment file has been
// loaded); false when a named file cannot be opened.
bool redirect(VariableReader read) noexcept;

}  // namespace qrv::fio
